#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

// The interface texts of every language, as blocks of "code=text" lines separated by one
// empty line. A text is found by its wording in any language and answered from the same
// block in the wanted language, falling back to English. Texts are UTF-8.
class TTranslationTable {
public:
    TTranslationTable() = default;

    // Reads the table from its file bytes: UTF-8, an optional byte-order mark, lines ending
    // at CR LF, a lone CR or a lone LF.
    static TTranslationTable Parse(std::string_view bytes);

    // The text of the block holding `text` in `language` (then "en"), with every "\n"
    // escape turned into a carriage return; `text` itself, escapes turned, when no block
    // holds it. The first block holding the wording wins.
    std::string Translate(std::string_view text, std::string_view language) const;

    std::size_t LineCount() const { return FLines.size(); }
    const std::string& Line(std::size_t index) const { return FLines[index].whole; }

private:
    struct TLine {
        std::string whole;
        std::size_t equals = std::string::npos; // position of the first '='

        // Before the first '='; empty without one.
        std::string_view Code() const {
            return equals == std::string::npos ? std::string_view()
                                               : std::string_view(whole).substr(0, equals);
        }
        // After the first '='; empty without one.
        std::string_view Text() const {
            return equals == std::string::npos ? std::string_view()
                                               : std::string_view(whole).substr(equals + 1);
        }
    };

    std::vector<TLine> FLines;
};

// Replaces every two-character escape backslash + 'n' by one carriage return.
std::string TurnEscapes(std::string_view text);

} // namespace quorvel
