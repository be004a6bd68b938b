#pragma once

#include "platform/Platform.h"

namespace quorvel {

// The platform over the X server named by DISPLAY; raises EPlatformError without one.
std::unique_ptr<TPlatform> CreateX11Platform();

} // namespace quorvel
