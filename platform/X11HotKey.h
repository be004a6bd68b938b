#pragma once

#include "platform/Platform.h"

namespace quorvel {

// The X11 hotkey, on a connection of its own.
std::unique_ptr<THotKey> CreateX11HotKey(std::function<void()> onPress);

} // namespace quorvel
