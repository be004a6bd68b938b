#pragma once

#include <optional>
#include <string>

namespace quorvel {

// The lines between the program and its browser window's process. The program asks with
// "capture" or "close"; the window's process answers a capture with "picture W H" and
// W × H × 4 bytes of RGB32 scan lines, "none" (no page) or "error MESSAGE", and says
// "closed" when its window has closed.
inline constexpr const char* kWebPageCapture = "capture";
inline constexpr const char* kWebPageClose = "close";
inline constexpr const char* kWebPageClosed = "closed";
inline constexpr const char* kWebPageNone = "none";
inline constexpr const char* kWebPagePicture = "picture ";
inline constexpr const char* kWebPageError = "error ";

struct TPictureHeader {
    int Width = 0, Height = 0;
};

// "picture W H" with both sides from 1 to `largest`; nothing for any other line.
std::optional<TPictureHeader> ParsePictureHeader(const std::string& line, int largest);

} // namespace quorvel
