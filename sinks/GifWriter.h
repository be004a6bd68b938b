#pragma once

#include "sinks/PixelView.h"

#include <string>

namespace quorvel {

// Writes the picture as a single-image GIF file, replacing any file at path. The colours are
// reduced to an adaptive palette of at most 256 entries by octree quantisation and the
// pixels are mapped to it with Floyd-Steinberg error diffusion; a picture that has no more
// than 256 colours keeps them all and is stored without any change. Raises EFileError when
// the file cannot be written, and for an empty picture or one larger than a GIF can hold.
void WriteGIF(const TPixelView& pixels, const std::string& path);

} // namespace quorvel
