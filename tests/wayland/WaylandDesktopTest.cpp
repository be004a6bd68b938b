// The program on a real Wayland desktop: a private headless sway with no X server, whose
// output shows a known picture. Captures are compared pixel for pixel with that picture and
// with what grim reads from the same output.

#include "SwaySession.h"

#include <QImage>
#include <QPoint>
#include <QRect>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <unistd.h>

using namespace quorvel::test;

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

class WaylandDesktop : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() == 0)
            GTEST_SKIP() << "sway refuses to run as root; scripts/test.sh runs these tests as "
                            "an unprivileged user";
    }

    static QImage Capture(const std::string& path) {
        return QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB32);
    }
};

// The first start says that this desktop gives programs no global key and names the
// command to bind; that command captures the monitor, the same pixels as the background
// and as grim, with the cursor asked for (there is no pointer device to draw). Areas the
// desktop cannot serve say so.
TEST_F(WaylandDesktop, FirstStartNamesTheCommandThatCapturesTheMonitorExactly) {
    const QImage background = PatternPicture(kWidth, kHeight);
    TSwaySession session(background, kWidth, kHeight);
    ASSERT_EQ(PixelDifferences(session.Grim(), background), 0) << "the desktop shows no picture";
    session.WriteSettings("area=0\nsaveto=0\nsound=1\nmouse=1\npath=" + session.SaveFolder() +
                          "\n");

    session.StartQuorvel(0); // the message holds the start up
    const std::string command = R"(quorvelctl '{"command":"capture"}')";
    ASSERT_TRUE(session.WaitUntil(
        [&] { return session.QuorvelLog().find(command) != std::string::npos; }, 10000))
        << session.QuorvelLog();
    EXPECT_NE(session.QuorvelLog().find("lets programs take no global key"), std::string::npos);
    // The message box has the keyboard; Enter closes it and the start goes on.
    ASSERT_TRUE(session.WaitUntil(
        [&] {
            session.Status("wtype -k Return 2>/dev/null");
            return session.QuorvelLog().find("quorvel: ready") != std::string::npos;
        },
        10000))
        << session.QuorvelLog();
    EXPECT_EQ(session.Setting("key_command_shown"), "1");

    ASSERT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    const std::string first = session.NewestCapture();
    ASSERT_FALSE(first.empty()) << session.QuorvelLog();
    EXPECT_EQ(PixelDifferences(Capture(first), background), 0);
    // Again, through the shared memory kept from the first capture.
    ASSERT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    const std::string second = session.NewestCapture();
    ASSERT_NE(second, first);
    EXPECT_EQ(PixelDifferences(Capture(second), session.Grim()), 0);
    ASSERT_EQ(session.Ctl("--exit"), "");

    // Told once: the next start shows no message. The window under the pointer is the
    // desktop's secret: the capture fails with a message that says so, and writes nothing.
    session.WriteSettings(
        "area=4\nsaveto=0\nsound=1\nkey_command_shown=1\npath=" + session.SaveFolder() + "\n");
    ASSERT_TRUE(session.WaitUntil(
        [&] { return session.Ctl("--show").find("not running") != std::string::npos; }, 5000));
    ASSERT_TRUE(session.StartQuorvel()) << session.QuorvelLog();
    std::atomic<bool> answered = false;
    std::thread ctl([&] {
        session.Ctl(R"({"command":"capture"})");
        answered = true;
    });
    const bool said = session.WaitUntil(
        [&] {
            return session.QuorvelLog().find("not available on this desktop") != std::string::npos;
        },
        10000);
    // The box shows a moment after its text is logged; Enter until it has gone.
    session.WaitUntil(
        [&] {
            session.Status("wtype -k Return 2>/dev/null");
            return answered.load();
        },
        10000);
    if (!answered)
        session.Status(std::string(QUORVELCTL_BIN) + " --exit >/dev/null 2>&1");
    ctl.join();
    EXPECT_TRUE(said) << session.QuorvelLog();
    EXPECT_EQ(session.NewestCapture(), second);
}

// The active window is the one sway has focused, taken as its content without sway's
// title bar and borders: every pixel of a one-colour floating window over a tiled one, at
// the window's size in physical pixels, at scale 1 and 2.
void ActiveWindowCaptureIsTheFocusedWindowsContent(int scale) {
    {
        const auto Capture = [](const std::string& path) {
            return QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB32);
        };
        const QImage background = PatternPicture(kWidth, kHeight);
        TSwaySession session(background, kWidth, kHeight, scale);
        session.Status("swaymsg 'default_border normal 3' >/dev/null; swaymsg "
                       "'for_window [app_id=\"solid-float\"] floating enable' >/dev/null");
        session.WriteSettings("area=3\nsaveto=0\nsound=1\nmouse=0\nkey_command_shown=1\npath=" +
                              session.SaveFolder() + "\n");
        ASSERT_TRUE(session.StartQuorvel()) << session.QuorvelLog();
        session.Start({QUORVEL_TEST_SOLID_BIN, "solid-tiled", "2040c0", "300", "200"}, "tiled.log");
        ASSERT_TRUE(session.WaitUntil(
            [&] {
                return session.Output("swaymsg -t get_tree").find("solid-tiled") !=
                       std::string::npos;
            },
            10000));
        session.Start({QUORVEL_TEST_SOLID_BIN, "solid-float", "ff8000", "120", "90"}, "float.log");
        // Shown once grim sees its colour; the focus comes with it.
        ASSERT_TRUE(session.WaitUntil(
            [&] {
                const QImage screen = session.Grim();
                return !screen.isNull() &&
                       screen.pixel(screen.width() / 2, screen.height() / 2) == qRgb(0xff, 0x80, 0);
            },
            10000));
        ASSERT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
        const std::string path = session.NewestCapture();
        ASSERT_FALSE(path.empty()) << session.QuorvelLog();
        QImage want(120 * scale, 90 * scale, QImage::Format_RGB32);
        want.fill(qRgb(0xff, 0x80, 0));
        EXPECT_EQ(PixelDifferences(Capture(path), want), 0);
        // The window's content on the screen has just that size: nothing of it was left
        // out, and none of sway's frame (not of its colour) taken in.
        const QImage screen = session.Grim();
        QRect seen;
        for (int y = 0; y < screen.height(); ++y)
            for (int x = 0; x < screen.width(); ++x)
                if ((screen.pixel(x, y) & 0xFFFFFF) == 0xff8000u)
                    seen |= QRect(x, y, 1, 1);
        EXPECT_EQ(seen.size(), want.size());
    }
}

TEST_F(WaylandDesktop, ActiveWindowCaptureIsTheFocusedWindowsContent) {
    ActiveWindowCaptureIsTheFocusedWindowsContent(1);
}

TEST_F(WaylandDesktop, ActiveWindowCaptureAtScaleTwoIsTheFocusedWindowsContent) {
    ActiveWindowCaptureIsTheFocusedWindowsContent(2);
}

// A picture that survives the encoder's losses: four plain quarters.
QImage QuartersPicture(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    const QRgb colours[4] = {qRgb(0xe0, 0x30, 0x30), qRgb(0x30, 0xc0, 0x40), qRgb(0x30, 0x50, 0xe0),
                             qRgb(0xf0, 0xf0, 0xe0)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, colours[(y >= height / 2) * 2 + (x >= width / 2)]);
    return image;
}

// The mean of the absolute channel differences between two pictures of one size; 255
// for different sizes.
double MeanDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.isNull())
        return 255;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                   std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * a.width() * a.height());
}

// An MP4 recording of the monitor: started and stopped by two capture requests, `during`
// run half way through. Returns the file once the encoder has finished it, and the time
// between the two requests.
std::string RecordMonitor(TSwaySession& session, int ms, double& recorded,
                          const std::function<void()>& during = {}) {
    session.WriteSettings("area=0\nsaveto=5\nsound=0\nmouse=0\nkey_command_shown=1\npath=" +
                          session.SaveFolder() + "\n");
    if (!session.StartQuorvel()) {
        ADD_FAILURE() << session.QuorvelLog();
        return {};
    }
    if (session.Ctl(R"({"command":"capture"})") != "1") {
        ADD_FAILURE() << session.QuorvelLog();
        return {};
    }
    const auto started = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(ms / 2));
    if (during)
        during();
    std::this_thread::sleep_until(started + std::chrono::milliseconds(ms));
    EXPECT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    recorded = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::string file;
    std::string duration;
    // Finished once ffprobe finds the index the encoder writes at the end.
    session.WaitUntil(
        [&] {
            file = session.NewestCapture();
            duration = file.empty() ? std::string()
                                    : session.Output("ffprobe -v error -show_entries "
                                                     "format=duration -of csv=p=0 '" +
                                                     file + "' 2>/dev/null");
            return !duration.empty();
        },
        15000);
    EXPECT_FALSE(duration.empty()) << session.QuorvelLog();
    return duration.empty() ? std::string() : file;
}

double Duration(const TSwaySession& session, const std::string& file) {
    const std::string text = session.Output(
        "ffprobe -v error -show_entries format=duration -of csv=p=0 '" + file + "' 2>/dev/null");
    return text.empty() ? -1 : std::stod(text);
}

// One frame of the video at `at` seconds from its start (negative: from its end).
QImage VideoFrame(const TSwaySession& session, const std::string& file, double at) {
    const std::string png = session.Root() + "/frame.png";
    const std::string seek = at < 0 ? "-sseof " + std::to_string(at) : "-ss " + std::to_string(at);
    session.Status("ffmpeg -v error " + seek + " -i '" + file + "' -frames:v 1 -y '" + png + "'");
    QImage frame(QString::fromStdString(png));
    std::remove(png.c_str());
    return frame.convertToFormat(QImage::Format_RGB32);
}

// Nothing moves on the desktop, so the compositor has no new frame to give: the video is
// still as long as the recording, at the output's size, and shows the background.
TEST_F(WaylandDesktop, StillDesktopRecordsAVideoAsLongAsTheRecording) {
    const QImage background = QuartersPicture(kWidth, kHeight);
    TSwaySession session(background, kWidth, kHeight);
    double recorded = 0;
    const std::string file = RecordMonitor(session, 3000, recorded);
    ASSERT_FALSE(file.empty());
    EXPECT_NEAR(Duration(session, file), recorded, 1.0);
    for (const double at : {0.2, 1.5, -0.2}) {
        SCOPED_TRACE("frame at " + std::to_string(at));
        EXPECT_LT(MeanDifference(VideoFrame(session, file, at), background), 3.0);
    }
}

// A window that opens during the recording is in the frames after it and not before.
TEST_F(WaylandDesktop, ChangingDesktopRecordsTheChange) {
    const QImage background = QuartersPicture(kWidth, kHeight);
    TSwaySession session(background, kWidth, kHeight);
    double recorded = 0;
    const std::string file = RecordMonitor(session, 4000, recorded, [&] {
        session.Start({QUORVEL_TEST_SOLID_BIN, "solid-tiled", "ff8000", "300", "200"}, "solid.log");
        // Tiled alone, it covers the whole output.
        session.WaitUntil(
            [&] {
                const QImage screen = session.Grim();
                return !screen.isNull() && screen.pixel(10, 10) == qRgb(0xff, 0x80, 0);
            },
            5000);
    });
    ASSERT_FALSE(file.empty());
    EXPECT_NEAR(Duration(session, file), recorded, 1.0);
    EXPECT_LT(MeanDifference(VideoFrame(session, file, 0.2), background), 3.0);
    QImage orange(kWidth, kHeight, QImage::Format_RGB32);
    orange.fill(qRgb(0xff, 0x80, 0));
    EXPECT_LT(MeanDifference(VideoFrame(session, file, -0.2), orange), 3.0);
}

// The main window opens on sway when asked to show, and, focused, is the active window: its
// capture is exactly its pixels where sway put it (which Qt itself does not know).
TEST_F(WaylandDesktop, MainWindowOpensAndIsCapturedAsTheActiveWindow) {
    const QImage background = PatternPicture(kWidth, kHeight);
    TSwaySession session(background, kWidth, kHeight);
    session.WriteSettings("area=3\nsaveto=0\nsound=0\nmouse=0\nkey_command_shown=1\npath=" +
                          session.SaveFolder() + "\n");
    ASSERT_TRUE(session.StartQuorvel()) << session.QuorvelLog();
    ASSERT_EQ(session.Ctl("--show"), "");
    ASSERT_TRUE(session.WaitUntil(
        [&] {
            const std::string tree = session.Output("swaymsg -t get_tree 2>/dev/null");
            const std::size_t app = tree.find("\"app_id\": \"quorvel\"");
            return app != std::string::npos &&
                   tree.rfind("\"focused\": true", app) > tree.rfind("\"focused\": false", app);
        },
        10000))
        << session.Output("swaymsg -t get_tree");
    // Drawn by now, and not changing.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    const QImage shot = Capture(session.NewestCapture());
    ASSERT_GE(shot.width(), 100);
    ASSERT_GE(shot.height(), 100);
    ASSERT_TRUE(shot.width() < kWidth || shot.height() < kHeight) << "the window, not the output";
    const QImage screen = session.Grim();
    bool found = false;
    QPoint at;
    for (int y = 0; !found && y + shot.height() <= screen.height(); ++y)
        for (int x = 0; !found && x + shot.width() <= screen.width(); ++x) {
            found = (screen.pixel(x, y) & 0xFFFFFF) == (shot.pixel(0, 0) & 0xFFFFFF) &&
                    PixelDifferences(screen.copy(x, y, shot.width(), shot.height()), shot) == 0;
            at = QPoint(x, y);
        }
    ASSERT_TRUE(found) << "the capture is not the window's pixels on the screen";
    // The window's own pixels, not the desktop where Qt thinks the window is.
    EXPECT_GT(PixelDifferences(shot, background.copy(QRect(at, shot.size()))),
              shot.width() * shot.height() / 2);
}

// A Wayland desktop that is not sway (here: sway's socket not named) tells nothing of its
// windows: the active window says it is not available, and nothing is written.
TEST_F(WaylandDesktop, ActiveWindowElsewhereIsNotAvailableOnThisDesktop) {
    const QImage background = PatternPicture(kWidth, kHeight);
    TSwaySession session(background, kWidth, kHeight);
    session.WriteSettings(
        "area=3\nsaveto=0\nsound=0\nkey_command_shown=1\npath=" + session.SaveFolder() + "\n");
    const std::string socket = std::getenv("SWAYSOCK");
    ::unsetenv("SWAYSOCK");
    const bool started = session.StartQuorvel();
    ::setenv("SWAYSOCK", socket.c_str(), 1);
    ASSERT_TRUE(started) << session.QuorvelLog();
    std::atomic<bool> answered = false;
    std::thread ctl([&] {
        session.Ctl(R"({"command":"capture"})");
        answered = true;
    });
    const bool said = session.WaitUntil(
        [&] {
            return session.QuorvelLog().find("active window is not available on this desktop") !=
                   std::string::npos;
        },
        10000);
    session.WaitUntil(
        [&] {
            session.Status("wtype -k Return 2>/dev/null");
            return answered.load();
        },
        10000);
    if (!answered)
        session.Status(std::string(QUORVELCTL_BIN) + " --exit >/dev/null 2>&1");
    ctl.join();
    EXPECT_TRUE(said) << session.QuorvelLog();
    EXPECT_EQ(session.NewestCapture(), "");
}

// At a scale factor of 2 a capture still holds every physical pixel of the output.
TEST_F(WaylandDesktop, CaptureAtScaleTwoHoldsThePhysicalPixels) {
    const QImage background = PatternPicture(kWidth, kHeight);
    TSwaySession session(background, kWidth, kHeight, 2);
    session.WriteSettings("area=0\nsaveto=0\nsound=1\nmouse=0\nkey_command_shown=1\npath=" +
                          session.SaveFolder() + "\n");
    ASSERT_TRUE(session.StartQuorvel()) << session.QuorvelLog();
    ASSERT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    const QImage shot = Capture(session.NewestCapture());
    EXPECT_EQ(shot.width(), kWidth);
    EXPECT_EQ(shot.height(), kHeight);
    EXPECT_EQ(PixelDifferences(shot, session.Grim()), 0);
}

// A drag over the frozen desktop captures exactly the dragged pixels. The compositor has
// no pointer: a virtual one drags, and its cursor, drawn into the screen, stays outside
// the compared picture (the overlay froze the desktop before it came).
TEST_F(WaylandDesktop, DragSelectionCapturesTheDraggedPixels) {
    const QImage background = PatternPicture(kWidth, kHeight);
    TSwaySession session(background, kWidth, kHeight);
    session.WriteSettings("area=2\nsaveto=0\nsound=1\nmouse=0\nkey_command_shown=1\npath=" +
                          session.SaveFolder() + "\n");
    ASSERT_TRUE(session.StartQuorvel()) << session.QuorvelLog();
    std::string reply;
    std::thread ctl([&] { reply = session.Ctl(R"({"command":"capture"})"); });
    // The overlay is up once sway shows a full-screen window.
    const bool shown =
        session.WaitUntil([&] { return session.FullScreenWindow("quorvel"); }, 10000);
    if (shown)
        session.Status(std::string(QUORVEL_TEST_POINTER_BIN) + " " + std::to_string(kWidth) + " " +
                       std::to_string(kHeight) + " 100 80 300 200");
    const bool captured = session.WaitUntil([&] { return !session.NewestCapture().empty(); }, 5000);
    if (!captured)
        session.Status("wtype -k Escape 2>/dev/null");
    ctl.join();
    ASSERT_TRUE(shown) << session.QuorvelLog();
    ASSERT_TRUE(captured) << session.QuorvelLog();
    EXPECT_EQ(reply, "1");
    EXPECT_EQ(
        PixelDifferences(Capture(session.NewestCapture()), background.copy(100, 80, 200, 120)), 0);
}

// The desktop does not say where the pointer is: the colour picker freezes the desktop
// full screen and the clicked pixel's colour goes on the clipboard, exactly.
TEST_F(WaylandDesktop, ColourPickerTakesTheClickedPixelsExactColour) {
    const QImage background = PatternPicture(kWidth, kHeight);
    TSwaySession session(background, kWidth, kHeight);
    session.WriteSettings(
        "area=6\nsaveto=0\nsound=1\nkey_command_shown=1\npath=" + session.SaveFolder() + "\n");
    ASSERT_TRUE(session.StartQuorvel()) << session.QuorvelLog();
    std::string reply;
    std::thread ctl([&] { reply = session.Ctl(R"({"command":"capture"})"); });
    const bool shown =
        session.WaitUntil([&] { return session.FullScreenWindow("quorvel"); }, 10000);
    if (shown)
        session.Status(std::string(QUORVEL_TEST_POINTER_BIN) + " " + std::to_string(kWidth) + " " +
                       std::to_string(kHeight) + " 211 97 211 97");
    else
        session.Status("wtype -k Escape 2>/dev/null");
    ctl.join();
    ASSERT_TRUE(shown) << session.QuorvelLog();
    EXPECT_EQ(reply, "1");
    const QRgb want = background.pixel(211, 97);
    char code[8];
    std::snprintf(code, sizeof code, "%02X%02X%02X", qRed(want), qGreen(want), qBlue(want));
    std::string pasted;
    session.WaitUntil(
        [&] {
            pasted = session.Output("wl-paste --no-newline 2>/dev/null");
            return pasted == code;
        },
        5000);
    EXPECT_EQ(pasted, code);
}

} // namespace
