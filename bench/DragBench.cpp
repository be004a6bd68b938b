// The drag selection's picture work per pointer move at 1920x1080 and 3840x2160: the
// rewrite of the displayed picture along a drag path (median and worst), and the one-time
// freeze (dimmed copy) when the overlay opens. Prints figures; never fails.

#include "BenchDesktop.h"
#include "BenchTiming.h"
#include "DesktopSession.h"
#include "app/SingleInstance.h"
#include "capture/SelectionImage.h"
#include "platform/Platform.h"
#include "sinks/TestImages.h"

#include <thread>

#include <QImage>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace quorvel;

namespace {

void Run(int width, int height) {
    const test::TTestImage desktop = test::MakeDesktopImage(width, height);
    const QImage screen(reinterpret_cast<const uchar*>(desktop.pixels.data()), width, height,
                        width * 4, QImage::Format_RGB32);
    std::vector<double> freeze;
    for (int i = 0; i < 5; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        TSelectionImage image(screen);
        freeze.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count());
    }
    TSelectionImage image(screen);
    // A drag from near the top-left corner to near the bottom-right one in steps of a few
    // pixels, as a pointer moves, then back again.
    std::vector<double> moves;
    const QPoint start(width / 20, height / 20);
    for (int pass = 0; pass < 2; ++pass)
        for (int step = 1; step <= 600; ++step) {
            const int s = pass == 0 ? step : 601 - step;
            const QPoint end(start.x() + s * (width - 2 * start.x()) / 600,
                             start.y() + s * (height - 2 * start.y()) / 600);
            const auto t0 = std::chrono::steady_clock::now();
            image.SetSelection(QRect(start, end));
            moves.push_back(
                std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0)
                    .count());
        }
    std::printf("%4dx%-4d  freeze (dimmed copy) %6.1f ms   per move: median %7.1f us, worst %7.1f "
                "us (%zu moves)\n",
                width, height, bench::Median(freeze), bench::Median(moves),
                *std::max_element(moves.begin(), moves.end()), moves.size());
}

} // namespace

// From the capture request to the dimmed overlay on a private 1920x1080 screen: a pixel of
// the screen is read every 2 ms until it shows the overlay's dimming (reading it more often
// would slow the X server the overlay is waiting for).
void OverlayLatency() {
    test::TDesktopSession session;
    bench::ShowDesktopWallpaper(session);
    session.WriteSettings("path=" + session.SaveFolder() + "\nsound=1\narea=2\n");
    if (!session.StartQuorvel({"/start"})) {
        std::printf("Quorvel did not start\n");
        return;
    }
    TPlatform& platform = Platform();
    const TRect probe{1900, 1060, 1901, 1061};
    const QRgb plain = platform.GrabScreen(probe).pixel(0, 0);
    std::vector<double> latencies;
    for (int run = 0; run < 11; ++run) {
        const auto start = std::chrono::steady_clock::now();
        std::thread request([] {
            SendToInstance({TRequestType::CopyData, kCopyDataCommand, R"({"command":"capture"})"});
        });
        while (platform.GrabScreen(probe).pixel(0, 0) == plain &&
               std::chrono::steady_clock::now() - start < std::chrono::seconds(5))
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        if (run > 0) // the first run pays for starting the overlay machinery once
            latencies.push_back(ms);
        session.Status("xdotool key Escape");
        request.join();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    std::printf("Capture request to overlay on screen (1920x1080): median %.1f ms, worst %.1f ms "
                "(%zu runs)\n",
                bench::Median(latencies), *std::max_element(latencies.begin(), latencies.end()),
                latencies.size());
}

int main() {
    std::printf("Drag selection picture work\n");
    Run(1920, 1080);
    Run(3840, 2160);
    OverlayLatency();
    return 0;
}
