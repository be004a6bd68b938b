#include "capture/WebPageProcess.h"

#include "capture/WebPageExtent.h"
#include "capture/WebPageProtocol.h"
#include "support/ProgramFolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <stdexcept>

namespace quorvel {

namespace {

constexpr const char* kProgramFile = "quorvel-webpage";
// The render of the largest page takes a few seconds; past this the window is stuck.
constexpr int kCaptureTimeoutMs = 60000;

} // namespace

QString WebPageProgramPath() {
    const QString folder = QString::fromStdString(ProgramFolder());
    for (const QString& path :
         {folder + QLatin1String(kProgramFile),
          QDir::cleanPath(folder + QStringLiteral(QUORVEL_LIBEXEC_RELATIVE "/") +
                          QLatin1String(kProgramFile))})
        if (QFileInfo(path).isExecutable())
            return path;
    return QStringLiteral(QUORVEL_LIBEXEC_DIR "/") + QLatin1String(kProgramFile);
}

TWebPageProcess::TWebPageProcess(const QString& applicationTitle, QObject* parent)
    : QObject(parent), FProcess(new QProcess(this)) {
    FProcess->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(FProcess, &QProcess::readyReadStandardOutput, this, [this] {
        if (!FCapturing)
            HandleLines();
    });
    connect(FProcess, &QProcess::finished, this, [this] { Finish(); });
    connect(FProcess, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            Finish();
    });
    FProcess->start(WebPageProgramPath(), {applicationTitle});
    if (!FProcess->waitForStarted(10000))
        throw std::runtime_error(FProcess->errorString().toStdString() + ": " +
                                 WebPageProgramPath().toStdString());
}

TWebPageProcess::~TWebPageProcess() {
    if (FProcess->state() == QProcess::NotRunning)
        return;
    // The window closes when its input ends; it is made to go if it does not.
    FProcess->closeWriteChannel();
    if (!FProcess->waitForFinished(5000)) {
        FProcess->kill();
        FProcess->waitForFinished(1000);
    }
}

void TWebPageProcess::Close() {
    if (FProcess->state() == QProcess::Running) {
        FProcess->write(kWebPageClose);
        FProcess->write("\n");
    }
}

void TWebPageProcess::HandleLines() {
    while (FProcess->canReadLine()) {
        const QByteArray line = FProcess->readLine().trimmed();
        if (line == kWebPageClosed)
            Finish();
    }
}

void TWebPageProcess::Finish() {
    if (FFinished)
        return;
    FFinished = true;
    if (Closed)
        Closed();
}

std::string TWebPageProcess::ReadLine(int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!FProcess->canReadLine()) {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0 || !FProcess->waitForReadyRead(static_cast<int>(left)))
            if (!FProcess->canReadLine())
                throw std::runtime_error("The browser window did not answer.");
    }
    return FProcess->readLine().trimmed().toStdString();
}

void TWebPageProcess::Read(char* data, qint64 size, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (size > 0) {
        if (FProcess->bytesAvailable() == 0) {
            const qint64 left = timeoutMs - clock.elapsed();
            if (left <= 0 || !FProcess->waitForReadyRead(static_cast<int>(left)))
                throw std::runtime_error("The browser window did not send the whole picture.");
            continue;
        }
        const qint64 n = FProcess->read(data, size);
        if (n <= 0)
            throw std::runtime_error("The browser window did not send the whole picture.");
        data += n;
        size -= n;
    }
}

QImage TWebPageProcess::CaptureWebPage() {
    if (FFinished || FProcess->state() != QProcess::Running)
        return {}; // no window, no page
    struct Capturing {
        TWebPageProcess* self;
        ~Capturing() {
            self->FCapturing = false;
            self->HandleLines(); // a close that came in the meantime
        }
    } capturing{this};
    FCapturing = true;
    HandleLines();
    FProcess->write(kWebPageCapture);
    FProcess->write("\n");
    for (;;) {
        const std::string line = ReadLine(kCaptureTimeoutMs);
        if (line == kWebPageClosed) {
            FFinished = true;
            if (Closed)
                Closed();
            return {};
        }
        if (line == kWebPageNone)
            return {};
        if (line.rfind(kWebPageError, 0) == 0)
            throw std::runtime_error(line.substr(std::string(kWebPageError).size()));
        const std::optional<TPictureHeader> header = ParsePictureHeader(line, kLargestPageSide);
        if (!header)
            throw std::runtime_error("The browser window sent an unknown answer.");
        QImage picture(header->Width, header->Height, QImage::Format_RGB32);
        if (picture.isNull())
            throw std::runtime_error("Not enough memory for the picture of the whole web page.");
        for (int y = 0; y < picture.height(); ++y)
            Read(reinterpret_cast<char*>(picture.scanLine(y)),
                 static_cast<qint64>(header->Width) * 4, kCaptureTimeoutMs);
        return picture;
    }
}

} // namespace quorvel
