#include "app/SingleInstance.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>
#include <QVariant>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace quorvel {

namespace {

constexpr int kPartialRequestMs = 2000;
const char* const kBufferProperty = "quorvelRequest";

void EnsurePrivateFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        throw std::runtime_error("Cannot create " + path + ": " + std::strerror(errno));
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        throw std::runtime_error("Cannot read " + path + ": " + std::strerror(errno));
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        throw std::runtime_error(path + " does not belong to this user");
    if ((st.st_mode & 0077) != 0 && ::chmod(path.c_str(), 0700) != 0)
        throw std::runtime_error(path + " is open to other users");
}

} // namespace

std::string InstanceFolder() {
    std::string folder;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && *runtime == '/') {
        folder = std::string(runtime) + "/quorvel";
    } else {
        const char* tmp = std::getenv("TMPDIR");
        folder = std::string(tmp != nullptr && *tmp == '/' ? tmp : "/tmp") + "/quorvel-" +
                 std::to_string(::getuid());
    }
    EnsurePrivateFolder(folder);
    return folder;
}

std::string InstanceLockPath() {
    return InstanceFolder() + "/instance.lock";
}
std::string InstanceSocketPath() {
    return InstanceFolder() + "/channel";
}

TInstanceLock::~TInstanceLock() {
    if (FFd >= 0)
        ::close(FFd);
}

bool TInstanceLock::TryAcquire() {
    if (FFd >= 0)
        return true;
    const int fd = ::open(InstanceLockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        throw std::runtime_error("Cannot open the instance lock: " +
                                 std::string(std::strerror(errno)));
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    FFd = fd;
    return true;
}

bool InstanceRunning() {
    const int fd = ::open(InstanceLockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return held;
}

std::optional<char> SendToInstance(const TRequest& request) {
    const std::string path = InstanceSocketPath();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return std::nullopt;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return std::nullopt;
    struct TClose {
        int fd;
        ~TClose() { ::close(fd); }
    } closer{fd};
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return std::nullopt;
    const std::string bytes = EncodeRequest(request);
    for (std::size_t sent = 0; sent < bytes.size();) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return std::nullopt;
        sent += static_cast<std::size_t>(n);
    }
    char reply = 0;
    for (;;) {
        const ssize_t n = ::recv(fd, &reply, 1, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n != 1)
            return std::nullopt;
        return reply;
    }
}

TChannelServer::TChannelServer(THandler handler, QObject* parent)
    : QObject(parent), FHandler(std::move(handler)) {}

TChannelServer::~TChannelServer() = default;

bool TChannelServer::Listen() {
    const QString path = QString::fromStdString(InstanceSocketPath());
    // Only the holder of the instance lock gets here, so a socket left there is stale.
    QLocalServer::removeServer(path);
    FServer = new QLocalServer(this);
    FServer->setSocketOptions(QLocalServer::UserAccessOption);
    connect(FServer, &QLocalServer::newConnection, this, &TChannelServer::Accept);
    return FServer->listen(path);
}

void TChannelServer::Accept() {
    while (QLocalSocket* socket = FServer->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        ucred peer{};
        socklen_t size = sizeof peer;
        if (::getsockopt(static_cast<int>(socket->socketDescriptor()), SOL_SOCKET, SO_PEERCRED,
                         &peer, &size) != 0 ||
            peer.uid != ::getuid()) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        socket->setProperty(kBufferProperty, QByteArray());
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Read(socket); });
        // A request that never completes is answered '0' after a while.
        QTimer::singleShot(kPartialRequestMs, socket, [this, socket] {
            if (socket->property(kBufferProperty).isValid())
                Answer(socket, false);
        });
        if (socket->bytesAvailable() > 0)
            Read(socket);
    }
}

void TChannelServer::Read(QLocalSocket* socket) {
    if (!socket->property(kBufferProperty).isValid())
        return; // already answered
    QByteArray buffer = socket->property(kBufferProperty).toByteArray();
    buffer += socket->readAll();
    socket->setProperty(kBufferProperty, buffer);
    TRequest request;
    switch (ParseRequest(
        std::string_view(buffer.constData(), static_cast<std::size_t>(buffer.size())), request)) {
    case TParseResult::NeedMore:
        return;
    case TParseResult::Invalid:
        Answer(socket, false);
        return;
    case TParseResult::Complete: {
        socket->setProperty(kBufferProperty, QVariant());
        disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
        // The handler may run a nested event loop (a modal selection, a message box), in
        // which the sender may give up and its socket be deleted. So it runs from the event
        // loop, not inside the socket's own signal, and answers only a socket still there.
        QMetaObject::invokeMethod(
            this,
            [this, alive = QPointer<QLocalSocket>(socket), request] {
                const bool result = FHandler(request);
                if (alive)
                    Answer(alive.data(), result);
            },
            Qt::QueuedConnection);
        return;
    }
    }
}

void TChannelServer::Answer(QLocalSocket* socket, bool result) {
    socket->setProperty(kBufferProperty, QVariant());
    if (socket->state() != QLocalSocket::ConnectedState)
        return;
    socket->write(result ? "1" : "0", 1);
    socket->flush();
    socket->disconnectFromServer();
}

} // namespace quorvel
