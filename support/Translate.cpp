#include "support/Translate.h"

#include "support/LocaleName.h"
#include "support/QtTranslations.h"
#include "support/Resources.h"

#include <QFile>
#include <mutex>

namespace quorvel {

namespace {

TTranslationTable LoadTable() {
    QFile file(QString::fromLatin1(Resources::TranslationTable));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    return TTranslationTable::Parse(
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

// The interface language is written on the user-interface thread and read from the thread
// that delivers text recognition results, so it sits behind a lock.
std::mutex languageLock;

QString& LanguageSlot() {
    static QString language = GetUserLocaleName().left(2);
    return language;
}

} // namespace

const TTranslationTable& TranslationLines() {
    static const TTranslationTable table = LoadTable();
    return table;
}

QString CurrentLanguage() {
    std::lock_guard lock(languageLock);
    return LanguageSlot();
}

void SetCurrentLanguage(const QString& language) {
    {
        std::lock_guard lock(languageLock);
        LanguageSlot() = language;
    }
    // Qt's own texts (Yes and No, the folder chooser) follow the interface's language.
    LoadQtTranslations(language);
}

QString TranslateText(const QString& Text, const QString& Language) {
    const QString language = Language.isEmpty() ? CurrentLanguage() : Language;
    const QByteArray text = Text.toUtf8();
    const QByteArray code = language.toUtf8();
    const std::string result = TranslationLines().Translate(
        std::string_view(text.constData(), static_cast<std::size_t>(text.size())),
        std::string_view(code.constData(), static_cast<std::size_t>(code.size())));
    return QString::fromUtf8(result.data(), static_cast<qsizetype>(result.size()));
}

QString GetUserLocaleName() {
    return QString::fromStdString(LanguageOfLocale(UserLocaleFromEnvironment()));
}

} // namespace quorvel
