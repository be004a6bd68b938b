#include "record/RecorderArguments.h"

#include "record/CommandLine.h"

#include <cmath>
#include <cstdio>
#include <sstream>

namespace quorvel {

namespace {

void ReplaceFirst(std::string& text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
}

} // namespace

std::string RecorderArguments(const TRecordSettings& s) {
    std::string args = "-rtbufsize 150M {audio_f} {video_f} {audio_c} {video_c} {video_t} "
                       "-vf \"scale=trunc(iw/2)*2:trunc(ih/2)*2\" -y " +
                       QuoteArgument(s.Output);
    std::ostringstream video;
    if (s.Region) {
        // The mirror's frames, stamped with the time they arrive.
        video << "-f rawvideo -pixel_format bgra -video_size " << s.Width << "x" << s.Height
              << " -framerate " << kVideoFramesPerSecond << " -use_wallclock_as_timestamps 1 -i "
              << QuoteArgument(s.Fifo);
    } else {
        video << "-f x11grab -video_size " << s.Monitor.Width() << "x" << s.Monitor.Height()
              << " -framerate " << kVideoFramesPerSecond;
        if (!s.Mouse)
            video << " -draw_mouse 0";
        video << " -i " << s.Display << "+" << s.Monitor.Left << "," << s.Monitor.Top;
    }
    ReplaceFirst(args, "{video_f}", video.str());
    ReplaceFirst(args, "{video_c}",
                 "-c:v libx264 -preset ultrafast -r " + std::to_string(kVideoFramesPerSecond) +
                     " -tune zerolatency -crf 25 -pix_fmt yuv420p");
    ReplaceFirst(args, "{video_t}",
                 s.LimitSeconds > 0 ? "-t " + std::to_string(s.LimitSeconds) : std::string());
    if (!s.AudioDevice.empty()) {
        // Sound comes in bursts; a deep queue keeps the reading of the picture from waiting.
        ReplaceFirst(args, "{audio_f}",
                     "-thread_queue_size 1024 -f pulse -i " + QuoteArgument(s.AudioDevice));
        ReplaceFirst(args, "{audio_c}", "-c:a aac -ac 2 -b:a 128k");
    }
    ReplaceFirst(args, "{audio_f}", "");
    ReplaceFirst(args, "{audio_c}", "");
    return args;
}

int EvenSide(int side) {
    return 2 * static_cast<int>(std::nearbyint(side / 2.0)); // rounds halves to even
}

int LimitSecondsOf(int minutes) {
    switch (minutes) {
    case 30:
        return 1800;
    case 60:
        return 3600;
    case 120:
        return 7200;
    case 240:
        return 14400;
    default:
        return 0;
    }
}

std::string FirstSoundSource(const std::string& listing) {
    // "Auto-detected sources for pulse:" then one line a source: "* NAME [Description]" for
    // the default one, "  NAME [Description]" for the others.
    std::istringstream lines(listing);
    bool inList = false;
    for (std::string line; std::getline(lines, line);) {
        if (line.find("sources for pulse") != std::string::npos) {
            inList = true;
            continue;
        }
        if (!inList)
            continue;
        std::size_t at = line.find_first_not_of(" *\t");
        if (at == std::string::npos || (line[0] != ' ' && line[0] != '*'))
            continue;
        const std::size_t end = line.find(' ', at);
        return line.substr(at, end == std::string::npos ? std::string::npos : end - at);
    }
    return {};
}

std::string ProgressTime(const std::string& line) {
    const std::size_t at = line.find("time=");
    if (at == std::string::npos)
        return {};
    const std::size_t start = at + 5;
    const std::size_t end = line.find(' ', start);
    if (end == std::string::npos)
        return {};
    return line.substr(start, end - start);
}

double ProgressSeconds(const std::string& time) {
    int h = 0, m = 0;
    double sec = 0;
    if (std::sscanf(time.c_str(), "%d:%d:%lf", &h, &m, &sec) != 3)
        return 0;
    return h * 3600.0 + m * 60.0 + sec;
}

long ProgressFrames(const std::string& line) {
    const std::size_t at = line.find("frame=");
    if (at == std::string::npos)
        return -1;
    std::size_t start = line.find_first_not_of(' ', at + 6);
    if (start == std::string::npos || line[start] < '0' || line[start] > '9')
        return -1;
    long frames = 0;
    for (; start < line.size() && line[start] >= '0' && line[start] <= '9'; ++start)
        frames = frames * 10 + (line[start] - '0');
    return frames;
}

} // namespace quorvel
