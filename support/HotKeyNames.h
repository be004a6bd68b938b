#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorvel {

// The capture shortcut as stored: the low byte a Windows virtual-key code, and the
// modifier bits below.
inline constexpr std::uint16_t kShortCutShift = 0x2000;
inline constexpr std::uint16_t kShortCutCtrl = 0x4000;
inline constexpr std::uint16_t kShortCutAlt = 0x8000;
inline constexpr std::uint16_t kDefaultShortCut = 0x2C; // Print Screen alone

// Modifier flags of a hotkey registration.
inline constexpr unsigned kModAlt = 1;
inline constexpr unsigned kModControl = 2;
inline constexpr unsigned kModShift = 4;

// Virtual-key codes of the keys a capture shortcut may use.
inline constexpr std::uint8_t kVkPrintScreen = 0x2C;
inline constexpr std::uint8_t kVkDelete = 0x2E;
inline constexpr std::uint8_t kVkF1 = 0x70;

// The entries of the key list, in order: "PrintScreen", "A" to "Z", "1" to "9", "0",
// "F1" to "F12", "DEL".
const std::vector<std::string>& HotKeyListEntries();

// The key's name: the letter or digit itself, "F1" to "F12", "Del", and "Sys Req" for
// Print Screen; the empty text for a key without one.
std::string KeyNameOf(std::uint8_t vk);
// The key of a name, without regard to case.
std::optional<std::uint8_t> KeyOfName(const std::string& name);

// The list entry a key shows as ("PrintScreen" for the key named "Sys Req").
std::string EntryOfKey(std::uint8_t vk);
// The key a list entry stands for.
std::optional<std::uint8_t> KeyOfEntry(const std::string& entry);

// The registration flags of a shortcut's modifier bits.
unsigned ModifiersOf(std::uint16_t shortCut);

} // namespace quorvel
