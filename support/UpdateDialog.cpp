// The dialog that offers an update: the built-in message in the system's language, Yes
// and No, and one optional notice line below a grey separator (a check box that asks the
// server to hold the offer, or a link).

#include "support/ApplicationTitle.h"
#include "support/MessageBox.h"
#include "support/Strings.h"
#include "support/Update.h"
#include "support/UpdateProtocol.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QDesktopServices>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QUrl>
#include <cmath>

namespace quorvel {

namespace {

// The window of the program that is shown, if any.
QWidget* ShownMainWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("TFrmQuorvel") && w->isVisible())
            return w;
    return nullptr;
}

// Clicking the link opens its address; the dialog stays open.
class TLinkOpener : public QObject {
public:
    explicit TLinkOpener(QString url) : FUrl(std::move(url)) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonRelease && IsWebAddress(FUrl.toStdString()))
            QDesktopServices::openUrl(QUrl(FUrl));
        return false;
    }

private:
    QString FUrl;
};

QString DialogText(QString text) {
    return text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

} // namespace

bool UpdateDialog(const QString& Reply) {
    TUpdateReply fields;
    try {
        fields = ParseUpdateReply(Reply.toStdU16String());
    } catch (const std::exception&) {
        fields = TUpdateReply{}; // a malformed notice shows the plain dialog
    }
    const QString style = QString::fromStdU16String(fields.Style);
    const QString text = QString::fromStdU16String(fields.Text);
    const QString flag = QString::fromStdU16String(fields.Flag);
    const QString url = QString::fromStdU16String(fields.Url);
    const bool stayOnTop = flag.contains(QLatin1String("stayontop"));

    // Owned by the main window while it is shown; else the dialog stands alone.
    QWidget* owner = ShownMainWindow();
    TLinkOpener linkFilter(url);
    QMessageBox box(QMessageBox::Warning, ApplicationTitle(), DialogText(UpdateText(0)),
                    QMessageBox::Yes | QMessageBox::No, owner);
    box.setObjectName(QStringLiteral("UpdateDialog"));
    MarkAsMessage(box);
    QPalette white = box.palette();
    white.setColor(QPalette::Window, Qt::white);
    box.setPalette(white);
    box.setAutoFillBackground(true);
    if (stayOnTop) {
        box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
        if (owner == nullptr)
            box.setWindowIcon(QApplication::windowIcon()); // stands alone, with its own entry
    }
    box.button(QMessageBox::Yes)->setText(UpdateText(1));
    box.button(QMessageBox::No)->setText(UpdateText(2));

    QCheckBox* hold = nullptr;
    if (!style.isEmpty()) {
        const double scale = box.logicalDpiY() / 96.0;
        const auto S = [scale](int x) { return static_cast<int>(std::lround(x * scale)); };
        const int offset = UpdateDialogOffset();
        // The notice area: S(40 - offset) more height, a grey line at its top and the
        // notice line S(10) below it, S(10) from the left edge.
        auto* notice = new QWidget(&box);
        notice->setObjectName(QStringLiteral("Notice"));
        notice->setFixedHeight(S(40 - offset));
        auto* column = new QVBoxLayout(notice);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(0);
        auto* line = new QFrame(notice);
        line->setObjectName(QStringLiteral("Separator"));
        line->setStyleSheet(QStringLiteral("background: #CCCCCC;"));
        line->setFixedHeight(1);
        column->addWidget(line);
        column->addSpacing(S(10) - 1);
        auto* row = new QHBoxLayout;
        row->setContentsMargins(S(10), 0, 0, 0);
        column->addLayout(row);
        column->addStretch();
        if (style == QLatin1String("hold")) {
            hold = new QCheckBox(text, notice);
            hold->setObjectName(QStringLiteral("Hold"));
            row->addWidget(hold);
        } else if (style == QLatin1String("note")) {
            auto* link = new QLabel(text, notice);
            link->setObjectName(QStringLiteral("Note"));
            link->setStyleSheet(QStringLiteral("color: #0000FF;"));
            QFont font = link->font();
            font.setUnderline(true);
            link->setFont(font);
            link->setCursor(Qt::PointingHandCursor);
            link->setToolTip(url);
            link->setTextFormat(Qt::PlainText); // the server's words, never its markup
            link->setTextInteractionFlags(Qt::NoTextInteraction);
            link->installEventFilter(&linkFilter);
            row->addWidget(link);
        }
        row->addStretch();
        auto* grid = qobject_cast<QGridLayout*>(box.layout());
        if (grid != nullptr)
            grid->addWidget(notice, grid->rowCount(), 0, 1, grid->columnCount());
    }

    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        box.adjustSize();
        box.move(screen->geometry().center() - box.rect().center());
    }
    box.exec();
    const bool accepted = box.clickedButton() == box.button(QMessageBox::Yes);
    if (hold != nullptr && hold->isChecked())
        SendHoldRequest();
    return accepted;
}

} // namespace quorvel
