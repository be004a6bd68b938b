#include "LoopbackHttp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace quorvel::test {

TLoopbackHttp::TLoopbackHttp(std::map<std::string, std::string> pages) : FPages(std::move(pages)) {
    FListener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (FListener < 0)
        throw std::runtime_error("socket");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (bind(FListener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(FListener, 16) != 0 ||
        getsockname(FListener, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        close(FListener);
        throw std::runtime_error("bind/listen on 127.0.0.1");
    }
    FPort = ntohs(addr.sin_port);
    FThread = std::thread([this] { Serve(); });
}

TLoopbackHttp::~TLoopbackHttp() {
    FStop = true;
    FThread.join();
    close(FListener);
}

std::string TLoopbackHttp::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(FPort) + path;
}

void TLoopbackHttp::Serve() {
    while (!FStop) {
        pollfd p{FListener, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        const int client = accept4(FListener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        Answer(client);
        close(client);
    }
}

void TLoopbackHttp::Answer(int client) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
        pollfd p{client, POLLIN, 0};
        if (poll(&p, 1, 2000) <= 0)
            return;
        const ssize_t n = recv(client, buffer, sizeof buffer, 0);
        if (n <= 0)
            return;
        request.append(buffer, static_cast<std::size_t>(n));
    }
    std::string path;
    if (request.rfind("GET ", 0) == 0)
        path = request.substr(4, request.find(' ', 4) - 4);
    const auto page = FPages.find(path);
    const bool found = page != FPages.end();
    const std::string body = found ? page->second : std::string("not here");
    const std::string reply =
        std::string(found ? "HTTP/1.0 200 OK\r\n" : "HTTP/1.0 404 Not Found\r\n") +
        "Content-Type: text/html; charset=utf-8\r\nContent-Length: " + std::to_string(body.size()) +
        "\r\nConnection: close\r\n\r\n" + body;
    std::size_t sent = 0;
    while (sent < reply.size()) {
        const ssize_t n = send(client, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        sent += static_cast<std::size_t>(n);
    }
}

} // namespace quorvel::test
