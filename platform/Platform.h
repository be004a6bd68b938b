#pragma once

#include "platform/Geometry.h"
#include "platform/LayerSurface.h"

#include <QImage>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorvel {

// A window id of the platform (an X window id on X11); 0 is none.
using TWindowId = std::uint32_t;

// What the desktop lets a program do. X11 allows all of it; a Wayland compositor keeps
// most of it to itself, and the parts of the program that need a missing one say so to
// the user instead of doing nothing.
struct TCapabilities {
    bool PlaceWindows = false; // put a window of ours at a screen position of our choice
    bool KeepOnTop = false;    // keep a window of ours above the other programs' windows
    bool KnowPointer = false;  // tell where the pointer is while it is over other windows
    bool ListWindows = false;  // name the active window and the window under a point
    bool GlobalKey = false;    // take a key press meant for any program
    // show surfaces of ours at a screen rectangle of our choice, kept above ordinary
    // windows (CreateLayerSurface), where our own windows can be neither placed nor kept
    // on top
    bool LayerSurfaces = false;
    // copy the screen often enough to record it (not where every copy is a screenshot the
    // desktop writes to a file or renders anew): by copies (GrabScreen) or as a stream
    // (StreamScreen)
    bool RecordScreen = false;
    // tell where the pointer is at one moment of the program's choosing (a capture), though
    // not follow it: PointerPosition covers the screen for a moment to learn it
    bool FindPointer = false;
    friend bool operator==(const TCapabilities&, const TCapabilities&) = default;
};

// The current mouse cursor: premultiplied ARGB pixels, its hot spot, and where the pointer
// stands on the screen.
struct TCursorImage {
    QImage Image; // Format_ARGB32_Premultiplied
    TPoint HotSpot;
    TPoint Position;
};

// A global hotkey: a key with modifiers that reaches this program from any application.
class THotKey {
public:
    virtual ~THotKey() = default;
    // Takes the key (a Windows virtual-key code: Print Screen, letters, digits, F1 to F12,
    // Delete) with the modifier flags (1 Alt, 2 Ctrl, 4 Shift) in every NumLock and
    // CapsLock state, after letting go of any key held before. False when the key has no
    // counterpart here or another program already holds the combination.
    virtual bool Register(std::uint8_t vk, unsigned modifiers) = 0;
    virtual void Unregister() = 0;
};

class EPlatformError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A monitor's pixels as the desktop sends them, a new frame whenever the screen changes,
// taken in on a thread of its own. Ends sharing the screen when destroyed.
class TScreenStream {
public:
    virtual ~TScreenStream() = default;
    // The newest frame (RGB32): the monitor the stream was asked for, at whatever size the
    // desktop sends it.
    virtual QImage Frame() = 0;
    // Why the stream ended (the user stopped sharing the screen, the desktop's service went
    // away); empty while it runs.
    virtual std::string Ended() = 0;
};

// What the program needs of the desktop: screen pixels, monitors, windows, the pointer and
// the cursor. Every coordinate is a physical pixel of the screen. One implementation talks
// to the X server, the other to a Wayland compositor (and the desktop's D-Bus services);
// nothing else in the program includes X11, xcb or Wayland headers.
class TPlatform {
public:
    virtual ~TPlatform() = default;

    // What this desktop lets the program do.
    virtual TCapabilities Capabilities() = 0;
    // Whether the screen grabs that follow should carry the pointer's cursor, drawn by the
    // compositor, where the program cannot draw it itself (Cursor() gives nothing there).
    virtual void SetCursorInGrabs(bool) {}

    // The monitors of the screen (RandR monitors; the whole screen when there are none).
    virtual std::vector<TRect> Monitors() = 0;
    // The whole X screen.
    virtual TRect ScreenRect() = 0;
    // Where the pointer is. Where the desktop does not let it be followed (KnowPointer),
    // only at a capture's moment (FindPointer): finding it disturbs the window below.
    virtual TPoint PointerPosition() = 0;
    // The window the window manager reports as active; 0 when there is none.
    virtual TWindowId ActiveWindow() = 0;
    // The deepest mapped window under the point (child windows included); 0 for none.
    virtual TWindowId WindowAt(TPoint point) = 0;
    // The bounds of a window: for a top-level window its window-manager frame, less any
    // client-side shadow; for a child window its own rectangle. None for a window that is
    // gone.
    virtual std::optional<TRect> WindowBounds(TWindowId window) = 0;
    // The screen's pixels inside the rectangle as an RGB32 picture of the rectangle's size;
    // parts outside the screen are black. Raises EPlatformError when the screen cannot be read.
    virtual QImage GrabScreen(const TRect& rect) = 0;
    // Readies the screen reading ahead of the first capture, so that it does not pay for
    // setting up the shared memory the server writes into.
    virtual void Prepare() = 0;
    // Gives back what Prepare and the captures keep for speed (the shared memory), for a
    // program that has gone idle. The next capture sets it up again.
    virtual void ReleaseBuffers() = 0;
    // Places one of this program's windows at a rectangle of physical pixels (its outer
    // bounds), which Qt's logical coordinates cannot always express under a scale factor.
    virtual void PlaceWindow(TWindowId window, const TRect& bounds) = 0;
    // Makes only these rectangles (physical pixels, relative to the window's top-left
    // corner) part of one of this program's windows, for drawing and for the pointer; the
    // rest shows and passes clicks to what lies below. No rectangle leaves nothing.
    virtual void ShapeWindow(TWindowId window, const std::vector<TRect>& parts) = 0;
    // Asks the window manager to keep one of this program's windows above ordinary windows
    // and to leave it out of the taskbar and the pager. Called before the window is first
    // shown, so that the window manager takes the states with the window.
    virtual void KeepAboveUnlisted(TWindowId window) = 0;
    // Hands the window to the window manager's own move, as if its title bar were dragged
    // with the left button held since `from` (where the button went down); false when the
    // window manager offers no such move.
    virtual bool StartWindowMove(TWindowId window, TPoint from) = 0;
    // Draws the rows of an RGB32 picture that meet `area` (in the window's own physical
    // pixels) straight into the window, one picture pixel on one screen pixel from the
    // top-left corner; the window needs no buffer of its own then. False when the window
    // cannot take the picture's pixels as they are (a display of another depth or byte
    // order); nothing is drawn then.
    virtual bool DrawPicture(TWindowId window, const QImage& picture, const TRect& area) = 0;
    // The current cursor image, when the server can tell.
    virtual std::optional<TCursorImage> Cursor() = 0;
    // Starts a stream of the monitor's pixels, for a recording, where the desktop sends the
    // screen as a stream rather than letting it be copied often (GNOME and KDE through
    // their portal); null where GrabScreen serves. The desktop may ask the user which
    // monitor to share: `permission` is the answer the desktop gave at the last stream
    // (empty for none), and is replaced by the one for the next stream, so that it asks
    // once. Raises EPlatformError with the reason when the screen is not shared.
    virtual std::unique_ptr<TScreenStream> StreamScreen(const TRect& /*monitor*/, bool /*cursor*/,
                                                        std::string& /*permission*/) {
        return nullptr;
    }
    // A hotkey whose presses call `onPress` on the user-interface thread.
    virtual std::unique_ptr<THotKey> CreateHotKey(std::function<void()> onPress) = 0;
    // A surface in a layer of the desktop, hidden until shown; its events reach the
    // handlers on the user-interface thread; `keys` says when it takes the keyboard. Null
    // where the desktop has none (Capabilities().LayerSurfaces).
    virtual std::unique_ptr<TLayerSurface> CreateLayerSurface(TSurfaceLayer, TSurfaceKeys,
                                                              TLayerSurface::THandlers) {
        return nullptr;
    }
};

// Which implementation a process takes: the one Qt is told to use (QT_QPA_PLATFORM
// "xcb" or "wayland", the first of a list), else Wayland in a Wayland session (a Wayland
// display named, or the session type "wayland"), else X11. Null stands for an unset value.
enum class TPlatformKind { X11, Wayland };
TPlatformKind ChoosePlatformKind(const char* qpaPlatform, const char* waylandDisplay,
                                 const char* sessionType);

// The platform of this process, chosen by ChoosePlatformKind from the environment and
// connected to the display on first use. Raises EPlatformError when there is no display.
TPlatform& Platform();

// The nearest monitor to a point (the one holding it, else the closest); the screen when
// the list is empty.
TRect MonitorNearest(const std::vector<TRect>& monitors, TPoint point, const TRect& screen);
// The monitor nearest the pointer.
TRect MonitorUnderPointer(TPlatform& platform);

} // namespace quorvel
