#include "support/LocaleName.h"

#include <cstdlib>

namespace quorvel {

std::string LanguageOfLocale(const std::string& localeName) {
    std::size_t end = 0;
    while (end < localeName.size() && localeName[end] >= 'a' && localeName[end] <= 'z')
        ++end;
    const bool endsWell = end == localeName.size() || localeName[end] == '_' ||
                          localeName[end] == '.' || localeName[end] == '@' ||
                          localeName[end] == '-';
    if ((end == 2 || end == 3) && endsWell)
        return localeName.substr(0, end);
    return "en";
}

std::string UserLocaleFromEnvironment() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0')
            return value;
    }
    return {};
}

} // namespace quorvel
