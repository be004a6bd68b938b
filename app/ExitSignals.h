#pragma once

#include <functional>

namespace quorvel {

// Turns SIGTERM, SIGINT and SIGHUP into a call of `onExit` on the user-interface thread
// (through a pipe the signal handler writes one byte into).
void WatchExitSignals(std::function<void()> onExit);

} // namespace quorvel
