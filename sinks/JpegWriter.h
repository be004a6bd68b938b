#pragma once

#include "sinks/PixelView.h"

#include <cstdint>
#include <string>

namespace quorvel {

// Writes the picture as a baseline colour JFIF file: the library's defaults, then the
// quality (0..100) applied to the standard tables with baseline forced. Raises EFileError
// when the picture cannot be encoded or the file cannot be written.
void WriteJPG(const TPixelView& Pixels, const std::string& Path, std::uint8_t Quality);

} // namespace quorvel
