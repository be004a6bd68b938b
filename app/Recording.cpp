// The recording half of the capture controller: MP4 mode starts a recorder on the first
// request and stops it on the next; a timer shows the elapsed time and notices the end.

#include "app/FrmQuorvel.h"

#include "capture/Capture.h"
#include "capture/FrmArea.h"
#include "record/FfmpegPath.h"
#include "record/Recorder.h"
#include "support/Config.h"
#include "support/Settings.h"
#include "ui_FrmQuorvel.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

namespace quorvel {

namespace {

void RecordingLabel(QLabel* label, bool recording) {
    QFont font = label->font();
    font.setBold(recording);
    label->setFont(font);
    label->setStyleSheet(recording ? QStringLiteral("color: #ffff00;")
                                   : QStringLiteral("color: #800000;"));
}

// Frames of a streamed monitor: the part of the newest frame that shows the rectangle, at
// the rectangle's size.
TRecorder::TGrab StreamGrab(TScreenStream* stream, const TRect& monitor) {
    return [stream, monitor](const TRect& rect) {
        const QImage frame = stream->Frame();
        const TRect part = PartOfPicture(rect, monitor, frame.width(), frame.height());
        if (part == TRect{0, 0, frame.width(), frame.height()} &&
            frame.size() == QSize(rect.Width(), rect.Height()))
            return frame;
        if (part.Empty())
            return QImage();
        const QImage piece = frame.copy(part.Left, part.Top, part.Width(), part.Height());
        return piece.size() == QSize(rect.Width(), rect.Height())
                   ? piece
                   : piece.scaled(rect.Width(), rect.Height(), Qt::IgnoreAspectRatio,
                                  Qt::SmoothTransformation);
    };
}

} // namespace

// The monitor that holds the middle of the region frame.
TRect TFrmQuorvel::MonitorOfRegion() {
    const TRect r = FHooks.RegionRect();
    return MonitorNearest(FPlatform.Monitors(), {(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2},
                          FPlatform.ScreenRect());
}

// The desktop's stream of the monitor where it sends one (asking the user the first time,
// if it asks at all); null where the program copies the screen itself.
std::unique_ptr<TScreenStream> TFrmQuorvel::StreamScreen(const TRect& monitor) {
    const QString name = QString::fromLatin1(Settings::ScreenCastToken.Name);
    std::string permission = TConfig(QString::fromLatin1(Settings::ProgramStore))
                                 .ReadString(name, QString())
                                 .toStdString();
    std::unique_ptr<TScreenStream> stream =
        FPlatform.StreamScreen(monitor, ChkMouse->isChecked(), permission);
    if (stream)
        SaveConfig(name, QString::fromStdString(permission));
    return stream;
}

void TFrmQuorvel::RecordStart() {
    const QString path = QString::fromStdString(FindFfmpeg());
    if (path.isEmpty())
        return; // the main window warned when MP4 was chosen
    // A region frame the desktop does not let the program show would record a rectangle
    // the user cannot see: said plainly, as for a picture of it.
    if (!FPlatform.Capabilities().RecordScreen) {
        ShowCaptureFailed(QStringLiteral(
            "Screen recording is not available on this desktop: it does not let programs copy "
            "the screen often enough. Capture pictures instead."));
        return;
    }
    if (const QString why = AreaUnavailable(ui->ChkArea->currentIndex(), FPlatform.Capabilities());
        ui->ChkArea->currentIndex() == 1 && !why.isEmpty()) {
        ShowCaptureFailed(why);
        return;
    }
    FStatus = stBusy;
    ui->ChkArea->setEnabled(false);
    ui->PnlMain->setCurrentIndex(2);
    if (FrmArea != nullptr)
        RecordingLabel(FrmArea->LvlRecTime, true);

    FRecorder = std::make_unique<TRecorder>();
    FRecorder->Audio = ChkAudio->isChecked();
    FRecorder->Mouse = ChkMouse->isChecked();
    FRecorder->Logging = ChkLog->isChecked();
    FRecorder->FFMpeg = path;
    FRecorder->LogFolder = SavePath;
    FRecorder->LimitMinutes = ChkRecLimit240->isChecked()   ? 240
                              : ChkRecLimit120->isChecked() ? 120
                              : ChkRecLimit60->isChecked()  ? 60
                              : ChkRecLimit30->isChecked()  ? 30
                                                            : 0;
    try {
        FRecorder->Output = NewFilename(QStringLiteral("mp4"));
        // On Wayland the encoder cannot read the screen: the program mirrors it, the
        // monitor as a fixed region, from the compositor's copies.
        const bool wayland =
            ChoosePlatformKind(std::getenv("QT_QPA_PLATFORM"), std::getenv("WAYLAND_DISPLAY"),
                               std::getenv("XDG_SESSION_TYPE")) == TPlatformKind::Wayland;
        FRecorder->RepeatFrames = wayland;
        // The compositor's copies and the desktop's stream are taken off the interface's
        // thread; on X11 the region's grab shares the interface's connection and stays.
        FRecorder->GrabOnThread = wayland;
        const bool region = ui->ChkArea->currentIndex() == 1 && FHooks.RegionRect;
        const TRect monitor = region ? MonitorOfRegion() : MonitorUnderPointer(FPlatform);
        std::function<TRect()> rect =
            region ? FHooks.RegionRect : std::function<TRect()>([monitor] { return monitor; });
        if (wayland)
            FScreenStream = StreamScreen(monitor);
        if (FScreenStream)
            FRecorder->Start(StreamGrab(FScreenStream.get(), monitor), rect);
        else if (region || wayland)
            FRecorder->Start(FCapture.get(), rect);
        else
            FRecorder->Start(monitor);
    } catch (const std::exception& e) {
        FRecorder.reset();
        FScreenStream.reset();
        TmrRecTimer();
        ShowCaptureFailed(QString::fromUtf8(e.what()));
        return;
    }
    if (TmrRec == nullptr) {
        TmrRec = new QTimer(this);
        TmrRec->setInterval(100);
        connect(TmrRec, &QTimer::timeout, this, [this] { TmrRecTimer(); });
    }
    TmrRec->start();
    FStatus = stRunning;
}

void TFrmQuorvel::RecordStop() {
    if (FRecorder)
        FRecorder->Stop();
}

void TFrmQuorvel::TmrRecTimer() {
    // A screen the desktop stopped sharing (from its own indicator, say) ends the
    // recording with what it has, and says why.
    if (FScreenStream && FStreamEnded.isEmpty() && FRecorder && FRecorder->IsRunning())
        if (const std::string ended = FScreenStream->Ended(); !ended.empty()) {
            FStreamEnded = QStringLiteral("The desktop stopped sharing the screen (%1); the "
                                          "recording ends there.")
                               .arg(QString::fromStdString(ended));
            FRecorder->Stop();
        }
    if (FRecorder && FRecorder->IsRunning()) {
        const QString time = FRecorder->RecTime().left(8);
        ui->LvlRecTime->setText(time);
        if (FrmArea != nullptr)
            FrmArea->LvlRecTime->setText(QStringLiteral("[REC] ") + time);
        return;
    }
    if (TmrRec != nullptr)
        TmrRec->stop();
    QString failure = FRecorder ? FRecorder->Failure() : QString();
    if (failure.isEmpty())
        failure = FStreamEnded;
    FStreamEnded.clear();
    FRecorder.reset();
    FScreenStream.reset();
    ui->ChkArea->setEnabled(true);
    ui->PnlMain->setCurrentIndex(0);
    ui->LvlRecTime->setText(QStringLiteral("00:00:00"));
    if (FrmArea != nullptr) {
        RecordingLabel(FrmArea->LvlRecTime, false);
        FrmArea->LvlRecTime->setText(QStringLiteral("[REC] 00:00:00"));
    }
    FStatus = stIdle;
    if (FExitAfterRecording) {
        // The program was asked to exit: it does so now that the file is finished, and
        // says nothing that would wait for the user.
        if (!failure.isEmpty())
            std::fprintf(stderr, "quorvel: %s\n", qPrintable(failure));
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        return;
    }
    // An encoder that ended badly by itself is not a silent end: it says why.
    if (!failure.isEmpty())
        ShowCaptureFailed(failure);
}

// At the program's end a recording still running is finished properly ("q"), so that the
// file is playable, and waited for a few seconds.
void TFrmQuorvel::FinishRecording() {
    if (!FRecorder)
        return;
    FRecorder->Stop();
    const QDeadlineTimer deadline(5000);
    while (FRecorder->IsRunning() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    FRecorder.reset();
    FScreenStream.reset();
}

} // namespace quorvel
