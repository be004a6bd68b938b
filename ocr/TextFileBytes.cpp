#include "ocr/TextFileBytes.h"

namespace quorvel {

std::string TextFileBytes(const std::vector<std::string>& utf8Lines) {
    std::string bytes;
    for (const std::string& line : utf8Lines) {
        bytes += line;
        bytes += "\r\n";
    }
    return bytes;
}

} // namespace quorvel
