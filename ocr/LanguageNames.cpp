#include "ocr/LanguageNames.h"

#include <QDir>
#include <QLocale>
#include <QMap>
#include <algorithm>

namespace quorvel::rtocr {

namespace {

QString ScriptQualifier(const TTrainedDataLanguage& language, const QLocale& locale) {
    if (language.Script == "Hans")
        return QStringLiteral("Simplified");
    if (language.Script == "Hant")
        return QStringLiteral("Traditional");
    // Only a script the tag names tells this data set from the language's usual one.
    if (QString::fromStdString(language.Tag)
            .contains(QLatin1Char('-') + QString::fromStdString(language.Script)))
        return QLocale::scriptToString(locale.script());
    return {};
}

// The name a language gives itself in most of the places it is spoken: the locale data
// names the language of its likeliest territory after that territory ("American English").
QString NativeName(const QLocale& locale) {
    QMap<QString, int> counts;
    for (const QLocale& each :
         QLocale::matchingLocales(locale.language(), locale.script(), QLocale::AnyTerritory))
        ++counts[each.nativeLanguageName()];
    QString best = locale.nativeLanguageName();
    int bestCount = counts.value(best);
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > bestCount && !it.key().isEmpty()) {
            best = it.key();
            bestCount = it.value();
        }
    return best;
}

} // namespace

TLanguage NameLanguage(const TTrainedDataLanguage& language) {
    TLanguage result;
    result.LanguageTag = QString::fromStdString(language.Tag);
    result.Script = QString::fromStdString(language.Script);

    QString localeName = QString::fromStdString(language.Language);
    const bool namedScript =
        result.LanguageTag.contains(QLatin1Char('-') + result.Script) && !result.Script.isEmpty();
    if (namedScript)
        localeName += QLatin1Char('_') + result.Script;
    const QLocale locale(localeName);
    const bool known =
        locale.language() != QLocale::C &&
        QLocale::languageToCode(locale.language()) == QString::fromStdString(language.Language);
    if (!known) {
        // A language the locale data does not carry is called by its data set's name.
        result.DisplayName = QString::fromStdString(language.Name);
        result.NativeName = result.DisplayName;
        return result;
    }

    result.DisplayName = QLocale::languageToString(locale.language());
    result.NativeName = NativeName(locale);
    if (result.NativeName.isEmpty())
        result.NativeName = result.DisplayName;
    QStringList qualifiers;
    const QString script = ScriptQualifier(language, locale);
    if (!script.isEmpty())
        qualifiers << script;
    if (!language.Variant.empty())
        qualifiers << QString::fromStdString(language.Variant);
    if (!qualifiers.isEmpty())
        result.DisplayName +=
            QStringLiteral(" (") + qualifiers.join(QStringLiteral(", ")) + QLatin1Char(')');
    return result;
}

std::vector<TNamedLanguage> LanguagesOfFolder(const QString& folder) {
    std::vector<std::string> files;
    for (const QString& file : QDir(folder).entryList(QDir::Files | QDir::Readable))
        files.push_back(file.toStdString());
    std::vector<TNamedLanguage> languages;
    for (const std::string& name : TrainedDataNames(files))
        if (const auto language = LanguageOfTrainedData(name))
            languages.push_back({NameLanguage(*language), name});
    std::stable_sort(languages.begin(), languages.end(),
                     [](const TNamedLanguage& a, const TNamedLanguage& b) {
                         const int byName = QString::compare(
                             a.Language.DisplayName, b.Language.DisplayName, Qt::CaseInsensitive);
                         if (byName != 0)
                             return byName < 0;
                         return a.Language.LanguageTag < b.Language.LanguageTag;
                     });
    return languages;
}

} // namespace quorvel::rtocr
