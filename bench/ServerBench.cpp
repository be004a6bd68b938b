// quorvel-server under load and under hostile clients, on loopback: uploads per second from
// 8 senders, the time a normal upload takes beside 50 clients that trickle their request
// heads, and the server's peak memory while 16 clients each send a 600 MB chunked body.
//
//   bench_server [SERVER ...]     (the server of this build by default)
//
// Each server named is measured in turn with the same load, so that two builds can be
// compared in one run. A server whose memory passes 4 GB is stopped there. Prints figures;
// never fails.

#include "BenchTiming.h"
#include "sinks/Save.h"
#include "sinks/Upload.h"

#include <QImage>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <curl/curl.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace quorvel;
using TClock = std::chrono::steady_clock;

namespace {

constexpr int kSenders = 8;
constexpr int kUploadsPerSender = 50;
constexpr int kSlowClients = 50;
constexpr int kBigBodies = 16;
constexpr std::size_t kBigBodyBytes = 600u * 1024 * 1024;
constexpr long kMemoryCeilingKb = 4L * 1024 * 1024;

long StatusKb(pid_t pid, const char* field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::atol(line.c_str() + std::strlen(field));
    return -1;
}

struct TServer {
    pid_t Pid = -1;
    int Port = 0;
};

TServer Start(const std::string& binary, const std::string& data) {
    int out[2];
    if (::pipe(out) != 0)
        return {};
    TServer server;
    server.Pid = ::fork();
    if (server.Pid == 0) {
        ::dup2(out[1], 1);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 2); // the access log of thousands of requests
        ::execl(binary.c_str(), binary.c_str(), "--data", data.c_str(), "--listen", "127.0.0.1:0",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    std::string line;
    char c;
    while (::read(out[0], &c, 1) == 1 && c != '\n')
        line += c;
    ::close(out[0]);
    const std::size_t colon = line.rfind(':');
    server.Port = colon == std::string::npos ? 0 : std::atoi(line.c_str() + colon + 1);
    return server;
}

void Stop(TServer& server) {
    ::kill(server.Pid, SIGKILL);
    ::waitpid(server.Pid, nullptr, 0);
}

int Connect(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(s);
        return -1;
    }
    return s;
}

// One chunked upload whose field "file" starts like the PNG and goes on with zero bytes,
// until 600 MB or until `stop` is set.
void BigChunkedBody(int port, const std::vector<std::uint8_t>& png, const std::atomic<bool>& stop) {
    CURL* curl = ::curl_easy_init();
    curl_slist* list = ::curl_slist_append(nullptr, "Transfer-Encoding: chunked");
    list = ::curl_slist_append(list, "Content-Type: multipart/form-data; boundary=B");
    struct TState {
        std::string Head;
        std::size_t Left;
        const std::atomic<bool>* Stop;
    } state{"--B\r\nContent-Disposition: form-data; name=\"file\"; filename=\"a.png\"\r\n\r\n" +
                std::string(png.begin(), png.begin() + 33),
            kBigBodyBytes, &stop};
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/image";
    ::curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    ::curl_easy_setopt(curl, CURLOPT_POST, 1L);
    ::curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
    ::curl_easy_setopt(curl, CURLOPT_READDATA, &state);
    ::curl_easy_setopt(
        curl, CURLOPT_READFUNCTION, +[](char* out, std::size_t size, std::size_t n, void* user) {
            auto& s = *static_cast<TState*>(user);
            if (s.Stop->load())
                return static_cast<std::size_t>(CURL_READFUNC_ABORT);
            if (!s.Head.empty()) {
                const std::size_t give = std::min(s.Head.size(), size * n);
                std::memcpy(out, s.Head.data(), give);
                s.Head.erase(0, give);
                return give;
            }
            const std::size_t give = std::min(s.Left, size * n);
            std::memset(out, 0, give);
            s.Left -= give;
            return give;
        });
    ::curl_easy_setopt(
        curl, CURLOPT_WRITEFUNCTION,
        +[](char*, std::size_t size, std::size_t n, void*) { return size * n; });
    ::curl_easy_setopt(curl, CURLOPT_TIMEOUT, 600L);
    ::curl_easy_perform(curl);
    ::curl_slist_free_all(list);
    ::curl_easy_cleanup(curl);
}

void Measure(const std::string& binary, const std::vector<std::uint8_t>& png) {
    std::printf("== %s\n", binary.c_str());
    const std::string data =
        (std::filesystem::temp_directory_path() / ("bench-server-" + std::to_string(::getpid())))
            .string();
    std::filesystem::remove_all(data);
    TServer server = Start(binary, data);
    if (server.Port <= 0) {
        std::printf("  did not start\n");
        return;
    }
    const TUploadServer at{"127.0.0.1", server.Port};
    const std::string boundary = "-------QuorvelUploader0123456789ABCDEF";

    // Throughput: 8 senders, each uploading one after another.
    std::atomic<int> failed{0};
    auto start = TClock::now();
    std::vector<std::thread> senders;
    for (int s = 0; s < kSenders; ++s)
        senders.emplace_back([&] {
            for (int i = 0; i < kUploadsPerSender; ++i)
                if (PostUpload(at, png, boundary, nullptr).empty())
                    ++failed;
        });
    for (std::thread& t : senders)
        t.join();
    const double seconds = std::chrono::duration<double>(TClock::now() - start).count();
    std::printf("  %d uploads of %zu bytes from %d senders: %.2f s, %.1f uploads/s, %d failed\n",
                kSenders * kUploadsPerSender, png.size(), kSenders, seconds,
                kSenders * kUploadsPerSender / seconds, failed.load());

    // A normal upload beside 50 clients sending their heads a byte a second.
    std::atomic<bool> stopSlow{false};
    std::thread slow([&] {
        std::vector<int> sockets;
        for (int i = 0; i < kSlowClients; ++i)
            sockets.push_back(Connect(server.Port));
        const char head[] = "GET /stats HTTP/1.1\r\nHost: x\r\nX-Pad: ";
        for (std::size_t at = 0; !stopSlow; ++at) {
            for (int& s : sockets) {
                if (s >= 0 && ::send(s, &head[at % (sizeof head - 1)], 1, MSG_NOSIGNAL) < 0) {
                    ::close(s);
                    s = Connect(server.Port); // dropped: a new one takes its place
                }
            }
            for (int i = 0; i < 10 && !stopSlow; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        for (int s : sockets)
            if (s >= 0)
                ::close(s);
    });
    std::this_thread::sleep_for(std::chrono::seconds(2));
    std::vector<double> times;
    int slowFailed = 0;
    for (int i = 0; i < 10; ++i) {
        const auto t0 = TClock::now();
        TUploadOptions options;
        options.TotalSeconds = 60;
        if (PostUpload(at, png, boundary, nullptr, options).empty())
            ++slowFailed;
        times.push_back(std::chrono::duration<double, std::milli>(TClock::now() - t0).count());
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    stopSlow = true;
    slow.join();
    std::printf("  one upload beside %d slow clients (10 runs): median %.1f ms, max %.1f ms, "
                "%d failed\n",
                kSlowClients, bench::Median(times), *std::max_element(times.begin(), times.end()),
                slowFailed);

    // Peak memory while 16 clients each send a 600 MB chunked body.
    const long before = StatusKb(server.Pid, "VmRSS:");
    std::atomic<bool> stopBig{false};
    std::vector<std::thread> big;
    start = TClock::now();
    for (int i = 0; i < kBigBodies; ++i)
        big.emplace_back([&] { BigChunkedBody(server.Port, png, stopBig); });
    std::atomic<bool> done{false};
    std::thread watch([&] {
        for (auto& t : big)
            t.join();
        done = true;
    });
    long peak = 0;
    bool ceiling = false;
    while (!done) {
        peak = std::max(peak, StatusKb(server.Pid, "VmHWM:"));
        if (peak > kMemoryCeilingKb && !ceiling) {
            ceiling = true;
            stopBig = true;
            ::kill(server.Pid, SIGKILL);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    watch.join();
    const double bigSeconds = std::chrono::duration<double>(TClock::now() - start).count();
    std::printf(
        "  %d parallel %zu MB chunked bodies: server memory %.1f MB before, peak %.1f MB%s, "
        "%.1f s until all were answered\n",
        kBigBodies, kBigBodyBytes >> 20, before / 1024.0, peak / 1024.0,
        ceiling ? " (stopped at the 4 GB ceiling)" : "", bigSeconds);
    Stop(server);
    std::filesystem::remove_all(data);
}

} // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    QImage image(1920, 1080, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb((x * 7) & 0xFF, (y * 3) & 0xFF, ((x ^ y) >> 2) & 0xFF));
    // Some noise, so that the picture weighs what a busy screen does.
    std::uint32_t seed = 1;
    for (int i = 0; i < 200000; ++i) {
        seed = seed * 1664525u + 1013904223u;
        image.setPixel(static_cast<int>(seed % 1920), static_cast<int>((seed >> 12) % 1080),
                       qRgb(seed >> 24, seed >> 16 & 0xFF, seed >> 8 & 0xFF));
    }
    const std::vector<std::uint8_t> png = BitmapToPNGBytes(image);
    std::vector<std::string> servers(argv + 1, argv + argc);
    if (servers.empty())
        servers.push_back(QUORVEL_SERVER_BIN);
    for (const std::string& binary : servers)
        Measure(binary, png);
    return 0;
}
