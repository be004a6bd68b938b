#pragma once

#include <string>

namespace quorvel::server {

// The largest picture the server decodes, in pixels: beyond it a small file could hold
// minutes of inflating.
inline constexpr unsigned long long kMaxPngPixels = 1ull << 28;

// Decodes the PNG file whole, row by row with a single row in memory, and checks that
// nothing follows its IEND chunk. False with the reason for a file that is not exactly one
// sound PNG picture.
bool DecodesAsWholePng(const std::string& path, std::string& why);

} // namespace quorvel::server
