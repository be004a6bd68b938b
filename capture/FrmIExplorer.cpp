#include "capture/FrmIExplorer.h"

#include "capture/WebAddress.h"
#include "capture/WebBrowser.h"
#include "capture/WebPageCapture.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScreen>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace quorvel {

namespace {

const char* const kUserAgent =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/128.0.0.0 Safari/537.36 Edg/128.0.0.0";

const char* const kBlank = "about:blank";

} // namespace

TFrmIExplorer::TFrmIExplorer(const TWebPageHost& host) : FHost(host) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(FHost.ApplicationTitle);

    Panel1 = new QWidget(this);
    Panel1->setFixedHeight(37);
    auto* strip = new QHBoxLayout(Panel1);
    strip->setContentsMargins(0, 0, 8, 0); // Panel4, the spacer on the right
    strip->setSpacing(0);
    const auto button = [this](QStyle::StandardPixmap glyph) {
        auto* b = new QToolButton(Panel1);
        b->setAutoRaise(true);
        b->setIcon(style()->standardIcon(glyph));
        b->setFixedSize(25, 37);
        b->setEnabled(false);
        return b;
    };
    BtnBack = button(QStyle::SP_ArrowBack);
    BtnForward = button(QStyle::SP_ArrowForward);
    strip->addWidget(BtnBack);
    strip->addWidget(BtnForward);
    strip->addSpacing(57 - 50);
    Edit1 = new QLineEdit(QStringLiteral("https://"), Panel1);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    strip->addWidget(Edit1, 1);

    WB = new TWebBrowser(this);
    FLayout = new QVBoxLayout(this);
    FLayout->setContentsMargins(0, 0, 0, 0);
    FLayout->setSpacing(0);
    FLayout->addWidget(Panel1);
    AttachBrowser();

    resize(695, 572);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));

    connect(Edit1, &QLineEdit::returnPressed, this, [this] { Edit1KeyPress(); });
    connect(BtnBack, &QToolButton::clicked, WB, &QWebEngineView::back);
    connect(BtnForward, &QToolButton::clicked, WB, &QWebEngineView::forward);
    // Command state: the buttons follow what the engine can do.
    QAction* back = WB->pageAction(QWebEnginePage::Back);
    QAction* forward = WB->pageAction(QWebEnginePage::Forward);
    connect(back, &QAction::changed, this,
            [this, back] { BtnBack->setEnabled(back->isEnabled()); });
    connect(forward, &QAction::changed, this,
            [this, forward] { BtnForward->setEnabled(forward->isEnabled()); });
    connect(WB, &QWebEngineView::loadFinished, this, [this] { WBDocumentComplete(); });
    connect(WB, &QWebEngineView::titleChanged, this,
            [this](const QString& title) { WBTitleChange(title); });
    qApp->installEventFilter(this);
    FormCreate();
}

TFrmIExplorer::~TFrmIExplorer() {
    qApp->removeEventFilter(this);
}

void TFrmIExplorer::FormCreate() {
    WB->SetUserAgent(QString::fromLatin1(kUserAgent));
    WB->load(QUrl(QString::fromLatin1(kBlank)));
}

void TFrmIExplorer::AttachBrowser() {
    FLayout->addWidget(WB, 1);
}

void TFrmIExplorer::Edit1KeyPress() {
    const QString address = QString::fromStdString(TrimAddress(Edit1->text().toStdString()));
    WB->load(QUrl::fromUserInput(address));
}

void TFrmIExplorer::WBDocumentComplete() {
    const QString location = WB->url().toString();
    Edit1->setText(location == QLatin1String(kBlank) ? QStringLiteral("https://") : location);
}

void TFrmIExplorer::WBTitleChange(const QString& title) {
    // The engine reports the address as the title of a page without one.
    if (title.isEmpty() || title == QLatin1String(kBlank))
        setWindowTitle(FHost.ApplicationTitle);
    else
        setWindowTitle(title);
}

bool TFrmIExplorer::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_D &&
            (key->modifiers() & ~Qt::KeypadModifier) == Qt::AltModifier) {
            if (event->type() == QEvent::KeyPress && isVisible()) {
                activateWindow();
                Edit1->setFocus(Qt::ShortcutFocusReason);
                Edit1->selectAll();
            }
            event->accept();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

QImage TFrmIExplorer::CaptureWebPage(TWebPageStageTimes* stages) {
    FLayout->removeWidget(WB);
    struct Restore {
        TFrmIExplorer* form;
        ~Restore() { form->AttachBrowser(); }
    } restore{this};
    return CaptureWholePage(*WB, stages);
}

void TFrmIExplorer::closeEvent(QCloseEvent* event) {
    if (!FClosed) {
        FClosed = true;
        if (FHost.Closed)
            FHost.Closed();
    }
    event->accept();
}

} // namespace quorvel
