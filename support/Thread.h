#pragma once

#include <functional>

namespace quorvel {

// Runs Proc on a worker thread while the user-interface thread goes on handling its
// events, and returns when Proc has ended. An exception of Proc is raised again here.
void Wait(const std::function<void()>& Proc);

} // namespace quorvel
