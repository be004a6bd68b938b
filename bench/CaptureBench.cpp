// The resident program against the usual screenshot tools, on a private 1920x1080 X
// server showing a desktop-like picture: the time from a JSON "capture" request to a
// complete PNG on disk, next to scrot, maim and ImageMagick's import writing PNGs of the
// same screen to the same folder; the program's memory when idle; and the time from
// launch to accepting commands. Prints figures; never fails.

#include "BenchDesktop.h"
#include "BenchTiming.h"
#include "DesktopSession.h"
#include "app/SingleInstance.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <thread>

using namespace quorvel;
using quorvel::test::TDesktopSession;

using quorvel::bench::RssKb;

namespace {

constexpr int kRuns = 20;

void Row(const char* what, const bench::TTiming& t, const std::string& file) {
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(file, ec);
    std::printf("%-40s %9.1f %9.1f %9.1f %10ju\n", what, t.medianMs, t.minMs, t.maxMs,
                ec ? std::uintmax_t{0} : static_cast<std::uintmax_t>(bytes));
}

bench::TTiming TimeTool(const TDesktopSession& session, const std::string& command) {
    return bench::Time(kRuns, [&] { session.Status(command); });
}

} // namespace

int main() {
    TDesktopSession session;
    const std::string out = session.SaveFolder();

    // A desktop-like picture as the wallpaper, so every tool encodes the same content.
    bench::ShowDesktopWallpaper(session);

    session.WriteSettings("path=" + out + "\nsound=1\nappend=2\n");
    if (!session.StartQuorvel({"/start"})) {
        std::printf("Quorvel did not start:\n%s\n", session.QuorvelLog().c_str());
        return 0;
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const long idleRss = RssKb(session.QuorvelPid());

    std::printf("Capture of a 1920x1080 screen to PNG, %d runs each after one warm-up (%u cores)\n",
                kRuns, std::thread::hardware_concurrency());
    std::printf("%-40s %9s %9s %9s %10s\n", "tool", "median ms", "min ms", "max ms", "bytes");

    const TRequest capture{TRequestType::CopyData, kCopyDataCommand, R"({"command":"capture"})"};
    const auto quorvel = bench::Time(kRuns, [&] { SendToInstance(capture); });
    Row("Quorvel (JSON request to PNG on disk)", quorvel, session.NewestCapture());
    const auto scrot = TimeTool(session, "scrot -o " + out + "/scrot.png");
    Row("scrot", scrot, out + "/scrot.png");
    const auto maim = TimeTool(session, "maim " + out + "/maim.png");
    Row("maim", maim, out + "/maim.png");
    const auto import = TimeTool(session, "import -window root " + out + "/import.png");
    Row("ImageMagick import -window root", import, out + "/import.png");
    std::printf("Quorvel / scrot: %.2f\n", quorvel.medianMs / scrot.medianMs);

    const long afterRss = RssKb(session.QuorvelPid());
    std::printf("\nResident memory (RSS): %.1f MB idle after start, %.1f MB after the captures\n",
                idleRss / 1024.0, afterRss / 1024.0);
    session.StopQuorvel();

    // Launch to accepting commands: until a request that does nothing gets its answer.
    const std::vector<double> launches = bench::LaunchTimesMs(session, 10);
    std::printf("Launch to accepting commands: %.1f ms median of %zu launches\n",
                bench::Median(launches), launches.size());
    return 0;
}
