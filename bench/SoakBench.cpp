// The resident program through a long day of captures: 1,000 full-screen captures of a
// 1920x1080 desktop-like screen over the command channel, one after another, with the
// program's resident memory and open descriptors at start, after 20 captures, after 1,000,
// and 10 seconds after the last one (when the memory kept for speed has been given back).
// Prints figures; never fails.

#include "BenchDesktop.h"
#include "BenchTiming.h"
#include "DesktopSession.h"
#include "app/SingleInstance.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

using namespace quorvel;
using quorvel::test::TDesktopSession;

using quorvel::bench::RssKb;

namespace {

long OpenDescriptors(pid_t pid) {
    std::error_code ec;
    long count = 0;
    for (auto it = std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
        ++count;
    return count;
}

void Report(const char* when, pid_t pid) {
    std::printf("%-32s RSS %7.1f MB   descriptors %4ld\n", when, RssKb(pid) / 1024.0,
                OpenDescriptors(pid));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    const int total = argc > 1 ? std::max(20, std::atoi(argv[1])) : 1000;
    TDesktopSession session;
    bench::ShowDesktopWallpaper(session);

    // Date-and-time names: every capture replaces nothing and the folder is emptied as we go.
    session.WriteSettings("path=" + session.SaveFolder() +
                          "\nsound=1\nappend=2\narea=0\nsaveto=0\n");
    if (!session.StartQuorvel({"/start"})) {
        std::printf("Quorvel did not start:\n%s\n", session.QuorvelLog().c_str());
        return 0;
    }
    const pid_t pid = session.QuorvelPid();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    Report("after start", pid);

    const TRequest capture{TRequestType::CopyData, kCopyDataCommand, R"({"command":"capture"})"};
    int failed = 0;
    const auto started = std::chrono::steady_clock::now();
    for (int i = 1; i <= total; ++i) {
        if (SendToInstance(capture) != '1')
            ++failed;
        if (i % 50 == 0)
            for (const auto& entry : std::filesystem::directory_iterator(session.SaveFolder()))
                std::filesystem::remove(entry.path());
        if (i == 20)
            Report("after 20 captures", pid);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    Report(("after " + std::to_string(total) + " captures").c_str(), pid);
    std::this_thread::sleep_for(std::chrono::seconds(10));
    Report("10 s after the last capture", pid);
    std::printf("%d captures in %.1f s (%.1f ms each), %d not answered\n", total, seconds,
                1000.0 * seconds / total, failed);
    session.StopQuorvel();
    return 0;
}
