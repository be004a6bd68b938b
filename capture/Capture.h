#pragma once

#include "platform/Platform.h"

#include <QImage>

namespace quorvel {

// The screen grabber: copies what the screen shows at the moment of the call, the cursor
// drawn over it when ShowCursor is on. Rectangles are physical screen pixels.
class TCapture {
public:
    explicit TCapture(TPlatform& platform);

    bool ShowCursor() const { return FShowCursor; }
    void SetShowCursor(bool value) { FShowCursor = value; }

    // Makes the bitmap the rectangle's size and copies the rectangle into it.
    void Capture(QImage& Bitmap, const TRect& Rect);
    // A window's bounds, or with no window the whole monitor nearest the pointer; Rect
    // receives what was captured. Raises EPlatformError for a window that is gone.
    void Capture(QImage& Bitmap, TWindowId Handle, TRect& Rect);
    // Draws the current cursor onto the canvas where it stands on the screen, the canvas's
    // origin being the screen point (Left, Top).
    void DrawMouse(QImage& Canvas, int Left, int Top);

    TPlatform& Platform() { return FPlatform; }

private:
    TPlatform& FPlatform;
    bool FShowCursor = true;
};

} // namespace quorvel
