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

// A short limit in seconds, for tests that must see a limit end a recording.
int TestLimitSeconds() {
    const char* value = std::getenv("QUORVEL_RECORD_LIMIT_SECONDS");
    return value != nullptr ? std::atoi(value) : 0;
}

} // namespace

TRecorder::TRecorder() {
    FTimer.setInterval(30);
    connect(&FTimer, &QTimer::timeout, this, [this] { MirrorStep(); });
}

TRecorder::~TRecorder() {
    FTimer.stop();
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
    TRecordSettings s;
    s.Mouse = Mouse;
    s.Display = qEnvironmentVariable("DISPLAY", QStringLiteral(":0")).toStdString();
    s.Monitor = monitor;
    FRecTime = QStringLiteral("00:00:00.00");
    FIsRunning = true;
    s.Output = Output.toStdString();
    s.LimitSeconds = TestLimitSeconds() > 0 ? TestLimitSeconds() : LimitSecondsOf(LimitMinutes);
    if (Audio)
        s.AudioDevice = GetDriver().toStdString();
    Run(RecorderArguments(s));
}

void TRecorder::Start(TCapture* capture, std::function<TRect()> rect) {
    FIsRunning = true;
    FCapture = capture;
    FRect = std::move(rect);
    FCapture->SetShowCursor(Mouse);
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
    s.LimitSeconds = TestLimitSeconds() > 0 ? TestLimitSeconds() : LimitSecondsOf(LimitMinutes);
    if (Audio)
        s.AudioDevice = GetDriver().toStdString();
    if (!FFifo.empty())
        FWriter = std::make_unique<TFrameWriter>(
            FFifo, std::chrono::microseconds(1000000 / kVideoFramesPerSecond));
    FTimer.start();
    Run(RecorderArguments(s));
}

void TRecorder::Run(const std::string& arguments) {
    FCMD = std::make_unique<TDosCommand>();
    FCMD->OnNewLine = [this](TDosCommand*, const std::string& line, TOutputType type) {
        const std::string t = ProgressTime(line);
        if (!t.empty())
            FRecTime = QString::fromStdString(t);
        if (type == otEntireLine && !line.empty())
            FLastLine = QString::fromStdString(line);
        if (Logging) {
            QFile log(QDir(LogFolder).filePath(QStringLiteral("ffmpeg.log")));
            if (log.open(QIODevice::WriteOnly | QIODevice::Append))
                log.write(QByteArray::fromStdString(line));
        }
    };
    FCMD->OnExecuteError = [this](TDosCommand*, const EDosCommand& e, bool& handled) {
        FFailure = QString::fromUtf8(e.what());
        handled = true;
    };
    FCMD->OnTerminated = [this](TDosCommand*) { Finished(); };
    FCMD->CommandLine = QuoteArgument(FFMpeg.toStdString()) + " " + arguments;
    FCMD->Execute();
}

void TRecorder::Finished() {
    FTimer.stop();
    CloseFifo();
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

void TRecorder::Stop() {
    if (FCMD && FCMD->IsRunning() && !FStopped) {
        FStopped = true;
        FCMD->SendLine("q", false);
    }
    // The mirror ends; the encoder sees the end of its frames and finishes the file.
    FTimer.stop();
    CloseFifo();
}

void TRecorder::CloseFifo() {
    if (FWriter)
        FWriter->Close();
}

// One frame of the region for the encoder: grabbed here, written by the frame writer's
// thread, so the interface never waits for the encoder.
void TRecorder::MirrorStep() {
    if (FCapture == nullptr || !FRect || !FWriter)
        return;
    QImage region;
    try {
        FCapture->Capture(region, FRect());
    } catch (const std::exception&) {
        return;
    }
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

} // namespace quorvel
