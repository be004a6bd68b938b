#pragma once

#include "sinks/PixelView.h"

#include <cstdint>
#include <vector>

namespace quorvel::test {

// A 32-bit picture in memory (blue, green, red, fourth byte), owned by the object.
struct TTestImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels; // 0xXXRRGGBB, row-major, no padding

    TPixelView View() const {
        return {reinterpret_cast<const std::uint8_t*>(pixels.data()), width, height,
                static_cast<std::ptrdiff_t>(width) * 4};
    }
    std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// A desktop-like picture: flat panels, window frames, rows of small text-like glyphs and a
// gradient title bar. Deterministic for a given size.
TTestImage MakeDesktopImage(int width, int height);
// A photo-like picture: smooth colour fields with fine noise everywhere. Deterministic.
TTestImage MakePhotoImage(int width, int height, std::uint32_t seed = 1);
// Every pixel a random colour (worst case for the encoders). Deterministic for a seed.
TTestImage MakeNoiseImage(int width, int height, std::uint32_t seed = 1);
// A picture with exactly `colours` distinct colours (at most 256), in small tiles.
TTestImage MakeFewColourImage(int width, int height, int colours);

} // namespace quorvel::test
