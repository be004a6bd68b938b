// The capture key through the desktop portal's GlobalShortcuts interface, on the Wayland
// desktops that offer it to programs outside a sandbox (GNOME 48 and later; KDE Plasma,
// where KWin's own shortcut service is asked first, since its portal binds nothing for a
// program the desktop cannot name).

#include "platform/PortalHotKey.h"
#include "platform/PortalRequest.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QList>
#include <QObject>

namespace quorvel {

namespace {

const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kShortcut = QStringLiteral("capture");
// How long binding may take: the desktop may ask the user first.
constexpr int kBindTimeoutMs = 120000;

// One shortcut as the portal takes and gives it: its id and its properties.
struct TPortalShortcut {
    QString Id;
    QVariantMap Properties;
};

QDBusArgument& operator<<(QDBusArgument& out, const TPortalShortcut& s) {
    out.beginStructure();
    out << s.Id << s.Properties;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, TPortalShortcut& s) {
    in.beginStructure();
    in >> s.Id >> s.Properties;
    in.endStructure();
    return in;
}

} // namespace

} // namespace quorvel

Q_DECLARE_METATYPE(quorvel::TPortalShortcut)

namespace quorvel {

namespace {

class TPortalHotKey final : public QObject, public THotKey {
    Q_OBJECT
public:
    explicit TPortalHotKey(std::function<void()> onPress) : FOnPress(std::move(onPress)) {
        qDBusRegisterMetaType<TPortalShortcut>();
        qDBusRegisterMetaType<QList<TPortalShortcut>>();
    }
    ~TPortalHotKey() override { Unregister(); }

    bool Register(std::uint8_t vk, unsigned modifiers) override {
        Unregister();
        const std::optional<std::string> trigger = ShortcutTrigger(vk, modifiers);
        if (!trigger)
            return false;
        const TPortalAnswer session = AskPortal(kInterface, QStringLiteral("CreateSession"), {},
                                                NewSessionOptions(), kBindTimeoutMs);
        const QString path = SessionOf(session.Results);
        if (!session.Error.isEmpty() || !session.Answered || session.Code != 0 || path.isEmpty())
            return false;
        FSession = path;
        QVariantMap properties;
        properties.insert(QStringLiteral("description"), QStringLiteral("Capture"));
        properties.insert(QStringLiteral("preferred_trigger"), QString::fromStdString(*trigger));
        const QList<TPortalShortcut> shortcuts{{kShortcut, properties}};
        const TPortalAnswer bound = AskPortal(
            kInterface, QStringLiteral("BindShortcuts"),
            {QVariant::fromValue(QDBusObjectPath(path)), QVariant::fromValue(shortcuts), QString()},
            {}, kBindTimeoutMs);
        if (!bound.Error.isEmpty() || !bound.Answered || bound.Code != 0 ||
            !QDBusConnection::sessionBus().connect(
                kPortalService, kPortalPath, kInterface, QStringLiteral("Activated"), this,
                SLOT(Activated(QDBusObjectPath, QString, qulonglong, QVariantMap)))) {
            Unregister();
            return false;
        }
        FListening = true;
        return true;
    }

    void Unregister() override {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (FListening)
            bus.disconnect(kPortalService, kPortalPath, kInterface, QStringLiteral("Activated"),
                           this,
                           SLOT(Activated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
        FListening = false;
        if (FSession.isEmpty())
            return;
        // Closing the session gives the key back.
        ClosePortalSession(FSession);
        FSession.clear();
    }

private slots:
    void Activated(const QDBusObjectPath& session, const QString& shortcut, qulonglong,
                   const QVariantMap&) {
        if (session.path() == FSession && shortcut == kShortcut && FOnPress)
            FOnPress();
    }

private:
    std::function<void()> FOnPress;
    QString FSession;
    bool FListening = false;
};

} // namespace

std::optional<std::string> ShortcutTrigger(std::uint8_t vk, unsigned modifiers) {
    std::string key;
    if (vk == 0x2C)
        key = "Print";
    else if (vk == 0x2E)
        key = "Delete";
    else if (vk >= 'A' && vk <= 'Z')
        key = std::string(1, static_cast<char>(vk - 'A' + 'a'));
    else if (vk >= '0' && vk <= '9')
        key = std::string(1, static_cast<char>(vk));
    else if (vk >= 0x70 && vk <= 0x7B)
        key = "F" + std::to_string(vk - 0x70 + 1);
    else
        return std::nullopt;
    std::string trigger;
    if (modifiers & 2)
        trigger += "CTRL+";
    if (modifiers & 1)
        trigger += "ALT+";
    if (modifiers & 4)
        trigger += "SHIFT+";
    return trigger + key;
}

bool PortalShortcutsAvailable() {
    static const bool available = PortalOffers(kInterface);
    return available;
}

std::unique_ptr<THotKey> CreatePortalHotKey(std::function<void()> onPress) {
    if (!PortalShortcutsAvailable())
        return nullptr;
    return std::make_unique<TPortalHotKey>(std::move(onPress));
}

} // namespace quorvel

#include "PortalHotKey.moc"
