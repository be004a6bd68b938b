#pragma once

#include "sinks/PixelView.h"

#include <stdexcept>
#include <string>

namespace quorvel {

// The file name of the WebP library, beside the program or on the system's library path.
inline constexpr const char* WebPLibraryName = "libwebp.so.7";

// Where the WebP library is loaded from: the file beside the program when there is one,
// else the bare name for the system loader.
std::string WebPLibraryPath();

// Whether the WebP library at `libraryPath` can be loaded.
bool WebPAvailable(const std::string& libraryPath);

class EWebPError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes the picture as a lossy WebP file at the given quality (100 is still lossy),
// through the library at `libraryPath`, loaded for this call. When the library is missing
// or cannot be loaded nothing is written and nothing is raised; the return value tells
// whether a file was written. A library without the two entry points raises EWebPError,
// and so does a failed encoding; a file that cannot be written raises EFileError.
bool WriteWebP(const TPixelView& Pixels, const std::string& Path, int Quality,
               const std::string& libraryPath);

} // namespace quorvel
