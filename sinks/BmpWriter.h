#pragma once

#include "sinks/PixelView.h"

#include <string>

namespace quorvel {

// Writes the picture as an uncompressed 32-bit Windows bitmap: 14-byte file header, 40-byte
// info header, no colour table, rows bottom-up. Raises EFileError on failure.
void WriteBMP(const TPixelView& Pixels, const std::string& Path);

} // namespace quorvel
