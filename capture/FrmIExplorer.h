#pragma once

#include "capture/WebPageHost.h"

#include <QImage>
#include <QWidget>

class QLineEdit;
class QToolButton;
class QVBoxLayout;
class QWidget;

namespace quorvel {

class TWebBrowser;
struct TWebPageStageTimes;

// The browser window of the web page area: back and forward buttons, the address box and
// the page. The caption follows the page title; Alt+D anywhere in the program puts the
// focus in the address box. It frees itself when closed.
class TFrmIExplorer : public QWidget {
    Q_OBJECT
public:
    explicit TFrmIExplorer(const TWebPageHost& host);
    ~TFrmIExplorer() override;

    // The whole page rendered in one picture; a null picture when there is no page or it
    // could not be measured. Throws when the page is too large to render whole.
    QImage CaptureWebPage(TWebPageStageTimes* stages = nullptr);
    TWebBrowser* WB = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void Edit1KeyPress();
    void WBDocumentComplete();
    void WBTitleChange(const QString& title);
    // Puts the browser control back into the window, filling it below the tool strip.
    void AttachBrowser();

    TWebPageHost FHost;
    QWidget* Panel1 = nullptr;
    QToolButton* BtnBack = nullptr;
    QToolButton* BtnForward = nullptr;
    QLineEdit* Edit1 = nullptr;
    QVBoxLayout* FLayout = nullptr;
    bool FClosed = false;
};

} // namespace quorvel
