#include "support/TranslationTable.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

// Any bytes as a table: reading and looking up never fail, and a text that no line holds
// comes back as itself with its escapes turned.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const quorvel::TTranslationTable table = quorvel::TTranslationTable::Parse(bytes);
    for (std::size_t i = 0; i < table.LineCount() && i < 64; ++i) {
        const std::string& line = table.Line(i);
        const auto eq = line.find('=');
        if (eq != std::string::npos) {
            table.Translate(std::string_view(line).substr(eq + 1), "ja");
            table.Translate(std::string_view(line).substr(eq + 1),
                            std::string_view(line).substr(0, eq));
        }
    }
    const std::string absent = "\x01no such text\\n";
    if (bytes.find("\x01no such text") == std::string_view::npos &&
        table.Translate(absent, "en") != "\x01no such text\r")
        __builtin_trap();
    return 0;
}
