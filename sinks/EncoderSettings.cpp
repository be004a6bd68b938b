#include "sinks/EncoderSettings.h"

#include <charconv>

namespace quorvel {

int QualityFromText(const std::string& text) {
    int value = 0;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+')
        ++first;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last || first == last)
        return 90;
    return value;
}

} // namespace quorvel
