// Text recognition against the `tesseract` command on a generated set of screen pictures:
// lines of words at text sizes from 11 to 24 pixels, in sans-serif and serif type, dark on
// light and light on dark, in every language of the interface whose trained data is
// installed. For each picture it prints the word recall (for Chinese and Japanese, the
// character recall) and the time from picture to text, the program's (enlargement chosen
// from the text's size, as the capture controller does) beside the command's, and the
// enlargement chosen. A summary gives the lowest recall and the median and total time
// ratios.
//
// Usage: bench_ocr [FILTER] [FACTOR]
//   FILTER  only the cases whose name contains it ("" for all)
//   FACTOR  a fixed enlargement instead of the chosen one (for comparison); with a FACTOR the
//           command is not run

#include "app/FrmQuorvel.h"
#include "ocr/RtOcr.h"
#include "ocr/TextSize.h"

#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QRegularExpression>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace quorvel::rtocr;
using Clock = std::chrono::steady_clock;

struct TScript {
    const char* tag;     // the language tag of the trained data
    const char* trained; // the trained data's name for the command
    const char* sans;    // fonts that have the script
    const char* serif;
    bool characters; // recall counted in characters, not words
    std::vector<const char*> words;
};

const std::vector<TScript>& Scripts() {
    static const std::vector<TScript> scripts = {
        {"en",
         "eng",
         "DejaVu Sans",
         "DejaVu Serif",
         false,
         {"screen",   "capture", "window",  "text",      "file",    "folder",  "settings",
          "language", "picture", "region",  "recording", "upload",  "printer", "clipboard",
          "hotkey",   "silver",  "compile", "quality",   "message", "option",  "the",
          "and",      "of",      "to",      "with",      "from",    "every",   "after",
          "before",   "under",   "saved",   "opened",    "closed",  "chosen",  "question",
          "Screen",   "Quick",   "copy",    "select",    "scroll",  "cursor",  "queue",
          "source",   "create"}},
        {"fr",
         "fra",
         "DejaVu Sans",
         "DejaVu Serif",
         false,
         {"écran",
          "capture",
          "fenêtre",
          "texte",
          "fichier",
          "dossier",
          "réglages",
          "langue",
          "image",
          "région",
          "enregistrement",
          "envoyer",
          "imprimante",
          "presse-papiers",
          "qualité",
          "message",
          "choisir",
          "déjà",
          "après",
          "avant",
          "ouvert",
          "fermé",
          "le",
          "la",
          "les",
          "des",
          "avec",
          "sous",
          "chaque",
          "souris"}},
        {"it",
         "ita",
         "DejaVu Sans",
         "DejaVu Serif",
         false,
         {"schermo", "cattura",   "finestra",  "testo",         "cartella", "impostazioni",
          "lingua",  "immagine",  "regione",   "registrazione", "caricare", "stampante",
          "qualità", "messaggio", "scegliere", "dopo",          "prima",    "aperto",
          "chiuso",  "il",        "la",        "gli",           "con",      "sotto",
          "ogni",    "città",     "più",       "perché"}},
        {"ru",
         "rus",
         "DejaVu Sans",
         "DejaVu Serif",
         false,
         {"экран",    "снимок",    "окно",    "текст",  "файл",     "папка",   "настройки",
          "язык",     "картинка",  "область", "запись", "загрузка", "принтер", "буфер",
          "качество", "сообщение", "выбор",   "после",  "перед",    "открыт",  "закрыт",
          "и",        "в",         "на",      "с",      "под",      "каждый",  "мышь"}},
        {"ko",
         "kor",
         "Noto Sans CJK KR",
         "Noto Serif CJK KR",
         false,
         {"화면",   "캡쳐", "창",     "글자",   "파일",     "폴더",     "설정",   "언어",
          "그림",   "영역", "녹화",   "업로드", "프린터",   "클립보드", "단축키", "모니터",
          "마우스", "품질", "메시지", "선택",   "저장",     "열기",     "닫기",   "인식",
          "결과",   "시간", "이미지", "문서",   "프로그램", "사용자"}},
        {"ja",
         "jpn",
         "Noto Sans CJK JP",
         "Noto Serif CJK JP",
         true,
         {"画面",   "キャプチャ", "窓",     "文字", "ファイル", "フォルダー", "設定",
          "言語",   "画像",       "領域",   "録画", "印刷",     "品質",       "選択",
          "保存",   "開く",       "閉じる", "認識", "結果",     "時間",       "文書",
          "利用者", "が",         "の",     "を",   "に"}},
        {"zh-Hans",
         "chi_sim",
         "Noto Sans CJK SC",
         "Noto Serif CJK SC",
         true,
         {"屏幕", "截图", "窗口", "文字",   "文件",   "文件夹", "设置", "语言", "图片",
          "区域", "录制", "上传", "打印机", "剪贴板", "质量",   "消息", "选择", "保存",
          "打开", "关闭", "识别", "结果",   "时间",   "文档",   "程序", "用户"}},
        {"zh-Hant",
         "chi_tra",
         "Noto Sans CJK TC",
         "Noto Serif CJK TC",
         true,
         {"螢幕", "截圖", "視窗", "文字",   "檔案",   "資料夾", "設定", "語言",  "圖片",
          "區域", "錄製", "上傳", "印表機", "剪貼簿", "品質",   "訊息", "選擇",  "儲存",
          "開啟", "關閉", "辨識", "結果",   "時間",   "文件",   "程式", "使用者"}},
    };
    return scripts;
}

struct TCase {
    const TScript* script;
    int pixels;
    bool serif;
    bool dark;
    std::string Name() const {
        return std::string(script->tag) + "-" + std::to_string(pixels) + "px-" +
               (serif ? "serif" : "sans") + (dark ? "-dark" : "-light");
    }
};

// Lines of words drawn from the list by a fixed sequence, as wide as the picture allows.
QStringList PageText(const TScript& script, const QFontMetrics& metrics, int width, int lines,
                     std::uint32_t seed) {
    std::uint32_t state = seed;
    QStringList page;
    const QString gap = script.characters ? QString() : QStringLiteral(" ");
    for (int i = 0; i < lines; ++i) {
        QString line;
        for (;;) {
            state = state * 1103515245u + 12345u;
            const QString word =
                QString::fromUtf8(script.words[(state >> 16) % script.words.size()]);
            const QString longer = line.isEmpty() ? word : line + gap + word;
            if (metrics.horizontalAdvance(longer) > width)
                break;
            line = longer;
        }
        page << line;
    }
    return page;
}

// A window-sized screen picture of the case's text.
QImage Screen(const TCase& c, QStringList& text) {
    QImage screen(1280, 400, QImage::Format_RGB32);
    screen.fill(c.dark ? QColor(30, 30, 36) : QColor(250, 250, 250));
    QFont font(QString::fromUtf8(c.serif ? c.script->serif : c.script->sans));
    font.setPixelSize(c.pixels);
    const QFontMetrics metrics(font);
    const int lineHeight = metrics.height() + c.pixels / 2;
    text = PageText(*c.script, metrics, screen.width() - 60, (screen.height() - 40) / lineHeight,
                    static_cast<std::uint32_t>(c.pixels * 977 + c.serif * 31 + c.dark));
    QPainter painter(&screen);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font);
    painter.setPen(c.dark ? QColor(220, 220, 220) : QColor(20, 20, 20));
    for (int i = 0; i < text.size(); ++i)
        painter.drawText(30, 20 + i * lineHeight + metrics.ascent(), text[i]);
    return screen;
}

// The share of the reference's words (or characters) that the recognised text holds, each
// counted as often as it occurs.
double Recall(const TScript& script, const QString& reference, const QString& recognised) {
    QHash<QString, int> found;
    const auto units = [&](const QString& text) {
        QStringList list;
        if (script.characters) {
            for (const QChar ch : text)
                if (!ch.isSpace())
                    list << QString(ch);
        } else {
            static const QRegularExpression space(QStringLiteral("\\s+"));
            for (QString word : text.split(space, Qt::SkipEmptyParts)) {
                // Punctuation the engine hangs on a word is not the word's fault.
                while (!word.isEmpty() && word.back().isPunct() && word.back() != QLatin1Char('-'))
                    word.chop(1);
                list << word;
            }
        }
        return list;
    };
    for (const QString& unit : units(recognised))
        ++found[unit];
    int total = 0, hit = 0;
    for (const QString& unit : units(reference)) {
        ++total;
        if (found.value(unit) > 0) {
            --found[unit];
            ++hit;
        }
    }
    return total == 0 ? 1.0 : static_cast<double>(hit) / total;
}

struct TOutcome {
    double recall = 0;
    double ms = 0;
    double factor = 1;
};

TOutcome RunProgram(const TCase& c, const QImage& screen, const QString& reference,
                    double fixedFactor) {
    TRtOcr ocr;
    TLanguage chosen;
    for (const TLanguage& each : ocr.AvailableLanguages())
        if (each.LanguageTag == QLatin1String(c.script->tag))
            chosen = each;
    TOutcome outcome;
    if (chosen.LanguageTag.isEmpty())
        return outcome;
    const auto start = Clock::now();
    QImage bitmap = screen.copy(); // the picture as the grabber hands it over
    outcome.factor =
        fixedFactor > 0 ? fixedFactor : quorvel::TFrmQuorvel::OcrEnlargement(bitmap, chosen.Script);
    if (outcome.factor > 1.0)
        quorvel::TFrmQuorvel::ResizeBitmap(bitmap,
                                           static_cast<int>(bitmap.width() * outcome.factor),
                                           static_cast<int>(bitmap.height() * outcome.factor));
    ocr.SetPicture(bitmap);
    bitmap = QImage();
    std::promise<QString> done;
    ocr.Recognize(
        chosen, [&](const TResult& result) { done.set_value(result.Text); }, 0, 0, 0, 0);
    ocr.SetPicture(QImage());
    const QString text = done.get_future().get();
    outcome.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    outcome.recall = Recall(*c.script, reference, text);
    return outcome;
}

// The command as a user runs it: the picture as a PNG file, the text to a file beside it.
TOutcome RunCommand(const TCase& c, const QImage& screen, const QString& reference,
                    const QString& folder) {
    const QString png = folder + QStringLiteral("/case.png");
    screen.save(png, "PNG");
    const QString base = folder + QStringLiteral("/case");
    const std::string command = "tesseract '" + png.toStdString() + "' '" + base.toStdString() +
                                "' -l " + c.script->trained + " >/dev/null 2>&1";
    const auto start = Clock::now();
    TOutcome outcome;
    if (std::system(command.c_str()) != 0)
        return outcome;
    outcome.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    QFile file(base + QStringLiteral(".txt"));
    if (file.open(QIODevice::ReadOnly))
        outcome.recall = Recall(*c.script, reference, QString::fromUtf8(file.readAll()));
    return outcome;
}

double Median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const std::string filter = argc > 1 ? argv[1] : "";
    const double fixedFactor = argc > 2 ? std::atof(argv[2]) : 0.0;
    const bool command = fixedFactor <= 0;

    const QString data = TesseractDataPath();
    std::vector<TCase> cases;
    for (const TScript& script : Scripts()) {
        if (!QFile::exists(data + QStringLiteral("/") + QLatin1String(script.trained) +
                           QStringLiteral(".traineddata")))
            continue;
        const bool english = std::string(script.tag) == "en";
        const std::vector<int> sizes =
            english ? std::vector<int>{11, 13, 15, 18, 24} : std::vector<int>{12, 16, 22};
        for (const int pixels : sizes)
            for (const bool serif : {false, true})
                for (const bool dark : {false, true}) {
                    if (!english && serif && dark)
                        continue;
                    const TCase c{&script, pixels, serif, dark};
                    if (c.Name().find(filter) != std::string::npos)
                        cases.push_back(c);
                }
    }

    char pattern[] = "/tmp/quorvel-ocr-XXXXXX";
    const char* folder = ::mkdtemp(pattern);
    if (folder == nullptr)
        return 1;
    std::printf("Text recognition of 1280x400 screen pictures, trained data: %s\n",
                qPrintable(data));
    std::printf("%-28s %6s  %9s %9s  %9s %9s  %6s\n", "case", "enlarge", "recall", "ms",
                "cmd recall", "cmd ms", "ratio");
    std::vector<double> ratios;
    double lowestGap = 1, ours = 0, theirs = 0;
    int worse = 0;
    for (const TCase& c : cases) {
        QStringList lines;
        const QImage screen = Screen(c, lines);
        const QString reference = lines.join(QLatin1Char('\n'));
        const TOutcome mine = RunProgram(c, screen, reference, fixedFactor);
        TOutcome cmd;
        if (command)
            cmd = RunCommand(c, screen, reference, QString::fromUtf8(folder));
        const double ratio = cmd.ms > 0 ? mine.ms / cmd.ms : 0;
        std::printf("%-28s %6.2f  %8.1f%% %9.0f  %8.1f%% %9.0f  %6.2f%s\n", c.Name().c_str(),
                    mine.factor, 100 * mine.recall, mine.ms, 100 * cmd.recall, cmd.ms, ratio,
                    command && mine.recall < cmd.recall ? "  recall below the command's" : "");
        std::fflush(stdout);
        if (command) {
            ratios.push_back(ratio);
            ours += mine.ms;
            theirs += cmd.ms;
            lowestGap = std::min(lowestGap, mine.recall - cmd.recall);
            worse += mine.recall < cmd.recall;
        }
    }
    if (command && !ratios.empty())
        std::printf("\n%zu pictures: recall below the command's on %d (largest shortfall %.1f "
                    "points); time ratio median %.2f, total %.0f ms against %.0f ms (%.2f)\n",
                    ratios.size(), worse, lowestGap < 0 ? -100 * lowestGap : 0.0, Median(ratios),
                    ours, theirs, theirs > 0 ? ours / theirs : 0.0);
    QDir(QString::fromUtf8(folder)).removeRecursively();
    return 0;
}
