// The capture key on a KDE Plasma desktop under Wayland, where no program can read keys
// meant for another: KWin's global shortcut service (org.kde.kglobalaccel) takes the key
// for us and says on D-Bus when it is pressed. The action is registered under the
// program's own component, so the user also finds it, and can change it, in the desktop's
// shortcut settings.

#include "platform/KGlobalAccelHotKey.h"
#include "platform/KGlobalAccelListener.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QList>
#include <QStringList>

namespace quorvel {

namespace {

const QString kService = QStringLiteral("org.kde.kglobalaccel");
const QString kPath = QStringLiteral("/kglobalaccel");
const QString kInterface = QStringLiteral("org.kde.KGlobalAccel");
const QString kComponent = QStringLiteral("quorvel");
const QString kAction = QStringLiteral("capture");

// The service's flags for setShortcut: the action is present (its program runs), and the
// key given is the one to use, not one the service remembers from an earlier session.
constexpr uint kSetPresent = 2;
constexpr uint kNoAutoloading = 4;
// How long a call to the service may take before the key is taken to be unavailable.
constexpr int kCallTimeoutMs = 3000;

// The action's identity: component and action, each as a name and a title to show.
QStringList ActionId() {
    return {kComponent, kAction, QStringLiteral("Quorvel"), QStringLiteral("Capture")};
}

class TKGlobalAccelHotKey final : public THotKey {
public:
    explicit TKGlobalAccelHotKey(std::function<void()> onPress)
        : FListener(kComponent, kAction, std::move(onPress)),
          FAccel(kService, kPath, kInterface, QDBusConnection::sessionBus()) {
        FAccel.setTimeout(kCallTimeoutMs);
    }
    ~TKGlobalAccelHotKey() override { Unregister(); }

    bool Register(std::uint8_t vk, unsigned modifiers) override {
        const std::optional<int> key = QtKeyCombination(vk, modifiers);
        if (!key || !FAccel.isValid())
            return false;
        const QStringList id = ActionId();
        if (!FAccel.call(QStringLiteral("doRegister"), id).errorMessage().isEmpty())
            return false;
        // The service answers with the keys the action has now: without ours, another
        // component holds the combination.
        const QDBusReply<QList<int>> keys =
            FAccel.call(QStringLiteral("setShortcut"), id, QVariant::fromValue(QList<int>{*key}),
                        kSetPresent | kNoAutoloading);
        if (!keys.isValid() || !keys.value().contains(*key)) {
            Unregister();
            return false;
        }
        const QDBusReply<QDBusObjectPath> component =
            FAccel.call(QStringLiteral("getComponent"), kComponent);
        if (!component.isValid() || !FListener.Listen(component.value().path())) {
            Unregister();
            return false;
        }
        FRegistered = true;
        return true;
    }

    void Unregister() override {
        FListener.Stop();
        if (!FRegistered)
            return;
        FRegistered = false;
        // Inactive, as a program that quits leaves its actions: the key is free for others
        // until the program takes it again.
        FAccel.call(QDBus::NoBlock, QStringLiteral("setInactive"), ActionId());
    }

private:
    TKGlobalAccelListener FListener;
    QDBusInterface FAccel;
    bool FRegistered = false;
};

} // namespace

std::optional<int> QtKeyCombination(std::uint8_t vk, unsigned modifiers) {
    int key = 0;
    if (vk == 0x2C)
        key = 0x01000009; // Qt::Key_Print
    else if (vk == 0x2E)
        key = 0x01000007; // Qt::Key_Delete
    else if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9'))
        key = vk; // Qt's letter and digit keys are their ASCII codes
    else if (vk >= 0x70 && vk <= 0x7B)
        key = 0x01000030 + (vk - 0x70); // Qt::Key_F1 onwards
    else
        return std::nullopt;
    if (modifiers & 1)
        key |= 0x08000000; // Qt::AltModifier
    if (modifiers & 2)
        key |= 0x04000000; // Qt::ControlModifier
    if (modifiers & 4)
        key |= 0x02000000; // Qt::ShiftModifier
    return key;
}

bool KGlobalAccelAvailable() {
    // Only a running service counts: on Plasma, KWin owns the name from the start. One that
    // the bus could start on demand (KDE's libraries installed under another compositor)
    // would register the key and never see it pressed.
    static const bool available = [] {
        QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
        return bus != nullptr && bus->isServiceRegistered(kService).value();
    }();
    return available;
}

std::unique_ptr<THotKey> CreateKGlobalAccelHotKey(std::function<void()> onPress) {
    if (!KGlobalAccelAvailable())
        return nullptr;
    return std::make_unique<TKGlobalAccelHotKey>(std::move(onPress));
}

} // namespace quorvel
