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

int Run(const QString& caption, const QString& text, QMessageBox::Icon icon,
        QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton) {
    QMessageBox box(icon, caption, text, buttons);
    box.setDefaultButton(defaultButton);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.setObjectName(QStringLiteral("QuorvelMessage"));
    box.show();
    box.raise();
    box.activateWindow();
    return box.exec();
}

int OnUiThread(const QString& caption, const QString& text, QMessageBox::Icon icon,
               QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton) {
    if (QThread::currentThread() == qApp->thread())
        return Run(caption, text, icon, buttons, defaultButton);
    int result = 0;
    QMetaObject::invokeMethod(
        qApp, [&] { result = Run(caption, text, icon, buttons, defaultButton); },
        Qt::BlockingQueuedConnection);
    return result;
}

} // namespace

void ShowMessage(const QString& Caption, const QString& Text, TMessageIcon Icon) {
    Log(Caption, Text);
    OnUiThread(Caption, Text,
               Icon == TMessageIcon::Error ? QMessageBox::Critical : QMessageBox::Information,
               QMessageBox::Ok, QMessageBox::Ok);
}

bool AskYesNo(const QString& Caption, const QString& Text) {
    Log(Caption, Text);
    return OnUiThread(Caption, Text, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No,
                      QMessageBox::No) == QMessageBox::Yes;
}

} // namespace quorvel
