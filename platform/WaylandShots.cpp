// Screen pixels from a desktop's D-Bus services, for the Wayland compositors without the
// wlroots screen-copy protocol: KWin's ScreenShot2 (raw pixels through a pipe; KWin
// grants it to a program whose installed desktop file asks for it) and the desktop
// portal's non-interactive Screenshot (a file, read and then deleted).

#include "platform/WaylandShots.h"
#include "platform/PortalRequest.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QFile>
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
const QString kPortalInterface = QStringLiteral("org.freedesktop.portal.Screenshot");

// How long the desktop may take, a permission question to the user included.
constexpr int kShotTimeoutMs = 60000;

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

QImage PortalShot() {
    QVariantMap options;
    options.insert(QStringLiteral("interactive"), false);
    options.insert(QStringLiteral("modal"), false);
    const TPortalAnswer answer = AskPortal(kPortalInterface, QStringLiteral("Screenshot"),
                                           {QString()}, options, kShotTimeoutMs);
    if (!answer.Error.isEmpty())
        throw EPlatformError("The desktop portal refused the screenshot: " +
                             answer.Error.toStdString());
    const QString uri = answer.Results.value(QStringLiteral("uri")).toString();
    if (!answer.Answered)
        throw EPlatformError("The desktop portal gave no screenshot in time. Where the desktop "
                             "asks whether Quorvel may take screenshots, allow it, then capture "
                             "again.");
    if (answer.Code != 0 || uri.isEmpty())
        throw EPlatformError("The desktop portal gave no screenshot: the desktop refused it. "
                             "Where it asks whether Quorvel may take screenshots, allow it.");
    const QString path = QUrl(uri).toLocalFile();
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
        DBusObjectOffers(kKWinService, kKWinPath, kKWinInterface))
        return TPixelSource::KWin;
    if (PortalOffers(kPortalInterface))
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
