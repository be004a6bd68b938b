#pragma once

#include "platform/Platform.h"

namespace quorvel {

// The platform over the Wayland compositor named by WAYLAND_DISPLAY, on a connection of
// its own; raises EPlatformError without one.
std::unique_ptr<TPlatform> CreateWaylandPlatform();

} // namespace quorvel
