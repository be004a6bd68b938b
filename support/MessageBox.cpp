#include "support/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <cstdio>

namespace quorvel {

namespace {

void Log(const QString& caption, const QString& text) {
    QString flat = text;
    flat.replace(QLatin1Char('\r'), QStringLiteral("\\r"))
        .replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    std::fprintf(stderr, "quorvel: message: [%s] %s\n", caption.toUtf8().constData(),
                 flat.toUtf8().constData());
    std::fflush(stderr);
}

// Carriage returns stand for line breaks in the program's texts; the box shows them so.
QString Displayed(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

int Run(const QString& caption, const QString& text, QMessageBox::Icon icon,
        QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton,
        bool topmost) {
    QMessageBox box(icon, caption, Displayed(text), buttons);
    box.setDefaultButton(defaultButton);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, topmost);
    box.setObjectName(QStringLiteral("QuorvelMessage"));
    MarkAsMessage(box);
    if (topmost) {
        box.show();
        box.raise();
        box.activateWindow();
    }
    return box.exec();
}

int OnUiThread(const QString& caption, const QString& text, QMessageBox::Icon icon,
               QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton,
               bool topmost) {
    if (QThread::currentThread() == qApp->thread())
        return Run(caption, text, icon, buttons, defaultButton, topmost);
    int result = 0;
    QMetaObject::invokeMethod(
        qApp, [&] { result = Run(caption, text, icon, buttons, defaultButton, topmost); },
        Qt::BlockingQueuedConnection);
    return result;
}

} // namespace

void MarkAsMessage(QWidget& box) {
    box.setWindowRole(QStringLiteral("quorvel-message"));
}

void ShowMessage(const QString& Caption, const QString& Text, TMessageIcon Icon, bool Topmost) {
    Log(Caption, Text);
    OnUiThread(Caption, Text,
               Icon == TMessageIcon::Error ? QMessageBox::Critical : QMessageBox::Information,
               QMessageBox::Ok, QMessageBox::Ok, Topmost);
}

bool AskYesNo(const QString& Caption, const QString& Text) {
    Log(Caption, Text);
    return OnUiThread(Caption, Text, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No,
                      QMessageBox::No, true) == QMessageBox::Yes;
}

} // namespace quorvel
