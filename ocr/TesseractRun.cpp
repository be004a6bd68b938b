#include "ocr/TesseractRun.h"

#include "ocr/PictureBands.h"

#include <tesseract/capi.h>

#include <algorithm>
#include <cmath>
#include <dlfcn.h>
#include <iterator>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace quorvel::rtocr {

namespace {

// The engine's library is loaded when text is first recognised, not at the program's start:
// with what it draws in (image formats, network and encryption libraries) it would add
// megabytes to a program at rest that most users never ask to read text.
struct TTessApi {
    decltype(&TessBaseAPICreate) Create = nullptr;
    decltype(&TessBaseAPIDelete) Delete = nullptr;
    decltype(&TessBaseAPIInit2) Init = nullptr;
    decltype(&TessBaseAPISetVariable) SetVariable = nullptr;
    decltype(&TessBaseAPISetPageSegMode) SetPageSegMode = nullptr;
    decltype(&TessBaseAPISetImage) SetImage = nullptr;
    decltype(&TessBaseAPISetSourceResolution) SetSourceResolution = nullptr;
    decltype(&TessBaseAPIRecognize) Recognize = nullptr;
    decltype(&TessBaseAPIGetUTF8Text) GetUTF8Text = nullptr;
    decltype(&TessBaseAPIGetIterator) GetIterator = nullptr;
    decltype(&TessDeleteText) DeleteText = nullptr;
    decltype(&TessMonitorCreate) MonitorCreate = nullptr;
    decltype(&TessMonitorDelete) MonitorDelete = nullptr;
    decltype(&TessMonitorSetCancelFunc) MonitorSetCancelFunc = nullptr;
    decltype(&TessMonitorSetCancelThis) MonitorSetCancelThis = nullptr;
    decltype(&TessResultIteratorDelete) IteratorDelete = nullptr;
    decltype(&TessResultIteratorNext) IteratorNext = nullptr;
    decltype(&TessResultIteratorGetUTF8Text) IteratorText = nullptr;
    decltype(&TessResultIteratorGetPageIterator) PageIterator = nullptr;
    decltype(&TessPageIteratorIsAtBeginningOf) IsAtBeginningOf = nullptr;
    decltype(&TessPageIteratorBoundingBox) BoundingBox = nullptr;
    decltype(&TessPageIteratorOrientation) Orientation = nullptr;
    void (*SetMaxActiveLevels)(int) = nullptr;
};

template <typename T> bool Resolve(void* library, const char* name, T& function) {
    function = reinterpret_cast<T>(dlsym(library, name));
    return function != nullptr;
}

// The loaded library's functions; nullptr when it cannot be loaded.
const TTessApi* TessApi() {
    static std::once_flag once;
    static TTessApi api;
    static bool loaded = false;
    std::call_once(once, [] {
        void* library = dlopen("libtesseract.so.5", RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr)
            return;
        TTessApi a;
        loaded = Resolve(library, "TessBaseAPICreate", a.Create) &&
                 Resolve(library, "TessBaseAPIDelete", a.Delete) &&
                 Resolve(library, "TessBaseAPIInit2", a.Init) &&
                 Resolve(library, "TessBaseAPISetVariable", a.SetVariable) &&
                 Resolve(library, "TessBaseAPISetPageSegMode", a.SetPageSegMode) &&
                 Resolve(library, "TessBaseAPISetImage", a.SetImage) &&
                 Resolve(library, "TessBaseAPISetSourceResolution", a.SetSourceResolution) &&
                 Resolve(library, "TessBaseAPIRecognize", a.Recognize) &&
                 Resolve(library, "TessBaseAPIGetUTF8Text", a.GetUTF8Text) &&
                 Resolve(library, "TessBaseAPIGetIterator", a.GetIterator) &&
                 Resolve(library, "TessDeleteText", a.DeleteText) &&
                 Resolve(library, "TessMonitorCreate", a.MonitorCreate) &&
                 Resolve(library, "TessMonitorDelete", a.MonitorDelete) &&
                 Resolve(library, "TessMonitorSetCancelFunc", a.MonitorSetCancelFunc) &&
                 Resolve(library, "TessMonitorSetCancelThis", a.MonitorSetCancelThis) &&
                 Resolve(library, "TessResultIteratorDelete", a.IteratorDelete) &&
                 Resolve(library, "TessResultIteratorNext", a.IteratorNext) &&
                 Resolve(library, "TessResultIteratorGetUTF8Text", a.IteratorText) &&
                 Resolve(library, "TessResultIteratorGetPageIterator", a.PageIterator) &&
                 Resolve(library, "TessPageIteratorIsAtBeginningOf", a.IsAtBeginningOf) &&
                 Resolve(library, "TessPageIteratorBoundingBox", a.BoundingBox) &&
                 Resolve(library, "TessPageIteratorOrientation", a.Orientation);
        // The OpenMP runtime the library brings, when it brings one.
        Resolve(library, "omp_set_max_active_levels", a.SetMaxActiveLevels);
        if (loaded)
            api = a;
    });
    return loaded ? &api : nullptr;
}

// Owns what the engine hands out, and gives it back to the engine.
template <typename T, typename TFree> struct TOwned {
    T* p;
    TFree release;
    ~TOwned() {
        if (p != nullptr)
            release(p);
    }
};

QString TakeText(const TTessApi& api, char* text) {
    const QString result = text == nullptr ? QString() : QString::fromUtf8(text).trimmed();
    if (text != nullptr)
        api.DeleteText(text);
    return result;
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
void RunOpenMpLoopsOnOneThread(const TTessApi& api) {
    if (api.SetMaxActiveLevels != nullptr)
        api.SetMaxActiveLevels(0);
}

// Recognises rows `top` to `bottom` (exclusive) of the grey picture; rectangles are in
// the whole picture's coordinates.
TResult RecognizeBand(const QString& dataPath, const std::string& trainedData, const QImage& grey,
                      int top, int bottom, const std::atomic<bool>& canceled) {
    const TTessApi* loaded = TessApi();
    if (loaded == nullptr)
        return Failed();
    const TTessApi& api = *loaded;
    const TOwned<TessBaseAPI, decltype(api.Delete)> engine{api.Create(), api.Delete};
    TessBaseAPI* const handle = engine.p;
    const QByteArray path = dataPath.toLocal8Bit();
    if (handle == nullptr ||
        api.Init(handle, path.constData(), trainedData.c_str(), tesseract::OEM_LSTM_ONLY) != 0)
        return Failed();
    // Its diagnostics (the resolution guess and the like) are not the user's concern.
    api.SetVariable(handle, "debug_file", "/dev/null");
    // The picture is read as one block of lines: the automatic page layout drops whole
    // lines of Korean and Japanese text, while a block keeps every line, side-by-side
    // columns joined from left to right.
    api.SetPageSegMode(handle, tesseract::PSM_SINGLE_BLOCK);
    if (canceled.load())
        return Canceled();

    api.SetImage(handle, grey.constScanLine(top), grey.width(), bottom - top, 1,
                 static_cast<int>(grey.bytesPerLine()));
    // A screen shows type at about the size a 300 dpi scan of print would.
    api.SetSourceResolution(handle, 300);

    RunOpenMpLoopsOnOneThread(api);
    const TOwned<ETEXT_DESC, decltype(api.MonitorDelete)> monitor{api.MonitorCreate(),
                                                                  api.MonitorDelete};
    if (monitor.p == nullptr)
        return Failed();
    api.MonitorSetCancelFunc(monitor.p, &IsCanceled);
    api.MonitorSetCancelThis(monitor.p, const_cast<std::atomic<bool>*>(&canceled));
    const int status = api.Recognize(handle, monitor.p);
    if (canceled.load())
        return Canceled();
    if (status != 0)
        return Failed();

    TResult result;
    result.Status = stCompleted;
    result.Text = TakeText(api, api.GetUTF8Text(handle));
    const TOwned<TessResultIterator, decltype(api.IteratorDelete)> it{api.GetIterator(handle),
                                                                      api.IteratorDelete};
    if (it.p == nullptr)
        return result;
    const TessPageIterator* page = api.PageIterator(it.p);
    bool angleRead = false;
    do {
        TWord word;
        word.Text = TakeText(api, api.IteratorText(it.p, tesseract::RIL_WORD));
        if (word.Text.isEmpty())
            continue;
        if (!angleRead) {
            tesseract::Orientation orientation;
            tesseract::WritingDirection direction;
            tesseract::TextlineOrder order;
            float deskew = 0;
            api.Orientation(const_cast<TessPageIterator*>(page), &orientation, &direction, &order,
                            &deskew);
            result.TextAngle = std::isfinite(deskew) ? -deskew * 180.0 / M_PI : 0.0;
            angleRead = true;
        }
        if (result.Lines.empty() || api.IsAtBeginningOf(page, tesseract::RIL_TEXTLINE)) {
            TLine line;
            line.Text = TakeText(api, api.IteratorText(it.p, tesseract::RIL_TEXTLINE));
            result.Lines.push_back(std::move(line));
        }
        int left = 0, wordTop = 0, right = 0, wordBottom = 0;
        if (api.BoundingBox(page, tesseract::RIL_WORD, &left, &wordTop, &right, &wordBottom))
            word.Rect =
                TSRect{static_cast<float>(left), static_cast<float>(top + wordTop),
                       static_cast<float>(right - left), static_cast<float>(wordBottom - wordTop)};
        result.Lines.back().Words.push_back(std::move(word));
    } while (api.IteratorNext(it.p, tesseract::RIL_WORD));
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
