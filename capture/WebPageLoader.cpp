#include "capture/WebPageWindow.h"
#include "support/ProgramFolder.h"

#include <QFileInfo>
#include <QLibrary>
#include <stdexcept>

namespace quorvel {

namespace {

// The module beside the program (a build or a copied folder), else where it is installed.
QString ModulePath() {
    const QString beside =
        QString::fromStdString(ProgramFolder()) + QLatin1String(kWebPageModuleFile);
    if (QFileInfo::exists(beside))
        return beside;
    return QStringLiteral(QUORVEL_MODULE_DIR "/") + QLatin1String(kWebPageModuleFile);
}

TCreateWebPageWindowEntry LoadEntry() {
    // Loaded once and never unloaded: the browser engine keeps threads and process-wide
    // state of its own after its last window has gone.
    static TCreateWebPageWindowEntry entry = nullptr;
    if (entry != nullptr)
        return entry;
    QLibrary module(ModulePath());
    module.setLoadHints(QLibrary::ResolveAllSymbolsHint);
    if (!module.load())
        throw std::runtime_error(module.errorString().toStdString());
    entry = reinterpret_cast<TCreateWebPageWindowEntry>(module.resolve(kWebPageModuleEntry));
    if (entry == nullptr)
        throw std::runtime_error(module.errorString().toStdString());
    return entry;
}

} // namespace

TWebPageWindow* CreateWebPageWindow(const TWebPageHost& host) {
    TWebPageWindow* window = LoadEntry()(&host);
    if (window == nullptr)
        throw std::runtime_error("The browser window could not be created.");
    return window;
}

} // namespace quorvel
