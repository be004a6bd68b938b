#include "capture/WebBrowser.h"

#include <QWebEngineProfile>

namespace quorvel {

QWebEnginePage* TWebPage::createWindow(WebWindowType) {
    return nullptr; // a link or script asking for a new window opens nothing
}

void TWebPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString& message, int,
                                        const QString&) {
    if (OnConsoleMessage)
        OnConsoleMessage(message);
}

TWebBrowser::TWebBrowser(QWidget* parent) : QWebEngineView(parent), FPage(new TWebPage(this)) {
    setPage(FPage);
    connect(this, &QWebEngineView::loadStarted, this, [this] { FLoading = true; });
    connect(this, &QWebEngineView::loadFinished, this, [this] { FLoading = false; });
}

void TWebBrowser::SetUserAgent(const QString& value) {
    FUserAgent = value;
    if (!FUserAgent.isEmpty())
        FPage->profile()->setHttpUserAgent(FUserAgent);
}

} // namespace quorvel
