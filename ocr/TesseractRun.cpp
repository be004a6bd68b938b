#include "ocr/TesseractRun.h"

#include "ocr/PictureBands.h"

#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <cmath>
#include <dlfcn.h>
#include <iterator>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

namespace quorvel::rtocr {

namespace {

struct TTextDeleter {
    void operator()(char* text) const { delete[] text; }
};
using TText = std::unique_ptr<char[], TTextDeleter>;

QString Trimmed(const char* text) {
    return text == nullptr ? QString() : QString::fromUtf8(text).trimmed();
}

// Bands read side by side: at most this many, each at least this many rows tall, since
// every band loads the trained data anew.
constexpr int kMostBands = 4;
constexpr int kLeastBandHeight = 400;

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

// Recognises rows `top` to `bottom` (exclusive) of the grey picture; rectangles are in
// the whole picture's coordinates.
TResult RecognizeBand(const QString& dataPath, const std::string& trainedData, const QImage& grey,
                      int top, int bottom, const std::atomic<bool>& canceled) {
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

    api.SetImage(grey.constScanLine(top), grey.width(), bottom - top, 1,
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
        int left = 0, wordTop = 0, right = 0, wordBottom = 0;
        if (it->BoundingBox(tesseract::RIL_WORD, &left, &wordTop, &right, &wordBottom))
            word.Rect =
                TSRect{static_cast<float>(left), static_cast<float>(top + wordTop),
                       static_cast<float>(right - left), static_cast<float>(wordBottom - wordTop)};
        if (!word.Text.isEmpty())
            result.Lines.back().Words.push_back(std::move(word));
    } while (it->Next(tesseract::RIL_WORD));
    // A line of nothing but blanks is no line.
    std::erase_if(result.Lines, [](const TLine& line) { return line.Text.isEmpty(); });
    return result;
}

// The bands' results one after the other, as one recognition of the whole picture.
TResult Joined(std::vector<TResult>& bands) {
    TResult whole;
    bool angleRead = false;
    for (TResult& band : bands) {
        if (band.Status != stCompleted)
            return band.Status == stCanceled ? Canceled() : Failed();
        if (!band.Text.isEmpty())
            whole.Text += (whole.Text.isEmpty() ? QString() : QStringLiteral("\n")) + band.Text;
        if (!angleRead && !band.Lines.empty()) {
            whole.TextAngle = band.TextAngle;
            angleRead = true;
        }
        std::move(band.Lines.begin(), band.Lines.end(), std::back_inserter(whole.Lines));
    }
    return whole;
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

    // The engine works on one processor; a large picture is cut between lines of text
    // into a band a processor, read side by side.
    const int processors =
        std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, kMostBands);
    std::vector<int> edges{0};
    for (int cut : BandCuts(grey.constBits(), grey.width(), grey.height(), grey.bytesPerLine(),
                            processors, kLeastBandHeight))
        edges.push_back(cut);
    edges.push_back(grey.height());

    const std::size_t count = edges.size() - 1;
    std::vector<TResult> bands(count);
    const auto read = [&](std::size_t band) {
        try {
            bands[band] =
                RecognizeBand(dataPath, trainedData, grey, edges[band], edges[band + 1], canceled);
        } catch (...) {
            bands[band] = Failed();
        }
    };
    std::vector<std::thread> helpers;
    std::size_t unstarted = count;
    for (std::size_t band = 1; band < count; ++band) {
        try {
            helpers.emplace_back(read, band);
        } catch (const std::system_error&) {
            unstarted = band; // no more threads: this band and the rest are read here
            break;
        }
    }
    read(0);
    for (std::size_t band = unstarted; band < count; ++band)
        read(band);
    for (std::thread& helper : helpers)
        helper.join();
    return Joined(bands);
}

} // namespace quorvel::rtocr
