#include "platform/SwayIpc.h"

#include "platform/SwayTree.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace quorvel {

namespace {

using TClock = std::chrono::steady_clock;

class TSocket {
public:
    explicit TSocket(int fd) : FFd(fd) {}
    ~TSocket() {
        if (FFd >= 0)
            ::close(FFd);
    }
    TSocket(const TSocket&) = delete;
    TSocket& operator=(const TSocket&) = delete;
    int Fd() const { return FFd; }

private:
    int FFd;
};

// Waits for the socket to be ready for `events` until the deadline.
bool WaitFor(int fd, short events, TClock::time_point deadline) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{fd, events, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready > 0)
            return true;
        if (ready == 0 || errno != EINTR)
            return false;
    }
}

bool ReadExactly(int fd, char* into, std::size_t size, TClock::time_point deadline) {
    std::size_t done = 0;
    while (done < size) {
        if (!WaitFor(fd, POLLIN, deadline))
            return false;
        const ssize_t n = ::recv(fd, into + done, size - done, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

std::optional<std::string> SwayQuery(const std::string& socketPath, std::uint32_t type,
                                     int timeoutMs) {
    sockaddr_un address{};
    if (socketPath.empty() || socketPath.size() >= sizeof address.sun_path)
        return std::nullopt;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    const TSocket socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (socket.Fd() < 0)
        return std::nullopt;
    const auto deadline = TClock::now() + std::chrono::milliseconds(timeoutMs);
    if (::connect(socket.Fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (errno != EINPROGRESS && errno != EAGAIN)
            return std::nullopt;
        int failure = 0;
        socklen_t length = sizeof failure;
        if (!WaitFor(socket.Fd(), POLLOUT, deadline) ||
            ::getsockopt(socket.Fd(), SOL_SOCKET, SO_ERROR, &failure, &length) != 0 || failure != 0)
            return std::nullopt;
    }
    const std::string request = SwayRequest(type);
    std::size_t sent = 0;
    while (sent < request.size()) {
        if (!WaitFor(socket.Fd(), POLLOUT, deadline))
            return std::nullopt;
        const ssize_t n =
            ::send(socket.Fd(), request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            return std::nullopt;
        sent += static_cast<std::size_t>(n);
    }
    char head[kSwayHeaderSize];
    if (!ReadExactly(socket.Fd(), head, sizeof head, deadline))
        return std::nullopt;
    const std::optional<TSwayHeader> header = SwayReplyHeader(head);
    if (!header || header->Type != type)
        return std::nullopt;
    std::string payload(header->Length, '\0');
    if (!ReadExactly(socket.Fd(), payload.data(), payload.size(), deadline))
        return std::nullopt;
    return payload;
}

} // namespace quorvel
