// The TXT destination on a private desktop: known text on the screen, a capture through the
// command channel, and the text file that the recognition writes. The program reads trained
// data from a folder of the test's own, so the language list is known.

#include "DesktopSession.h"

#include <QImage>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/wait.h>

using quorvel::test::TDesktopSession;

namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// How long a recognition of the whole screen may take. The engine is not built with the
// sanitizers, so this is not scaled; it stays well inside the test's own time limit, so a
// recognition that never ends is reported with the program's log.
constexpr int kRecognitionMs = 45000;

class TextRecognition : public testing::Test {
protected:
    // A trained-data folder holding only the given languages' files (and the helper data).
    std::string DataFolder(const std::vector<std::string>& names) {
        const fs::path folder = fs::path(session.Root()) / "tessdata";
        fs::create_directories(folder);
        const fs::path system = "/usr/share/tesseract-ocr/5/tessdata";
        for (const std::string& name : names)
            fs::create_symlink(system / (name + ".traineddata"), folder / (name + ".traineddata"));
        return folder.string();
    }
    void Launch(const std::string& settings, const std::string& dataFolder) {
        session.WriteSettings("path=" + session.SaveFolder() + "\nsound=0\nmouse=0\narea=0\n" +
                              settings);
        ASSERT_TRUE(session.StartQuorvel({"/start"}, {"TESSDATA_PREFIX=" + dataFolder}))
            << session.QuorvelLog();
    }
    // Covers the screen with the lines (pairs of pixel size and text) and waits until the
    // window is painted.
    void ShowText(const std::string& title, const std::string& family,
                  const std::vector<std::pair<int, std::string>>& lines) {
        std::vector<std::string> argv = {QUORVEL_TEST_TEXT_WINDOW_BIN, title, family};
        for (const auto& [size, text] : lines) {
            argv.push_back(std::to_string(size));
            argv.push_back(text);
        }
        session.Start(argv, title + ".log");
        ASSERT_TRUE(
            TDesktopSession::WaitUntil([&] { return session.VisibleWindow(title) != 0; }, 5000));
        ASSERT_TRUE(TDesktopSession::WaitUntil(
            [&] {
                const QImage screen = session.Screenshot();
                return (screen.pixel(1919, 1079) & 0xFFFFFF) == 0xFFFFFF &&
                       (screen.pixel(0, 0) & 0xFFFFFF) == 0xFFFFFF;
            },
            5000));
    }
    // Asks for a capture and waits for the text file it names.
    std::string CaptureText(const std::string& name) {
        EXPECT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
        const std::string path = session.SaveFolder() + "/" + name;
        EXPECT_TRUE(TDesktopSession::WaitUntil([&] { return fs::exists(path); }, kRecognitionMs))
            << name << "\n"
            << session.QuorvelLog();
        // The file is renamed into place whole; nothing is appended afterwards.
        return ReadBytes(path);
    }

    TDesktopSession session;
};

QStringList Words(const QString& text) {
    return text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
}

// How many of the expected words the text holds.
int Found(const QString& text, const QString& expected) {
    const QStringList got = Words(text);
    int found = 0;
    for (const QString& word : Words(expected))
        found += got.contains(word);
    return found;
}

} // namespace

TEST_F(TextRecognition, EnglishOnTheScreenBecomesNumberedUtf8TextFiles) {
    Launch("saveto=6\nlanguage_ocr=0\nappend=1\n", DataFolder({"eng", "kor", "osd"}));
    const std::string small = "Twelve pixel letters are small but readable";
    const std::string middle = "Sixteen pixels make a common interface font";
    const std::string large = "Twenty four pixels look like a heading";
    ShowText("Text", "DejaVu Sans", {{12, small}, {16, middle}, {24, large}});

    const std::string bytes = CaptureText("Q-001.txt");
    ASSERT_FALSE(bytes.empty());
    EXPECT_NE(bytes.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    // Every line ends in CR LF: no bare LF anywhere.
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n') {
            EXPECT_TRUE(i > 0 && bytes[i - 1] == '\r') << i;
        }
    }
    const QString text = QString::fromUtf8(bytes);
    const QStringList lines = text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    EXPECT_EQ(lines.size(), 3) << bytes;
    // The engine may misread a letter in the smallest type; the words are the test.
    EXPECT_GE(Found(text, QString::fromStdString(small)), 6) << bytes;
    EXPECT_EQ(Found(text, QString::fromStdString(middle)), 7) << bytes;
    EXPECT_EQ(Found(text, QString::fromStdString(large)), 7) << bytes;

    // Back to idle: the next capture is taken and numbered on.
    const std::string again = CaptureText("Q-002.txt");
    EXPECT_EQ(Found(QString::fromUtf8(again), QString::fromStdString(large)), 7) << again;
}

TEST_F(TextRecognition, KoreanJapaneseAndRussianInTheirLanguages) {
    // Sorted by name: English 0, Japanese 1, Korean 2, Russian 3.
    const std::string data = DataFolder({"eng", "jpn", "kor", "rus"});
    struct TCase {
        int position;
        const char* family;
        const char* text;
    };
    const TCase cases[] = {
        {2, "Noto Sans CJK KR", "한국어 문자 인식 시험"},
        {1, "Noto Sans CJK JP", "日本語の文字認識"},
        {3, "DejaVu Sans", "Быстрая лиса прыгает через забор"},
    };
    int number = 0;
    for (const TCase& c : cases) {
        Launch("saveto=6\nappend=1\nlanguage_ocr=" + std::to_string(c.position) + "\n", data);
        ShowText("Text" + std::to_string(c.position), c.family, {{24, c.text}});
        char name[16];
        std::snprintf(name, sizeof name, "Q-%03d.txt", ++number);
        QString got = QString::fromUtf8(CaptureText(name));
        QString want = QString::fromUtf8(c.text);
        // Spaces between CJK characters are the engine's choice.
        got.remove(QLatin1Char(' '));
        want.remove(QLatin1Char(' '));
        EXPECT_TRUE(got.contains(want)) << c.text << " read as " << got.toStdString();
        session.StopQuorvel();
    }
}

TEST_F(TextRecognition, ABlankScreenGivesAnEmptyFile) {
    Launch("saveto=6\nlanguage_ocr=0\nappend=1\n", DataFolder({"eng"}));
    ShowText("Blank", "DejaVu Sans", {});
    EXPECT_EQ(CaptureText("Q-001.txt"), "");
}

TEST_F(TextRecognition, WithoutTrainedDataTxtIsRefused) {
    const std::string data = DataFolder({"osd"});
    session.WriteSettings("path=" + session.SaveFolder() + "\nsaveto=6\n");
    session.Start({quorvel::test::QuorvelBinary(), "/start"}, "quorvel-1.log",
                  {"TESSDATA_PREFIX=" + data});
    // The start-up run of the destination handler finds no language: message B, then PNG.
    const auto log = [&] { return session.Output("cat " + session.Root() + "/quorvel-1.log"); };
    ASSERT_TRUE(TDesktopSession::WaitUntil(
        [&] {
            return log().find("[Quorvel] OCR 을 지원하지 않는 윈도우 환경입니다.") !=
                   std::string::npos;
        },
        10000))
        << log();
    EXPECT_TRUE(session.AnswerMessage());
    EXPECT_TRUE(TDesktopSession::WaitUntil(
        [&] { return session.ReadSettings().find("saveto=0") != std::string::npos; }, 5000))
        << session.ReadSettings();
}

TEST_F(TextRecognition, ExitingDuringARecognitionCancelsItAndEndsCleanly) {
    Launch("saveto=6\nlanguage_ocr=0\nappend=1\n", DataFolder({"eng"}));
    std::vector<std::pair<int, std::string>> page;
    for (int i = 0; i < 40; ++i)
        page.emplace_back(12, "A long page of small text keeps the engine busy for a while, line " +
                                  std::to_string(i));
    ShowText("Page", "DejaVu Sans", page);
    ASSERT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    const pid_t pid = session.QuorvelPid();
    session.Status(quorvel::test::QuorvelCtlBinary() + " --exit >/dev/null 2>&1");
    int status = -1;
    ASSERT_TRUE(
        TDesktopSession::WaitUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, 10000))
        << session.QuorvelLog();
    EXPECT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // Cancelled, so nothing was written and no message was shown.
    EXPECT_FALSE(fs::exists(session.SaveFolder() + "/Q-001.txt"));
    EXPECT_EQ(session.QuorvelLog().find("message:"), std::string::npos) << session.QuorvelLog();
}

TEST_F(TextRecognition, AFolderThatCannotBeWrittenGivesTheCaptureFailedMessage) {
    // The save folder lies under a plain file, so no file can be made in it.
    const std::string blocker = session.Root() + "/plain-file";
    std::ofstream(blocker) << "x";
    session.WriteSettings("path=" + blocker +
                          "/out\nsound=0\nmouse=0\narea=0\nsaveto=6\n"
                          "language_ocr=0\nappend=1\n");
    ASSERT_TRUE(session.StartQuorvel({"/start"}, {"TESSDATA_PREFIX=" + DataFolder({"eng"})}))
        << session.QuorvelLog();
    ShowText("Text", "DejaVu Sans", {{24, "Nowhere to write this"}});
    const auto messages = [&] {
        const std::string log = session.QuorvelLog();
        int count = 0;
        for (std::size_t at = log.find("Capture failed.\\r\\r"); at != std::string::npos;
             at = log.find("Capture failed.\\r\\r", at + 1))
            ++count;
        return count;
    };
    // Twice: after the first message the program is idle again and takes the next capture.
    for (int expected : {1, 2}) {
        ASSERT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
        ASSERT_TRUE(
            TDesktopSession::WaitUntil([&] { return messages() == expected; }, kRecognitionMs))
            << session.QuorvelLog();
        ASSERT_TRUE(session.AnswerMessage()) << session.QuorvelLog();
    }
}
