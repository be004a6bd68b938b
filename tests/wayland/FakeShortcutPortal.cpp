// A desktop portal offering only global shortcuts, for a desktop whose own portal has none
// (sway): it takes a session and its shortcuts, prints what was bound ("bound ID TRIGGER")
// and, a moment later, reports the first shortcut pressed, as the desktop would when the
// user pressed the key; "closed" when the session is closed.
//
//   quorvel_test_shortcut_portal      (on the session bus of DBUS_SESSION_BUS_ADDRESS)

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QTimer>
#include <QVariantMap>
#include <cstdio>

namespace {

const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kShortcuts = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

class TPortal final : public QDBusVirtualObject {
public:
    QString introspect(const QString& path) const override {
        if (path != kPath)
            return {};
        return QStringLiteral("<interface name=\"") + kShortcuts + QStringLiteral("\"/>");
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        QDBusConnection bus = connection;
        const QString member = message.member();
        if (message.interface() == QStringLiteral("org.freedesktop.DBus.Introspectable")) {
            bus.send(message.createReply(QStringLiteral("<node>") + introspect(message.path()) +
                                         QStringLiteral("</node>")));
            return true;
        }
        if (member == QStringLiteral("Close") &&
            message.path().contains(QStringLiteral("/session/"))) {
            std::printf("closed\n");
            std::fflush(stdout);
            bus.send(message.createReply());
            return true;
        }
        if (message.interface() != kShortcuts)
            return false;
        QString sender = message.service().mid(1);
        sender.replace(QLatin1Char('.'), QLatin1Char('_'));
        const QVariantMap options = qdbus_cast<QVariantMap>(message.arguments().last());
        const QString request = kPath + QStringLiteral("/request/") + sender + QLatin1Char('/') +
                                options.value(QStringLiteral("handle_token")).toString();
        bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        QVariantMap results;
        if (member == QStringLiteral("CreateSession")) {
            results.insert(QStringLiteral("session_handle"),
                           kPath + QStringLiteral("/session/") + sender + QLatin1Char('/') +
                               options.value(QStringLiteral("session_handle_token")).toString());
        } else if (member == QStringLiteral("BindShortcuts")) {
            const QString session = message.arguments().at(0).value<QDBusObjectPath>().path();
            const QDBusArgument list = message.arguments().at(1).value<QDBusArgument>();
            QString first;
            list.beginArray();
            while (!list.atEnd()) {
                QString id;
                QVariantMap properties;
                list.beginStructure();
                list >> id >> properties;
                list.endStructure();
                std::printf(
                    "bound %s %s\n", qPrintable(id),
                    qPrintable(properties.value(QStringLiteral("preferred_trigger")).toString()));
                if (first.isEmpty())
                    first = id;
            }
            list.endArray();
            std::fflush(stdout);
            QTimer::singleShot(500, [bus, session, first]() mutable {
                QDBusMessage pressed =
                    QDBusMessage::createSignal(kPath, kShortcuts, QStringLiteral("Activated"));
                pressed << QVariant::fromValue(QDBusObjectPath(session)) << first
                        << QVariant::fromValue(qulonglong{0}) << QVariantMap();
                bus.send(pressed);
            });
        }
        QDBusMessage response = QDBusMessage::createSignal(
            request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
        response << 0u << results;
        bus.send(response);
        return true;
    }
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    TPortal portal;
    if (!bus.registerVirtualObject(kPath, &portal, QDBusConnection::SubPath) ||
        !bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop"))) {
        std::fprintf(stderr, "cannot take the portal's name\n");
        return 1;
    }
    return app.exec();
}
