#pragma once

#include <string>

namespace quorvel {

// UTF-8 to UTF-16 and back, without a locale. Bytes that are not valid UTF-8 become
// U+FFFD each, as a lenient decoder shows them.
std::u16string Utf8ToUtf16(const std::string& text);
std::string Utf16ToUtf8(const std::u16string& text);

} // namespace quorvel
