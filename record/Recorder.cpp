#include "record/Recorder.h"

#include "capture/Capture.h"
#include "record/CommandLine.h"
#include "record/FrameWriter.h"
#include "record/RecorderArguments.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QProcess>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel {

namespace {

// How long a stopping recording waits for the encoder's first frame before it asks the
// encoder to end all the same.
constexpr int kFirstFrameWaitMs = 5000;

} // namespace

TRecorder::TRecorder() {
    FTimer.setInterval(30);
    connect(&FTimer, &QTimer::timeout, this, [this] { MirrorStep(); });
    FQuitTimer.setSingleShot(true);
    connect(&FQuitTimer, &QTimer::timeout, this, [this] { ForceQuit(); });
}

TRecorder::~TRecorder() {
    FTimer.stop();
    StopMirror();
    CloseFifo();
    FCMD.reset();
    FWriter.reset();
    if (!FFolder.empty())
        QDir(QString::fromStdString(FFolder)).removeRecursively();
}

QString TRecorder::GetDriver() const {
    QProcess listing;
    listing.setProcessChannelMode(QProcess::MergedChannels);
    listing.start(FFMpeg, {QStringLiteral("-hide_banner"), QStringLiteral("-sources"),
                           QStringLiteral("pulse")});
    if (!listing.waitForFinished(10000)) {
        listing.kill();
        listing.waitForFinished(1000);
        return {};
    }
    return QString::fromStdString(FirstSoundSource(listing.readAll().toStdString()));
}

void TRecorder::Start(const TRect& monitor) {
    FStarted = TClock::now();
    TRecordSettings s;
    s.Mouse = Mouse;
    s.Display = qEnvironmentVariable("DISPLAY", QStringLiteral(":0")).toStdString();
    s.Monitor = monitor;
    FRecTime = QStringLiteral("00:00:00.00");
    FIsRunning = true;
    s.Output = Output.toStdString();
    s.LimitSeconds = LimitSecondsOf(LimitMinutes);
    if (Audio)
        s.AudioDevice = GetDriver().toStdString();
    Run(RecorderArguments(s));
}

void TRecorder::Start(TCapture* capture, std::function<TRect()> rect) {
    capture->SetShowCursor(Mouse);
    Start(
        [capture](const TRect& area) {
            QImage region;
            capture->Capture(region, area);
            return region;
        },
        std::move(rect));
}

void TRecorder::Start(TGrab grab, std::function<TRect()> rect) {
    FStarted = TClock::now();
    FIsRunning = true;
    FGrab = std::move(grab);
    FRect = std::move(rect);
    const TRect now = FRect();
    FWidth = std::max(2, EvenSide(now.Width()));
    FHeight = std::max(2, EvenSide(now.Height()));

    // The pipe the mirror writes and the encoder reads, in a folder of our own.
    std::string folder = QDir::tempPath().toStdString() + "/quorvel-record-XXXXXX";
    if (::mkdtemp(folder.data()) != nullptr) {
        FFolder = folder;
        FFifo = folder + "/frames";
        if (::mkfifo(FFifo.c_str(), 0600) != 0)
            FFifo.clear();
    }
    TRecordSettings s;
    s.Mouse = Mouse;
    s.Region = true;
    s.Fifo = FFifo;
    s.Width = FWidth;
    s.Height = FHeight;
    FRecTime = QStringLiteral("00:00:00.00");
    s.Output = Output.toStdString();
    s.LimitSeconds = LimitSecondsOf(LimitMinutes);
    if (Audio)
        s.AudioDevice = GetDriver().toStdString();
    if (!FFifo.empty())
        FWriter = std::make_unique<TFrameWriter>(
            FFifo, std::chrono::microseconds(1000000 / kVideoFramesPerSecond), RepeatFrames);
    // The first frame is there from the start, so that a recording stopped at once still
    // gives the encoder a picture to end on.
    PutFrame(now);
    if (GrabOnThread && FWriter) {
        FMirrorRect = now;
        FMirror = std::thread([this] { MirrorLoop(); });
    }
    FTimer.start();
    Run(RecorderArguments(s));
}

void TRecorder::Run(const std::string& arguments) {
    FCMD = std::make_unique<TDosCommand>();
    FCMD->OnNewLine = [this](TDosCommand*, const std::string& line, TOutputType type) {
        const std::string t = ProgressTime(line);
        if (!t.empty())
            FRecTime = QString::fromStdString(t);
        if (ProgressFrames(line) > 0) {
            FEncoding = true;
            FRecorded = ProgressSeconds(t);
            FRecordedAt = TClock::now();
            SendQuit();
        }
        if (type == otEntireLine && !line.empty())
            FLastLine = QString::fromStdString(line);
        if (Logging) {
            QFile log(QDir(LogFolder).filePath(QStringLiteral("ffmpeg.log")));
            if (log.open(QIODevice::WriteOnly | QIODevice::Append))
                log.write(QByteArray::fromStdString(line));
        }
    };
    FCMD->OnExecuteError = [this](TDosCommand*, const EDosCommand& e, bool& handled) {
        handled = true;
        // An encoder that ends while its "q" is on the way has closed its input: that is
        // the end asked for, not a failure.
        if (FQuitSent && dynamic_cast<const EAssertionFailed*>(&e) != nullptr)
            return;
        FFailure = QString::fromUtf8(e.what());
    };
    FCMD->OnTerminated = [this](TDosCommand*) { Finished(); };
    FCMD->CommandLine = QuoteArgument(FFMpeg.toStdString()) + " " + arguments;
    FCMD->Execute();
}

void TRecorder::Finished() {
    FTimer.stop();
    StopMirror();
    if (FWriter)
        FWriter->Abandon();
    // An encoder that failed on its own (a device it cannot open, a full disk) or left no
    // usable file: its last line says why.
    if (FFailure.isEmpty()) {
        const QFileInfo file(Output);
        if (FCMD && FCMD->EndStatus() == esProcess && FCMD->ExitCode() != 0)
            FFailure = FLastLine.isEmpty()
                           ? QStringLiteral("The encoder ended with code %1.").arg(FCMD->ExitCode())
                           : FLastLine;
        else if (!file.exists() || file.size() == 0)
            FFailure =
                FLastLine.isEmpty() ? QStringLiteral("The encoder wrote no file.") : FLastLine;
    }
    FIsRunning = false;
}

// The recording ends with "q" to the encoder, and the mirror ends with it: the encoder sees
// the end of its frames and finishes the file. The encoder starts taking pictures only once
// all its inputs are open, and a sound source may take a second or two for that; so "q" waits
// until the video holds as much time as passed between the start and this stop.
void TRecorder::Stop() {
    if (!FStopping) {
        FStopping = true;
        FWanted = std::chrono::duration<double>(TClock::now() - FStarted).count();
        // An encoder that reports no frame at all is asked to end all the same.
        QTimer::singleShot(kFirstFrameWaitMs, this, [this] { ForceQuit(); });
    }
    SendQuit();
}

// The wait is over: "q" goes to the encoder now, whatever it has recorded.
void TRecorder::ForceQuit() {
    FForceQuit = true;
    SendQuit();
}

// "q" reaches the encoder once it has encoded a frame (one read before that ends it with no
// picture at all, a file that no player opens) and its video is as long as wanted.
void TRecorder::SendQuit() {
    if (!FStopping || FQuitSent || !FCMD || !FCMD->IsRunning())
        return;
    if (!FForceQuit) {
        if (!FEncoding)
            return;
        // The encoder reports its time every half second; the video has gone on since.
        const double missing = FWanted - FRecorded -
                               std::chrono::duration<double>(TClock::now() - FRecordedAt).count();
        if (missing > 0.02) {
            if (!FQuitTimer.isActive())
                FQuitTimer.start(static_cast<int>(missing * 1000));
            return;
        }
    }
    FQuitSent = true;
    FQuitTimer.stop();
    FCMD->SendLine("q", false);
    FTimer.stop();
    StopMirror();
    CloseFifo();
}

void TRecorder::CloseFifo() {
    if (FWriter)
        FWriter->Close();
}

// One frame of the region for the encoder: grabbed here (or, with GrabOnThread, where the
// region now stands is handed to the mirror's thread), written by the frame writer's
// thread, so the interface never waits for the encoder.
void TRecorder::MirrorStep() {
    if (!FGrab || !FRect || !FWriter)
        return;
    if (FMirror.joinable()) {
        const TRect rect = FRect();
        std::lock_guard lock(FMirrorLock);
        FMirrorRect = rect;
        return;
    }
    PutFrame(FRect());
}

void TRecorder::PutFrame(const TRect& rect) {
    if (!FGrab || !FWriter)
        return;
    QImage region;
    try {
        region = FGrab(rect);
    } catch (const std::exception&) {
        return;
    }
    if (region.isNull())
        return;
    if (region.size() == QSize(FWidth, FHeight)) {
        FWriter->Put(region.convertToFormat(QImage::Format_RGB32));
        return;
    }
    QImage frame(FWidth, FHeight, QImage::Format_RGB32);
    frame.fill(Qt::black);
    QPainter painter(&frame);
    painter.drawImage(0, 0, region);
    painter.end();
    FWriter->Put(frame);
}

// A frame every 30 ms of wherever the region stood last; after a grab that took longer, the
// next goes at once rather than in a burst of catching up.
void TRecorder::MirrorLoop() {
    constexpr auto period = std::chrono::milliseconds(30);
    auto next = TClock::now();
    std::unique_lock lock(FMirrorLock);
    while (!FMirrorStop) {
        next += period;
        if (FMirrorWake.wait_until(lock, next, [this] { return FMirrorStop; }))
            break;
        const TRect rect = FMirrorRect;
        lock.unlock();
        PutFrame(rect);
        lock.lock();
        if (TClock::now() > next + period)
            next = TClock::now();
    }
}

void TRecorder::StopMirror() {
    {
        std::lock_guard lock(FMirrorLock);
        FMirrorStop = true;
    }
    FMirrorWake.notify_all();
    if (FMirror.joinable())
        FMirror.join();
}

} // namespace quorvel
