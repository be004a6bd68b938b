#pragma once

#include "platform/Platform.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace quorvel {

// A capture key in the desktop portal's shortcut notation ("CTRL+SHIFT+F5", "Print"): the
// modifiers, then the key's keysym name. The key is a Windows virtual-key code (Print
// Screen, Delete, letters, digits, F1 to F12) with the modifier flags (1 Alt, 2 Ctrl,
// 4 Shift). None for a key that has no counterpart.
std::optional<std::string> ShortcutTrigger(std::uint8_t vk, unsigned modifiers);

// Whether the desktop portal offers global shortcuts (GNOME 48 and later, KDE Plasma).
// Asked once.
bool PortalShortcutsAvailable();

// A capture key taken through the desktop portal's global shortcuts: a session of the
// program's own binds one shortcut, "capture", with the key as the one preferred (the
// desktop may ask the user to confirm it, or to pick another); the portal reports its
// presses. Null when the portal offers no global shortcuts.
std::unique_ptr<THotKey> CreatePortalHotKey(std::function<void()> onPress);

} // namespace quorvel
