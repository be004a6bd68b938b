#include "platform/PortalRequest.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
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

// A token no other request or session of this program has.
QString NewToken() {
    return QStringLiteral("quorvel%1").arg(QRandomGenerator::global()->generate());
}

} // namespace

QVariantMap NewSessionOptions() {
    QVariantMap options;
    options.insert(QStringLiteral("session_handle_token"), NewToken());
    return options;
}

QString SessionOf(const QVariantMap& results) {
    const QVariant value = results.value(QStringLiteral("session_handle"));
    if (value.canConvert<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    return value.toString();
}

void ClosePortalSession(const QString& session) {
    QDBusConnection::sessionBus().call(
        QDBusMessage::createMethodCall(kPortalService, session,
                                       QStringLiteral("org.freedesktop.portal.Session"),
                                       QStringLiteral("Close")),
        QDBus::Block, 2000);
}

TPortalAnswer AskPortal(const QString& interface, const QString& method, QVariantList arguments,
                        QVariantMap options, int timeoutMs) {
    TPortalAnswer answer;
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString token = NewToken();
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

namespace {

// The object's introspection data; empty when it does not answer.
QString Introspection(const QString& service, const QString& path) {
    QDBusInterface probe(service, path, QStringLiteral("org.freedesktop.DBus.Introspectable"),
                         QDBusConnection::sessionBus());
    if (!probe.isValid())
        return {};
    const QDBusReply<QString> xml = probe.call(QStringLiteral("Introspect"));
    return xml.isValid() ? xml.value() : QString();
}

bool Lists(const QString& introspection, const QString& interface) {
    return introspection.contains(QStringLiteral("\"") + interface + QStringLiteral("\""));
}

} // namespace

bool DBusObjectOffers(const QString& service, const QString& path, const QString& interface) {
    return Lists(Introspection(service, path), interface);
}

bool PortalOffers(const QString& interface) {
    static const QString portal = Introspection(kPortalService, kPortalPath);
    return Lists(portal, interface);
}

} // namespace quorvel

#include "PortalRequest.moc"
