#pragma once

#include <cstddef>
#include <cstdint>

namespace quorvel {

// A read-only view of a 32-bit picture: each pixel is four bytes blue, green, red and an
// unused fourth byte (the layout of a 32-bit screen capture on a little-endian machine).
// The writers ignore the fourth byte. Rows run top-down, `stride` bytes apart.
struct TPixelView {
    const std::uint8_t* bits = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;

    const std::uint8_t* Row(int y) const { return bits + static_cast<std::ptrdiff_t>(y) * stride; }
    bool Empty() const { return bits == nullptr || width <= 0 || height <= 0; }
};

} // namespace quorvel
