#pragma once

#include <QObject>
#include <QString>
#include <functional>

namespace quorvel {

// Receives the presses KDE's global shortcut service reports for one action of a
// component, on the user-interface thread.
class TKGlobalAccelListener final : public QObject {
    Q_OBJECT
public:
    TKGlobalAccelListener(QString component, QString action, std::function<void()> onPress);

    // Listens on the component's object (the path the service gave for it); false when the
    // signal cannot be subscribed to.
    bool Listen(const QString& componentPath);
    void Stop();

private slots:
    void Pressed(const QString& component, const QString& action, qlonglong timestamp);

private:
    QString FComponent;
    QString FAction;
    QString FPath;
    std::function<void()> FOnPress;
};

} // namespace quorvel
