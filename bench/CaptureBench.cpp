// The resident program against the usual screenshot tools, on a private 1920x1080 X
// server showing a desktop-like picture: the time from a JSON "capture" request to a
// complete PNG on disk, next to scrot, maim and ImageMagick's import writing PNGs of the
// same screen to the same folder; the program's memory when idle; and the time from
// launch to accepting commands. The stages of a capture (grab, conversion to filtered rows,
// compression, write, rename) are timed in this process with the program's own code on
// the same screen. Prints figures; never fails.

#include "BenchDesktop.h"
#include "BenchTiming.h"
#include "DesktopSession.h"
#include "app/SingleInstance.h"
#include "platform/Platform.h"
#include "sinks/PngWriter.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

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

// The stages of a capture, timed with the program's own grab and writer, medians in ms.
void PrintStages(const std::string& file, double requestMs) {
    // The program's own allocator settings, so that capture-sized buffers are reused here
    // as they are there rather than faulted in afresh every time.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
    std::vector<double> grab, filter, compress, write, rename;
    TPlatform& platform = Platform();
    for (int i = 0; i <= kRuns; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const QImage image = platform.GrabScreen(platform.ScreenRect());
        const double grabMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        TPngStageTimes times;
        WritePNG({image.constBits(), image.width(), image.height(), image.bytesPerLine()}, file,
                 &times);
        if (i == 0)
            continue; // warm-up
        grab.push_back(grabMs);
        filter.push_back(times.filterMs);
        compress.push_back(times.compressMs);
        write.push_back(times.writeMs);
        rename.push_back(times.renameMs);
    }
    const double sum = bench::Median(grab) + bench::Median(filter) + bench::Median(compress) +
                       bench::Median(write) + bench::Median(rename);
    std::printf("Stages of a capture in this process (median ms): grab %.1f, conversion %.1f, "
                "compression %.1f, write %.1f, rename %.1f; sum %.1f, request and the rest "
                "%.1f\n",
                bench::Median(grab), bench::Median(filter), bench::Median(compress),
                bench::Median(write), bench::Median(rename), sum, requestMs - sum);
}

bench::TTiming TimeTool(const TDesktopSession& session, const std::string& command) {
    return bench::Time(kRuns, [&] { session.Status(command); });
}

} // namespace

int main() {
    TDesktopSession session;
    const std::string out = session.SaveFolder();
    // The other tools write beside, not among, the program's captures.
    const std::string tools = session.Root() + "/tools";
    std::filesystem::create_directories(tools);

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
    // The program and scrot in turns, so that other work on the machine weighs on both alike.
    double turnRatio = 0;
    const std::vector<bench::TTiming> pair =
        bench::TimeInTurns(kRuns,
                           {[&] { SendToInstance(capture); },
                            [&] { session.Status("scrot -o " + tools + "/scrot.png"); }},
                           &turnRatio);
    const bench::TTiming& quorvel = pair[0];
    const bench::TTiming& scrot = pair[1];
    Row("Quorvel (JSON request to PNG on disk)", quorvel, session.NewestCapture());
    Row("scrot (in turns with Quorvel)", scrot, tools + "/scrot.png");
    const auto maim = TimeTool(session, "maim " + tools + "/maim.png");
    Row("maim", maim, tools + "/maim.png");
    const auto import = TimeTool(session, "import -window root " + tools + "/import.png");
    Row("ImageMagick import -window root", import, tools + "/import.png");
    std::printf("Quorvel / scrot: %.2f (ratio of medians), %.2f (median of the turns' ratios)\n",
                quorvel.medianMs / scrot.medianMs, turnRatio);
    PrintStages(tools + "/stages.png", quorvel.medianMs);

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
