#include "capture/WebPageProtocol.h"

#include <charconv>

namespace quorvel {

namespace {

bool ReadSide(const char*& at, const char* end, int largest, int& value) {
    const auto [next, ec] = std::from_chars(at, end, value);
    if (ec != std::errc() || next == at || value < 1 || value > largest)
        return false;
    at = next;
    return true;
}

} // namespace

std::optional<TPictureHeader> ParsePictureHeader(const std::string& line, int largest) {
    const std::string prefix = kWebPagePicture;
    if (line.rfind(prefix, 0) != 0)
        return std::nullopt;
    const char* at = line.data() + prefix.size();
    const char* end = line.data() + line.size();
    TPictureHeader h;
    if (!ReadSide(at, end, largest, h.Width) || at == end || *at++ != ' ' ||
        !ReadSide(at, end, largest, h.Height) || at != end)
        return std::nullopt;
    return h;
}

} // namespace quorvel
