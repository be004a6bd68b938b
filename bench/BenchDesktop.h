#pragma once

#include "DesktopSession.h"

#include <vector>

namespace quorvel::bench {

// Shows the desktop-like test picture on the session's 1920x1080 root window, so that every
// capture encodes the same content as a real desktop would give.
void ShowDesktopWallpaper(test::TDesktopSession& session);

// Starts the program `launches` times with the settings the session holds and returns, for
// each start, the milliseconds until a request that does nothing is answered.
std::vector<double> LaunchTimesMs(test::TDesktopSession& session, int launches);

} // namespace quorvel::bench
