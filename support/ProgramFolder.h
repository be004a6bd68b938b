#pragma once

#include <string>

namespace quorvel {

// The folder of the running executable, with a trailing '/'; the empty text when the
// system cannot tell.
std::string ProgramFolder();

} // namespace quorvel
