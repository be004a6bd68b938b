// The TXT destination in the main window on Qt's offscreen platform: the OCR language list
// from a trained-data folder of the test's own, and a capture of a screen of known text
// through the capture controller to the text file, with the state running until the
// recognition has completed.

#include "TempFolder.h"
#include "app/FrmQuorvel.h"
#include "ocr/RtOcr.h"
#include "support/FitTexts.h"
#include "ui_FrmQuorvel.h"

#include <QApplication>
#include <QFont>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace quorvel::test {

namespace {

class TNoHotKey final : public THotKey {
public:
    bool Register(std::uint8_t, unsigned) override { return true; }
    void Unregister() override {}
};

// One 800x200 monitor showing two lines of black text on white.
class TTextScreen final : public TPlatform {
public:
    TCapabilities Capabilities() override { return {true, true, true, true, true}; }
    std::vector<TRect> Monitors() override { return {ScreenRect()}; }
    TRect ScreenRect() override { return {0, 0, 800, 200}; }
    TPoint PointerPosition() override { return {10, 10}; }
    TWindowId ActiveWindow() override { return 0; }
    TWindowId WindowAt(TPoint) override { return 0; }
    std::optional<TRect> WindowBounds(TWindowId) override { return std::nullopt; }
    QImage GrabScreen(const TRect& rect) override {
        QImage image(rect.Width(), rect.Height(), QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(16);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(20, 60, QStringLiteral("Hello from the screen"));
        painter.drawText(20, 120, QStringLiteral("Second line of text"));
        return image;
    }
    std::optional<TCursorImage> Cursor() override { return std::nullopt; }
    void Prepare() override {}
    void ReleaseBuffers() override {}
    void PlaceWindow(TWindowId, const TRect&) override {}
    void ShapeWindow(TWindowId, const std::vector<TRect>&) override {}
    void KeepAboveUnlisted(TWindowId) override {}
    bool StartWindowMove(TWindowId, TPoint) override { return false; }
    bool DrawPicture(TWindowId, const QImage&, const TRect&) override { return false; }
    std::unique_ptr<THotKey> CreateHotKey(std::function<void()>) override {
        return std::make_unique<TNoHotKey>();
    }
};

class TextRecognitionUnit : public testing::Test {
protected:
    void SetUp() override {
        ::setenv("XDG_CONFIG_HOME", home.Path().c_str(), 1);
        std::filesystem::create_directories(home.Path() / "Marbask");
        std::filesystem::create_directories(data.Path());
        const char* before = std::getenv("TESSDATA_PREFIX");
        FHadPrefix = before != nullptr;
        FPrefix = FHadPrefix ? before : "";
        ::setenv("TESSDATA_PREFIX", data.Path().c_str(), 1);
    }
    void TearDown() override {
        if (FHadPrefix)
            ::setenv("TESSDATA_PREFIX", FPrefix.c_str(), 1);
        else
            ::unsetenv("TESSDATA_PREFIX");
    }
    void Settings(const std::string& lines) {
        std::ofstream(home.Path() / "Marbask" / "Quorvel.conf") << "[General]\n" << lines;
    }
    void TrainedData(std::initializer_list<const char*> names) {
        const std::filesystem::path system = "/usr/share/tesseract-ocr/5/tessdata";
        for (const char* name : names)
            std::filesystem::create_symlink(system / (std::string(name) + ".traineddata"),
                                            data.Path() / (std::string(name) + ".traineddata"));
    }

    TTempFolder home;
    TTempFolder data;
    TTempFolder out;
    TTextScreen platform;
    bool FHadPrefix = false;
    std::string FPrefix;
};

} // namespace

TEST_F(TextRecognitionUnit, TheLanguageListComesFromTheDataFolderAndTheStoredPosition) {
    TrainedData({"kor", "eng", "osd"});
    Settings("saveto=6\nlanguage_ocr=1\n");
    TFrmQuorvel window(QString(), platform);
    window.show();
    Ui::TFrmQuorvel& c = *window.Controls();
    ASSERT_EQ(c.ChkOCR_lang->count(), 2);
    EXPECT_EQ(c.ChkOCR_lang->itemText(0), QStringLiteral("English"));
    EXPECT_EQ(c.ChkOCR_lang->itemText(1), QStringLiteral("Korean"));
    EXPECT_EQ(c.ChkOCR_lang->currentIndex(), 1);
    EXPECT_EQ(window.Languages.size(), 2u);
    // TXT stays chosen, the language list beside it, each showing its entries whole.
    EXPECT_EQ(c.ChkSaveTo->currentIndex(), 6);
    EXPECT_TRUE(c.ChkOCR_lang->isVisible());
    EXPECT_LT(c.ChkSaveTo->geometry().right(), c.ChkOCR_lang->x());
    EXPECT_GE(ListTextRoom(c.ChkOCR_lang),
              c.ChkOCR_lang->fontMetrics().horizontalAdvance(QStringLiteral("English")));
}

TEST_F(TextRecognitionUnit, ACaptureRunsUntilTheTextFileIsWritten) {
    TrainedData({"eng"});
    Settings("path=" + out.Path().string() + "\nsaveto=6\nlanguage_ocr=0\nappend=1\nsound=0\n");
    TFrmQuorvel window(QString(), platform);
    window.Start();
    // The recognition runs on; a request meanwhile is ignored.
    EXPECT_EQ(window.Status(), stRunning);
    window.Start();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (window.Status() != stIdle && std::chrono::steady_clock::now() < deadline)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    ASSERT_EQ(window.Status(), stIdle);
    EXPECT_EQ(ReadFileBytes(out.File("Q-001.txt")),
              "Hello from the screen\r\nSecond line of text\r\n");
    EXPECT_FALSE(std::filesystem::exists(out.File("Q-002.txt")));

    // Idle again: the next request is taken and numbered on.
    window.Start();
    while (window.Status() != stIdle && std::chrono::steady_clock::now() < deadline)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    EXPECT_TRUE(std::filesystem::exists(out.File("Q-002.txt")));
}

TEST_F(TextRecognitionUnit, ClosingDuringARecognitionWaitsForItAndWritesNothingLater) {
    TrainedData({"eng"});
    Settings("path=" + out.Path().string() + "\nsaveto=6\nlanguage_ocr=0\nappend=1\nsound=0\n");
    {
        TFrmQuorvel window(QString(), platform);
        window.Start();
        EXPECT_EQ(window.Status(), stRunning);
    }
    // Whatever the worker had done by then, the folder holds it whole, and nothing arrives
    // after the window is gone.
    const auto listing = [this] {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(out.Path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    const std::vector<std::string> atClose = listing();
    EXPECT_TRUE(atClose.empty() || atClose == std::vector<std::string>{"Q-001.txt"});
    if (!atClose.empty()) {
        EXPECT_EQ(ReadFileBytes(out.File("Q-001.txt")),
                  "Hello from the screen\r\nSecond line of text\r\n");
    }
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < until)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(listing(), atClose);
}

// A new account: no save folder set, no desktop folder yet, no recognition language chosen.
// The text goes to the desktop folder, made as for pictures, and is read as the interface's
// language (English here, though Chinese sorts first).
TEST_F(TextRecognitionUnit, ANewAccountGetsTheDesktopFolderAndItsOwnLanguage) {
    TrainedData({"chi_sim", "chi_tra", "eng", "kor"});
    Settings("language=en\nsaveto=6\nappend=1\nsound=0\n");
    const std::string homeBefore = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
    ::setenv("HOME", out.Path().c_str(), 1);
    {
        TFrmQuorvel window(QString(), platform);
        Ui::TFrmQuorvel& c = *window.Controls();
        EXPECT_EQ(c.ChkOCR_lang->currentText(), QStringLiteral("English"));
        window.Start();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (window.Status() != stIdle && std::chrono::steady_clock::now() < deadline)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
        EXPECT_EQ(ReadFileBytes(out.Path() / "Desktop" / "Q-001.txt"),
                  "Hello from the screen\r\nSecond line of text\r\n");
    }
    ::setenv("HOME", homeBefore.c_str(), 1);
    Settings("language=ko\n");
    TFrmQuorvel korean(QString(), platform);
    EXPECT_EQ(korean.Controls()->ChkOCR_lang->currentText(), QStringLiteral("Korean"));
}

} // namespace quorvel::test
