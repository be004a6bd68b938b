#include "ocr/PictureBands.h"

#include <gtest/gtest.h>

#include <vector>

namespace quorvel::rtocr {
namespace {

// A white picture of `height` rows with dark "lines of text" on the given row ranges.
struct TPicture {
    int Width = 50;
    std::vector<unsigned char> Pixels;

    TPicture(int height, const std::vector<std::pair<int, int>>& inked) {
        Pixels.assign(static_cast<std::size_t>(Width * height), 255);
        for (const auto& [first, last] : inked)
            for (int y = first; y <= last; ++y)
                for (int x = 0; x < Width; x += 3) // letters: ink and paper side by side
                    Pixels[static_cast<std::size_t>(y * Width + x)] = 0;
    }
    int Height() const { return static_cast<int>(Pixels.size()) / Width; }
    std::vector<int> Cuts(int bands, int least) const {
        return BandCuts(Pixels.data(), Width, Height(), Width, bands, least);
    }
};

// Text every 40 rows, 30 rows of ink and a 10-row gap: 1000 rows.
std::vector<std::pair<int, int>> EvenLines() {
    std::vector<std::pair<int, int>> lines;
    for (int top = 5; top + 30 < 1000; top += 40)
        lines.push_back({top, top + 29});
    return lines;
}

bool Inked(const TPicture& picture, int row) {
    for (int x = 0; x < picture.Width; ++x)
        if (picture.Pixels[static_cast<std::size_t>(row * picture.Width + x)] != 255)
            return true;
    return false;
}

TEST(PictureBands, CutsLieInTheGapsNearestToEvenSharesAndNeverThroughInk) {
    const TPicture page(1000, EvenLines());
    for (int bands : {2, 3, 4}) {
        const std::vector<int> cuts = page.Cuts(bands, 100);
        ASSERT_EQ(cuts.size(), static_cast<std::size_t>(bands - 1)) << bands;
        int previous = 0;
        for (std::size_t i = 0; i < cuts.size(); ++i) {
            EXPECT_FALSE(Inked(page, cuts[i])) << bands << " cut " << cuts[i];
            // The gaps are 40 rows apart: a cut is within one gap of its even share.
            EXPECT_NEAR(cuts[i], 1000 * static_cast<int>(i + 1) / bands, 40) << bands;
            EXPECT_GE(cuts[i] - previous, 100);
            previous = cuts[i];
        }
        EXPECT_GE(1000 - previous, 100);
    }
}

TEST(PictureBands, ATallGapIsCutWithRoomOnBothSides) {
    // Text at the top and the bottom, blank between: the cut keeps away from both.
    const TPicture page(1000, {{0, 99}, {900, 999}});
    const std::vector<int> cuts = page.Cuts(2, 100);
    ASSERT_EQ(cuts.size(), 1u);
    EXPECT_EQ(cuts[0], 500);
    const TPicture narrow(1000, {{0, 489}, {511, 999}});
    ASSERT_EQ(narrow.Cuts(2, 100), std::vector<int>{500});
}

TEST(PictureBands, NoGapNearTheShareOrTooSmallAPictureGivesOneBand) {
    // Ink on every row but a gap near the top, far from the middle.
    EXPECT_TRUE(TPicture(1000, {{0, 49}, {60, 999}}).Cuts(2, 100).empty());
    // Gaps, but the bands would be lower than the least height.
    EXPECT_TRUE(TPicture(1000, EvenLines()).Cuts(2, 600).empty());
    EXPECT_TRUE(TPicture(1000, EvenLines()).Cuts(1, 100).empty());
    EXPECT_TRUE(BandCuts(nullptr, 0, 0, 0, 2, 100).empty());
    // A plain picture can be cut anywhere; the cut is at the share.
    EXPECT_EQ(TPicture(1000, {}).Cuts(2, 100), std::vector<int>{500});
}

} // namespace
} // namespace quorvel::rtocr
