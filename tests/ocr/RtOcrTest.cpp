// The OCR component on the real Tesseract engine and the system's trained data: pictures
// drawn here with a known text, the language list of a data folder of the test's own, the
// rectangle checks, one recognition at a time, and cancelling.

#include "ocr/RtOcr.h"
#include "TempFolder.h"

#include <QFont>
#include <QMap>
#include <QPainter>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <gtest/gtest.h>
#include <mutex>

namespace quorvel::test {

using namespace quorvel::rtocr;

namespace {

QString Q(const char* s) {
    return QString::fromUtf8(s);
}

// Black text on white, one line under the other, with a margin all round.
QImage RenderLines(const QStringList& lines, int pixelSize, const QString& family, int width = 0) {
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setHintingPreference(QFont::PreferFullHinting);
    const QFontMetrics metrics(font);
    int textWidth = 0;
    for (const QString& line : lines)
        textWidth = std::max(textWidth, metrics.horizontalAdvance(line));
    const int lineHeight = metrics.height() * 3 / 2;
    QImage image(std::max(width, textWidth + 2 * pixelSize),
                 static_cast<int>(lines.size()) * lineHeight + 2 * pixelSize, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    for (int i = 0; i < lines.size(); ++i)
        painter.drawText(pixelSize, pixelSize + i * lineHeight + metrics.ascent(), lines[i]);
    return image;
}

QString RecognisedWords(const TResult& result) {
    QStringList words;
    for (const TLine& line : result.Lines)
        for (const TWord& word : line.Words)
            words << word.Text;
    return words.join(QLatin1Char(' '));
}

// Starts a recognition with a completion procedure and waits for its result.
TResult RecognizeAndWait(TRtOcr& ocr, const TLanguage& language, int left = 0, int top = 0,
                         int right = 0, int bottom = 0) {
    auto promise = std::make_shared<std::promise<TResult>>();
    auto future = promise->get_future();
    ocr.Recognize(
        language, [promise](const TResult& result) { promise->set_value(result); }, left, top,
        right, bottom);
    EXPECT_EQ(future.wait_for(std::chrono::seconds(120)), std::future_status::ready);
    return future.get();
}

class OcrEngine : public testing::Test {
protected:
    void SetUp() override {
        for (const TLanguage& language : FOcr.AvailableLanguages())
            FByTag[language.LanguageTag] = language;
        for (const char* tag : {"en", "ko", "ja", "ru"})
            if (!FByTag.contains(Q(tag)))
                GTEST_SKIP() << "no trained data for " << tag << " in "
                             << TesseractDataPath().toStdString();
    }

    TLanguage Language(const char* tag) { return FByTag.value(Q(tag)); }

    // A picture with enough text to keep the engine busy for a while.
    static QImage BusyPicture() {
        QStringList lines;
        for (int i = 0; i < 60; ++i)
            lines
                << QStringLiteral("Line %1 of a long page with many words to read through").arg(i);
        return RenderLines(lines, 36, QStringLiteral("DejaVu Sans"));
    }

    TRtOcr FOcr;
    QMap<QString, TLanguage> FByTag;
};

} // namespace

TEST_F(OcrEngine, EnglishAtSeveralSizesGivesItsWordsWithTheirRectangles) {
    for (int size : {16, 24, 36}) {
        const QImage picture = RenderLines(
            {QStringLiteral("The quick brown fox jumps"), QStringLiteral("over the lazy dog")},
            size, QStringLiteral("DejaVu Sans"));
        FOcr.SetPicture(picture);
        const TResult result = RecognizeAndWait(FOcr, Language("en"));
        ASSERT_EQ(result.Status, stCompleted) << size;
        ASSERT_EQ(result.Lines.size(), 2u) << size << ": " << result.Text.toStdString();
        EXPECT_EQ(result.Lines[0].Text, QStringLiteral("The quick brown fox jumps")) << size;
        EXPECT_EQ(result.Lines[1].Text, QStringLiteral("over the lazy dog")) << size;
        EXPECT_TRUE(result.Text.contains(QStringLiteral("lazy dog")));
        EXPECT_EQ(result.TextAngle, 0.0);
        // The first word starts at the left margin, inside the first line's band.
        ASSERT_FALSE(result.Lines[0].Words.empty());
        const TSRect first = result.Lines[0].Words[0].Rect;
        EXPECT_NEAR(first.X, size, size * 0.3) << size;
        EXPECT_GT(first.Width, size) << size;
        EXPECT_GT(first.Height, size / 2) << size;
        EXPECT_LT(first.Y + first.Height, picture.height() / 2.0 + size) << size;
        EXPECT_FALSE(FOcr.Running());
    }
}

TEST_F(OcrEngine, KoreanJapaneseAndRussianLines) {
    struct TCase {
        const char* tag;
        const char* text;
        const char* family;
    };
    const TCase cases[] = {
        {"ko", "한국어 문자 인식 시험", "Noto Sans CJK KR"},
        {"ja", "日本語の文字認識", "Noto Sans CJK JP"},
        {"ru", "Быстрая лиса прыгает", "DejaVu Sans"},
    };
    for (const TCase& c : cases) {
        FOcr.SetPicture(RenderLines({Q(c.text)}, 40, Q(c.family)));
        const TResult result = RecognizeAndWait(FOcr, Language(c.tag));
        ASSERT_EQ(result.Status, stCompleted) << c.tag;
        ASSERT_FALSE(result.Lines.empty()) << c.tag;
        // Spaces between CJK characters are the engine's choice, and so is a stray mark
        // in the margin; the characters of the line are not.
        QString got = result.Text;
        QString want = Q(c.text);
        got.remove(QLatin1Char(' '));
        want.remove(QLatin1Char(' '));
        EXPECT_TRUE(got.contains(want)) << c.tag << ": " << result.Text.toStdString();
    }
}

TEST_F(OcrEngine, ASubRectangleIsRecognisedAloneInItsOwnCoordinates) {
    const QImage picture =
        RenderLines({QStringLiteral("Upper line here"), QStringLiteral("Lower words there")}, 32,
                    QStringLiteral("DejaVu Sans"));
    FOcr.SetPicture(picture);
    const int middle = picture.height() / 2;
    const TResult result =
        RecognizeAndWait(FOcr, Language("en"), 0, middle, picture.width(), picture.height());
    ASSERT_EQ(result.Status, stCompleted);
    EXPECT_EQ(RecognisedWords(result), QStringLiteral("Lower words there"));
    ASSERT_FALSE(result.Lines.empty());
    EXPECT_LT(result.Lines[0].Words[0].Rect.Y, picture.height() - middle);
    // The whole picture by its own size is the same as by zeros.
    const TResult whole =
        RecognizeAndWait(FOcr, Language("en"), 0, 0, picture.width(), picture.height());
    EXPECT_EQ(RecognisedWords(whole), QStringLiteral("Upper line here Lower words there"));
}

TEST_F(OcrEngine, ABlankPictureCompletesWithoutLines) {
    QImage blank(800, 600, QImage::Format_RGB32);
    blank.fill(Qt::white);
    FOcr.SetPicture(blank);
    const TResult result = RecognizeAndWait(FOcr, Language("en"));
    EXPECT_EQ(result.Status, stCompleted);
    EXPECT_TRUE(result.Lines.empty());
    EXPECT_TRUE(result.Text.isEmpty());
    EXPECT_EQ(result.TextAngle, 0.0);
}

TEST_F(OcrEngine, RectanglesOutsideThePictureAreRefusedInOrder) {
    QImage picture(100, 50, QImage::Format_RGB32);
    picture.fill(Qt::white);
    FOcr.SetPicture(picture);
    const auto message = [&](int l, int t, int r, int b) -> std::string {
        try {
            FOcr.Recognize(Language("en"), TCompletionProc(), l, t, r, b);
        } catch (const ERtOcrError& e) {
            return e.what();
        }
        // Accepted: wait for it to end before the next check.
        for (int i = 0; i < 6000 && FOcr.Running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return "accepted";
    };
    EXPECT_EQ(message(-1, -1, 0, 10), "Incorrect Left value");
    EXPECT_EQ(message(0, -1, 0, 10), "Incorrect Top value");
    EXPECT_EQ(message(0, 0, 0, 10), "Incorrect Right value");
    EXPECT_EQ(message(0, 0, 101, 50), "Incorrect Right value");
    EXPECT_EQ(message(0, 0, 100, 0), "Incorrect Bottom value");
    EXPECT_EQ(message(0, 0, 100, 51), "Incorrect Bottom value");
    // An empty rectangle has nothing to recognise.
    EXPECT_EQ(message(60, 0, 50, 50), "Incorrect Right value");
    EXPECT_EQ(message(0, 40, 100, 40), "Incorrect Bottom value");
    EXPECT_EQ(message(10, 10, 100, 50), "accepted");
    // An empty picture has no whole to recognise.
    FOcr.SetPicture(QImage());
    EXPECT_EQ(message(0, 0, 0, 0), "Incorrect Right value");
}

TEST_F(OcrEngine, ALanguageMustMatchInAllFourNames) {
    FOcr.SetPicture(RenderLines({QStringLiteral("text")}, 20, QStringLiteral("DejaVu Sans")));
    TLanguage changed = Language("en");
    changed.DisplayName = changed.DisplayName.toUpper();
    try {
        FOcr.Recognize(changed, nullptr, 0, 0, 0, 0);
        FAIL() << "accepted a language with a changed name";
    } catch (const ERtOcrError& e) {
        EXPECT_STREQ(e.what(), "Language not available");
    }
    EXPECT_FALSE(FOcr.Running());
}

TEST_F(OcrEngine, OneRecognitionAtATimeAndCancelEndsIt) {
    FOcr.SetPicture(BusyPicture());
    std::mutex lock;
    std::condition_variable arrived;
    std::vector<TStatus> statuses;
    std::vector<void*> data;
    FOcr.SetOnCompleted([&](TRtOcr* sender, const TResult& result, void* customData) {
        EXPECT_EQ(sender, &FOcr);
        EXPECT_FALSE(FOcr.Running()); // idle before the result is delivered
        EXPECT_TRUE(result.Lines.empty());
        EXPECT_TRUE(result.Text.isEmpty());
        std::lock_guard guard(lock);
        statuses.push_back(result.Status);
        data.push_back(customData);
        arrived.notify_all();
    });
    int token = 0;
    FOcr.Recognize(Language("en"), &token, 0, 0, 0, 0);
    EXPECT_TRUE(FOcr.Running());
    try {
        FOcr.Recognize(Language("en"), nullptr, 0, 0, 0, 0);
        ADD_FAILURE() << "a second recognition started";
    } catch (const ERtOcrError& e) {
        EXPECT_STREQ(e.what(), "Recognition already started");
    }
    FOcr.Cancel();
    std::unique_lock guard(lock);
    ASSERT_TRUE(
        arrived.wait_for(guard, std::chrono::seconds(60), [&] { return !statuses.empty(); }));
    EXPECT_EQ(statuses, std::vector<TStatus>{stCanceled});
    EXPECT_EQ(data, std::vector<void*>{&token});
}

TEST_F(OcrEngine, CancelInTheMiddleOfTheWorkEndsItEarly) {
    FOcr.SetPicture(BusyPicture());
    const auto started = std::chrono::steady_clock::now();
    const TResult full = RecognizeAndWait(FOcr, Language("en"));
    const auto fullTime = std::chrono::steady_clock::now() - started;
    ASSERT_EQ(full.Status, stCompleted);
    ASSERT_GE(full.Lines.size(), 50u);

    auto promise = std::make_shared<std::promise<TResult>>();
    auto future = promise->get_future();
    const auto restarted = std::chrono::steady_clock::now();
    FOcr.Recognize(
        Language("en"), [promise](const TResult& result) { promise->set_value(result); }, 0, 0, 0,
        0);
    // Cancel once the engine is well into the page.
    std::this_thread::sleep_for(fullTime / 2);
    FOcr.Cancel();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    const TResult result = future.get();
    const auto cancelledTime = std::chrono::steady_clock::now() - restarted;
    EXPECT_EQ(result.Status, stCanceled);
    EXPECT_TRUE(result.Lines.empty());
    EXPECT_LT(cancelledTime, fullTime * 0.9);
}

TEST_F(OcrEngine, ATallPageIsReadInOrderWithRectanglesInThePicturesCoordinates) {
    // Tall enough to be read in bands side by side on a machine of several processors.
    FOcr.SetPicture(BusyPicture());
    const TResult result = RecognizeAndWait(FOcr, Language("en"));
    ASSERT_EQ(result.Status, stCompleted);
    ASSERT_EQ(result.Lines.size(), 60u) << result.Text.toStdString();
    float previousTop = -1;
    for (std::size_t i = 0; i < result.Lines.size(); ++i) {
        const TLine& line = result.Lines[i];
        ASSERT_GE(line.Words.size(), 2u) << i;
        EXPECT_EQ(line.Words[1].Text, QString::number(i)) << line.Text.toStdString();
        EXPECT_GT(line.Words[0].Rect.Y, previousTop) << i;
        previousTop = line.Words[0].Rect.Y;
    }
    EXPECT_GT(previousTop, BusyPicture().height() * 0.9f);
}

TEST_F(OcrEngine, WithoutAHandlerTheCompletionOnlyEndsTheRun) {
    FOcr.SetPicture(RenderLines({QStringLiteral("idle")}, 20, QStringLiteral("DejaVu Sans")));
    FOcr.Recognize(Language("en"), nullptr, 0, 0, 0, 0);
    for (int i = 0; i < 6000 && FOcr.Running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(FOcr.Running());
}

TEST_F(OcrEngine, DestroyingTheComponentCancelsAndWaits) {
    std::atomic<int> completions{0};
    {
        TRtOcr ocr;
        ocr.SetPicture(BusyPicture());
        ocr.SetOnCompleted([&](TRtOcr*, const TResult& result, void*) {
            EXPECT_EQ(result.Status, stCanceled);
            ++completions;
        });
        ocr.Recognize(Language("en"), nullptr, 0, 0, 0, 0);
    }
    EXPECT_EQ(completions.load(), 1);
}

namespace {

// A data folder of the test's own with some of the system's trained data in it.
class DataFolder {
public:
    explicit DataFolder(std::initializer_list<const char*> files) {
        const std::filesystem::path system = TesseractDataPath().toStdString();
        for (const char* file : files)
            std::filesystem::create_symlink(system / file, FFolder.Path() / file);
    }
    QString Path() const { return QString::fromStdString(FFolder.Path().string()); }

private:
    TTempFolder FFolder;
};

} // namespace

TEST_F(OcrEngine, TheListHoldsTheLanguagesOfTheDataFolderSortedByName) {
    DataFolder folder({"rus.traineddata", "eng.traineddata", "osd.traineddata", "kor.traineddata",
                       "chi_sim.traineddata", "jpn.traineddata", "pdf.ttf"});
    const TLanguages languages = TRtOcr(folder.Path()).AvailableLanguages();
    ASSERT_EQ(languages.size(), 5u);
    const TLanguage expected[] = {
        {Q("Chinese (Simplified)"), Q("zh-Hans"), languages[0].NativeName, Q("Hans")},
        {Q("English"), Q("en"), Q("English"), Q("Latn")},
        {Q("Japanese"), Q("ja"), Q("日本語"), Q("Jpan")},
        {Q("Korean"), Q("ko"), Q("한국어"), Q("Kore")},
        {Q("Russian"), Q("ru"), Q("русский"), Q("Cyrl")},
    };
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(languages[i], expected[i]) << i << ": " << languages[i].DisplayName.toStdString()
                                             << " / " << languages[i].LanguageTag.toStdString()
                                             << " / " << languages[i].NativeName.toStdString();
    EXPECT_TRUE(languages[0].NativeName.contains(Q("中文")))
        << languages[0].NativeName.toStdString();

    // A language of the folder recognises; one that is not there is refused.
    TRtOcr ocr(folder.Path());
    ocr.SetPicture(
        RenderLines({QStringLiteral("Subset folder")}, 24, QStringLiteral("DejaVu Sans")));
    EXPECT_EQ(RecognisedWords(RecognizeAndWait(ocr, Language("en"))),
              QStringLiteral("Subset folder"));
    EXPECT_THROW(ocr.Recognize(Language("it"), nullptr, 0, 0, 0, 0), ERtOcrError);
}

TEST_F(OcrEngine, TheDataFolderComesFromTessdataPrefix) {
    DataFolder some({"ita.traineddata", "osd.traineddata"});
    TTempFolder none;
    const char* before = std::getenv("TESSDATA_PREFIX");
    const std::string saved = before != nullptr ? before : "";
    setenv("TESSDATA_PREFIX", some.Path().toLocal8Bit().constData(), 1);
    const TLanguages italian = TRtOcr().AvailableLanguages();
    setenv("TESSDATA_PREFIX", none.Path().c_str(), 1);
    const TLanguages empty = TRtOcr().AvailableLanguages();
    setenv("TESSDATA_PREFIX", (none.Path() / "missing").c_str(), 1);
    const TLanguages missing = TRtOcr().AvailableLanguages();
    if (before != nullptr)
        setenv("TESSDATA_PREFIX", saved.c_str(), 1);
    else
        unsetenv("TESSDATA_PREFIX");

    ASSERT_EQ(italian.size(), 1u);
    EXPECT_EQ(italian[0], (TLanguage{Q("Italian"), Q("it"), Q("italiano"), Q("Latn")}));
    EXPECT_TRUE(empty.empty());
    EXPECT_TRUE(missing.empty());
}

} // namespace quorvel::test
