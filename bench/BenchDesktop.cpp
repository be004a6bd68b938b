#include "BenchDesktop.h"

#include "app/SingleInstance.h"
#include "sinks/PngWriter.h"
#include "sinks/TestImages.h"

#include <chrono>
#include <thread>

namespace quorvel::bench {

void ShowDesktopWallpaper(test::TDesktopSession& session) {
    const test::TTestImage wallpaper = test::MakeDesktopImage(1920, 1080);
    const std::string file = session.Root() + "/wallpaper.png";
    WritePNG(wallpaper.View(), file);
    session.Start({"display", "-window", "root", file}, "display.log");
    std::this_thread::sleep_for(std::chrono::seconds(2));
}

std::vector<double> LaunchTimesMs(test::TDesktopSession& session, int launches) {
    std::vector<double> times;
    const TRequest nothing{TRequestType::CopyData, 0, "{}"};
    for (int i = 0; i < launches; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const pid_t pid = session.Start({test::QuorvelBinary(), "/start"}, "launch.log");
        while (!SendToInstance(nothing) &&
               std::chrono::steady_clock::now() - start < std::chrono::seconds(10))
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
        session.Stop(pid);
    }
    return times;
}

} // namespace quorvel::bench
