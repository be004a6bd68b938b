#include "net/RawServer.h"

#include "support/Strings.h"

#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace quorvel::test {

TRawServer::TRawServer(THandler handler) : FHandler(std::move(handler)) {
    FListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (FListen < 0 ||
        ::bind(FListen, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(FListen, 64) != 0 ||
        ::getsockname(FListen, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("cannot listen on the loopback address");
    FPort = ntohs(address.sin_port);
    FAcceptor = std::thread([this] {
        int index = 0;
        while (!FStop) {
            pollfd p{FListen, POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0)
                continue;
            const int connection = ::accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0)
                continue;
            std::lock_guard<std::mutex> lock(FLock);
            FConnections.emplace_back([this, connection, i = index++] { Serve(connection, i); });
        }
    });
}

TRawServer::~TRawServer() {
    FStop = true;
    FAcceptor.join();
    std::vector<std::thread> connections;
    {
        std::lock_guard<std::mutex> lock(FLock);
        connections.swap(FConnections);
    }
    for (std::thread& t : connections)
        t.join();
    ::close(FListen);
}

void TRawServer::Serve(int connection, int index) {
    std::string request;
    std::size_t wanted = std::string::npos;
    char buffer[4096];
    while (!FStop && (wanted == std::string::npos || request.size() < wanted)) {
        pollfd p{connection, POLLIN, 0};
        if (::poll(&p, 1, 10) <= 0)
            continue;
        const ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        request.append(buffer, static_cast<std::size_t>(n));
        const std::size_t headEnd = request.find("\r\n\r\n");
        if (wanted == std::string::npos && headEnd != std::string::npos) {
            const std::string length = HeaderOf(request, "Content-Length");
            wanted = headEnd + 4 + (length.empty() ? 0 : std::stoul(length));
        }
    }
    {
        std::lock_guard<std::mutex> lock(FLock);
        FRequests.push_back(request);
    }
    const std::optional<std::string> answer = FHandler(index, request);
    if (answer) {
        for (std::size_t sent = 0; sent < answer->size();) {
            const ssize_t n =
                ::send(connection, answer->data() + sent, answer->size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += static_cast<std::size_t>(n);
        }
    } else {
        while (!FStop) {
            pollfd p{connection, POLLIN, 0};
            ::poll(&p, 1, 10);
        }
    }
    ::close(connection);
}

std::vector<std::string> TRawServer::Requests() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FRequests;
}

std::size_t TRawServer::Count() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FRequests.size();
}

std::string TRawServer::Answer(int status, const std::string& body, const std::string& type) {
    return "HTTP/1.0 " + std::to_string(status) + " X\r\nContent-Type: " + type +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string HeaderOf(const std::string& request, const std::string& name) {
    const std::string head = request.substr(0, request.find("\r\n\r\n") + 2);
    const std::string key = "\r\n" + AsciiLower(name) + ":";
    const std::size_t at = AsciiLower(head).find(key);
    if (at == std::string::npos)
        return {};
    std::size_t start = at + key.size();
    while (start < head.size() && head[start] == ' ')
        ++start;
    return head.substr(start, head.find("\r\n", start) - start);
}

std::string BodyOf(const std::string& request) {
    const std::size_t headEnd = request.find("\r\n\r\n");
    return headEnd == std::string::npos ? std::string() : request.substr(headEnd + 4);
}

} // namespace quorvel::test
