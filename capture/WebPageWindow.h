#pragma once

#include <QImage>
#include <QString>
#include <QWidget>
#include <functional>

namespace quorvel {

// What the browser window needs of the program around it. The window lives in the web page
// module, which carries the browser engine and is loaded only when the web page area is
// chosen; it reaches the program's translation and settings through these.
struct TWebPageHost {
    // A user-visible text in the current language.
    std::function<QString(const QString&)> Translate;
    // The program's title, shown while no page is open.
    QString ApplicationTitle;
    // Runs once when the window closes, before it frees itself.
    std::function<void()> Closed;
};

// The browser window of the web page area, as the main window sees it.
class TWebPageWindow : public QWidget {
public:
    using QWidget::QWidget;
    // The whole page rendered in one picture; a null picture when there is no page or it
    // could not be measured. Throws when the page is too large to render whole.
    virtual QImage CaptureWebPage() = 0;
};

// Loads the web page module on first use and creates a browser window (not yet shown)
// that frees itself when closed. Throws std::runtime_error when the module cannot load.
TWebPageWindow* CreateWebPageWindow(const TWebPageHost& host);

// The module's entry point, looked up by this name.
using TCreateWebPageWindowEntry = TWebPageWindow* (*)(const TWebPageHost* host);
inline constexpr const char* kWebPageModuleEntry = "QuorvelCreateWebPageWindow";
inline constexpr const char* kWebPageModuleFile = "libquorvel_webpage.so";

} // namespace quorvel
