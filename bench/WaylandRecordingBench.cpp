// Screen recording on a private headless sway (software renderer): the whole output
// recorded to MP4 for a while, once with a still desktop and once with a window that
// changes colour every 100 ms (every third frame of the video, so that a change the video
// does not show was lost, not merely too quick for the frame rate), and once every 33 ms
// (about as often as the video's frames: some changes fall between two frames anyway). Prints, for
// each output size: the video's length against the recording's, the frames encoded against the
// frame times, the encoder's duplicated and dropped frames, the colour changes the video shows
// against those the window made (the rest were lost between two copies), and the program's CPU.
// Prints figures; never fails. sway refuses to run as root: run it as another user, e.g.
//   setpriv --reuid=quorveltest --regid=quorveltest --init-groups
//   build/bench/bench_wayland_recording

#include "BenchTiming.h"
#include "SwaySession.h"

#include <QImage>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>

using quorvel::test::TSwaySession;

namespace {

constexpr int kSeconds = 10;

long Last(const std::string& log, const char* pattern) {
    long value = -1;
    const std::regex re(pattern);
    for (std::sregex_iterator it(log.begin(), log.end(), re), end; it != end; ++it)
        value = std::stol((*it)[1]);
    return value;
}

// The times the picture's middle changes from one frame of the video to the next.
long ColourChanges(const TSwaySession& session, const std::string& file) {
    const std::string raw = session.Root() + "/frames.rgb";
    session.Status("ffmpeg -v error -i '" + file +
                   "' -vf scale=4:4 -f rawvideo -pix_fmt rgb24 -y '" + raw + "'");
    std::ifstream in(raw, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    constexpr std::size_t kFrame = 4 * 4 * 3;
    constexpr std::size_t kMiddle = (2 * 4 + 2) * 3;
    long changes = 0;
    for (std::size_t at = kFrame; at + kFrame <= bytes.size(); at += kFrame) {
        int difference = 0;
        for (std::size_t c = 0; c < 3; ++c)
            difference += std::abs(static_cast<unsigned char>(bytes[at + kMiddle + c]) -
                                   static_cast<unsigned char>(bytes[at - kFrame + kMiddle + c]));
        changes += difference > 60;
    }
    std::remove(raw.c_str());
    return changes;
}

void Measure(int width, int height, int changeMs) {
    const bool changing = changeMs > 0;
    QImage background(width, height, QImage::Format_RGB32);
    background.fill(qRgb(0x40, 0x60, 0x80));
    TSwaySession session(background, width, height);
    const std::string out = session.SaveFolder();
    session.WriteSettings("area=0\nsaveto=5\nsound=0\nmouse=0\nffmpeg_log=1\nkey_command_shown=1\n"
                          "path=" +
                          out + "\n");
    if (changing) {
        session.Start(
            {QUORVEL_TEST_SOLID_BIN, "changing", "ff0000", "100", "100", std::to_string(changeMs)},
            "changing.log");
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    if (!session.StartQuorvel()) {
        std::printf("Quorvel did not start\n");
        return;
    }
    const std::string pid = session.Output("pgrep -n -x -u \"$(id -u)\" quorvel");
    const pid_t quorvel = pid.empty() ? 0 : static_cast<pid_t>(std::stol(pid));
    if (quorvel == 0)
        std::printf("(the program's process was not found: no CPU figure)\n");
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const double cpuBefore = quorvel::bench::CpuSeconds(quorvel);
    const auto started = std::chrono::steady_clock::now();
    session.Ctl(R"({"command":"capture"})");
    std::this_thread::sleep_for(std::chrono::seconds(kSeconds));
    session.Ctl(R"({"command":"capture"})");
    const double recorded =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double cpu = quorvel::bench::CpuSeconds(quorvel) - cpuBefore;
    std::string file, duration;
    TSwaySession::WaitUntil(
        [&] {
            file = session.Output("ls -t '" + out + "'/*.mp4 2>/dev/null | head -n 1");
            while (!file.empty() && file.back() == '\n')
                file.pop_back();
            duration = file.empty() ? std::string()
                                    : session.Output("ffprobe -v error -show_entries "
                                                     "format=duration -of csv=p=0 '" +
                                                     file + "' 2>/dev/null");
            return !duration.empty();
        },
        20000);
    if (duration.empty()) {
        std::printf("%dx%d %s: no video\n%s\n", width, height, changing ? "changing" : "still",
                    session.QuorvelLog().c_str());
        return;
    }
    const std::string log = session.Output("cat '" + out + "/ffmpeg.log'");
    const long frames = Last(log, R"(frame=\s*(\d+))");
    const long dup = std::max(0L, Last(log, R"(dup=(\d+))"));
    const long drop = std::max(0L, Last(log, R"(drop=(\d+))"));
    const std::string what = changing ? "every " + std::to_string(changeMs) + " ms" : "still";
    std::printf("%4dx%-4d %-12s  video %5.2f s of %5.2f s  frames %4ld of %4.0f  dup %4ld  "
                "drop %4ld",
                width, height, what.c_str(), std::stod(duration), recorded, frames, recorded * 30,
                dup, drop);
    if (changing) {
        const long shown = ColourChanges(session, file);
        const double made = recorded * 1000.0 / changeMs;
        std::printf("  changes shown %4ld of ~%4.0f (%4.1f %% lost)", shown, made,
                    100.0 * (1.0 - static_cast<double>(shown) / made));
    }
    std::printf("  program CPU %5.1f %%\n", 100.0 * cpu / recorded);
    std::fflush(stdout);
}

} // namespace

int main() {
    for (const auto& [width, height] : {std::pair{1280, 720}, std::pair{1920, 1080}})
        for (const int changeMs : {0, 100, 33})
            Measure(width, height, changeMs);
    return 0;
}
