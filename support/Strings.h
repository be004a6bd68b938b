#pragma once

#include <stdexcept>
#include <string>

namespace quorvel {

// Raised by UnescapeJSONString for a "\u" escape that is not followed by four hex digits.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The text between the first StartTag and the next EndTag after it, ignoring ASCII case in
// the search. An empty StartTag starts at the beginning, an empty EndTag runs to the end.
// When EndTag is a quote (", ' or "'), a backslash-escaped quote does not end the value.
// A missing tag gives the empty text. With IncludeTags, a value that is not blank comes
// back with the tags around it, as they were passed.
std::u16string ExtractBetween(const std::u16string& Text, const std::u16string& StartTag,
                              const std::u16string& EndTag, bool IncludeTags);

// Resolves the backslash escapes of a JSON string value. "\uXXXX" gives one UTF-16 code
// unit, so the two halves of a surrogate pair form their character together. A backslash
// before any other character drops both. A malformed "\u" raises EConvertError.
std::u16string UnescapeJSONString(const std::u16string& Text);

// The text without the blanks, tabs and line ends at its two ends.
std::string TrimmedText(const std::string& Text);

// The text with the letters A to Z made lower case and every other byte kept, for names
// that compare without case in plain ASCII (header names, desktop entry values).
std::string AsciiLower(std::string Text);

// True for an address the program may hand to the browser: http:// or https:// (in any
// case) followed by a host, with no blank or control character anywhere. A server's reply
// may name nothing else (no file:, no scheme of another program).
bool IsWebAddress(const std::string& Address);

} // namespace quorvel
