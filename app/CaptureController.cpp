// The capture controller: one request in, a picture from the chosen source, the chosen
// destination, the sounds, and one message when something fails.

#include "app/FileNaming.h"
#include "app/FrmQuorvel.h"

#include "capture/Capture.h"
#include "sinks/Clipboard.h"
#include "sinks/EncoderSettings.h"
#include "sinks/Printer.h"
#include "sinks/Save.h"
#include "support/Config.h"
#include "support/MessageBox.h"
#include "support/Translate.h"
#include "ui_FrmQuorvel.h"

#include <QDir>
#include <QTimer>
#include <algorithm>
#include <malloc.h>
#include <stdexcept>

namespace quorvel {

namespace {

enum TArea {
    aFullScreen = 0,
    aRegion = 1,
    aDrag = 2,
    aActiveWindow = 3,
    aControl = 4,
    aWebPage = 5,
    aColour = 6
};
enum TSaveTo {
    sPNG = 0,
    sJPG = 1,
    sGIF = 2,
    sBMP = 3,
    sWebP = 4,
    sMP4 = 5,
    sTXT = 6,
    sClipboard = 7,
    sUpload = 8,
    sPrinter = 9,
    sFloating = 10
};

// How long captures must have stopped before the memory kept for them is given back.
constexpr int kIdleReleaseMs = 5000;

// A source or destination that this build does not carry.
[[noreturn]] void NotAvailable(const char* what) {
    throw std::runtime_error(std::string(what) + " is not available in this build.");
}

std::uint8_t QualityByte(const QString& text) {
    return static_cast<std::uint8_t>(std::clamp(QualityFromText(text.toStdString()), 0, 255));
}

} // namespace

QString AreaUnavailable(int area, const TCapabilities& can) {
    if (area == aRegion && !(can.PlaceWindows && can.KeepOnTop) && !can.LayerSurfaces)
        return QStringLiteral("The region frame is not available on this desktop: it does not "
                              "let programs place the frame on the screen. Capture the full "
                              "screen or a drag selection instead.");
    if (area == aActiveWindow && !can.ListWindows)
        return QStringLiteral("The active window is not available on this desktop: it does not "
                              "tell programs which window is active. Capture the full screen "
                              "or a drag selection instead.");
    if (area == aControl && !(can.ListWindows && (can.KnowPointer || can.FindPointer)))
        return QStringLiteral(
            "The window or control under the pointer is not available on this desktop: it "
            "does not tell programs where the pointer is, nor show them the controls inside "
            "other programs' windows. Capture the full screen or a drag selection instead.");
    return {};
}

QString AreaLimited(int area, const TCapabilities& can) {
    // A desktop that names windows but does not let the pointer be followed shows no ring
    // and no controls: the window under the pointer is taken whole.
    if (area == aControl && AreaUnavailable(area, can).isEmpty() && !can.KnowPointer)
        return QStringLiteral("On this desktop the window under the pointer is captured whole: "
                              "it does not show programs the controls inside other programs' "
                              "windows, nor let them follow the pointer to ring the window "
                              "first.");
    return {};
}

bool TFrmQuorvel::IsRecording() const {
    return FHooks.IsRecording && FHooks.IsRecording();
}

void TFrmQuorvel::Start() {
    const int A = ui->ChkArea->currentIndex();
    const int S = ui->ChkSaveTo->currentIndex();
    // A list left without a choice (a stored value it does not hold) would make every
    // request do nothing: say so instead.
    if (FStatus == stIdle && (A < 0 || S < 0)) {
        ShowCaptureFailed(
            QString::fromLatin1(A < 0 ? "No capture area is chosen in the main window."
                                      : "No destination is chosen in the main window."));
        return;
    }
    if (A != aColour &&
        ((S == sMP4 && A != aFullScreen && A != aRegion) || (S == sFloating && A == aWebPage))) {
        ShowMessage(TranslatedCaption(),
                    TranslateText(QStringLiteral("지원하지 않는 캡쳐영역입니다.")),
                    TMessageIcon::Information);
        return;
    }
    if (S == sMP4) {
        if (FStatus == stIdle && !FHooks.RecordStart)
            ShowCaptureFailed(QStringLiteral("Screen recording is not available in this build."));
        else if (FStatus == stIdle)
            FHooks.RecordStart();
        else if (FStatus == stRunning && FHooks.RecordStop)
            FHooks.RecordStop();
        return;
    }
    if (FStatus == stIdle) {
        CaptureStart();
        ReleaseWhenIdle();
    }
}

void TFrmQuorvel::ReleaseWhenIdle() {
    if (FIdleRelease == nullptr) {
        FIdleRelease = new QTimer(this);
        FIdleRelease->setSingleShot(true);
        FIdleRelease->setInterval(kIdleReleaseMs);
        connect(FIdleRelease, &QTimer::timeout, this, [this] {
            if (FStatus != stIdle) {
                FIdleRelease->start(); // text recognition or a recording still runs
                return;
            }
            FPlatform.ReleaseBuffers();
            malloc_trim(0);
        });
    }
    FIdleRelease->start(); // a burst of captures keeps pushing it back
}

void TFrmQuorvel::CaptureStart() {
    FStatus = stRunning;
    const int A = ui->ChkArea->currentIndex();
    const int S = ui->ChkSaveTo->currentIndex();
    const bool soundBefore = ChkSound2->isChecked();
    const bool soundAfter = ChkSound3->isChecked();
    if (soundBefore && A != aDrag)
        FSound.Play();

    QImage bitmap;
    TRect rect{};
    try {
        if (A == aDrag) {
            if (!FHooks.DragCapture)
                NotAvailable("Drag selection");
            if (!FHooks.DragCapture(bitmap, rect)) {
                FStatus = stIdle; // cancelled: no sound, no message
                return;
            }
            if (soundBefore)
                FSound.Play();
        } else if (A == aColour) {
            if (!FHooks.CaptureColor)
                NotAvailable("The colour picker");
            FHooks.CaptureColor();
        } else {
            Capture(bitmap, rect);
        }

        if (!bitmap.isNull()) {
            SaveTo(S, bitmap, rect);
            if (S == sTXT)
                return; // text recognition goes on and resets the state when it completes
            if (soundAfter)
                FSound.Play();
            if (S == sUpload) {
                if (!FHooks.CaptureUpload)
                    NotAvailable("Upload");
                FHooks.CaptureUpload(bitmap);
            }
        }
    } catch (const std::exception& e) {
        ShowCaptureFailed(QString::fromUtf8(e.what()));
    }
    FStatus = stIdle;
}

void TFrmQuorvel::ShowCaptureFailed(const QString& reason) {
    ShowMessage(TranslatedCaption(),
                TranslateText(QStringLiteral("캡쳐가 실패하였습니다.")) + QStringLiteral("\r\r") +
                    reason,
                TMessageIcon::Error);
}

void TFrmQuorvel::Capture(QImage& Bitmap, TRect& Rect) {
    FCapture->SetShowCursor(ChkMouse->isChecked());
    const int A = ui->ChkArea->currentIndex();
    const TCapabilities can = FPlatform.Capabilities();
    // What this desktop keeps to itself is said plainly, never captured wrongly.
    if (const QString why = AreaUnavailable(A, can); !why.isEmpty())
        throw EPlatformError(why.toStdString());
    switch (A) {
    case aFullScreen:
        FCapture->Capture(Bitmap, 0, Rect);
        break;
    case aRegion:
        if (!FHooks.RegionRect)
            NotAvailable("The region frame");
        Rect = FHooks.RegionRect();
        FCapture->Capture(Bitmap, Rect);
        break;
    case aActiveWindow:
        FCapture->Capture(Bitmap, FPlatform.ActiveWindow(), Rect);
        break;
    case aControl:
        FCapture->Capture(Bitmap, FPlatform.WindowAt(FPlatform.PointerPosition()), Rect);
        break;
    case aWebPage:
        if (!FHooks.WebPageCapture)
            NotAvailable("Web page capture");
        Bitmap = FHooks.WebPageCapture();
        break;
    default:
        break; // the colour picker and no selection take no picture
    }
}

void TFrmQuorvel::MakeDefaultSaveFolder() {
    // The desktop folder, where captures go until the user chooses a folder, may not exist
    // yet on a new account: it is made. A folder the user chose that has gone away is not
    // made again behind their back; the capture fails with the writer's message instead.
    if (SavePath == DefaultSavePath() && !QDir(SavePath).exists())
        QDir().mkpath(SavePath);
}

QString TFrmQuorvel::NewFilename(const QString& Ext) {
    MakeDefaultSaveFolder();
    const TNameMode mode = ChkAppend1->isChecked()   ? TNameMode::Sequential1
                           : ChkAppend3->isChecked() ? TNameMode::Sequential2
                                                     : TNameMode::DateTime;
    return QString::fromStdString(
        quorvel::NewFilename(SavePath.toStdString(), mode, Ext.toStdString(), LocalTimeNow()));
}

void TFrmQuorvel::SaveTo(int S, QImage& Bitmap, const TRect& Rect) {
    switch (S) {
    case sPNG:
        BitmapToPNGFile(Bitmap, NewFilename(QStringLiteral("png")));
        break;
    case sJPG:
        BitmapToJPGFile(Bitmap, NewFilename(QStringLiteral("jpg")),
                        QualityByte(ui->ChkJPEG_qual->currentText()));
        break;
    case sGIF:
        BitmapToGIFFile(Bitmap, NewFilename(QStringLiteral("gif")));
        break;
    case sBMP:
        BitmapToBMPFile(Bitmap, NewFilename(QStringLiteral("bmp")));
        break;
    case sWebP:
        BitmapToWebPFile(Bitmap, NewFilename(QStringLiteral("webp")),
                         QualityFromText(ui->ChkWebp_qual->currentText().toStdString()));
        break;
    case sTXT:
        if (!FHooks.CaptureOcr)
            NotAvailable("Text recognition");
        FHooks.CaptureOcr(Bitmap);
        break;
    case sClipboard:
        BitmapToClipboard(Bitmap);
        break;
    case sPrinter:
        BitmapToPrinter(Bitmap, qRound(96 * devicePixelRatioF()));
        break;
    case sFloating:
        if (!FHooks.CaptureFloating)
            NotAvailable("The floating window");
        FHooks.CaptureFloating(Bitmap, Rect);
        break;
    default:
        break; // upload runs after the sound; MP4 never gets here
    }
}

} // namespace quorvel
