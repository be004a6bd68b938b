#pragma once

#include "sinks/PixelView.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quorvel {

// Milliseconds spent in each stage of writing a PNG file, for the benchmarks.
struct TPngStageTimes {
    // Conversion of the pixels to Sub-filtered RGB rows: each compression worker converts
    // its own band, so this is the longest band's time.
    double filterMs = 0;
    double compressMs = 0; // the rest of the time until the zlib stream is complete
    double writeMs = 0;    // chunks assembled and handed to the system under a temporary name
    double renameMs = 0;   // the file closed and moved to its final name
};

// Writes the picture as a PNG file: 8-bit truecolour RGB without alpha, every row filtered
// with Sub, deflate at level 7, IDAT chunks of at most 65535 bytes, and nothing but IHDR,
// IDAT and IEND. Raises EFileError when the file cannot be written. With `times`, records
// how long each stage took.
void WritePNG(const TPixelView& Pixels, const std::string& Path, TPngStageTimes* times = nullptr);

// The same PNG file in memory. Raises EFileError for an empty picture.
std::vector<std::uint8_t> EncodePNG(const TPixelView& Pixels);

// The image data of a PNG as written by WritePNG, before compression: per row the filter
// byte 1 and the Sub-filtered red, green and blue bytes.
void FilterRowsSub(const TPixelView& Pixels, int firstRow, int lastRow, std::uint8_t* out);

} // namespace quorvel
