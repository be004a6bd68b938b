#include "ocr/PictureBands.h"

#include <algorithm>
#include <cstdlib>

namespace quorvel::rtocr {

namespace {

// Antialiasing and dithering aside, a gap between lines is a row of a single colour.
constexpr int kGreyTolerance = 8;

bool IsPlainRow(const unsigned char* row, int width) {
    const auto [low, high] = std::minmax_element(row, row + width);
    return *high - *low <= kGreyTolerance;
}

// Rows kept plain on either side of a cut, where the gap is tall enough: the engine reads
// a line better with some room around it.
constexpr int kRoom = 24;

struct TRun {
    int First;
    int Last;
    // The row of the run nearest to `wanted` with room on both sides, or its middle.
    int CutNear(int wanted) const {
        const int room = std::min(kRoom, (Last - First) / 2);
        return std::clamp(wanted, First + room, Last - room);
    }
};

} // namespace

std::vector<int> BandCuts(const unsigned char* grey, int width, int height, std::ptrdiff_t stride,
                          int bands, int minimumHeight) {
    std::vector<int> cuts;
    if (grey == nullptr || width <= 0 || height <= 0 || minimumHeight <= 0)
        return cuts;
    bands = std::min(bands, height / minimumHeight);
    if (bands < 2)
        return cuts;

    std::vector<TRun> runs;
    for (int y = 0; y < height; ++y) {
        if (!IsPlainRow(grey + y * stride, width))
            continue;
        if (!runs.empty() && runs.back().Last == y - 1)
            runs.back().Last = y;
        else
            runs.push_back({y, y});
    }

    const int share = height / bands;
    int previous = 0;
    for (int band = 1; band < bands; ++band) {
        const int wanted = band * share;
        // A cut may move half a share either way, and keeps every band tall enough.
        const int lowest = std::max(previous + minimumHeight, wanted - share / 2);
        const int highest = std::min(height - minimumHeight, wanted + share / 2);
        int best = -1;
        for (const TRun& run : runs) {
            const int cut = run.CutNear(wanted);
            if (cut < lowest || cut > highest)
                continue;
            if (best < 0 || std::abs(cut - wanted) < std::abs(best - wanted))
                best = cut;
        }
        if (best < 0)
            continue;
        cuts.push_back(best);
        previous = best;
    }
    return cuts;
}

} // namespace quorvel::rtocr
