#pragma once

#include "platform/Platform.h"

namespace quorvel {

// Where a Wayland desktop's pixels come from: the wlroots screen-copy protocol, KWin's
// screenshot interface, or the desktop portal's screenshot.
enum class TPixelSource { None, Screencopy, KWin, Portal };

// Which of the desktop's D-Bus screenshot services answers: KWin's first, then the
// portal's; None when neither does (or there is no session bus).
TPixelSource ProbeDesktopShots();

// The whole screen (`screen`, physical pixels) from a D-Bus source, as an RGB32 picture of
// the screen's size. Raises EPlatformError when the desktop refuses or fails.
QImage DesktopShot(TPixelSource source, const TRect& screen, bool cursor);

} // namespace quorvel
