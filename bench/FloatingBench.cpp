// Memory of many floating windows: fifty full-screen captures pinned on a private
// 1920x1080 X server, the program's resident memory after every ten, set against the size
// of the pictures themselves. Prints figures; never fails.

#include "DesktopSession.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

using quorvel::test::TDesktopSession;

namespace {

constexpr int kWindows = 50;

long StatusKb(pid_t pid, const char* field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0)
            return std::stol(line.substr(prefix.size()));
    return -1;
}

} // namespace

int main() {
    TDesktopSession session;
    session.WriteSettings("path=" + session.SaveFolder() +
                          "\nsound=0\nmouse=0\narea=0\nsaveto=10\n");
    if (!session.StartQuorvel({"/start"})) {
        std::printf("Quorvel did not start:\n%s\n", session.QuorvelLog().c_str());
        return 0;
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const pid_t pid = session.QuorvelPid();
    const long idle = StatusKb(pid, "VmRSS");
    const long picture = 1920L * 1080L * 4L / 1024L;
    std::printf("Floating windows of 1920x1080 captures; one picture is %ld kB\n", picture);
    std::printf("%8s %12s %12s %12s %16s\n", "windows", "VmRSS kB", "RssAnon kB", "RssShmem kB",
                "kB per window");
    std::printf("%8d %12ld %12ld %12ld %16s\n", 0, idle, StatusKb(pid, "RssAnon"),
                StatusKb(pid, "RssShmem"), "-");
    for (int i = 1; i <= kWindows; ++i) {
        session.Ctl(R"({"command":"capture"})");
        if (i % 10 == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            const long rss = StatusKb(pid, "VmRSS");
            std::printf("%8d %12ld %12ld %12ld %16ld\n", i, rss, StatusKb(pid, "RssAnon"),
                        StatusKb(pid, "RssShmem"), (rss - idle) / i);
        }
    }
    session.StopQuorvel();
    return 0;
}
