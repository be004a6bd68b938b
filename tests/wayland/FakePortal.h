#pragma once

// The frame of a desktop portal for the tests: it owns the portal's name on the session
// bus, answers introspection with one interface, and answers each method of that
// interface as the portal does, at once with a request object and then with the request's
// Response signal, whose code and results the portal's Answer gives.

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QVariantMap>
#include <cstdio>

namespace quorvel::test {

class TFakePortal : public QDBusVirtualObject {
public:
    static inline const QString Path = QStringLiteral("/org/freedesktop/portal/desktop");

    explicit TFakePortal(QString interface) : FInterface(std::move(interface)) {}

    QString introspect(const QString& path) const override {
        if (path != Path)
            return {};
        return QStringLiteral("<interface name=\"") + FInterface + QStringLiteral("\"/>");
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        QDBusConnection bus = connection;
        if (message.interface() == QStringLiteral("org.freedesktop.DBus.Introspectable")) {
            bus.send(message.createReply(QStringLiteral("<node>") + introspect(message.path()) +
                                         QStringLiteral("</node>")));
            return true;
        }
        if (message.member() == QStringLiteral("Close") &&
            message.path().contains(QStringLiteral("/session/"))) {
            SessionClosed();
            std::printf("closed\n");
            std::fflush(stdout);
            bus.send(message.createReply());
            return true;
        }
        if (Direct(message, bus))
            return true;
        if (message.interface() != FInterface)
            return false;
        QString sender = message.service().mid(1);
        sender.replace(QLatin1Char('.'), QLatin1Char('_'));
        const QVariantMap options = qdbus_cast<QVariantMap>(message.arguments().last());
        const QString request = Path + QStringLiteral("/request/") + sender + QLatin1Char('/') +
                                options.value(QStringLiteral("handle_token")).toString();
        bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        QVariantMap results;
        if (message.member() == QStringLiteral("CreateSession"))
            results.insert(QStringLiteral("session_handle"),
                           Path + QStringLiteral("/session/") + sender + QLatin1Char('/') +
                               options.value(QStringLiteral("session_handle_token")).toString());
        const uint code = Answer(message, options, bus, results);
        QDBusMessage response = QDBusMessage::createSignal(
            request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
        response << code << results;
        bus.send(response);
        return true;
    }

    // Takes the portal's name and serves until the process ends; 1 when the name is taken.
    int Serve(QCoreApplication& app) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.registerVirtualObject(Path, this, QDBusConnection::SubPath) ||
            !bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop"))) {
            std::fprintf(stderr, "cannot take the portal's name\n");
            return 1;
        }
        return app.exec();
    }

protected:
    // The Response's code (0 done) and results for a method of the interface; a new
    // session's handle is in the results already.
    virtual uint Answer(const QDBusMessage& message, const QVariantMap& options,
                        QDBusConnection& bus, QVariantMap& results) = 0;
    // A message answered directly, not through a request (properties, a file descriptor).
    virtual bool Direct(const QDBusMessage&, QDBusConnection&) { return false; }
    virtual void SessionClosed() {}

private:
    QString FInterface;
};

} // namespace quorvel::test
