#include "capture/Capture.h"

#include <QPainter>

namespace quorvel {

TCapture::TCapture(TPlatform& platform) : FPlatform(platform) {}

void TCapture::Capture(QImage& Bitmap, const TRect& Rect) {
    // Where the program cannot draw the cursor itself (Wayland), the compositor puts it
    // into the pixels when asked; the other grabs (the frozen desktop under the drag
    // overlay, the colour picker's pixel) stay without it, as on X11.
    struct TCursorOff {
        TPlatform& p;
        ~TCursorOff() { p.SetCursorInGrabs(false); }
    } off{FPlatform};
    FPlatform.SetCursorInGrabs(FShowCursor);
    Bitmap = FPlatform.GrabScreen(Rect);
    if (FShowCursor)
        DrawMouse(Bitmap, Rect.Left, Rect.Top);
}

void TCapture::Capture(QImage& Bitmap, TWindowId Handle, TRect& Rect) {
    if (Handle != 0) {
        const std::optional<TRect> bounds = FPlatform.WindowBounds(Handle);
        if (!bounds || bounds->Empty())
            throw EPlatformError("The window is no longer there.");
        Rect = *bounds;
    } else {
        Rect = MonitorUnderPointer(FPlatform);
    }
    Capture(Bitmap, Rect);
}

void TCapture::DrawMouse(QImage& Canvas, int Left, int Top) {
    const std::optional<TCursorImage> cursor = FPlatform.Cursor();
    if (!cursor || cursor->Image.isNull())
        return;
    const int x = cursor->Position.X - cursor->HotSpot.X - Left;
    const int y = cursor->Position.Y - cursor->HotSpot.Y - Top;
    if (x >= Canvas.width() || y >= Canvas.height() || x + cursor->Image.width() <= 0 ||
        y + cursor->Image.height() <= 0)
        return;
    QPainter painter(&Canvas);
    painter.drawImage(x, y, cursor->Image);
}

} // namespace quorvel
