#pragma once

#include <QImage>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace quorvel::rtocr {

// One recognition language: its name in English, its BCP-47 tag, its name in itself and
// its ISO 15924 script. Two languages are the same when all four names are.
struct TLanguage {
    QString DisplayName;
    QString LanguageTag;
    QString NativeName;
    QString Script;
    bool operator==(const TLanguage&) const = default;
};
using TLanguages = std::vector<TLanguage>;

// A word's bounding rectangle in pixels of the recognised picture.
struct TSRect {
    float X = 0;
    float Y = 0;
    float Width = 0;
    float Height = 0;
};

struct TWord {
    QString Text;
    TSRect Rect;
};
using TWords = std::vector<TWord>;

struct TLine {
    QString Text;
    TWords Words;
};
using TLines = std::vector<TLine>;

enum TStatus { stCompleted, stCanceled, stError };

struct TResult {
    TStatus Status = stCompleted;
    TLines Lines;
    QString Text;
    double TextAngle = 0;
};

class TRtOcr;
using TCompletedEvent =
    std::function<void(TRtOcr* Sender, const TResult& Result, void* CustomData)>;
using TCompletionProc = std::function<void(const TResult& Result)>;

class ERtOcrError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The folder of trained data Tesseract reads: TESSDATA_PREFIX when it is set, else the
// folder the system's Tesseract was built for.
QString TesseractDataPath();

// Text recognition over Tesseract's LSTM engine. The languages are the trained data of the
// data folder. A recognition runs on a worker thread of its own, and its completion (the
// OnCompleted event or the completion procedure) is called there, not on the thread that
// started it: whatever the handler touches must be safe on that thread. One recognition
// runs at a time. Destroying the component cancels a running recognition and waits for
// its worker to end, the completion included: a handler must therefore never wait for
// the thread that destroys the component (hand work to the user-interface thread with a
// queued call, not a blocking one).
class TRtOcr {
public:
    explicit TRtOcr(QString dataPath = TesseractDataPath());
    ~TRtOcr();
    TRtOcr(const TRtOcr&) = delete;
    TRtOcr& operator=(const TRtOcr&) = delete;

    static QString About();

    // The picture to recognise; a copy of the one given.
    void SetPicture(const QImage& picture);
    const QImage& Picture() const { return FPicture; }

    // Set before the first recognition starts.
    void SetOnCompleted(TCompletedEvent handler);

    // The recognition languages of the data folder, sorted by display name (then by tag).
    // An unreadable folder gives none.
    TLanguages AvailableLanguages() const;
    // The largest picture width or height that Tesseract accepts.
    static std::uint32_t MaxImageDimension();

    // Starts recognising the rectangle Left, Top, Right, Bottom (right and bottom
    // exclusive; all 0 for the whole picture) in the given language and returns at once.
    // Raises ERtOcrError when a recognition runs already, when the language is not in the
    // list, and for a rectangle outside the picture or an empty one.
    void Recognize(const TLanguage& Language, void* CustomData, int Left, int Top, int Right,
                   int Bottom);
    void Recognize(const TLanguage& Language, TCompletionProc Completion, int Left, int Top,
                   int Right, int Bottom);
    // Ends a running recognition; its completion then reports stCanceled.
    void Cancel();
    // Cancels a running recognition; its worker still delivers the completion.
    void Close();
    // True from a successful Recognize until its completion is delivered.
    bool Running() const;

private:
    struct TOperation;
    struct TWorker {
        std::thread Thread;
        std::shared_ptr<std::atomic<bool>> Done;
    };

    void Start(const TLanguage& Language, void* CustomData, TCompletionProc Completion, int Left,
               int Top, int Right, int Bottom);
    QRect CheckedRect(int Left, int Top, int Right, int Bottom) const;
    void Complete(const std::shared_ptr<TOperation>& operation, TResult result);
    void ReapWorkers();

    mutable std::mutex FLock;
    std::shared_ptr<TOperation> FAsyncResult;
    TCompletedEvent FOnCompleted;
    QImage FPicture;
    QString FDataPath;
    std::vector<TWorker> FWorkers;
};

} // namespace quorvel::rtocr
