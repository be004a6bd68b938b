#include "ocr/TextSize.h"

#include <gtest/gtest.h>
#include <vector>

using quorvel::rtocr::EnlargementForLineHeight;
using quorvel::rtocr::TypicalLineHeight;

namespace {

// A grey picture: background `paper`, with "lines of text" of `lineHeight` rows (dots in
// every third column) every `pitch` rows, in the columns [left, right).
void DrawLines(std::vector<unsigned char>& grey, int width, int height, int left, int right,
               int lineHeight, int pitch, unsigned char ink) {
    for (int top = 4; top + lineHeight < height; top += pitch)
        for (int y = top; y < top + lineHeight; ++y)
            for (int x = left; x < right; x += 3)
                grey[static_cast<std::size_t>(y) * width + x] = ink;
}

} // namespace

TEST(TextSize, LineHeightIsTheMedianOfTheTextRunsOnLightAndDark) {
    const int width = 800, height = 600;
    for (const auto& [paper, ink] : {std::pair<unsigned char, unsigned char>{250, 20}, {30, 220}}) {
        std::vector<unsigned char> grey(static_cast<std::size_t>(width) * height, paper);
        // Two columns of text side by side with lines at other heights, and a tall picture.
        DrawLines(grey, width, height, 0, 380, 14, 22, ink);
        DrawLines(grey, width, height, 400, 700, 14, 19, ink);
        for (int y = 100; y < 400; ++y)
            for (int x = 720; x < 790; ++x)
                grey[static_cast<std::size_t>(y) * width + x] = static_cast<unsigned char>(x + y);
        EXPECT_EQ(TypicalLineHeight(grey.data(), width, height, width), 14);
    }
    const std::vector<unsigned char> blank(static_cast<std::size_t>(width) * height, 128);
    EXPECT_EQ(TypicalLineHeight(blank.data(), width, height, width), 0);
    EXPECT_EQ(TypicalLineHeight(nullptr, 0, 0, 0), 0);
}

TEST(TextSize, SmallTypeIsEnlargedAtMostThreeTimesAndLargeTypeNot) {
    EXPECT_DOUBLE_EQ(EnlargementForLineHeight(0), 1.0);
    EXPECT_DOUBLE_EQ(EnlargementForLineHeight(3), 3.0);
    EXPECT_GT(EnlargementForLineHeight(9), 1.5);
    EXPECT_DOUBLE_EQ(EnlargementForLineHeight(30), 1.0);
    for (int h = 1; h < 60; ++h)
        EXPECT_GE(EnlargementForLineHeight(h), EnlargementForLineHeight(h + 1)) << h;
    // Chinese and Japanese characters want taller lines than the Latin alphabet.
    EXPECT_GT(EnlargementForLineHeight(20, "Jpan"), EnlargementForLineHeight(20, "Latn"));
    EXPECT_DOUBLE_EQ(EnlargementForLineHeight(20, "Kore"), 1.0);
}
