// The recording half of the capture controller: MP4 mode starts a recorder on the first
// request and stops it on the next; a timer shows the elapsed time and notices the end.

#include "app/FrmQuorvel.h"

#include "capture/Capture.h"
#include "capture/FrmArea.h"
#include "record/FfmpegPath.h"
#include "record/Recorder.h"
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

} // namespace

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
        if (ui->ChkArea->currentIndex() == 1 && FHooks.RegionRect) {
            FRecorder->Start(FCapture.get(), FHooks.RegionRect);
        } else {
            const TRect monitor = MonitorUnderPointer(FPlatform);
            if (wayland)
                FRecorder->Start(FCapture.get(), [monitor] { return monitor; });
            else
                FRecorder->Start(monitor);
        }
    } catch (const std::exception& e) {
        FRecorder.reset();
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
    if (FRecorder && FRecorder->IsRunning()) {
        const QString time = FRecorder->RecTime().left(8);
        ui->LvlRecTime->setText(time);
        if (FrmArea != nullptr)
            FrmArea->LvlRecTime->setText(QStringLiteral("[REC] ") + time);
        return;
    }
    if (TmrRec != nullptr)
        TmrRec->stop();
    const QString failure = FRecorder ? FRecorder->Failure() : QString();
    FRecorder.reset();
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
}

} // namespace quorvel
