#include "support/TranslationTable.h"

namespace quorvel {

std::string TurnEscapes(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
            result.push_back('\r');
            ++i;
        } else {
            result.push_back(text[i]);
        }
    }
    return result;
}

TTranslationTable TTranslationTable::Parse(std::string_view bytes) {
    TTranslationTable table;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
        bytes.remove_prefix(3);
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = start;
        while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n')
            ++end;
        std::string whole(bytes.substr(start, end - start));
        const std::size_t equals = whole.find('=');
        table.FLines.push_back({std::move(whole), equals});
        if (end < bytes.size() && bytes[end] == '\r' && end + 1 < bytes.size() &&
            bytes[end + 1] == '\n')
            start = end + 2;
        else
            start = end + 1;
    }
    return table;
}

std::string TTranslationTable::Translate(std::string_view text, std::string_view language) const {
    if (text.empty())
        return {};
    std::size_t found = 0;
    while (found < FLines.size() && FLines[found].Text() != text)
        ++found;
    if (found == FLines.size())
        return TurnEscapes(text);

    std::size_t blockStart = found;
    while (blockStart > 0 && !FLines[blockStart - 1].whole.empty())
        --blockStart;

    for (const std::string_view code : {language, std::string_view("en")}) {
        for (std::size_t i = blockStart; i < FLines.size() && !FLines[i].whole.empty(); ++i)
            if (FLines[i].Code() == code)
                return TurnEscapes(FLines[i].Text());
    }
    return TurnEscapes(text);
}

} // namespace quorvel
