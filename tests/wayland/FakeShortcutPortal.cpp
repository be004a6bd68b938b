// A desktop portal offering only global shortcuts, for a desktop whose own portal has none
// (sway): it takes a session and its shortcuts, prints what was bound ("bound ID TRIGGER")
// and, a moment later, reports the first shortcut pressed, as the desktop would when the
// user pressed the key; "closed" when the session is closed.
//
//   quorvel_test_shortcut_portal      (on the session bus of DBUS_SESSION_BUS_ADDRESS)

#include "FakePortal.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QTimer>
#include <QVariantMap>
#include <cstdio>

namespace {

const QString kShortcuts = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

class TPortal final : public quorvel::test::TFakePortal {
public:
    TPortal() : TFakePortal(kShortcuts) {}

protected:
    uint Answer(const QDBusMessage& message, const QVariantMap&, QDBusConnection& bus,
                QVariantMap&) override {
        if (message.member() != QStringLiteral("BindShortcuts"))
            return 0;
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
                QDBusMessage::createSignal(Path, kShortcuts, QStringLiteral("Activated"));
            pressed << QVariant::fromValue(QDBusObjectPath(session)) << first
                    << QVariant::fromValue(qulonglong{0}) << QVariantMap();
            bus.send(pressed);
        });
        return 0;
    }
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    TPortal portal;
    return portal.Serve(app);
}
