#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace quorvel::test {

// A bare HTTP listener on 127.0.0.1 that records every request byte for byte (the head
// up to the empty line and the number of body bytes its Content-Length names) and sends
// what the test's handler returns. A handler that returns nothing keeps the connection
// open and silent until the server goes away; an empty text closes it without an answer.
class TRawServer {
public:
    using THandler =
        std::function<std::optional<std::string>(int index, const std::string& request)>;
    explicit TRawServer(THandler handler);
    ~TRawServer();
    TRawServer(const TRawServer&) = delete;
    TRawServer& operator=(const TRawServer&) = delete;

    int Port() const { return FPort; }
    std::vector<std::string> Requests() const;
    std::size_t Count() const;

    // A whole HTTP/1.0 answer with the status line, a content type and the body.
    static std::string Answer(int status, const std::string& body,
                              const std::string& type = "application/json");

private:
    void Serve(int connection, int index);

    THandler FHandler;
    int FListen = -1;
    int FPort = 0;
    std::atomic<bool> FStop{false};
    std::thread FAcceptor;
    mutable std::mutex FLock;
    std::vector<std::string> FRequests;
    std::vector<std::thread> FConnections;
};

// The value of a header in a recorded request head; empty when absent.
std::string HeaderOf(const std::string& request, const std::string& name);
// The body of a recorded request.
std::string BodyOf(const std::string& request);

} // namespace quorvel::test
