#include "support/Strings.h"

namespace quorvel {

namespace {

std::u16string UpperAscii(const std::u16string& s) {
    std::u16string result(s);
    for (char16_t& c : result)
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - (u'a' - u'A'));
    return result;
}

bool IsQuoteTag(const std::u16string& tag) {
    return tag == u"\"" || tag == u"'" || tag == u"\"'";
}

int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

bool IsBlank(char16_t c) {
    return c <= 32;
}

// For error messages only: ASCII stays, anything else shows as '?'.
std::string AsciiOf(const std::u16string& s) {
    std::string result;
    for (char16_t c : s)
        result.push_back(c >= 32 && c < 127 ? static_cast<char>(c) : '?');
    return result;
}

} // namespace

std::u16string ExtractBetween(const std::u16string& Text, const std::u16string& StartTag,
                              const std::u16string& EndTag, bool IncludeTags) {
    std::u16string text = UpperAscii(Text);
    const std::u16string start = UpperAscii(StartTag);
    const std::u16string end = UpperAscii(EndTag);

    if (IsQuoteTag(end)) {
        // Turn every backslash + quote into two backslashes (same length), so that an
        // escaped quote cannot be taken for the closing one.
        for (std::size_t at = text.find(u'\\' + end); at != std::u16string::npos;
             at = text.find(u'\\' + end, at + 1 + end.size()))
            for (std::size_t i = 0; i < end.size(); ++i)
                text[at + 1 + i] = u'\\';
    }

    std::size_t valueStart = 0;
    if (!start.empty()) {
        const std::size_t at = text.find(start);
        if (at == std::u16string::npos)
            return {};
        valueStart = at + start.size();
    }
    std::size_t valueEnd = Text.size();
    if (!end.empty()) {
        const std::size_t at = text.find(end, valueStart);
        if (at == std::u16string::npos)
            return {};
        valueEnd = at;
    }

    std::u16string value = Text.substr(valueStart, valueEnd - valueStart);
    if (IncludeTags) {
        std::size_t first = 0;
        std::size_t last = value.size();
        while (first < last && IsBlank(value[first]))
            ++first;
        while (last > first && IsBlank(value[last - 1]))
            --last;
        if (first < last)
            return StartTag + value + EndTag;
    }
    return value;
}

std::u16string UnescapeJSONString(const std::u16string& Text) {
    std::u16string result;
    result.reserve(Text.size());
    std::size_t i = 0;
    while (i < Text.size()) {
        const char16_t c = Text[i];
        if (c != u'\\' || i + 1 >= Text.size()) {
            // A lone backslash at the very end has nothing to escape and stays as it is.
            result.push_back(c);
            ++i;
            continue;
        }
        const char16_t next = Text[i + 1];
        i += 2;
        switch (next) {
        case u'"':
        case u'\'':
        case u'/':
        case u'\\':
            result.push_back(next);
            break;
        case u'b':
            result.push_back(u'\b');
            break;
        case u'f':
            result.push_back(u'\f');
            break;
        case u'n':
            result.push_back(u'\n');
            break;
        case u'r':
            result.push_back(u'\r');
            break;
        case u't':
            result.push_back(u'\t');
            break;
        case u'u': {
            if (i + 4 > Text.size())
                throw EConvertError("Invalid \\u escape: fewer than four hexadecimal digits");
            unsigned value = 0;
            for (std::size_t k = 0; k < 4; ++k) {
                const int digit = HexValue(Text[i + k]);
                if (digit < 0)
                    throw EConvertError("'" + AsciiOf(Text.substr(i, 4)) +
                                        "' is not a valid hexadecimal \\u escape");
                value = value * 16 + static_cast<unsigned>(digit);
            }
            result.push_back(static_cast<char16_t>(value));
            i += 4;
            break;
        }
        default:
            break; // an unknown escape gives nothing for both characters
        }
    }
    return result;
}

std::string TrimmedText(const std::string& Text) {
    const std::size_t first = Text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return Text.substr(first, Text.find_last_not_of(" \t\r\n") - first + 1);
}

std::string AsciiLower(std::string Text) {
    for (char& c : Text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return Text;
}

bool IsWebAddress(const std::string& Address) {
    const std::string lower = AsciiLower(Address.substr(0, 8));
    std::size_t start = 0;
    if (lower.rfind("https://", 0) == 0)
        start = 8;
    else if (lower.rfind("http://", 0) == 0)
        start = 7;
    else
        return false;
    if (Address.size() == start || Address[start] == '/')
        return false;
    for (unsigned char c : Address)
        if (c <= 0x20 || c == 0x7F)
            return false;
    return true;
}

} // namespace quorvel
