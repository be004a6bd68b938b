#pragma once

#include "support/TranslationTable.h"

#include <QString>

namespace quorvel {

// The translation table carried in the program's resources, read once on first use.
const TTranslationTable& TranslationLines();

// The two-letter code of the interface language. It starts as the user's locale language
// and changes only through TranslateComponent with a language.
QString CurrentLanguage();
void SetCurrentLanguage(const QString& language);

// `Text`, in any language of the table, in `Language` (empty: the current language).
QString TranslateText(const QString& Text, const QString& Language = QString());

// The ISO 639 language name of the user's locale ("ko", "en", ...), "en" when there is none.
QString GetUserLocaleName();

} // namespace quorvel
