#include "TestImages.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace quorvel::test {

namespace {

std::uint32_t Rgb(int r, int g, int b) {
    auto c = [](int v) { return static_cast<std::uint32_t>(std::clamp(v, 0, 255)); };
    return 0xFF000000u | (c(r) << 16) | (c(g) << 8) | c(b);
}

void FillRect(TTestImage& img, int x0, int y0, int x1, int y1, std::uint32_t colour) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, img.width);
    y1 = std::min(y1, img.height);
    for (int y = y0; y < y1; ++y)
        std::fill_n(img.pixels.begin() + static_cast<std::ptrdiff_t>(y) * img.width + x0,
                    std::max(0, x1 - x0), colour);
}

TTestImage Blank(int width, int height) {
    TTestImage img;
    img.width = width;
    img.height = height;
    img.pixels.assign(static_cast<std::size_t>(width) * height, 0xFF000000u);
    return img;
}

} // namespace

TTestImage MakeDesktopImage(int width, int height) {
    TTestImage img = Blank(width, height);
    std::mt19937 random(7);
    // Wallpaper: a vertical gradient.
    for (int y = 0; y < height; ++y)
        FillRect(img, 0, y, width, y + 1, Rgb(30 + y * 60 / std::max(1, height), 80, 140));
    // Task bar.
    FillRect(img, 0, height - 40, width, height, Rgb(32, 32, 36));
    // A few windows with a title-bar gradient, a light client area and lines of "text".
    const int windows = 4;
    for (int w = 0; w < windows; ++w) {
        const int wx = width / 12 + w * width / 6;
        const int wy = height / 14 + w * height / 9;
        const int ww = width / 2;
        const int wh = height / 2;
        FillRect(img, wx - 1, wy - 1, wx + ww + 1, wy + wh + 1, Rgb(90, 90, 90));
        for (int x = 0; x < ww; ++x)
            FillRect(img, wx + x, wy, wx + x + 1, wy + 28,
                     Rgb(40 + x * 100 / ww, 70, 160 - x * 60 / ww));
        FillRect(img, wx, wy + 28, wx + ww, wy + wh, Rgb(250, 250, 250));
        for (int line = wy + 40; line + 12 < wy + wh; line += 18) {
            int x = wx + 10;
            while (x + 8 < wx + ww - 10) {
                const int glyphs = 2 + static_cast<int>(random() % 8);
                for (int g = 0; g < glyphs && x + 8 < wx + ww - 10; ++g, x += 8) {
                    // An anti-aliased looking glyph: a few dark and grey dots in a 6x11 cell.
                    for (int dy = 0; dy < 11; ++dy)
                        for (int dx = 0; dx < 6; ++dx) {
                            const unsigned bit = random() % 5;
                            if (bit == 0)
                                FillRect(img, x + dx, line + dy, x + dx + 1, line + dy + 1,
                                         Rgb(20, 20, 20));
                            else if (bit == 1)
                                FillRect(img, x + dx, line + dy, x + dx + 1, line + dy + 1,
                                         Rgb(140, 140, 150));
                        }
                }
                x += 6;
            }
        }
    }
    return img;
}

TTestImage MakePhotoImage(int width, int height, std::uint32_t seed) {
    TTestImage img = Blank(width, height);
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> noise(-6, 6);
    for (int y = 0; y < height; ++y) {
        const double fy = static_cast<double>(y) / height;
        for (int x = 0; x < width; ++x) {
            const double fx = static_cast<double>(x) / width;
            const int r = static_cast<int>(128 + 100 * std::sin(fx * 7.0 + fy * 3.0));
            const int g = static_cast<int>(120 + 90 * std::cos(fy * 5.0 - fx * 2.0));
            const int b = static_cast<int>(100 + 80 * std::sin((fx + fy) * 4.0));
            img.pixels[static_cast<std::size_t>(y) * width + x] =
                Rgb(r + noise(random), g + noise(random), b + noise(random));
        }
    }
    return img;
}

TTestImage MakeNoiseImage(int width, int height, std::uint32_t seed) {
    TTestImage img = Blank(width, height);
    std::mt19937 random(seed);
    for (auto& p : img.pixels)
        p = 0xFF000000u | (random() & 0xFFFFFFu);
    return img;
}

TTestImage MakeFewColourImage(int width, int height, int colours) {
    TTestImage img = Blank(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int index = ((x / 4) + (y / 4) * 7) % colours;
            img.pixels[static_cast<std::size_t>(y) * width + x] =
                Rgb(index * 37 % 256, index * 91 % 256, index * 13 % 256);
        }
    return img;
}

} // namespace quorvel::test
