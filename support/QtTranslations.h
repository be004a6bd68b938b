#pragma once

#include <QString>

namespace quorvel {

// Loads Qt's own translations (standard buttons, file dialogs) for an interface language
// ("ko", "en", ...) in place of the ones loaded before, so that Qt's texts follow the
// language the user chose. English, or a language without installed translations, leaves
// Qt's own English. Does nothing before the application object exists.
void LoadQtTranslations(const QString& language);

// The file name stem of Qt's translation for an interface language: "qtbase_ru",
// "qtbase_zh_CN" for the program's Chinese (simplified); empty for English.
QString QtTranslationName(const QString& language);

} // namespace quorvel
