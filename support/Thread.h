#pragma once

#include <functional>

namespace quorvel {

// Runs Proc on a worker thread while the user-interface thread goes on handling its
// events, and returns when Proc has ended. An exception of Proc is raised again here.
// When the program quits meanwhile (its event loops are told to end), OnQuit is called on
// this thread so that Proc can end early; the wait goes on until Proc has ended.
void Wait(const std::function<void()>& Proc, const std::function<void()>& OnQuit = {});

} // namespace quorvel
