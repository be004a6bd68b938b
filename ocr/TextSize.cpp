#include "ocr/TextSize.h"

#include <algorithm>
#include <vector>

namespace quorvel::rtocr {

namespace {

// Antialiasing aside, a row of a column between lines is of one colour.
constexpr int kGreyTolerance = 8;
// Columns narrow enough that lines of text side by side fall into different ones, and
// wide enough to hold a few letters.
constexpr int kColumnWidth = 96;
// Runs shorter or taller than these are rules, borders and pictures, not lines of text.
constexpr int kShortestLine = 5;
constexpr int kTallestLine = 160;

} // namespace

int TypicalLineHeight(const unsigned char* grey, int width, int height, std::ptrdiff_t stride) {
    if (grey == nullptr || width <= 0 || height <= 0)
        return 0;
    std::vector<int> heights;
    for (int left = 0; left < width; left += kColumnWidth) {
        const int right = std::min(width, left + kColumnWidth);
        int runStart = -1;
        for (int y = 0; y <= height; ++y) {
            bool plain = true;
            if (y < height) {
                const unsigned char* row = grey + static_cast<std::ptrdiff_t>(y) * stride;
                const auto [low, high] = std::minmax_element(row + left, row + right);
                plain = *high - *low <= kGreyTolerance;
            }
            if (!plain && runStart < 0) {
                runStart = y;
            } else if (plain && runStart >= 0) {
                const int run = y - runStart;
                if (run >= kShortestLine && run <= kTallestLine)
                    heights.push_back(run);
                runStart = -1;
            }
        }
    }
    if (heights.empty())
        return 0;
    std::nth_element(heights.begin(), heights.begin() + heights.size() / 2, heights.end());
    return heights[heights.size() / 2];
}

double EnlargementForLineHeight(int lineHeight, std::string_view script) {
    if (lineHeight <= 0)
        return 1.0;
    // The engine reads lines best from about this tall on; measured with the text
    // recognition benchmark.
    const bool manyStrokes =
        script == "Hani" || script == "Hans" || script == "Hant" || script == "Jpan";
    const double wantedHeight = manyStrokes ? 28.0 : 20.0;
    constexpr double kLargest = 3.0;
    return std::clamp(wantedHeight / lineHeight, 1.0, kLargest);
}

} // namespace quorvel::rtocr
