// Uploads against quorvel-server on the loopback address: the time from a JSON "capture"
// request to the returned address opened in the browser for a 1920x1080 capture, and the
// server's throughput and memory for 1,000 uploads from 8 parallel senders. Prints
// figures; never fails.

#include "BenchDesktop.h"
#include "BenchTiming.h"
#include "DesktopSession.h"
#include "app/SingleInstance.h"
#include "sinks/PngWriter.h"
#include "sinks/TestImages.h"
#include "sinks/Upload.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <thread>

using namespace quorvel;
using quorvel::test::TDesktopSession;

namespace {

constexpr int kRuns = 20;
constexpr int kUploads = 1000;
constexpr int kSenders = 8;

long StatusKb(pid_t pid, const char* field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(std::strlen(field)));
    return -1;
}

std::size_t Lines(const std::string& path) {
    std::ifstream in(path);
    std::size_t n = 0;
    for (std::string line; std::getline(in, line);)
        ++n;
    return n;
}

} // namespace

int main() {
    TDesktopSession session;
    bench::ShowDesktopWallpaper(session);

    // The server, on a free loopback port.
    const pid_t server = session.Start(
        {QUORVEL_SERVER_BIN, "--data", session.Root() + "/serverdata", "--listen", "127.0.0.1:0"},
        "server.log");
    const int port = session.ListeningPort("server.log");
    if (port == 0) {
        std::printf("quorvel-server did not start\n");
        return 0;
    }

    // The browser: a recorder that notes each address.
    const std::string bin = session.Root() + "/bin";
    std::filesystem::create_directories(bin);
    const std::string opened = session.Root() + "/opened.txt";
    std::ofstream(bin + "/xdg-open") << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> " << opened << "\n";
    ::chmod((bin + "/xdg-open").c_str(), 0755);

    session.WriteSettings("path=" + session.SaveFolder() +
                          "\nsound=1\nsaveto=8\nupload_host=127.0.0.1:" + std::to_string(port) +
                          "\n");
    if (!session.StartQuorvel({"/start"}, {"PATH=" + bin + ":" + std::getenv("PATH"),
                                           "BROWSER=" + bin + "/xdg-open"})) {
        std::printf("Quorvel did not start:\n%s\n", session.QuorvelLog().c_str());
        return 0;
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));

    const TRequest capture{TRequestType::CopyData, kCopyDataCommand, R"({"command":"capture"})"};
    const auto toBrowser = bench::Time(kRuns, [&] {
        const std::size_t before = Lines(opened);
        SendToInstance(capture);
        TDesktopSession::WaitUntil([&] { return Lines(opened) > before; }, 10000);
    });
    std::printf("Capture request to address opened (1920x1080 upload, %d runs): median %.1f ms, "
                "min %.1f ms, max %.1f ms\n",
                kRuns, toBrowser.medianMs, toBrowser.minMs, toBrowser.maxMs);
    session.StopQuorvel();

    // Throughput: the same capture's PNG, 1,000 times from 8 senders.
    const std::vector<std::uint8_t> png = [&] {
        const std::string file = session.Root() + "/capture.png";
        WritePNG(test::MakeDesktopImage(1920, 1080).View(), file);
        std::ifstream in(file, std::ios::binary);
        return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
    }();
    std::atomic<int> next{0}, failed{0};
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> senders;
    for (int s = 0; s < kSenders; ++s)
        senders.emplace_back([&] {
            while (next++ < kUploads)
                if (PostUpload({"127.0.0.1", port}, png, "-------QuorvelUploader0123456789ABCDEF",
                               nullptr)
                        .empty())
                    ++failed;
        });
    for (std::thread& t : senders)
        t.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%d uploads of %zu bytes from %d senders: %.2f s, %.1f uploads/s, %.1f MB/s, "
                "%d failed\n",
                kUploads, png.size(), kSenders, seconds, kUploads / seconds,
                kUploads * static_cast<double>(png.size()) / seconds / 1e6, failed.load());
    std::printf("quorvel-server memory: %.1f MB resident now, %.1f MB at its peak\n",
                StatusKb(server, "VmRSS:") / 1024.0, StatusKb(server, "VmHWM:") / 1024.0);
    return 0;
}
