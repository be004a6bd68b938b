#pragma once

#include <QWebEnginePage>
#include <QWebEngineView>
#include <functional>

namespace quorvel {

// The page of the browser window: pages cannot open windows or pop-ups, and the page's
// console carries the signal that a frame of the enlarged view has been painted.
class TWebPage : public QWebEnginePage {
    Q_OBJECT
public:
    using QWebEnginePage::QWebEnginePage;
    // Called with each console message of the page.
    std::function<void(const QString&)> OnConsoleMessage;

protected:
    QWebEnginePage* createWindow(WebWindowType type) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                  int lineNumber, const QString& sourceID) override;
};

// The browser control: the engine's view with the user-agent text it sends.
class TWebBrowser : public QWebEngineView {
    Q_OBJECT
public:
    explicit TWebBrowser(QWidget* parent);
    TWebPage* Page() const { return FPage; }
    QString UserAgent() const { return FUserAgent; }
    void SetUserAgent(const QString& value);
    // True from the start of a navigation until its page has finished loading.
    bool Loading() const { return FLoading; }

private:
    TWebPage* FPage;
    QString FUserAgent;
    bool FLoading = false;
};

} // namespace quorvel
