#include "ocr/RtOcr.h"

#include "ocr/LanguageNames.h"
#include "ocr/TesseractRun.h"

#include <QRect>
#include <cstdlib>

#ifndef QUORVEL_TESSDATA_DIR
#define QUORVEL_TESSDATA_DIR "/usr/share/tesseract-ocr/5/tessdata"
#endif

namespace quorvel::rtocr {

struct TRtOcr::TOperation {
    std::atomic<bool> Canceled{false};
};

QString TesseractDataPath() {
    const char* prefix = std::getenv("TESSDATA_PREFIX");
    if (prefix != nullptr && *prefix != '\0')
        return QString::fromLocal8Bit(prefix);
    return QStringLiteral(QUORVEL_TESSDATA_DIR);
}

TRtOcr::TRtOcr(QString dataPath) : FDataPath(std::move(dataPath)) {}

TRtOcr::~TRtOcr() {
    Close();
    std::vector<TWorker> workers;
    {
        std::lock_guard lock(FLock);
        workers.swap(FWorkers);
    }
    for (TWorker& worker : workers) {
        if (worker.Thread.get_id() == std::this_thread::get_id())
            worker.Thread.detach(); // destroyed from its own completion: nothing left to wait for
        else if (worker.Thread.joinable())
            worker.Thread.join();
    }
}

QString TRtOcr::About() {
    return QStringLiteral("Text recognition with Tesseract's LSTM engine");
}

void TRtOcr::SetPicture(const QImage& picture) {
    FPicture = picture;
}

void TRtOcr::SetOnCompleted(TCompletedEvent handler) {
    std::lock_guard lock(FLock);
    FOnCompleted = std::move(handler);
}

TLanguages TRtOcr::AvailableLanguages() const {
    TLanguages languages;
    for (const TNamedLanguage& named : LanguagesOfFolder(FDataPath))
        languages.push_back(named.Language);
    return languages;
}

std::uint32_t TRtOcr::MaxImageDimension() {
    // Tesseract keeps picture coordinates in 16-bit integers.
    return 32767;
}

bool TRtOcr::Running() const {
    std::lock_guard lock(FLock);
    return FAsyncResult != nullptr;
}

void TRtOcr::Recognize(const TLanguage& Language, void* CustomData, int Left, int Top, int Right,
                       int Bottom) {
    Start(Language, CustomData, {}, Left, Top, Right, Bottom);
}

void TRtOcr::Recognize(const TLanguage& Language, TCompletionProc Completion, int Left, int Top,
                       int Right, int Bottom) {
    Start(Language, nullptr, std::move(Completion), Left, Top, Right, Bottom);
}

QRect TRtOcr::CheckedRect(int Left, int Top, int Right, int Bottom) const {
    if (Left == 0 && Top == 0 && Right == 0 && Bottom == 0) {
        Right = FPicture.width();
        Bottom = FPicture.height();
    }
    if (Left < 0)
        throw ERtOcrError("Incorrect Left value");
    if (Top < 0)
        throw ERtOcrError("Incorrect Top value");
    // An empty rectangle has nothing to recognise and is refused with its far edge.
    if (Right < 1 || Right > FPicture.width() || Right <= Left)
        throw ERtOcrError("Incorrect Right value");
    if (Bottom < 1 || Bottom > FPicture.height() || Bottom <= Top)
        throw ERtOcrError("Incorrect Bottom value");
    if (static_cast<std::uint32_t>(Right - Left) > MaxImageDimension() ||
        static_cast<std::uint32_t>(Bottom - Top) > MaxImageDimension())
        throw ERtOcrError("Image too large");
    return QRect(Left, Top, Right - Left, Bottom - Top);
}

void TRtOcr::Start(const TLanguage& Language, void* CustomData, TCompletionProc Completion,
                   int Left, int Top, int Right, int Bottom) {
    std::lock_guard lock(FLock);
    if (FAsyncResult != nullptr)
        throw ERtOcrError("Recognition already started");
    std::string trainedData;
    for (const TNamedLanguage& named : LanguagesOfFolder(FDataPath))
        if (named.Language == Language) {
            trainedData = named.TrainedData;
            break;
        }
    if (trainedData.empty())
        throw ERtOcrError("Language not available");
    const QRect area = CheckedRect(Left, Top, Right, Bottom);

    ReapWorkers();
    auto operation = std::make_shared<TOperation>();
    auto done = std::make_shared<std::atomic<bool>>(false);
    // The worker cuts its part out of the picture, so that the caller is not kept waiting.
    std::thread thread([this, operation, done, picture = FPicture, area,
                        trainedData = std::move(trainedData), dataPath = FDataPath, CustomData,
                        Completion = std::move(Completion)] {
        TResult result;
        try {
            const QImage part = area == picture.rect() ? picture : picture.copy(area);
            if (part.isNull())
                result.Status = stError; // no memory for the copy
            else
                result = RunTesseract(dataPath, trainedData, part, operation->Canceled);
        } catch (...) {
            result = TResult{stError, {}, {}, 0};
        }

        TCompletedEvent handler;
        bool current = false;
        {
            std::lock_guard lock(FLock);
            if (FAsyncResult == operation) {
                // Idle again before the result is delivered, so that the handler may
                // start the next recognition.
                FAsyncResult = nullptr;
                current = true;
                handler = FOnCompleted;
            }
        }
        if (current && (Completion || handler)) {
            try {
                if (Completion)
                    Completion(result);
                else
                    handler(this, result, CustomData);
            } catch (...) {
                // A failing handler ends here; the worker has nobody to hand it to.
            }
        }
        done->store(true);
    });
    FAsyncResult = operation;
    FWorkers.push_back({std::move(thread), done});
}

void TRtOcr::ReapWorkers() {
    for (auto it = FWorkers.begin(); it != FWorkers.end();) {
        if (it->Done->load() && it->Thread.get_id() != std::this_thread::get_id()) {
            it->Thread.join();
            it = FWorkers.erase(it);
        } else {
            ++it;
        }
    }
}

void TRtOcr::Cancel() {
    std::lock_guard lock(FLock);
    if (FAsyncResult != nullptr)
        FAsyncResult->Canceled.store(true);
}

void TRtOcr::Close() {
    Cancel();
}

} // namespace quorvel::rtocr
