#include "ocr/TesseractRun.h"

#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <cmath>
#include <dlfcn.h>
#include <memory>

namespace quorvel::rtocr {

namespace {

struct TTextDeleter {
    void operator()(char* text) const { delete[] text; }
};
using TText = std::unique_ptr<char[], TTextDeleter>;

QString Trimmed(const char* text) {
    return text == nullptr ? QString() : QString::fromUtf8(text).trimmed();
}

bool IsCanceled(void* flag, int /*words*/) {
    return static_cast<const std::atomic<bool>*>(flag)->load();
}

TResult Canceled() {
    return TResult{stCanceled, {}, {}, 0};
}

TResult Failed() {
    return TResult{stError, {}, {}, 0};
}

// Tesseract's OpenMP loops ask for four threads whatever the machine, and their pieces of
// work are so small that the threads mostly wait for each other: on two cores a whole
// screen took several times longer than with one thread, and twice as long even when the
// runtime was left to adapt the threads to the load. Loops run on the calling thread only.
void RunOpenMpLoopsOnOneThread() {
    using TSetMaxActiveLevels = void (*)(int);
    if (auto setLevels =
            reinterpret_cast<TSetMaxActiveLevels>(dlsym(RTLD_DEFAULT, "omp_set_max_active_levels")))
        setLevels(0);
}

} // namespace

TResult RunTesseract(const QString& dataPath, const std::string& trainedData, const QImage& picture,
                     const std::atomic<bool>& canceled) {
    if (canceled.load())
        return Canceled();
    // Tesseract reads grey levels best; one byte a pixel also keeps large screens small.
    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
    if (grey.isNull())
        return Failed();

    tesseract::TessBaseAPI api;
    const QByteArray path = dataPath.toLocal8Bit();
    if (api.Init(path.constData(), trainedData.c_str(), tesseract::OEM_LSTM_ONLY) != 0)
        return Failed();
    // Its diagnostics (the resolution guess and the like) are not the user's concern.
    api.SetVariable("debug_file", "/dev/null");
    // The picture is read as one block of lines: the automatic page layout drops whole
    // lines of Korean and Japanese text, while a block keeps every line, side-by-side
    // columns joined from left to right.
    api.SetPageSegMode(tesseract::PSM_SINGLE_BLOCK);
    if (canceled.load())
        return Canceled();

    api.SetImage(grey.constBits(), grey.width(), grey.height(), 1,
                 static_cast<int>(grey.bytesPerLine()));
    // A screen shows type at about the size a 300 dpi scan of print would.
    api.SetSourceResolution(300);

    RunOpenMpLoopsOnOneThread();
    tesseract::ETEXT_DESC monitor;
    monitor.cancel = &IsCanceled;
    monitor.cancel_this = const_cast<std::atomic<bool>*>(&canceled);
    const int status = api.Recognize(&monitor);
    if (canceled.load())
        return Canceled();
    if (status != 0)
        return Failed();

    TResult result;
    result.Status = stCompleted;
    result.Text = Trimmed(TText(api.GetUTF8Text()).get());
    std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
    if (!it)
        return result;
    bool angleRead = false;
    do {
        if (it->Empty(tesseract::RIL_WORD))
            continue;
        if (!angleRead) {
            tesseract::Orientation orientation;
            tesseract::WritingDirection direction;
            tesseract::TextlineOrder order;
            float deskew = 0;
            it->Orientation(&orientation, &direction, &order, &deskew);
            result.TextAngle = std::isfinite(deskew) ? -deskew * 180.0 / M_PI : 0.0;
            angleRead = true;
        }
        if (result.Lines.empty() || it->IsAtBeginningOf(tesseract::RIL_TEXTLINE)) {
            TLine line;
            line.Text = Trimmed(TText(it->GetUTF8Text(tesseract::RIL_TEXTLINE)).get());
            result.Lines.push_back(std::move(line));
        }
        TWord word;
        word.Text = Trimmed(TText(it->GetUTF8Text(tesseract::RIL_WORD)).get());
        int left = 0, top = 0, right = 0, bottom = 0;
        if (it->BoundingBox(tesseract::RIL_WORD, &left, &top, &right, &bottom))
            word.Rect = TSRect{static_cast<float>(left), static_cast<float>(top),
                               static_cast<float>(right - left), static_cast<float>(bottom - top)};
        if (!word.Text.isEmpty())
            result.Lines.back().Words.push_back(std::move(word));
    } while (it->Next(tesseract::RIL_WORD));
    // A line of nothing but blanks is no line.
    std::erase_if(result.Lines, [](const TLine& line) { return line.Text.isEmpty(); });
    return result;
}

} // namespace quorvel::rtocr
