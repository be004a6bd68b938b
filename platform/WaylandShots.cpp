// Screen pixels from a desktop's D-Bus services, for the Wayland compositors without the
// wlroots screen-copy protocol: KWin's ScreenShot2 (raw pixels through a pipe; KWin
// grants it to a program whose installed desktop file asks for it) and the desktop
// portal's non-interactive Screenshot (a file, read and then deleted).

#include "platform/WaylandShots.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QEventLoop>
#include <QFile>
#include <QRandomGenerator>
#include <QTimer>
#include <QUrl>
#include <QVariantMap>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace quorvel {

namespace {

const QString kKWinService = QStringLiteral("org.kde.KWin");
const QString kKWinPath = QStringLiteral("/org/kde/KWin/ScreenShot2");
const QString kKWinInterface = QStringLiteral("org.kde.KWin.ScreenShot2");
const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kPortalInterface = QStringLiteral("org.freedesktop.portal.Screenshot");

// How long the desktop may take, a permission question to the user included.
constexpr int kShotTimeoutMs = 60000;

bool Introspects(const QString& service, const QString& path, const QString& interface) {
    QDBusInterface probe(service, path, QStringLiteral("org.freedesktop.DBus.Introspectable"),
                         QDBusConnection::sessionBus());
    if (!probe.isValid())
        return false;
    const QDBusReply<QString> xml = probe.call(QStringLiteral("Introspect"));
    return xml.isValid() &&
           xml.value().contains(QStringLiteral("\"") + interface + QStringLiteral("\""));
}

QImage KWinShot(const TRect& screen, bool cursor) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        throw EPlatformError("Cannot make a pipe for the desktop's screenshot.");
    QByteArray data;
    // KWin writes while we wait for its reply: read at the same time, or a full pipe
    // stalls both.
    std::thread reader([&data, fd = fds[0]] {
        char chunk[65536];
        for (;;) {
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n > 0)
                data.append(chunk, static_cast<int>(n));
            else if (n == 0 || errno != EINTR)
                break;
        }
        ::close(fd);
    });
    QVariantMap options;
    options.insert(QStringLiteral("include-cursor"), cursor);
    options.insert(QStringLiteral("native-resolution"), true);
    QDBusInterface kwin(kKWinService, kKWinPath, kKWinInterface, QDBusConnection::sessionBus());
    kwin.setTimeout(kShotTimeoutMs);
    const QDBusReply<QVariantMap> reply =
        kwin.call(QStringLiteral("CaptureArea"), screen.Left, screen.Top,
                  static_cast<uint>(screen.Width()), static_cast<uint>(screen.Height()), options,
                  QVariant::fromValue(QDBusUnixFileDescriptor(fds[1])));
    ::close(fds[1]);
    reader.join();
    if (!reply.isValid())
        throw EPlatformError("KWin refused the screenshot: " +
                             reply.error().message().toStdString());
    const QVariantMap r = reply.value();
    const int width = r.value(QStringLiteral("width")).toInt();
    const int height = r.value(QStringLiteral("height")).toInt();
    const int stride = r.value(QStringLiteral("stride")).toInt();
    const auto format = static_cast<QImage::Format>(r.value(QStringLiteral("format")).toInt());
    if (width <= 0 || height <= 0 || stride < width * 4 ||
        data.size() < static_cast<qsizetype>(stride) * height)
        throw EPlatformError("KWin's screenshot came incomplete.");
    const QImage image(reinterpret_cast<const uchar*>(data.constData()), width, height, stride,
                       format);
    return image.convertToFormat(QImage::Format_RGB32);
}

// Takes the portal request's one answer and ends the wait for it.
class TPortalAnswer : public QObject {
    Q_OBJECT
public:
    QEventLoop Loop;
    uint Code = 2; // "ended otherwise" until an answer comes
    QString Uri;
public slots:
    void Response(uint code, const QVariantMap& results) {
        Code = code;
        Uri = results.value(QStringLiteral("uri")).toString();
        Loop.quit();
    }
};

QImage PortalShot() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString token = QStringLiteral("quorvel%1").arg(QRandomGenerator::global()->generate());
    // The request's object path is known before the call, so that its answer cannot come
    // before we listen for it.
    QString sender = bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString request =
        QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
    const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");

    TPortalAnswer answer;
    if (!bus.connect(kPortalService, request, requestInterface, QStringLiteral("Response"), &answer,
                     SLOT(Response(uint, QVariantMap))))
        throw EPlatformError("Cannot listen for the desktop portal's answer.");
    QVariantMap options;
    options.insert(QStringLiteral("handle_token"), token);
    options.insert(QStringLiteral("interactive"), false);
    options.insert(QStringLiteral("modal"), false);
    QDBusMessage call = QDBusMessage::createMethodCall(
        kPortalService, kPortalPath, kPortalInterface, QStringLiteral("Screenshot"));
    call << QString() << options;
    const QDBusMessage sent = bus.call(call, QDBus::Block, kShotTimeoutMs);
    if (sent.type() == QDBusMessage::ErrorMessage)
        throw EPlatformError("The desktop portal refused the screenshot: " +
                             sent.errorMessage().toStdString());
    QTimer::singleShot(kShotTimeoutMs, &answer.Loop, &QEventLoop::quit);
    if (answer.Uri.isEmpty() && answer.Code == 2)
        answer.Loop.exec();
    bus.disconnect(kPortalService, request, requestInterface, QStringLiteral("Response"), &answer,
                   SLOT(Response(uint, QVariantMap)));
    if (answer.Code == 2 && answer.Uri.isEmpty()) {
        // No answer in time (a permission question left open, say): the request is
        // withdrawn, which takes the desktop's question off the screen with it.
        bus.call(QDBusMessage::createMethodCall(kPortalService, request, requestInterface,
                                                QStringLiteral("Close")),
                 QDBus::Block, 2000);
        throw EPlatformError("The desktop portal gave no screenshot in time. Where the desktop "
                             "asks whether Quorvel may take screenshots, allow it, then capture "
                             "again.");
    }
    if (answer.Code != 0 || answer.Uri.isEmpty())
        throw EPlatformError("The desktop portal gave no screenshot: the desktop refused it. "
                             "Where it asks whether Quorvel may take screenshots, allow it.");
    const QString path = QUrl(answer.Uri).toLocalFile();
    QImage image(path);
    QFile::remove(path);
    if (image.isNull())
        throw EPlatformError("The desktop portal's screenshot cannot be read.");
    return image.convertToFormat(QImage::Format_RGB32);
}

} // namespace

TPixelSource ProbeDesktopShots() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || bus.interface() == nullptr)
        return TPixelSource::None;
    if (bus.interface()->isServiceRegistered(kKWinService) &&
        Introspects(kKWinService, kKWinPath, kKWinInterface))
        return TPixelSource::KWin;
    if (Introspects(kPortalService, kPortalPath, kPortalInterface))
        return TPixelSource::Portal;
    return TPixelSource::None;
}

QImage DesktopShot(TPixelSource source, const TRect& screen, bool cursor) {
    QImage image;
    switch (source) {
    case TPixelSource::KWin:
        image = KWinShot(screen, cursor);
        break;
    case TPixelSource::Portal:
        image = PortalShot();
        break;
    default:
        throw EPlatformError("This desktop lets no program read the screen: it offers neither "
                             "the wlroots screen copy, nor KWin's screenshot, nor the desktop "
                             "portal's screenshot.");
    }
    if (image.width() != screen.Width() || image.height() != screen.Height())
        image = image.scaled(screen.Width(), screen.Height(), Qt::IgnoreAspectRatio,
                             Qt::SmoothTransformation);
    return image;
}

} // namespace quorvel

#include "WaylandShots.moc"
