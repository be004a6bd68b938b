#include "platform/PortalRequest.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QTimer>

namespace quorvel {

namespace {

const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");

// Takes the request's one answer and ends the wait for it.
class TResponseWait : public QObject {
    Q_OBJECT
public:
    QEventLoop Loop;
    bool Answered = false;
    uint Code = 2;
    QVariantMap Results;
public slots:
    void Response(uint code, const QVariantMap& results) {
        Answered = true;
        Code = code;
        Results = results;
        Loop.quit();
    }
};

} // namespace

TPortalAnswer AskPortal(const QString& interface, const QString& method, QVariantList arguments,
                        QVariantMap options, int timeoutMs) {
    TPortalAnswer answer;
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString token = QStringLiteral("quorvel%1").arg(QRandomGenerator::global()->generate());
    // The request's object path is known before the call, so that its answer cannot come
    // before we listen for it.
    QString sender = bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString request =
        QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
    TResponseWait wait;
    if (!bus.connect(kPortalService, request, kRequestInterface, QStringLiteral("Response"), &wait,
                     SLOT(Response(uint, QVariantMap)))) {
        answer.Error = QStringLiteral("cannot listen for the desktop portal's answer");
        return answer;
    }
    options.insert(QStringLiteral("handle_token"), token);
    QDBusMessage call =
        QDBusMessage::createMethodCall(kPortalService, kPortalPath, interface, method);
    arguments.append(options);
    call.setArguments(arguments);
    const QDBusMessage sent = bus.call(call, QDBus::Block, timeoutMs);
    if (sent.type() == QDBusMessage::ErrorMessage) {
        answer.Error = sent.errorMessage();
    } else {
        QTimer::singleShot(timeoutMs, &wait.Loop, &QEventLoop::quit);
        if (!wait.Answered)
            wait.Loop.exec();
        if (!wait.Answered)
            bus.call(QDBusMessage::createMethodCall(kPortalService, request, kRequestInterface,
                                                    QStringLiteral("Close")),
                     QDBus::Block, 2000);
    }
    bus.disconnect(kPortalService, request, kRequestInterface, QStringLiteral("Response"), &wait,
                   SLOT(Response(uint, QVariantMap)));
    answer.Answered = wait.Answered;
    answer.Code = wait.Code;
    answer.Results = wait.Results;
    return answer;
}

bool DBusObjectOffers(const QString& service, const QString& path, const QString& interface) {
    QDBusInterface probe(service, path, QStringLiteral("org.freedesktop.DBus.Introspectable"),
                         QDBusConnection::sessionBus());
    if (!probe.isValid())
        return false;
    const QDBusReply<QString> xml = probe.call(QStringLiteral("Introspect"));
    return xml.isValid() &&
           xml.value().contains(QStringLiteral("\"") + interface + QStringLiteral("\""));
}

} // namespace quorvel

#include "PortalRequest.moc"
