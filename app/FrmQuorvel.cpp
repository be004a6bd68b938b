#include "app/FrmQuorvel.h"

#include "app/ChannelProtocol.h"
#include "app/CommandParser.h"
#include "app/FrmAbout.h"
#include "app/ListItemDrawer.h"
#include "capture/Capture.h"
#include "capture/ColourPicker.h"
#include "capture/FrmArea.h"
#include "capture/FrmDrag.h"
#include "capture/FrmLine.h"
#include "capture/FrmSize.h"
#include "capture/WebPageProcess.h"
#include "ocr/RtOcr.h"
#include "record/Recorder.h"
#include "sinks/UploadSink.h"
#include "support/AutoStart.h"
#include "support/Config.h"
#include "support/FrmHotKey.h"
#include "support/HomeLinks.h"
#include "support/MessageBox.h"
#include "support/Resources.h"
#include "support/Settings.h"
#include "support/Translate.h"
#include "support/TranslateComponent.h"
#include "support/Version.h"
#include "ui_FrmQuorvel.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>
#include <cstdio>

namespace quorvel {

TFrmQuorvel::TFrmQuorvel(const QString& firstArgument, TPlatform& platform)
    : ui(std::make_unique<Ui::TFrmQuorvel>()), FPlatform(platform), FFirstArgument(firstArgument) {
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAttribute(Qt::WA_QuitOnClose, false);
    for (QComboBox* list :
         {ui->ChkArea, ui->ChkSaveTo, ui->ChkJPEG_qual, ui->ChkWebp_qual, ui->ChkOCR_lang})
        UseListItemDrawer(list);
    CreateMenu();
    ColourPicker = new TColourPicker(FPlatform, ui->LblColor, ui->ShpColor, ui->LstColor, this);
    FHooks.CaptureColor = [this] { ColourPicker->CaptureColor(); };
    FHooks.RecordStart = [this] { RecordStart(); };
    FHooks.RecordStop = [this] { RecordStop(); };
    FHooks.IsRecording = [this] { return FRecorder != nullptr; };
    FHooks.CaptureFloating = [this](const QImage& bitmap, const TRect& rect) {
        CaptureFloating(bitmap, rect);
    };
    FHooks.CaptureUpload = [this](const QImage& bitmap) {
        CaptureUpload(bitmap, UploadHost, UploadKey, TranslatedCaption());
    };
    FHooks.DragCapture = [this](QImage& bitmap, TRect& rect) {
        TFrmDrag drag(this, FPlatform);
        drag.Capture(bitmap, rect);
        return drag.Run();
    };

    // Start-up, in order: the save card; start-with-the-desktop for "/inst"; the
    // settings; the notification-area icon; the grabber; hiding for "/start"; the hotkey;
    // then one run of the two list handlers.
    RtOcr = std::make_unique<rtocr::TRtOcr>();
    RtOcr->SetOnCompleted(
        [this](rtocr::TRtOcr* sender, const rtocr::TResult& result, void* customData) {
            BitmapToTXTFileCompleted(sender, result, customData);
        });
    FHooks.CaptureOcr = [this](QImage bitmap) { CaptureOcr(std::move(bitmap)); };

    ui->PnlMain->setCurrentIndex(0);
    if (FFirstArgument == QLatin1String("/inst"))
        SetAutoStart("Quorvel", true);
    LoadConfig();
    CreateTrayIcon();
    FCapture = std::make_unique<TCapture>(FPlatform);
    FStatus = stIdle;
    FCanClose = false;
    if (FFirstArgument == QLatin1String("/start"))
        HideToTray();
    SetPrintScreenSnipping();
    try {
        FrmHotKey = new TFrmHotKey(this, FPlatform, [this] { Start(); });
        FrmHotKey->FormCreate();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quorvel: no capture hotkey: %s\n", e.what());
    }
    FrmSize = new TFrmSize(this);
    FrmArea = new TFrmArea(FrmSize, FPlatform,
                           {[this] { return IsRecording(); },
                            [this] {
                                if (FHooks.RecordStop)
                                    FHooks.RecordStop();
                            },
                            [this] {
                                // Full screen without running the list's handler; stored at once.
                                ui->ChkArea->setCurrentIndex(0);
                                SaveConfig(QString::fromLatin1(Settings::Area.Name), 0);
                            },
                            [this] { Start(); }});
    TranslateComponent(FrmArea);
    FHooks.RegionRect = [this] { return FrmArea->GetRect(); };
    FHooks.WebPageCapture = [this] { return WebPageCapture(); };

    connect(ui->ChkArea, &QComboBox::activated, this, [this] {
        ChkAreaChange();
        SayWhyAreaUnavailable();
    });
    connect(ui->ChkSaveTo, &QComboBox::activated, this, [this] { ChkSaveToChange(); });
    connect(ui->LblCredit, &QLabel::linkActivated, this, [this] { AboutAction(); });
    ChkAreaChange();
    ChkSaveToChange();
    CentreOnScreen();
    // Once the program sits idle, ready the screen reading for the first capture.
    QTimer::singleShot(1000, this, [this] { FPlatform.Prepare(); });
}

TFrmQuorvel::~TFrmQuorvel() {
    FinishRecording();
    // A recognition still running is cancelled and waited for while the window is whole,
    // so that its completion never meets a half-destroyed window.
    RtOcr.reset();
    // The floating windows first, then the grabber.
    FloatDelete(nullptr);
    FCapture.reset();
    delete FrmLine;
    delete FrmIExplorer;
    delete FrmArea;
}

// The desktop's own use of the Print Screen key is left as the user set it: Linux desktops
// bind keys in their own settings, and those are not changed behind the user's back. A key
// the desktop holds shows up as a taken hotkey instead.
void TFrmQuorvel::SetPrintScreenSnipping() {}

QString TFrmQuorvel::TranslatedCaption() const {
    return TranslateText(windowTitle());
}

void TFrmQuorvel::CentreOnScreen() {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

void TFrmQuorvel::CreateTrayIcon() {
    TrayIcon = new QSystemTrayIcon(QIcon(QString::fromLatin1(Resources::ProgramIcon)), this);
    TrayIcon->setToolTip(TranslatedCaption() + QLatin1Char(' ') + VersionText(3));
    TrayIcon->setContextMenu(Menu);
    connect(TrayIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    ShowFromTray();
            });
    TrayIcon->show();
    FTrayReady = true;
}

void TFrmQuorvel::HideToTray() {
    hide();
}

void TFrmQuorvel::ShowFromTray() {
    show();
    ForceForeground(this);
}

void TFrmQuorvel::ForceForeground(QWidget* window) {
    if (window == nullptr)
        return;
    if (window->isMinimized())
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}

// An exit request during a recording finishes the recording first (the file is written
// whole) and exits when it has ended; it never waits on the user, so that the command
// channel, a signal or the session's end get their answer at once.
void TFrmQuorvel::ExitRequest() {
    FCanClose = true;
    if (IsRecording()) {
        ExitAfterRecording();
        return;
    }
    close();
}

void TFrmQuorvel::ExitAfterRecording() {
    if (!FExitAfterRecording) {
        FExitAfterRecording = true;
        // An encoder that does not end is ended with the recorder, and the program goes.
        QTimer::singleShot(kExitRecordingWaitMs, this, [this] {
            if (FRecorder) {
                FRecorder.reset();
                TmrRecTimer();
            }
        });
    }
    RecordStop();
}

void TFrmQuorvel::closeEvent(QCloseEvent* event) {
    if (!FCanClose) {
        event->ignore();
        HideToTray();
        return;
    }
    if (IsRecording()) {
        event->ignore();
        ExitAfterRecording();
        return;
    }
    event->accept();
    if (TrayIcon != nullptr)
        TrayIcon->hide();
    // The window is gone; the program ends once the current request has been answered.
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

bool TFrmQuorvel::WMUserCommand(std::uint32_t wParam) {
    if (!FTrayReady)
        return false;
    if (wParam == kUserShow)
        ShowFromTray();
    else if (wParam == kUserExit)
        ExitRequest();
    return false;
}

bool TFrmQuorvel::WMCopyData(std::uint32_t dwData, const std::string& text) {
    if (dwData != kCopyDataCommand)
        return false;
    switch (ParseCommand(text)) {
    case TCommand::About:
        AboutAction();
        return true;
    case TCommand::Capture:
        Start();
        return true;
    case TCommand::None:
        break;
    }
    return false;
}

// The home page when the user set one; the program's own about window otherwise.
void TFrmQuorvel::AboutAction() {
    const std::string address = AboutAddress(HomeUrl.toStdString(), VersionText(4).toStdString());
    if (!address.empty()) {
        QDesktopServices::openUrl(QUrl(QString::fromStdString(address)));
        return;
    }
    if (FrmAbout == nullptr)
        FrmAbout = new TFrmAbout(
            this, TConfig(QString::fromLatin1(Settings::ProgramStore)).FileName(), SavePath);
    FrmAbout->show();
    ForceForeground(FrmAbout);
}

void TFrmQuorvel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        // Only the window's empty parts, its labels and cards open the menu; the lists and
        // the button keep their own right-click.
        QWidget* under = childAt(event->position().toPoint());
        for (QWidget* w = under; w != nullptr && w != this; w = w->parentWidget())
            if (qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractButton*>(w) ||
                qobject_cast<QListWidget*>(w))
                return;
        Menu->popup(QCursor::pos());
        return;
    }
    if (event->button() == Qt::LeftButton && ui->LblCredit->geometry().contains(event->pos())) {
        AboutAction();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

} // namespace quorvel
