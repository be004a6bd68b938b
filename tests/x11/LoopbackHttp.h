#pragma once

#include <atomic>
#include <map>
#include <string>
#include <thread>

namespace quorvel::test {

// A small HTTP/1.0 server on 127.0.0.1 (a port of the system's choosing) that answers GET
// requests from a fixed set of pages; any other path is a 404. Runs until destroyed.
class TLoopbackHttp {
public:
    explicit TLoopbackHttp(std::map<std::string, std::string> pages);
    ~TLoopbackHttp();
    TLoopbackHttp(const TLoopbackHttp&) = delete;
    TLoopbackHttp& operator=(const TLoopbackHttp&) = delete;

    // "http://127.0.0.1:PORT" + path.
    std::string Url(const std::string& path) const;

private:
    void Serve();
    void Answer(int client);

    std::map<std::string, std::string> FPages;
    int FListener = -1;
    int FPort = 0;
    std::atomic<bool> FStop{false};
    std::thread FThread;
};

} // namespace quorvel::test
