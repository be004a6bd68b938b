#pragma once

#include "platform/Geometry.h"

#include <QImage>
#include <functional>
#include <vector>

namespace quorvel {

// Which stack a surface of ours joins: above ordinary windows, or above everything the
// desktop shows (its panels and full-screen windows too).
enum class TSurfaceLayer { Top, Overlay };

// When a surface of ours gets the keyboard: never, when clicked, or all the while it is
// shown (a full-screen overlay that Escape must end before any click).
enum class TSurfaceKeys { None, OnClick, Exclusive };

// The pointer over one of our surfaces, at a physical pixel of the screen.
struct TSurfacePointer {
    enum TKind { Enter, Motion, Press, Release, Leave };
    TKind Kind = Motion;
    TPoint Position;
    // The button that went down or up: 1 left, 2 right, 3 middle, 0 another or none.
    int Button = 0;
};

// A key pressed while one of our surfaces has the keyboard. Only the keys the surfaces
// answer to are named; the rest come as Other.
struct TSurfaceKey {
    enum TKind { Other, Up, Down, Left, Right, Enter, Escape, F4 };
    TKind Key = Other;
    bool Shift = false;
    bool Ctrl = false;
    bool Alt = false;
};

// A surface the desktop shows where the program says and keeps in its layer above
// ordinary windows, where the program cannot place its own windows (a Wayland compositor
// with a layer shell). It shows a picture of exactly its size, one picture pixel on one
// screen pixel, and takes the pointer only over the parts given with the picture.
class TLayerSurface {
public:
    struct THandlers {
        std::function<void(const TSurfacePointer&)> Pointer;
        std::function<void(const TSurfaceKey&)> Key;
        // The pointer shows a crosshair over the surface (else what the desktop shows).
        bool Crosshair = false;
    };

    virtual ~TLayerSurface() = default;
    // Shows `picture` (premultiplied ARGB of the bounds' size; transparent pixels show
    // what lies below) at `bounds`, physical pixels of the screen. `input` lists the parts
    // (relative to the bounds' corner) that take the pointer; clicks elsewhere pass to
    // what lies below. The same picture again at other bounds only moves the surface.
    virtual void Show(const TRect& bounds, const QImage& picture,
                      const std::vector<TRect>& input) = 0;
    // Shows a new picture of the same size at the same place, in which only the `changed`
    // parts (relative to the bounds' corner) differ from the last one shown: only they are
    // copied and redrawn, so that a large surface follows a small change cheaply. The
    // picture is RGB32 or premultiplied ARGB32. Does nothing while the surface is hidden.
    virtual void Update(const QImage& picture, const std::vector<TRect>& changed) = 0;
    // Takes the surface off the screen; the next Show brings it back.
    virtual void Hide() = 0;
    // Changes when the surface takes the keyboard, at once where it is shown. A surface
    // that holds the keyboard lets go of it with None, so that a window of ours opened
    // beside it (a dialog) can take the keys.
    virtual void SetKeys(TSurfaceKeys keys) = 0;
    virtual bool Shown() const = 0;
};

} // namespace quorvel
