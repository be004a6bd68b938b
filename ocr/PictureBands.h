#pragma once

#include <cstddef>
#include <vector>

namespace quorvel::rtocr {

// Where a grey picture (one byte a pixel, rows `stride` bytes apart) may be cut across
// into at most `bands` bands of at least `minimumHeight` rows each, so that the bands can
// be recognised side by side. Every cut lies in a run of rows of one colour (a gap between
// lines of text), as near to an even share of the height as the gap allows while keeping
// some room to what is drawn on either side, so no cut goes through anything drawn; where
// no gap is near enough, there is one band fewer. The rows at which the second and later bands
// begin, in ascending order.
std::vector<int> BandCuts(const unsigned char* grey, int width, int height, std::ptrdiff_t stride,
                          int bands, int minimumHeight);

} // namespace quorvel::rtocr
