#include "support/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

namespace quorvel {

namespace {

struct TLoaded {
    bool Attempted = false;
    QString Language;
    std::unique_ptr<QTranslator> Translator;
};

TLoaded& Loaded() {
    static TLoaded loaded;
    return loaded;
}

} // namespace

QString QtTranslationName(const QString& language) {
    if (language.isEmpty() || language == QLatin1String("en"))
        return {};
    // The interface's Chinese is the simplified script.
    if (language == QLatin1String("zh"))
        return QStringLiteral("qtbase_zh_CN");
    return QStringLiteral("qtbase_") + language;
}

void LoadQtTranslations(const QString& language) {
    QCoreApplication* application = QCoreApplication::instance();
    TLoaded& loaded = Loaded();
    if (application == nullptr || (loaded.Attempted && loaded.Language == language))
        return;
    if (loaded.Translator) {
        QCoreApplication::removeTranslator(loaded.Translator.get());
        loaded.Translator.reset();
    }
    loaded.Attempted = true;
    loaded.Language = language;
    const QString name = QtTranslationName(language);
    if (name.isEmpty())
        return;
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(name, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return; // not installed: Qt's texts stay English
    QCoreApplication::installTranslator(translator.get());
    loaded.Translator = std::move(translator);
}

} // namespace quorvel
