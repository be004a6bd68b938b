#pragma once

#include "app/CaptureSound.h"
#include "platform/Platform.h"
#include "sinks/FrmFloating.h"

#include <QImage>
#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

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
class TWebPageProcess;

enum TStatus : unsigned char { stIdle = 0, stRunning = 1, stBusy = 2 };

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
    bool IsRecording() const;
    TCaptureHooks& Hooks() { return FHooks; }

    // Floating windows: a capture pinned over the place it came from, in order of creation.
    void CaptureFloating(const QImage& Bitmap, const TRect& Rect);
    // Removes this floating window, or every one when none is given. A window removed at
    // its own request goes once its own handling has returned.
    void FloatDelete(TFrmFloating* AForm);
    QList<QPointer<TFrmFloating>> FloatList;

    // Settings.
    void LoadConfig();
    static void SaveConfig(const QString& Name, int Value);
    static void SaveConfig(const QString& Name, bool Value);
    static void SaveConfig(const QString& Name, const QString& Value);

    QString SavePath;
    QString Language;
    // The user's home page; empty (the default) opens no page of the program's own.
    QString HomeUrl;

protected:
    void closeEvent(QCloseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void CreateMenu();
    void CreateTrayIcon();
    void CaptureStart();
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

    // Option menu handlers.
    void ChkAreaChange();
    void ChkSaveToChange();
    void GroupClick(QAction* item);
    void ChkLang(QAction* item);
    void N10Click();
    void N1Click();
    void N4Click();
    void ChkRegStartClick();
    bool SelectFolder(QString& Path);

    std::unique_ptr<Ui::TFrmQuorvel> ui;
    TPlatform& FPlatform;
    std::unique_ptr<TCapture> FCapture;
    TCaptureSound FSound;
    TCaptureHooks FHooks;
    TStatus FStatus = stIdle;
    QTimer* FIdleRelease = nullptr;
    bool FCanClose = false;
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
