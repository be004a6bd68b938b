// Screen recording on a private 1920x1080 X server with a changing picture: a 20-second
// recording of the whole monitor and one of an 800x600 region, each next to ffmpeg's own
// x11grab of the same area for the same time. Prints the frames encoded, the frames the
// encoder duplicated or dropped, and the program's CPU time (per mirrored frame for the
// region). Prints figures; never fails.

#include "BenchTiming.h"
#include "DesktopSession.h"
#include "app/SingleInstance.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>

using namespace quorvel;
using quorvel::test::TDesktopSession;

namespace {

constexpr int kSeconds = 20;

// frame=, dup= and drop= of the encoder's last progress line. The encoder leaves out dup=
// and drop= while both are still 0; -1 throughout when it printed no progress at all.
void EncoderCounts(const std::string& log, long& frames, long& dup, long& drop) {
    frames = -1;
    dup = drop = 0;
    const std::regex f(R"(frame=\s*(\d+))"), d(R"(dup=(\d+))"), p(R"(drop=(\d+))");
    for (std::sregex_iterator it(log.begin(), log.end(), f), end; it != end; ++it)
        frames = std::stol((*it)[1]);
    for (std::sregex_iterator it(log.begin(), log.end(), d), end; it != end; ++it)
        dup = std::stol((*it)[1]);
    for (std::sregex_iterator it(log.begin(), log.end(), p), end; it != end; ++it)
        drop = std::stol((*it)[1]);
    if (frames < 0)
        dup = drop = -1;
}

void Row(const char* what, const std::string& log, double cpu, double seconds) {
    long frames = 0, dup = 0, drop = 0;
    EncoderCounts(log, frames, dup, drop);
    std::printf("%-44s frames %5ld  dup %4ld  drop %4ld", what, frames, dup, drop);
    if (cpu >= 0)
        std::printf("  program CPU %5.1f %%  (%.2f ms a frame)", 100.0 * cpu / seconds,
                    frames > 0 ? 1000.0 * cpu / static_cast<double>(frames) : 0.0);
    std::printf("\n");
    std::fflush(stdout);
}

} // namespace

int main() {
    TDesktopSession session;
    // A picture that changes every frame: a window repainting itself.
    session.Start({"sh", "-c",
                   "while true; do for c in red green blue yellow; do xsetroot -solid $c; "
                   "sleep 0.03; done; done"},
                  "changing.log");
    const TRequest capture{TRequestType::CopyData, kCopyDataCommand, R"({"command":"capture"})"};
    const std::string out = session.SaveFolder();

    for (const bool region : {false, true}) {
        std::remove((out + "/ffmpeg.log").c_str());
        session.WriteSettings("path=" + out + "\nsound=1\nsaveto=5\nmouse=0\nffmpeg_log=1\n" +
                              std::string(region
                                              ? "area=1\nleft=500\ntop=200\nwidth=800\nheight=600\n"
                                              : "area=0\n"));
        if (!session.StartQuorvel({"/start"})) {
            std::printf("Quorvel did not start\n");
            return 0;
        }
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const double before = bench::CpuSeconds(session.QuorvelPid());
        SendToInstance(capture);
        std::this_thread::sleep_for(std::chrono::seconds(kSeconds));
        const double cpu = bench::CpuSeconds(session.QuorvelPid()) - before;
        SendToInstance(capture);
        std::this_thread::sleep_for(std::chrono::seconds(3));
        Row(region ? "Quorvel, 800x600 region (mirror + pipe)" : "Quorvel, 1920x1080 monitor",
            session.Output("cat " + out + "/ffmpeg.log 2>/dev/null"), cpu, kSeconds);
        session.StopQuorvel();

        // ffmpeg's own x11grab of the same area, for the same time.
        const std::string size = region ? "800x600" : "1920x1080";
        const std::string at = region ? "+506,231" : "+0,0";
        const std::string log = session.Root() + "/x11grab.log";
        session.Status("ffmpeg -y -f x11grab -video_size " + size +
                       " -framerate 30 -draw_mouse 0 -i " + std::string(std::getenv("DISPLAY")) +
                       at + " -t " + std::to_string(kSeconds) +
                       " -c:v libx264 -preset ultrafast -r 30 -tune zerolatency -crf 25 "
                       "-pix_fmt yuv420p " +
                       out + "/x11grab.mp4 > " + log + " 2>&1");
        Row(region ? "ffmpeg x11grab alone, same 800x600 area"
                   : "ffmpeg x11grab alone, same monitor",
            session.Output("cat " + log), -1, kSeconds);
    }
    return 0;
}
