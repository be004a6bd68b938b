#include "platform/ScreenCastPortal.h"

#include "platform/Platform.h"
#include "platform/PortalRequest.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

namespace quorvel {

namespace {

const QString kScreenCast = QStringLiteral("org.freedesktop.portal.ScreenCast");
const QString kSessionInterface = QStringLiteral("org.freedesktop.portal.Session");

// How long the desktop may take to answer a step; the step that shows the user the choice
// of a monitor waits for the user.
constexpr int kStepMs = 10000;
constexpr int kChoiceMs = 180000;

// The portal's cursor modes: 1 hidden, 2 drawn into the frames.
constexpr uint kCursorHidden = 1;
constexpr uint kCursorEmbedded = 2;
// Sharing that the desktop remembers until the user takes it back.
constexpr uint kPersistUntilRevoked = 2;
constexpr uint kMonitorSource = 1;

uint AvailableCursorModes() {
    QDBusMessage call = QDBusMessage::createMethodCall(
        kPortalService, kPortalPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    call.setArguments({kScreenCast, QStringLiteral("AvailableCursorModes")});
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, kStepMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return 0;
    return reply.arguments().first().value<QDBusVariant>().variant().toUInt();
}

// The answer of one step, or the reason it failed.
QVariantMap Step(const QString& method, const QVariantList& arguments, QVariantMap options,
                 int timeoutMs) {
    const TPortalAnswer answer = AskPortal(kScreenCast, method, arguments, options, timeoutMs);
    if (!answer.Error.isEmpty())
        throw EPlatformError("The desktop portal does not share the screen: " +
                             answer.Error.toStdString());
    if (!answer.Answered)
        throw EPlatformError("The desktop portal did not answer in time about sharing the "
                             "screen.");
    if (answer.Code == 1)
        throw EPlatformError("The screen was not shared. To record, share a monitor where the "
                             "desktop asks.");
    if (answer.Code != 0)
        throw EPlatformError("The desktop did not share the screen.");
    return answer.Results;
}

// The PipeWire node of the first stream in the portal's list of streams (a(ua{sv})).
std::optional<std::uint32_t> FirstNode(const QVariant& streams) {
    if (!streams.canConvert<QDBusArgument>())
        return std::nullopt;
    const QDBusArgument list = streams.value<QDBusArgument>();
    std::optional<std::uint32_t> node;
    list.beginArray();
    while (!list.atEnd()) {
        uint id = 0;
        QVariantMap properties;
        list.beginStructure();
        list >> id >> properties;
        list.endStructure();
        if (!node)
            node = id;
    }
    list.endArray();
    return node;
}

} // namespace

// Notes the session's Closed signal: the desktop stopped sharing.
class TSessionClosedWatch : public QObject {
    Q_OBJECT
public:
    bool Closed = false;
public slots:
    void SessionClosed(const QVariantMap&) { Closed = true; }
};

bool ScreenCastAvailable() {
    return PortalOffers(kScreenCast);
}

TScreenCastSession::TScreenCastSession(bool cursor, const std::string& permission) {
    FSession = SessionOf(Step(QStringLiteral("CreateSession"), {}, NewSessionOptions(), kStepMs));
    if (FSession.isEmpty())
        throw EPlatformError("The desktop portal opened no screen sharing session.");
    FWatch = std::make_unique<TSessionClosedWatch>();
    QDBusConnection::sessionBus().connect(kPortalService, FSession, kSessionInterface,
                                          QStringLiteral("Closed"), FWatch.get(),
                                          SLOT(SessionClosed(QVariantMap)));
    try {
        const QDBusObjectPath session(FSession);
        QVariantMap sources;
        sources.insert(QStringLiteral("types"), kMonitorSource);
        sources.insert(QStringLiteral("multiple"), false);
        const uint modes = AvailableCursorModes();
        const uint wanted = cursor ? kCursorEmbedded : kCursorHidden;
        if ((modes & wanted) != 0)
            sources.insert(QStringLiteral("cursor_mode"), wanted);
        else if ((modes & kCursorHidden) != 0)
            sources.insert(QStringLiteral("cursor_mode"), kCursorHidden);
        sources.insert(QStringLiteral("persist_mode"), kPersistUntilRevoked);
        if (!permission.empty())
            sources.insert(QStringLiteral("restore_token"), QString::fromStdString(permission));
        Step(QStringLiteral("SelectSources"), {QVariant::fromValue(session)}, sources, kStepMs);

        const QVariantMap started =
            Step(QStringLiteral("Start"), {QVariant::fromValue(session), QString()}, {}, kChoiceMs);
        const std::optional<std::uint32_t> node =
            FirstNode(started.value(QStringLiteral("streams")));
        if (!node)
            throw EPlatformError("The desktop shared no monitor.");
        FNode = *node;
        FPermission = started.value(QStringLiteral("restore_token")).toString().toStdString();

        QDBusMessage open = QDBusMessage::createMethodCall(kPortalService, kPortalPath, kScreenCast,
                                                           QStringLiteral("OpenPipeWireRemote"));
        open.setArguments({QVariant::fromValue(session), QVariantMap()});
        const QDBusMessage reply = QDBusConnection::sessionBus().call(open, QDBus::Block, kStepMs);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            throw EPlatformError("The desktop portal gives no way to the shared screen: " +
                                 reply.errorMessage().toStdString());
        const QDBusUnixFileDescriptor fd =
            reply.arguments().first().value<QDBusUnixFileDescriptor>();
        if (!fd.isValid())
            throw EPlatformError("The desktop portal gives no way to the shared screen.");
        FConnection = ::fcntl(fd.fileDescriptor(), F_DUPFD_CLOEXEC, 3);
        if (FConnection < 0)
            throw EPlatformError("The desktop portal's connection cannot be kept.");
    } catch (...) {
        Close();
        throw;
    }
}

TScreenCastSession::~TScreenCastSession() {
    Close();
}

bool TScreenCastSession::Closed() const {
    return FWatch && FWatch->Closed;
}

int TScreenCastSession::TakeConnection() {
    const int fd = FConnection;
    FConnection = -1;
    return fd;
}

void TScreenCastSession::Close() {
    if (FConnection >= 0)
        ::close(FConnection);
    FConnection = -1;
    if (FSession.isEmpty())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.disconnect(kPortalService, FSession, kSessionInterface, QStringLiteral("Closed"),
                   FWatch.get(), SLOT(SessionClosed(QVariantMap)));
    if (!Closed())
        ClosePortalSession(FSession);
    FSession.clear();
}

} // namespace quorvel

#include "ScreenCastPortal.moc"
