// The web page area on a private 1920x1080 X server, its pages served over a loopback HTTP
// server: the time from a JSON "capture" request to the PNG on disk for a loaded
// 1280x4000 page and the largest page that renders whole (1280x16000); the program's
// memory idle, with the browser window open and after it has closed; and the time from
// launch to accepting commands with the full-screen area. Where a capture's time goes: the
// browser process's own stages (QUORVEL_STAGE_TIMES) and the PNG writer on the same
// picture in this process. Prints figures; never fails.

#include "BenchDesktop.h"
#include "BenchTiming.h"
#include "DesktopSession.h"
#include "LoopbackHttp.h"
#include "app/SingleInstance.h"
#include "sinks/PngWriter.h"

#include <QImage>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace quorvel;
using quorvel::test::TDesktopSession;
using quorvel::test::TLoopbackHttp;

using quorvel::bench::RssKb;

namespace {

std::string BandsPage(const std::string& title, int height) {
    std::string page = "<!DOCTYPE html><html><head><title>" + title +
                       "</title><style>body{margin:0}div{width:1280px;height:500px}</style>"
                       "</head><body>";
    for (int y = 0; y < height; y += 500)
        page += y % 1000 == 0 ? "<div style='background:#c33'></div>"
                              : "<div style='background:linear-gradient(#39c,#fc3)'></div>";
    return page + "</body></html>";
}

bool Open(TDesktopSession& session, unsigned long window, const std::string& url,
          const std::string& title) {
    const std::string id = std::to_string(window);
    session.Status("xdotool windowactivate --sync " + id + " >/dev/null 2>&1");
    session.Status("xdotool key --clearmodifiers alt+d");
    session.Status("xdotool key ctrl+a BackSpace type --delay 2 '" + url + "'");
    session.Status("xdotool key Return");
    return TDesktopSession::WaitUntil([&] { return session.VisibleWindow(title) != 0; }, 20000);
}

// The browser window's process (the program's only child while it is open).
long WindowRssKb(const TDesktopSession& session) {
    const std::string child =
        session.Output("pgrep -P " + std::to_string(session.QuorvelPid()) + " | head -1");
    return child.empty() ? 0 : RssKb(std::stoi(child));
}

// The medians of the stage lines the browser process printed after line `from` of the log;
// `from` moves past them.
void PrintBrowserStages(const std::string& log, std::size_t& from) {
    static const std::string kPrefix = "web page stages (ms): ";
    std::map<std::string, std::vector<double>> stages;
    std::vector<std::string> order;
    std::istringstream lines(log);
    std::string line;
    for (std::size_t n = 0; std::getline(lines, line); ++n) {
        if (n < from || line.rfind(kPrefix, 0) != 0)
            continue;
        from = n + 1;
        std::istringstream parts(line.substr(kPrefix.size()));
        std::string part;
        while (std::getline(parts, part, ',')) {
            std::istringstream fields(part);
            std::string name;
            double ms = 0;
            if (!(fields >> name >> ms))
                continue;
            if (stages.find(name) == stages.end())
                order.push_back(name);
            stages[name].push_back(ms);
        }
    }
    if (order.empty()) {
        std::printf("  (the browser process printed no stages)\n");
        return;
    }
    std::printf("  browser process stages, median ms:");
    for (const std::string& name : order)
        std::printf(" %s %.0f", name.c_str(), bench::Median(stages[name]));
    std::printf("\n");
}

// The program's PNG writer on the newest picture of the folder, median of three, split
// into its stages.
void PrintPngStages(const std::string& folder) {
    std::filesystem::path newest;
    auto when = std::filesystem::file_time_type::min();
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.path().extension() == ".png" && entry.last_write_time() >= when) {
            newest = entry.path();
            when = entry.last_write_time();
        }
    if (newest.empty()) {
        std::printf("  (no PNG in %s)\n", folder.c_str());
        return;
    }
    const QImage image =
        QImage(QString::fromStdString(newest.string())).convertToFormat(QImage::Format_RGB32);
    if (image.isNull())
        return;
    std::vector<double> filter, compress, write;
    const std::string file = folder + "/stages.png.tmp";
    for (int i = 0; i < 3; ++i) {
        TPngStageTimes times;
        WritePNG({image.constBits(), image.width(), image.height(), image.bytesPerLine()}, file,
                 &times);
        filter.push_back(times.filterMs);
        compress.push_back(times.compressMs);
        write.push_back(times.writeMs);
    }
    std::filesystem::remove(file);
    std::printf("  PNG writer on that %dx%d picture, median ms: conversion %.0f, compression "
                "%.0f, write %.0f\n",
                image.width(), image.height(), bench::Median(filter), bench::Median(compress),
                bench::Median(write));
}

} // namespace

int main() {
    TDesktopSession session;
    TLoopbackHttp http(
        {{"/p4000", BandsPage("P4000", 4000)}, {"/p16000", BandsPage("P16000", 16000)}});
    const std::string out = session.SaveFolder();

    // Launch and idle memory with the full-screen area: the engine is not loaded.
    session.WriteSettings("path=" + out + "\nsound=1\narea=0\nsaveto=0\n");
    const std::vector<double> launches = bench::LaunchTimesMs(session, 10);
    std::printf("Launch to accepting commands (full screen area): %.1f ms median of %zu\n",
                bench::Median(launches), launches.size());
    if (!session.StartQuorvel({"/start"})) {
        std::printf("Quorvel did not start:\n%s\n", session.QuorvelLog().c_str());
        return 0;
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));
    std::printf("RSS idle, full screen area:            %7.1f MB\n",
                RssKb(session.QuorvelPid()) / 1024.0);
    session.StopQuorvel();

    // The web page area: the browser window opens at start.
    session.WriteSettings("path=" + out + "\nsound=1\narea=5\nsaveto=0\n");
    if (!session.StartQuorvel({"/start"}, {"QUORVEL_STAGE_TIMES=1"})) {
        std::printf("Quorvel did not start:\n%s\n", session.QuorvelLog().c_str());
        return 0;
    }
    unsigned long window = 0;
    TDesktopSession::WaitUntil([&] { return (window = session.VisibleWindow("Quorvel")) != 0; },
                               20000);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    std::printf(
        "RSS with the browser window open:      %7.1f MB, its process %7.1f MB (empty page)\n",
        RssKb(session.QuorvelPid()) / 1024.0, WindowRssKb(session) / 1024.0);

    const TRequest capture{TRequestType::CopyData, kCopyDataCommand, R"({"command":"capture"})"};
    std::size_t logLine = 0;
    for (const auto& [path, title, runs] :
         {std::tuple{"/p4000", "P4000", 5}, std::tuple{"/p16000", "P16000", 3}}) {
        if (!Open(session, window, http.Url(path), title)) {
            std::printf("%s did not open\n", title);
            continue;
        }
        window = session.VisibleWindow(title);
        const auto t = bench::Time(runs, [&] { SendToInstance(capture); });
        std::printf("Capture request to PNG, 1280x%s page: median %.0f ms, min %.0f, max %.0f "
                    "(%d runs)\n",
                    title + 1, t.medianMs, t.minMs, t.maxMs, runs);
        PrintBrowserStages(session.QuorvelLog(), logLine);
        PrintPngStages(out);
        std::printf("RSS with the window open after it:     %7.1f MB, its process %7.1f MB\n",
                    RssKb(session.QuorvelPid()) / 1024.0, WindowRssKb(session) / 1024.0);
    }

    session.Status("wmctrl -i -c " + std::to_string(window));
    TDesktopSession::WaitUntil([&] { return session.VisibleWindow("P16000") == 0; }, 10000);
    // The memory kept for captures goes back five seconds after the last one.
    std::this_thread::sleep_for(std::chrono::seconds(8));
    std::printf("RSS after the window closed:           %7.1f MB, %s\n",
                RssKb(session.QuorvelPid()) / 1024.0,
                WindowRssKb(session) == 0 ? "its process gone" : "its process still there");
    session.StopQuorvel();
    return 0;
}
