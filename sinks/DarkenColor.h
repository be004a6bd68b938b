#pragma once

#include <cstdint>

namespace quorvel {

// A colour as 0x00BBGGRR: red in the low byte, then green, then blue.
using TColorRef = std::uint32_t;

// Each of red, green and blue c becomes c - round(c * Percent / 100), rounded half away
// from zero; the high byte of the result is zero. Percents above 100 count as 100.
TColorRef DarkenColor(TColorRef Color, std::uint8_t Percent);

} // namespace quorvel
