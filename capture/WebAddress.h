#pragma once

#include <string>

namespace quorvel {

// The address typed into the browser window's box, without leading and trailing blanks and
// control characters (every character up to and including the space).
std::string TrimAddress(const std::string& text);

} // namespace quorvel
