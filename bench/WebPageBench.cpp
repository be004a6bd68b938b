// The web page area on a private 1920x1080 X server, its pages served over a loopback HTTP
// server: the time from a JSON "capture" request to the PNG on disk for a loaded
// 1280x4000 page and the largest page that renders whole (1280x16000); the program's
// memory idle, with the browser window open and after it has closed; and the time from
// launch to accepting commands with the full-screen area. Prints figures; never fails.

#include "BenchDesktop.h"
#include "BenchTiming.h"
#include "DesktopSession.h"
#include "LoopbackHttp.h"
#include "app/SingleInstance.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

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
    if (!session.StartQuorvel({"/start"})) {
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
