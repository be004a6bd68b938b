// The program on a private headless sway (1920x1080, software renderer) against grim, the
// wlroots screenshot tool: the time from a JSON "capture" request to a complete PNG on
// disk, next to grim writing a PNG of the same output in the same run; and the drag
// overlay's time from the request until sway shows its window full screen. Prints figures;
// never fails. sway refuses to run as root: run it as another user, e.g.
//   setpriv --reuid=quorveltest --regid=quorveltest --init-groups build/bench/bench_wayland_capture

#include "BenchTiming.h"
#include "SwaySession.h"
#include "app/SingleInstance.h"

#include <QGuiApplication>
#include <QPainter>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <unistd.h>

using namespace quorvel;
using quorvel::test::TSwaySession;

namespace {

constexpr int kRuns = 20;
constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

// Something like a desktop: a gradient with a few flat windows and some text.
QImage DesktopPicture() {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient sky(0, 0, 0, kHeight);
    sky.setColorAt(0, QColor(0x20, 0x40, 0x70));
    sky.setColorAt(1, QColor(0x70, 0x90, 0xB0));
    p.fillRect(image.rect(), sky);
    for (int i = 0; i < 6; ++i) {
        const QRect window(120 + i * 260, 100 + i * 120, 640, 420);
        p.fillRect(window, QColor(0xF4, 0xF4, 0xF4));
        p.fillRect(window.left(), window.top(), window.width(), 28, QColor(0x30, 0x30, 0x38));
        p.setPen(Qt::black);
        for (int line = 0; line < 12; ++line)
            p.drawText(window.left() + 16, window.top() + 56 + line * 28,
                       QStringLiteral("Line %1 of some window text, 0123456789").arg(line));
    }
    return image;
}

void Row(const char* what, const bench::TTiming& t, const std::string& file) {
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(file, ec);
    std::printf("%-40s %9.1f %9.1f %9.1f %10ju\n", what, t.medianMs, t.minMs, t.maxMs,
                ec ? std::uintmax_t{0} : static_cast<std::uintmax_t>(bytes));
}

} // namespace

int main(int argc, char** argv) {
    // Text is drawn into the background picture; the programs under test get the session's
    // own platform.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (::geteuid() == 0) {
        std::printf("sway refuses to run as root: run this benchmark as another user.\n");
        return 0;
    }
    const QImage background = DesktopPicture();
    TSwaySession session(background, kWidth, kHeight);
    const std::string out = session.SaveFolder();
    session.WriteSettings("path=" + out + "\nsound=1\nappend=2\nmouse=0\nkey_command_shown=1\n");
    if (!session.StartQuorvel()) {
        std::printf("Quorvel did not start:\n%s\n", session.QuorvelLog().c_str());
        return 0;
    }
    std::printf("Capture of a %dx%d headless sway output to PNG, %d runs each after one "
                "warm-up (%u cores)\n",
                kWidth, kHeight, kRuns, std::thread::hardware_concurrency());
    std::printf("%-40s %9s %9s %9s %10s\n", "tool", "median ms", "min ms", "max ms", "bytes");
    const TRequest capture{TRequestType::CopyData, kCopyDataCommand, R"({"command":"capture"})"};
    const auto quorvel = bench::Time(kRuns, [&] { SendToInstance(capture); });
    Row("Quorvel (JSON request to PNG on disk)", quorvel, session.NewestCapture());
    const auto grim = bench::Time(kRuns, [&] { session.Status("grim " + out + "/grim.png"); });
    Row("grim", grim, out + "/grim.png");
    std::printf("Quorvel / grim: %.2f\n", quorvel.medianMs / grim.medianMs);
    session.Status(std::string(QUORVELCTL_BIN) + " --exit >/dev/null 2>&1");
    session.WaitUntil(
        [&] { return session.Ctl("--show").find("not running") != std::string::npos; }, 5000);

    // The drag overlay: from the request until the screen shows the frozen desktop dimmed
    // (grim polled: its own time bounds the resolution), then Escape.
    session.WriteSettings("path=" + out + "\nsound=1\narea=2\nkey_command_shown=1\n");
    if (!session.StartQuorvel()) {
        std::printf("Quorvel did not start again:\n%s\n", session.QuorvelLog().c_str());
        return 0;
    }
    std::vector<double> shown;
    for (int i = 0; i < 10; ++i) {
        const auto start = std::chrono::steady_clock::now();
        std::atomic<bool> answered = false;
        std::thread request([&] {
            SendToInstance(capture);
            answered = true;
        });
        const bool up = session.WaitUntil([&] { return session.ShowsDimmed(background); }, 10000);
        const auto end = std::chrono::steady_clock::now();
        session.WaitUntil(
            [&] {
                session.Status("wtype -k Escape 2>/dev/null");
                return answered.load();
            },
            5000);
        request.join();
        if (up)
            shown.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    std::printf("Drag overlay, request to the dimmed desktop on screen: %.1f ms median of %zu\n",
                shown.empty() ? 0.0 : bench::Median(shown), shown.size());
    return 0;
}
