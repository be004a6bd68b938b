#pragma once

#include <string_view>

namespace quorvel {

enum class TCommand { None, About, Capture };

// The command of a JSON command text: the object's "command" member, "about" or
// "capture" exactly. Anything else (not an object, no such member, a member that is not
// text, another word) is None.
TCommand ParseCommand(std::string_view json);

} // namespace quorvel
