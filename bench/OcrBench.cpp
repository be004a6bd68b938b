// Text recognition from a captured screen to the TXT file on disk: a 1920x1080 screen of
// text in English and in Korean, enlarged three times before recognition as the capture
// controller does, and not enlarged. Prints for each the wall-clock time from the picture
// to the file, the peak resident memory of the process, and the character error rate of
// the file against the text drawn (whitespace left out: where the engine puts spaces
// between Korean characters is not counted).
//
// The process CPU time is printed beside the wall-clock time: on a shared machine the
// latter says as much about the other load as about the recognition. Tesseract's OpenMP
// threads suffer most from such load; OMP_THREAD_LIMIT=1 shows the figures without them.
//
// Each case runs in a child process of its own, so that its peak memory is its own.
// Usage: bench_ocr                 all four cases
//        bench_ocr LANG FACTOR     one case (LANG en or ko, FACTOR 1 or 3)

#include "app/FrmQuorvel.h"
#include "ocr/RtOcr.h"
#include "ocr/TextFileBytes.h"
#include "sinks/SafeFile.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QRegularExpression>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <future>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace quorvel::rtocr;

const char* const kEnglishWords[] = {
    "screen",   "capture", "window",  "text",      "file",    "folder",  "settings",
    "language", "picture", "region",  "recording", "upload",  "printer", "clipboard",
    "hotkey",   "monitor", "pointer", "quality",   "message", "option",  "the",
    "and",      "of",      "to",      "with",      "from",    "every",   "after",
    "before",   "under",   "saved",   "opened",    "closed",  "chosen",  "written"};
const char* const kKoreanWords[] = {"화면",   "캡쳐",     "창",     "글자",   "파일",     "폴더",
                                    "설정",   "언어",     "그림",   "영역",   "녹화",     "업로드",
                                    "프린터", "클립보드", "단축키", "모니터", "마우스",   "품질",
                                    "메시지", "선택",     "저장",   "열기",   "닫기",     "인식",
                                    "결과",   "시간",     "이미지", "문서",   "프로그램", "사용자"};

// Lines of words drawn from the list by a fixed sequence, as wide as the screen allows.
QStringList PageText(bool korean, const QFontMetrics& metrics, int width, int lines) {
    const auto* words = korean ? kKoreanWords : kEnglishWords;
    const std::size_t count = korean ? std::size(kKoreanWords) : std::size(kEnglishWords);
    std::uint32_t state = 12345;
    QStringList page;
    for (int i = 0; i < lines; ++i) {
        QString line;
        for (;;) {
            state = state * 1103515245u + 12345u;
            const QString word = QString::fromUtf8(words[(state >> 16) % count]);
            const QString longer = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
            if (metrics.horizontalAdvance(longer) > width)
                break;
            line = longer;
        }
        page << line;
    }
    return page;
}

QImage Screen(bool korean, QStringList& text) {
    QImage screen(1920, 1080, QImage::Format_RGB32);
    screen.fill(Qt::white);
    QFont font(korean ? QStringLiteral("Noto Sans CJK KR") : QStringLiteral("DejaVu Sans"));
    font.setPixelSize(16);
    const QFontMetrics metrics(font);
    const int lineHeight = metrics.height() + 8;
    text = PageText(korean, metrics, 1920 - 80, (1080 - 60) / lineHeight);
    QPainter painter(&screen);
    painter.setFont(font);
    painter.setPen(Qt::black);
    for (int i = 0; i < text.size(); ++i)
        painter.drawText(40, 30 + i * lineHeight + metrics.ascent(), text[i]);
    return screen;
}

QString WithoutSpaces(QString text) {
    text.remove(QRegularExpression(QStringLiteral("\\s")));
    return text;
}

double CharacterErrorRate(const QString& reference, const QString& recognised) {
    const QString a = WithoutSpaces(reference);
    const QString b = WithoutSpaces(recognised);
    std::vector<int> previous(static_cast<std::size_t>(b.size()) + 1);
    std::vector<int> current(previous.size());
    for (std::size_t j = 0; j < previous.size(); ++j)
        previous[j] = static_cast<int>(j);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        current[0] = static_cast<int>(i);
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const int substitution = previous[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, substitution});
        }
        std::swap(previous, current);
    }
    return a.isEmpty() ? 0.0 : static_cast<double>(previous.back()) / a.size();
}

int RunCase(const std::string& language, int factor) {
    const bool korean = language == "ko";
    QStringList reference;
    const QImage screen = Screen(korean, reference);
    const std::string tag = korean ? "ko" : "en";
    TRtOcr ocr;
    TLanguage chosen;
    for (const TLanguage& each : ocr.AvailableLanguages())
        if (each.LanguageTag.toStdString() == tag)
            chosen = each;
    if (chosen.LanguageTag.isEmpty()) {
        std::printf("%-8s x%d  no trained data for %s\n", language.c_str(), factor, tag.c_str());
        return 1;
    }
    const std::string path =
        std::filesystem::temp_directory_path() / ("bench-ocr-" + std::to_string(getpid()) + ".txt");

    const auto start = std::chrono::steady_clock::now();
    QImage bitmap = screen.copy(); // the picture as the grabber hands it over
    if (factor > 1)
        quorvel::TFrmQuorvel::ResizeBitmap(bitmap, bitmap.width() * factor,
                                           bitmap.height() * factor);
    ocr.SetPicture(bitmap);
    bitmap = QImage();
    std::promise<QString> written;
    ocr.Recognize(
        chosen,
        [&](const TResult& result) {
            std::vector<std::string> lines;
            QStringList text;
            for (const TLine& line : result.Lines) {
                lines.push_back(line.Text.toStdString());
                text << line.Text;
            }
            const std::string bytes = quorvel::TextFileBytes(lines);
            quorvel::WriteWholeFile(path, bytes.data(), bytes.size());
            written.set_value(text.join(QLatin1Char('\n')));
        },
        0, 0, 0, 0);
    ocr.SetPicture(QImage());
    const QString recognised = written.get_future().get();
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::filesystem::remove(path);

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
                         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
    std::printf("%-8s x%d  %8.0f ms  (process CPU %6.0f ms)  peak %5.0f MB  CER %5.2f %%  "
                "(%lld lines)\n",
                korean ? "Korean" : "English", factor, ms, cpuMs, usage.ru_maxrss / 1024.0,
                100.0 * CharacterErrorRate(reference.join(QLatin1Char('\n')), recognised),
                static_cast<long long>(reference.size()));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QGuiApplication app(argc, argv);
        return RunCase(argv[1], std::atoi(argv[2]));
    }
    std::printf("Screen 1920x1080 of 16-pixel text to a TXT file, Tesseract data: %s\n",
                qPrintable(TesseractDataPath()));
    std::fflush(stdout);
    for (const char* language : {"en", "ko"})
        for (const char* factor : {"3", "1"}) {
            const pid_t child = fork();
            if (child == 0) {
                execl("/proc/self/exe", argv[0], language, factor, static_cast<char*>(nullptr));
                _exit(127);
            }
            int status = 0;
            waitpid(child, &status, 0);
        }
    return 0;
}
