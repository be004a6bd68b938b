#include "platform/KGlobalAccelListener.h"

#include <QDBusConnection>

namespace quorvel {

namespace {

const QString kService = QStringLiteral("org.kde.kglobalaccel");
const QString kComponentInterface = QStringLiteral("org.kde.kglobalaccel.Component");
const QString kPressed = QStringLiteral("globalShortcutPressed");

} // namespace

TKGlobalAccelListener::TKGlobalAccelListener(QString component, QString action,
                                             std::function<void()> onPress)
    : FComponent(std::move(component)), FAction(std::move(action)), FOnPress(std::move(onPress)) {}

bool TKGlobalAccelListener::Listen(const QString& componentPath) {
    Stop();
    if (!QDBusConnection::sessionBus().connect(kService, componentPath, kComponentInterface,
                                               kPressed, this,
                                               SLOT(Pressed(QString, QString, qlonglong))))
        return false;
    FPath = componentPath;
    return true;
}

void TKGlobalAccelListener::Stop() {
    if (FPath.isEmpty())
        return;
    QDBusConnection::sessionBus().disconnect(kService, FPath, kComponentInterface, kPressed, this,
                                             SLOT(Pressed(QString, QString, qlonglong)));
    FPath.clear();
}

void TKGlobalAccelListener::Pressed(const QString& component, const QString& action, qlonglong) {
    if (component == FComponent && action == FAction && FOnPress)
        FOnPress();
}

} // namespace quorvel
