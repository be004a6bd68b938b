#pragma once

#include "app/CaptureSound.h"
#include "platform/Platform.h"

#include <QImage>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QMenu;
class QSystemTrayIcon;
class QTimer;

namespace Ui {
class TFrmQuorvel;
}

namespace quorvel {

class TCapture;
class TColourPicker;
class TFrmLine;
class TFrmArea;
class TFrmSize;
class TFrmHotKey;
class TFrmAbout;
class TRecorder;
class TFrmFloating;
namespace rtocr {
class TRtOcr;
struct TLanguage;
struct TResult;
} // namespace rtocr
class TWebPageProcess;

enum TStatus : unsigned char { stIdle = 0, stRunning = 1, stBusy = 2 };

// Why a capture area of the main window's list cannot be served on a desktop with these
// capabilities (the words "not available on this desktop" and the reason); empty when it
// can.
QString AreaUnavailable(int area, const TCapabilities& can);
// What a capture area does differently on this desktop, where it works but not in full;
// empty where it works as everywhere.
QString AreaLimited(int area, const TCapabilities& can);
// The words that mark such an area in the main window's list.
inline constexpr char kUnavailableMark[] = " (not available on this desktop)";

// The capture sources and sinks that live in their own windows and plug into the capture
// controller. One that is not set is not available in this build.
struct TCaptureHooks {
    // Drag selection: fills the bitmap and rectangle, false when the user cancelled.
    std::function<bool(QImage& bitmap, TRect& rect)> DragCapture;
    // The region frame's inner rectangle.
    std::function<TRect()> RegionRect;
    // The web page of the browser window, rendered whole.
    std::function<QImage()> WebPageCapture;
    // The colour picker: takes the colour under the pointer into its list.
    std::function<void()> CaptureColor;
    // Text recognition of the bitmap; takes it over and resets the state when done.
    std::function<void(QImage bitmap)> CaptureOcr;
    std::function<void(const QImage& bitmap)> CaptureUpload;
    std::function<void(const QImage& bitmap, const TRect& rect)> CaptureFloating;
    std::function<void()> RecordStart;
    std::function<void()> RecordStop;
    std::function<bool()> IsRecording;
};

// The main window: the capture-area and save-to lists, the option menu, the icon in the
// notification area, and the capture controller that ties a request, a source and a sink
// together. Closing it only hides it; the program ends on an exit request.
class TFrmQuorvel : public QWidget {
    Q_OBJECT
public:
    TFrmQuorvel(const QString& firstArgument, TPlatform& platform);
    ~TFrmQuorvel() override;

    // Program entry and the requests of other processes.
    void HideToTray();
    void ShowFromTray();
    static void ForceForeground(QWidget* window);
    void ExitRequest();
    // A user message: 1 shows the window, 2 asks it to exit. Always answered false.
    bool WMUserCommand(std::uint32_t wParam);
    // A JSON command; true when it was recognised and run.
    bool WMCopyData(std::uint32_t dwData, const std::string& text);
    void AboutAction();

    // Capture controller.
    void Start();
    TStatus Status() const { return FStatus; }
    QString NewFilename(const QString& Ext);
    void MakeDefaultSaveFolder();
    bool IsRecording() const;
    TCaptureHooks& Hooks() { return FHooks; }

    // Floating windows: the open ones in order of creation.
    std::vector<TFrmFloating*> FloatList;
    // Pins a copy of the capture in a new floating window exactly over Rect.
    void CaptureFloating(const QImage& Bitmap, const TRect& Rect);
    // Destroys AForm, or every floating window when AForm is none, and takes them off the
    // list.
    void FloatDelete(TFrmFloating* AForm);
    // Text recognition: the picture enlarged three times, recognised on the OCR
    // component's worker, its lines written to a TXT file by the completion.
    void CaptureOcr(QImage Bitmap);
    // Rescales the bitmap in place with smooth scaling; raises when there is no memory.
    static void ResizeBitmap(QImage& Bitmap, int NewWidth, int NewHeight);
    // The enlargement text recognition applies to the picture: chosen from the height of
    // its lines of text and the language's script, and never beyond the engine's largest
    // picture.
    static double OcrEnlargement(const QImage& Bitmap, const QString& Script);
    // Runs on the OCR worker thread.
    void BitmapToTXTFileCompleted(rtocr::TRtOcr* Sender, const rtocr::TResult& Result,
                                  void* CustomData);

    // Settings.
    void LoadConfig();
    static void SaveConfig(const QString& Name, int Value);
    static void SaveConfig(const QString& Name, bool Value);
    static void SaveConfig(const QString& Name, const QString& Value);

    QString SavePath;
    QString Language;
    // The user's home page; empty (the default) opens no page of the program's own.
    QString HomeUrl;
    // The upload server and the update-check address; empty when the user set none.
    QString UploadHost;
    QString UploadKey;
    QString UpdateURL;
    // The OCR component and its languages, in the order of the OCR language list.
    std::unique_ptr<rtocr::TRtOcr> RtOcr;
    std::vector<rtocr::TLanguage> Languages;

protected:
    void closeEvent(QCloseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void CreateMenu();
    void CreateTrayIcon();
    void CaptureStart();
    // Recording to MP4.
    void RecordStart();
    TRect MonitorOfRegion();
    std::unique_ptr<TScreenStream> StreamScreen(const TRect& monitor);
    void RecordStop();
    void TmrRecTimer();
    void FinishRecording();
    void ExitAfterRecording();
    // After a capture: give back the memory kept for speed once captures have stopped for
    // a while, so that a program sitting in the tray all day stays small.
    void ReleaseWhenIdle();
    void Capture(QImage& Bitmap, TRect& Rect);
    void SaveTo(int S, QImage& Bitmap, const TRect& Rect);
    void ShowCaptureFailed(const QString& reason);
    QString TranslatedCaption() const;
    void CentreOnScreen();
    void SetPrintScreenSnipping();
    // The browser window of the web page area (app/WebPageArea.cpp).
    void OpenWebPageWindow();
    void CloseWebPageWindow();
    QImage WebPageCapture();

    // Translates the capture-area list and marks the areas this desktop cannot serve.
    void TranslateAreaList();
    // Option menu handlers.
    void ChkAreaChange();
    // The user chose the region on a desktop that can show no frame: a notice says so at
    // once (without holding the menu up), rather than nothing showing.
    // An area this desktop cannot serve is said so when the user picks it, not only at the
    // capture, in a note that does not hold up the main window.
    void SayWhyAreaUnavailable();
    void ChkSaveToChange();
    void GroupClick(QAction* item);
    void ChkLang(QAction* item);
    void N10Click();
    void N1Click();
    void N4Click();
    void ChkRegStartClick();
    bool SelectFolder(QString& Path);
    void OpenSaveFolder();

    std::unique_ptr<Ui::TFrmQuorvel> ui;
    TPlatform& FPlatform;
    std::unique_ptr<TCapture> FCapture;
    TCaptureSound FSound;
    TCaptureHooks FHooks;
    TStatus FStatus = stIdle;
    // The screen as the desktop streams it, for a recording where the program cannot copy
    // the screen itself; it outlives the recorder that reads it.
    std::unique_ptr<TScreenStream> FScreenStream;
    QString FStreamEnded; // why the stream ended a recording
    std::unique_ptr<TRecorder> FRecorder;
    QTimer* TmrRec = nullptr;
    QTimer* FIdleRelease = nullptr;
    bool FCanClose = false;
    // An exit was asked for during a recording: the program exits once it has ended.
    bool FExitAfterRecording = false;
    static constexpr int kExitRecordingWaitMs = 20000;
    bool FTrayReady = false;
    QString FFirstArgument;

public:
    // The secondary windows the main window owns.
    TFrmHotKey* FrmHotKey = nullptr;
    TColourPicker* ColourPicker = nullptr;
    TFrmSize* FrmSize = nullptr;
    TFrmArea* FrmArea = nullptr;
    // The window picker's ring while the window-control area is chosen.
    QPointer<TFrmLine> FrmLine;
    // The browser window's process while the web page area is chosen.
    QPointer<TWebPageProcess> FrmIExplorer;
    // The about window while it is open (it frees itself when closed).
    QPointer<TFrmAbout> FrmAbout;

public:
    // The option menu and its items, named as the settings they hold.
    QMenu* Menu = nullptr;
    QSystemTrayIcon* TrayIcon = nullptr;
    QAction *N12 = nullptr, *N4 = nullptr, *N1 = nullptr, *N11 = nullptr, *N2 = nullptr,
            *N6 = nullptr, *N13 = nullptr, *N3 = nullptr, *N9 = nullptr, *N10 = nullptr;
    QAction *ChkLangKo = nullptr, *ChkLangEn = nullptr, *ChkLangJa = nullptr, *ChkLangRu = nullptr,
            *ChkLangIt = nullptr, *ChkLangFr = nullptr, *ChkLangZh = nullptr;
    QAction *ChkAppend1 = nullptr, *ChkAppend2 = nullptr, *ChkAppend3 = nullptr;
    QAction *ChkRecLimit0 = nullptr, *ChkRecLimit30 = nullptr, *ChkRecLimit60 = nullptr,
            *ChkRecLimit120 = nullptr, *ChkRecLimit240 = nullptr;
    QAction *ChkAudio = nullptr, *ChkLog = nullptr, *ChkSound1 = nullptr, *ChkSound2 = nullptr,
            *ChkSound3 = nullptr, *ChkMouse = nullptr, *ChkRegStart = nullptr;
    Ui::TFrmQuorvel* Controls() const { return ui.get(); }
};

} // namespace quorvel
