#pragma once

#include <optional>
#include <string>

namespace quorvel::server {

// The update reply from the administrator's JSON file ("update", and "info" with
// "style", "text", "flag", "url"), written compactly ("name":"value", no blanks) with
// every slash and brace escaped, as the program's reader expects. Members that are not
// texts are left out. Nothing for a text that is not a JSON object.
std::optional<std::string> BuildUpdateReply(const std::string& adminJson);

} // namespace quorvel::server
