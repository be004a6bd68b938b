#pragma once

#include <string>

namespace quorvel {

// The ISO 639 language name of a POSIX locale name such as "ja_JP.UTF-8" or "ko_KR"
// ("ja", "ko"); "en" for the C and POSIX locales and for anything that does not start with
// a two- or three-letter language name.
std::string LanguageOfLocale(const std::string& localeName);

// The locale that decides the user's language: LC_ALL, else LC_MESSAGES, else LANG (the
// first one set and not empty); the empty text when none is set.
std::string UserLocaleFromEnvironment();

} // namespace quorvel
