#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quorvel {

// One request to sway over its IPC socket (a fresh connection each time, so that nothing
// is left waiting in between): the reply's payload, or none when the socket cannot be
// reached, the peer does not answer in the time, or the reply is not a well-formed one
// of the same type within the length limit.
std::optional<std::string> SwayQuery(const std::string& socketPath, std::uint32_t type,
                                     int timeoutMs);

} // namespace quorvel
