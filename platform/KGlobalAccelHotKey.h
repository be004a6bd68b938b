#pragma once

#include "platform/Platform.h"

#include <functional>
#include <memory>
#include <optional>

namespace quorvel {

// The Qt key combination (Qt::Key | Qt::KeyboardModifier bits) of a capture key: a Windows
// virtual-key code (Print Screen, Delete, letters, digits, F1 to F12) with the modifier
// flags (1 Alt, 2 Ctrl, 4 Shift). None for a key that has no counterpart.
std::optional<int> QtKeyCombination(std::uint8_t vk, unsigned modifiers);

// Whether KDE's global shortcut service runs on the session bus; it takes keys for programs
// on a Plasma desktop. Asked once.
bool KGlobalAccelAvailable();

// A capture key taken through KDE's global shortcut service: the program registers one
// action, "capture", with the key; the service reports its presses over D-Bus. Null when
// the service is not there.
std::unique_ptr<THotKey> CreateKGlobalAccelHotKey(std::function<void()> onPress);

} // namespace quorvel
