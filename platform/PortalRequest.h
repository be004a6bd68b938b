#pragma once

#include <QString>
#include <QVariantList>
#include <QVariantMap>

namespace quorvel {

const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");

// What a desktop portal said to one request: a portal method answers at once with a
// request object, and later, once the desktop (and maybe the user) has decided, with that
// request's Response signal.
struct TPortalAnswer {
    QString Error;         // the call itself failed (no portal, no such method); else empty
    bool Answered = false; // a Response came in time
    uint Code = 2;         // 0 done, 1 cancelled by the user, 2 ended otherwise
    QVariantMap Results;
};

// Calls `method` of the portal's `interface` with the arguments, then the options (given a
// handle token of their own), and waits for the Response on a local event loop, at most
// `timeoutMs`. A request left unanswered is withdrawn, which takes any question the desktop
// put to the user off the screen with it. Call on the user-interface thread.
TPortalAnswer AskPortal(const QString& interface, const QString& method, QVariantList arguments,
                        QVariantMap options, int timeoutMs);

// The options of a CreateSession call, with a handle token of the session's own.
QVariantMap NewSessionOptions();
// The session a CreateSession answer names (a string, or an object path); empty for none.
QString SessionOf(const QVariantMap& results);
// Ends a portal session: what it holds (a shared screen, bound keys) is given back.
void ClosePortalSession(const QString& session);

// Whether a D-Bus object offers the interface (it lists it when introspected).
bool DBusObjectOffers(const QString& service, const QString& path, const QString& interface);
// Whether the desktop portal offers the interface. The portal is asked once, on the first
// call, for all the interfaces it offers.
bool PortalOffers(const QString& interface);

} // namespace quorvel
