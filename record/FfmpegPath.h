#pragma once

#include <string>

namespace quorvel {

// The encoder's file name, beside the program or on the search path.
inline constexpr const char* FfmpegName = "ffmpeg";

// The encoder program: the one beside the program when there is one, else the first on
// PATH; the empty text when there is none.
std::string FindFfmpeg();

} // namespace quorvel
