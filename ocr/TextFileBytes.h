#pragma once

#include <string>
#include <vector>

namespace quorvel {

// The bytes of a text file of recognised lines: each line in UTF-8 followed by CR LF, no
// byte-order mark. No lines give an empty file.
std::string TextFileBytes(const std::vector<std::string>& utf8Lines);

} // namespace quorvel
