#pragma once

#include <stdexcept>
#include <string>

namespace quorvel {

// Raised by the file writers when a file cannot be created or written. The message names
// the file and carries the system's own reason, so the capture-failed message can show it.
class EFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "Cannot create file "<path>". <reason of errno>"
[[noreturn]] void RaiseCreateError(const std::string& path, int err);
// "Cannot write file "<path>". <reason of errno>"
[[noreturn]] void RaiseWriteError(const std::string& path, int err);

} // namespace quorvel
