#pragma once

#include "platform/Platform.h"

namespace quorvel {

// Window-manager requests for this program's own top-level windows. They go over the
// user-interface toolkit's own connection to the X server, so that they reach the server
// in order with the toolkit's requests for the same window (its mapping, its geometry) and
// can release the pointer grab that the toolkit holds while a button is down. Without an
// X11 connection (another platform plugin) they do nothing.
void X11KeepAboveUnlisted(TWindowId window);
bool X11StartWindowMove(TWindowId window, TPoint from);
bool X11DrawPicture(TWindowId window, const QImage& picture, const TRect& area);

} // namespace quorvel
