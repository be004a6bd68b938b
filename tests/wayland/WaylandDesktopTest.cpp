// The program on a real Wayland desktop: a private headless sway with no X server, whose
// output shows a known picture. Captures are compared pixel for pixel with that picture and
// with what grim reads from the same output.

#include "SwaySession.h"

#include <QImage>
#include <QPoint>
#include <QRect>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace quorvel::test;

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

// The virtual pointer presses at the first point, moves to the second and lets go
// ("x1 y1 x2 y2", output pixels).
void Drag(const TSwaySession& session, const std::string& points) {
    session.Status(std::string(QUORVEL_TEST_POINTER_BIN) + " " + std::to_string(kWidth) + " " +
                   std::to_string(kHeight) + " " + points);
}

// Asks for a capture (the drag selection chosen) and, once the overlay shows the desktop
// dimmed, drags over it; Escape ends an overlay the drag left open. `reply` is the
// request's answer. False when the overlay never showed.
bool DragSelect(const TSwaySession& session, const QImage& background, const std::string& points,
                std::string& reply) {
    std::atomic<bool> answered = false;
    std::thread ctl([&] {
        reply = session.Ctl(R"({"command":"capture"})");
        answered = true;
    });
    const bool shown = session.WaitUntil([&] { return session.ShowsDimmed(background); }, 10000);
    if (shown)
        Drag(session, points);
    if (!session.WaitUntil([&] { return answered.load(); }, 5000))
        session.Status("wtype -k Escape 2>/dev/null");
    ctl.join();
    return shown;
}

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
// and as grim, with the cursor asked for (there is no pointer device to draw).
TEST_F(WaylandDesktop, FirstStartNamesTheCommandThatCapturesTheMonitorExactly) {
    const QImage background = PatternPicture(kWidth, kHeight);
    TSwaySession session(background, kWidth, kHeight);
    ASSERT_EQ(PixelDifferences(session.Grim(), background), 0) << "the desktop shows no picture";
    session.WriteSettings("area=0\nsaveto=0\nsound=1\nmouse=1\npath=" + session.SaveFolder() +
                          "\n");

    // The message comes once the program is up; the command it names works while it shows.
    ASSERT_TRUE(session.StartQuorvel()) << session.QuorvelLog();
    const std::string command = R"(quorvelctl '{"command":"capture"}')";
    ASSERT_TRUE(session.WaitUntil(
        [&] { return session.QuorvelLog().find(command) != std::string::npos; }, 10000))
        << session.QuorvelLog();
    EXPECT_NE(session.QuorvelLog().find("lets programs take no global key"), std::string::npos);
    EXPECT_EQ(session.Setting("key_command_shown"), "1");
    ASSERT_TRUE(
        session.WaitUntil([&] { return PixelDifferences(session.Grim(), background) > 0; }, 10000));
    ASSERT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    const std::string first = session.NewestCapture();
    ASSERT_FALSE(first.empty()) << session.QuorvelLog();
    EXPECT_EQ(PixelDifferences(Capture(first), session.Grim()), 0); // the message in it
    // The message box has the keyboard; Enter closes it.
    ASSERT_TRUE(session.WaitUntil(
        [&] {
            session.Status("wtype -k Return 2>/dev/null");
            return PixelDifferences(session.Grim(), background) == 0;
        },
        10000));
    // Again, through the shared memory kept from the first capture.
    ASSERT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    const std::string second = session.NewestCapture();
    ASSERT_NE(second, first);
    EXPECT_EQ(PixelDifferences(Capture(second), session.Grim()), 0);
    ASSERT_EQ(session.Ctl("--exit"), "");

    // Told once: the next start shows no message and is ready at once.
    ASSERT_TRUE(session.WaitUntil(
        [&] { return session.Ctl("--show").find("not running") != std::string::npos; }, 5000));
    ASSERT_TRUE(session.StartQuorvel()) << session.QuorvelLog();
    EXPECT_EQ(session.QuorvelLog().find("lets programs take no global key"), std::string::npos);
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

// An MP4 recording of the monitor (or of the area the settings name): started and stopped
// by two capture requests, `during` run half way through. Returns the file once the encoder has
// finished it, and the time between the two requests.
std::string RecordMonitor(TSwaySession& session, int ms, double& recorded,
                          const std::function<void()>& during = {},
                          const std::string& area = "area=0\n") {
    session.WriteSettings(area + "saveto=5\nsound=0\nmouse=0\nkey_command_shown=1\npath=" +
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

// Where the desktop shares its screen only through its portal (GNOME, KDE; asked for here
// on sway), a recording takes the portal's PipeWire stream: a screen that does not change
// gives a video as long as the recording, a change shows, and the desktop's permission is
// kept and handed back, so that it asks once. A user who stops sharing from the desktop
// ends the recording with a playable file and a word why.
TEST_F(WaylandDesktop, ASharedScreenIsRecordedAndTheDesktopAsksOnce) {
    const QImage before = QuartersPicture(kWidth, kHeight);
    QImage after(kWidth, kHeight, QImage::Format_RGB32);
    after.fill(qRgb(0xff, 0x80, 0));
    TSwaySession session(PatternPicture(kWidth, kHeight), kWidth, kHeight);
    const std::string shared = session.Root() + "/shared/screen.png";
    std::filesystem::create_directories(session.Root() + "/shared");
    ASSERT_TRUE(before.save(QString::fromStdString(shared)));
    ASSERT_TRUE(session.StartScreenCastService(QUORVEL_TEST_SCREENCAST_PORTAL_BIN, shared));
    ::setenv("QUORVEL_RECORD_FROM", "portal", 1);
    double recorded = 0;
    const std::string file = RecordMonitor(session, 4000, recorded, [&] {
        after.save(QString::fromStdString(shared + ".new.png"));
        std::filesystem::rename(shared + ".new.png", shared);
    });
    ASSERT_FALSE(file.empty());
    EXPECT_NEAR(Duration(session, file), recorded, 1.0);
    EXPECT_LT(MeanDifference(VideoFrame(session, file, 0.2), before), 3.0);
    EXPECT_LT(MeanDifference(VideoFrame(session, file, -0.2), after), 3.0);
    const std::string portalLog = session.Root() + "/portal.log";
    EXPECT_EQ(session.Output("grep select " + portalLog), "select cursor=1 persist=2 token=\n");
    EXPECT_EQ(session.Setting("screencast_token"), "permission-1");

    ASSERT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    std::ofstream(session.Root() + "/shared/stop").put('\n');
    EXPECT_TRUE(session.WaitUntil(
        [&] {
            return session.QuorvelLog().find("stopped sharing the screen") != std::string::npos;
        },
        10000))
        << session.QuorvelLog();
    EXPECT_EQ(session.Output("grep select " + portalLog + " | tail -1"),
              "select cursor=1 persist=2 token=permission-1\n");
    std::string second;
    EXPECT_TRUE(session.WaitUntil(
        [&] {
            second = session.NewestCapture();
            return second != file && Duration(session, second) > 1.0;
        },
        10000));
    EXPECT_EQ(session.Setting("screencast_token"), "permission-2");
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

// With a sound server running, the recording carries its sound, and the picture keeps the
// time between the two requests.
TEST_F(WaylandDesktop, RecordingCarriesTheSoundServersSound) {
    const QImage background = QuartersPicture(kWidth, kHeight);
    TSwaySession session(background, kWidth, kHeight);
    ASSERT_TRUE(session.StartSoundServer()) << "pulseaudio did not start";
    double recorded = 0;
    const std::string file = RecordMonitor(session, 3000, recorded, {}, "area=0\naudio=1\n");
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(session.Output("ffprobe -v error -select_streams a -show_entries stream=codec_name "
                             "-of csv=p=0 '" +
                             file + "'"),
              "aac\n");
    const std::string video = session.Output("ffprobe -v error -select_streams v -show_entries "
                                             "stream=duration -of csv=p=0 '" +
                                             file + "'");
    const std::string audio = session.Output("ffprobe -v error -select_streams a -show_entries "
                                             "stream=duration -of csv=p=0 '" +
                                             file + "'");
    EXPECT_NEAR(std::atof(video.c_str()), recorded, 1.0) << "audio " << audio;
}

// A region recording follows the frame: dragged by its header from one quarter of the
// screen to another while it records, the video shows the first quarter, then the other.
TEST_F(WaylandDesktop, RegionRecordingFollowsTheFrame) {
    const QImage background = QuartersPicture(kWidth, kHeight);
    TSwaySession session(background, kWidth, kHeight);
    constexpr int left = 40, top = 20, dx = kWidth / 2, dy = kHeight / 2;
    double recorded = 0;
    const std::string file = RecordMonitor(
        session, 4000, recorded,
        [&] {
            session.Status(std::string(QUORVEL_TEST_POINTER_BIN) + " " + std::to_string(kWidth) +
                           " " + std::to_string(kHeight) + " " + std::to_string(left + 150) + " " +
                           std::to_string(top + 1) + " " + std::to_string(left + 150 + dx) + " " +
                           std::to_string(top + 1 + dy));
        },
        "area=1\nleft=" + std::to_string(left) + "\ntop=" + std::to_string(top) +
            "\nwidth=200\nheight=120\n");
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(session.Setting("left"), std::to_string(left + dx)) << session.QuorvelLog();
    const QImage first = VideoFrame(session, file, 0.2);
    EXPECT_EQ(first.size(), QSize(200, 120));
    QImage want(first.size(), QImage::Format_RGB32);
    want.fill(background.pixel(0, 0));
    EXPECT_LT(MeanDifference(first, want), 3.0);
    want.fill(background.pixel(kWidth - 1, kHeight - 1));
    EXPECT_LT(MeanDifference(VideoFrame(session, file, -0.2), want), 3.0);
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

// The window under the pointer: sway tells no client where the pointer is, so the capture
// finds it by covering the output for a moment; the window it stands over is taken whole,
// as the pointer moves from one window to the other.
TEST_F(WaylandDesktop, WindowUnderThePointerIsCapturedWhole) {
    const QImage background = PatternPicture(kWidth, kHeight);
    TSwaySession session(background, kWidth, kHeight);
    session.WriteSettings("area=4\nsaveto=0\nsound=0\nmouse=0\nkey_command_shown=1\npath=" +
                          session.SaveFolder() + "\n");
    ASSERT_TRUE(session.StartQuorvel()) << session.QuorvelLog();
    // One after the other, so that sway tiles them in that order, left and right.
    const auto shows = [&](int x, QRgb colour) {
        return session.WaitUntil(
            [&] {
                const QImage screen = session.Grim();
                return !screen.isNull() && screen.pixel(x, kHeight / 2) == colour;
            },
            10000);
    };
    session.Start({QUORVEL_TEST_SOLID_BIN, "solid-left", "2040c0", "100", "100"}, "left.log");
    ASSERT_TRUE(shows(kWidth / 2, qRgb(0x20, 0x40, 0xc0)));
    session.Start({QUORVEL_TEST_SOLID_BIN, "solid-right", "ff8000", "100", "100"}, "right.log");
    ASSERT_TRUE(shows(kWidth * 3 / 4, qRgb(0xff, 0x80, 0)));
    // The two windows share the output side by side; the pointer's cursor, which headless
    // sway draws into the screen itself, is allowed for.
    const auto expectWindow = [&](int x, QRgb colour) {
        const pid_t pointer =
            session.Start({QUORVEL_TEST_POINTER_BIN, std::to_string(kWidth),
                           std::to_string(kHeight), std::to_string(x), "400", "hold"},
                          "pointer-" + std::to_string(x) + ".log");
        ASSERT_TRUE(session.WaitUntil(
            [&] {
                return session.Output("cat " + session.Root() + "/pointer-" + std::to_string(x) +
                                      ".log") == "holding\n";
            },
            5000));
        const std::string before = session.NewestCapture();
        ASSERT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
        const std::string path = session.NewestCapture();
        ::kill(pointer, SIGTERM);
        ASSERT_NE(path, before) << session.QuorvelLog();
        const QImage shot = Capture(path);
        EXPECT_EQ(shot.size(), QSize(kWidth / 2, kHeight));
        QImage want(shot.size(), QImage::Format_RGB32);
        want.fill(colour);
        EXPECT_LT(PixelDifferences(shot, want), 32 * 32);
        EXPECT_EQ(shot.pixel(10, 10), colour);
    };
    expectWindow(kWidth * 3 / 4, qRgb(0xff, 0x80, 0));
    expectWindow(kWidth / 4, qRgb(0x20, 0x40, 0xc0));
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
    const bool shown = DragSelect(session, background, "100 80 300 200", reply);
    const bool captured = !session.NewestCapture().empty();
    ASSERT_TRUE(shown) << session.QuorvelLog();
    ASSERT_TRUE(captured) << session.QuorvelLog();
    EXPECT_EQ(reply, "1");
    EXPECT_EQ(
        PixelDifferences(Capture(session.NewestCapture()), background.copy(100, 80, 200, 120)), 0);
}

// The desktop does not say where the pointer is: the colour picker freezes the desktop
// full screen, under a crosshair, and the clicked pixel's colour goes on the clipboard,
// exactly.
TEST_F(WaylandDesktop, ColourPickerTakesTheClickedPixelsExactColour) {
    const QImage background = PatternPicture(kWidth, kHeight);
    TSwaySession session(background, kWidth, kHeight);
    session.WriteSettings(
        "area=6\nsaveto=0\nsound=1\nkey_command_shown=1\npath=" + session.SaveFolder() + "\n");
    ASSERT_TRUE(session.StartQuorvel()) << session.QuorvelLog();
    // A pointer parked in a corner shows the desktop's arrow there; the frozen desktop is
    // up once the pointer shows the picker's crosshair instead.
    const pid_t parked = session.Start({QUORVEL_TEST_POINTER_BIN, std::to_string(kWidth),
                                        std::to_string(kHeight), "600", "440", "hold"},
                                       "parked.log");
    const QRect corner(590, 430, 40, 40);
    QImage arrow;
    ASSERT_TRUE(session.WaitUntil(
        [&] {
            arrow = session.Grim().copy(corner);
            return PixelDifferences(arrow, background.copy(corner)) > 0;
        },
        5000));
    std::string reply;
    std::thread ctl([&] { reply = session.Ctl(R"({"command":"capture"})"); });
    const bool shown = session.WaitUntil(
        [&] {
            const QImage now = session.Grim().copy(corner);
            return PixelDifferences(now, arrow) > 0 &&
                   PixelDifferences(now, background.copy(corner)) > 0;
        },
        10000);
    ::kill(parked, SIGTERM);
    if (shown)
        Drag(session, "211 97 211 97");
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

// The region frame stands where its settings say as a surface of the desktop: the screen
// shows through its hole, a capture holds exactly the background under the hole (never the
// frame), a drag on its header moves it, the arrows move it pixel by pixel once a click
// gave it the keyboard (and again and again while one is held), Enter captures its new
// place, the header's menu and the border resize it and Escape puts it away. At a scale
// factor of 2 the frame stands on an odd physical pixel all the same.
class WaylandRegionFrame : public WaylandDesktop, public ::testing::WithParamInterface<int> {};

TEST_P(WaylandRegionFrame, CapturesThePixelsUnderItsHoleWhereverItIsMoved) {
    const int scale = GetParam();
    const QImage background = PatternPicture(kWidth, kHeight);
    TSwaySession session(background, kWidth, kHeight, scale);
    int left = 101, top = 61;
    constexpr int w = 200, h = 120;
    const int header = 25 * scale;
    session.WriteSettings("area=1\nsaveto=0\nsound=1\nmouse=0\nkey_command_shown=1\nleft=" +
                          std::to_string(left) + "\ntop=" + std::to_string(top) +
                          "\nwidth=200\nheight=120\npath=" + session.SaveFolder() + "\n");
    ASSERT_TRUE(session.StartQuorvel()) << session.QuorvelLog();
    const auto hole = [&] { return QRect(left + 6, top + header + 6, w, h); };
    // The frame is up once the dark header shows at the stored place.
    const auto frameAt = [&](const QImage& screen) {
        return screen.pixel(left + 212 - 3, top + 2) == qRgb(64, 0, 0) &&
               screen.pixel(left + 2, top + header + 20) !=
                   background.pixel(left + 2, top + header + 20);
    };
    QImage screen;
    ASSERT_TRUE(session.WaitUntil(
        [&] {
            screen = session.Grim();
            return frameAt(screen);
        },
        10000))
        << session.QuorvelLog();
    EXPECT_EQ(PixelDifferences(screen.copy(hole()), background.copy(hole())), 0);
    ASSERT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    const std::string first = session.NewestCapture();
    EXPECT_EQ(PixelDifferences(Capture(first), background.copy(hole())), 0) << first;

    // A drag on the header's top row moves the frame by the pointer's way; the pointer (and
    // the cursor the compositor draws) ends there, above the hole.
    const int dx = -20, dy = 10;
    session.Status(std::string(QUORVEL_TEST_POINTER_BIN) + " " + std::to_string(kWidth) + " " +
                   std::to_string(kHeight) + " " + std::to_string(left + 150) + " " +
                   std::to_string(top + 1) + " " + std::to_string(left + 150 + dx) + " " +
                   std::to_string(top + 1 + dy));
    left += dx;
    top += dy;
    EXPECT_TRUE(session.WaitUntil(
        [&] {
            return session.Setting("left") == std::to_string(left) &&
                   session.Setting("top") == std::to_string(top);
        },
        5000))
        << session.Setting("left") << "," << session.Setting("top") << "\n"
        << session.QuorvelLog();
    ASSERT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    const std::string second = session.NewestCapture();
    ASSERT_NE(second, first);
    EXPECT_EQ(PixelDifferences(Capture(second), background.copy(hole())), 0);

    // The click gave the frame the keyboard: three steps right, two down, then Enter.
    // (wtype waits a moment before it goes: the compositor drops the keys of a virtual
    // keyboard that has gone before they were handled.)
    session.Status("wtype -s 100 -k Right -k Right -k Right -k Down -k Down -s 300 2>/dev/null");
    left += 3;
    top += 2;
    EXPECT_TRUE(session.WaitUntil(
        [&] {
            return session.Setting("left") == std::to_string(left) &&
                   session.Setting("top") == std::to_string(top);
        },
        5000))
        << session.Setting("left") << "," << session.Setting("top");
    // A held arrow repeats (the first key of a new virtual keyboard acts on its release).
    session.Status("wtype -s 100 -k Right -P Left -s 1500 -p Left -s 300 2>/dev/null");
    const int heldFrom = left + 1;
    left = std::atoi(session.Setting("left").c_str());
    EXPECT_GT(heldFrom - left, 5) << "a held arrow moved the frame by " << heldFrom - left;
    EXPECT_EQ(session.Setting("top"), std::to_string(top));
    session.Status("wtype -s 100 -k Return -s 300 2>/dev/null");
    ASSERT_TRUE(session.WaitUntil([&] { return session.NewestCapture() != second; }, 5000))
        << session.QuorvelLog();
    EXPECT_EQ(PixelDifferences(Capture(session.NewestCapture()), background.copy(hole())), 0);
    screen = session.Grim();
    EXPECT_TRUE(frameAt(screen));
    EXPECT_EQ(PixelDifferences(screen.copy(hole()), background.copy(hole())), 0);

    // The header's menu opens at the pointer, a surface of its own; its first entry gives
    // the hole the first preset's size.
    const auto click = [&](int x, int y, const char* button) {
        session.Status(std::string(QUORVEL_TEST_POINTER_BIN) + " " + std::to_string(kWidth) + " " +
                       std::to_string(kHeight) + " " + std::to_string(x) + " " + std::to_string(y) +
                       " " + std::to_string(x) + " " + std::to_string(y) + button);
    };
    click(left + 150, top + 1, " right");
    click(left + 150 + 20 * scale, top + 1 + 12 * scale, "");
    EXPECT_TRUE(session.WaitUntil(
        [&] { return session.Setting("width") == "320" && session.Setting("height") == "240"; },
        5000))
        << session.Setting("width") << "x" << session.Setting("height");

    // A drag on the bottom-right corner of the border resizes the hole.
    const int right = left + 320 + 12, bottom = top + header + 240 + 12;
    session.Status(std::string(QUORVEL_TEST_POINTER_BIN) + " " + std::to_string(kWidth) + " " +
                   std::to_string(kHeight) + " " + std::to_string(right - 2) + " " +
                   std::to_string(bottom - 2) + " " + std::to_string(right - 22) + " " +
                   std::to_string(bottom - 12));
    EXPECT_TRUE(session.WaitUntil(
        [&] { return session.Setting("width") == "300" && session.Setting("height") == "230"; },
        5000))
        << session.Setting("width") << "x" << session.Setting("height");
    ASSERT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    const QRect resized(left + 6, top + header + 6, 300, 230);
    EXPECT_EQ(PixelDifferences(Capture(session.NewestCapture()), background.copy(resized)), 0);

    // The menu's "Setting" opens the size dialog, which gets the keys (the frame lets go of
    // them while it is open): a width typed and Enter apply it; Escape closes the dialog,
    // and a click gives the frame the keys again.
    click(left + 150, top + 1, " right");
    click(left + 150 + 20 * scale, top + 1 + 78 * scale, "");
    ASSERT_TRUE(session.WaitUntil(
        [&] {
            const std::string tree = session.Output("swaymsg -t get_tree 2>/dev/null");
            const std::size_t dialog = tree.find("\"name\": \"Size setting\"");
            return dialog != std::string::npos && tree.rfind("\"focused\": true", dialog) >
                                                      tree.rfind("\"focused\": false", dialog);
        },
        5000))
        << session.Output("swaymsg -t get_tree");
    session.Status("wtype -s 100 -k End -k End -k BackSpace -k BackSpace -k BackSpace 2 8 0 -k "
                   "Return -s 300 2>/dev/null");
    EXPECT_TRUE(session.WaitUntil([&] { return session.Setting("width") == "280"; }, 5000))
        << session.Setting("width");
    session.Status("wtype -s 100 -k Escape -s 300 2>/dev/null");
    click(left + 150, top + 1, "");

    // Escape puts the frame away: the screen left of and below the cursor's place is the
    // background.
    session.Status("wtype -s 100 -k Escape -s 300 2>/dev/null");
    const QRect below(0, top + 100, left + 300, kHeight - top - 100);
    EXPECT_TRUE(session.WaitUntil(
        [&] { return PixelDifferences(session.Grim().copy(below), background.copy(below)) == 0; },
        5000));
}

INSTANTIATE_TEST_SUITE_P(Scale, WaylandRegionFrame, ::testing::Values(1, 2));

// A floating capture stands exactly over the pixels it took and stays there, above the
// main window that then opens; a drag moves it by the pointer's way.
TEST_F(WaylandDesktop, FloatingCaptureCoversItsPixelsAboveANewWindowAndFollowsADrag) {
    const QImage background = PatternPicture(kWidth, kHeight);
    TSwaySession session(background, kWidth, kHeight);
    session.WriteSettings("area=2\nsaveto=10\nsound=1\nmouse=0\nkey_command_shown=1\npath=" +
                          session.SaveFolder() + "\n");
    ASSERT_TRUE(session.StartQuorvel()) << session.QuorvelLog();
    std::string reply;
    const bool shown = DragSelect(session, background, "101 81 301 201", reply);
    ASSERT_TRUE(shown) << session.QuorvelLog();
    ASSERT_EQ(reply, "1");
    const QRect taken(101, 81, 200, 120);

    // The main window opens in the middle of the output, partly under the picture (more
    // pixels change than the cursor covers); the picture stays above it.
    session.Ctl("--show");
    QImage screen;
    EXPECT_TRUE(session.WaitUntil(
        [&] {
            screen = session.Grim();
            return PixelDifferences(screen, background) > 5000;
        },
        10000))
        << "the main window did not open";
    EXPECT_EQ(PixelDifferences(screen.copy(taken), background.copy(taken)), 0);

    // A drag on the picture moves it; the rows below the cursor's are compared.
    const int dx = 23, dy = 31;
    session.Status(std::string(QUORVEL_TEST_POINTER_BIN) + " " + std::to_string(kWidth) + " " +
                   std::to_string(kHeight) + " 150 90 " + std::to_string(150 + dx) + " " +
                   std::to_string(90 + dy));
    const QRect below(taken.left(), taken.top() + 40, taken.width(), taken.height() - 40);
    EXPECT_TRUE(session.WaitUntil(
        [&] {
            return PixelDifferences(session.Grim().copy(below.translated(dx, dy)),
                                    background.copy(below)) == 0;
        },
        5000));
}

} // namespace

// On a Plasma desktop the capture key goes through KDE's global shortcut service: the chosen
// key is registered there under the program's own action, with no message about binding a
// command, and the service's press captures. A key another program holds there is refused
// with the message that says so.
TEST_F(WaylandDesktop, TheDesktopsShortcutServiceTakesTheCaptureKey) {
    const QImage background = PatternPicture(kWidth, kHeight);
    TSwaySession session(background, kWidth, kHeight);
    ASSERT_TRUE(session.StartShortcutService()) << "KDE's global shortcut service did not start";
    const std::string accel =
        "gdbus call --session -d org.kde.kglobalaccel -o /kglobalaccel -m org.kde.KGlobalAccel.";
    const std::string quorvel = R"('["quorvel","capture","Quorvel","Capture"]')";
    // Another program holds Print Screen.
    const std::string other = R"('["other","grab","Other","Grab"]')";
    ASSERT_EQ(session.Status(accel + "doRegister " + other + " >/dev/null"), 0);
    ASSERT_EQ(session.Output(accel + "setShortcut " + other + " '[16777225]' 6"),
              "([16777225],)\n");

    // Ctrl+Shift+F5.
    const std::string settings = "area=0\nsaveto=0\nsound=1\npath=" + session.SaveFolder() + "\n";
    session.WriteSettings(settings + "hotkey=24692\n");
    ASSERT_TRUE(session.StartQuorvel()) << session.QuorvelLog();
    EXPECT_EQ(session.QuorvelLog().find("global key"), std::string::npos) << session.QuorvelLog();
    EXPECT_EQ(session.Output(accel + "shortcut " + quorvel),
              "([" + std::to_string(0x01000034 | 0x04000000 | 0x02000000) + "],)\n");
    ASSERT_EQ(session.Status("gdbus call --session -d org.kde.kglobalaccel -o /component/quorvel "
                             "-m org.kde.kglobalaccel.Component.invokeShortcut capture >/dev/null"),
              0);
    ASSERT_TRUE(session.WaitUntil([&] { return !session.NewestCapture().empty(); }, 10000))
        << session.QuorvelLog();
    EXPECT_EQ(PixelDifferences(Capture(session.NewestCapture()), background), 0);
    ASSERT_EQ(session.Ctl("--exit"), "");

    session.WriteSettings(settings + "hotkey=44\n");
    session.StartQuorvel(0);
    EXPECT_TRUE(session.WaitUntil(
        [&] {
            return session.QuorvelLog().find("An unknown program is using the shortcut key.") !=
                   std::string::npos;
        },
        10000))
        << session.QuorvelLog();
}

// Where the desktop portal offers global shortcuts, the capture key is bound there in the
// portal's notation, its press captures, and the session is closed when the program ends.
TEST_F(WaylandDesktop, ThePortalsGlobalShortcutsTakeTheCaptureKey) {
    const QImage background = PatternPicture(kWidth, kHeight);
    TSwaySession session(background, kWidth, kHeight);
    ASSERT_TRUE(session.StartShortcutService(QUORVEL_TEST_SHORTCUT_PORTAL_BIN));
    // Ctrl+Shift+F5, and no message that the desktop takes no keys.
    session.WriteSettings("area=0\nsaveto=0\nsound=1\nhotkey=24692\npath=" + session.SaveFolder() +
                          "\n");
    ASSERT_TRUE(session.StartQuorvel()) << session.QuorvelLog();
    EXPECT_EQ(session.QuorvelLog().find("global key"), std::string::npos) << session.QuorvelLog();
    const std::string portalLog = session.Root() + "/portal.log";
    EXPECT_EQ(session.Output("head -1 " + portalLog), "bound capture CTRL+SHIFT+F5\n");
    // The portal reports the key pressed a moment after binding it.
    ASSERT_TRUE(session.WaitUntil([&] { return !session.NewestCapture().empty(); }, 10000))
        << session.QuorvelLog();
    EXPECT_EQ(PixelDifferences(Capture(session.NewestCapture()), background), 0);
    ASSERT_EQ(session.Ctl("--exit"), "");
    EXPECT_TRUE(session.WaitUntil(
        [&] { return session.Output("tail -1 " + portalLog) == "closed\n"; }, 5000));
}

// Text recognition reads the screen's text from the compositor's copy into a text file.
TEST_F(WaylandDesktop, TextRecognitionReadsTheScreensText) {
    const std::string text = "Quorvel reads this line on sway";
    const std::string picture = std::filesystem::temp_directory_path() /
                                ("quorvel-ocr-" + std::to_string(::getpid()) + ".png");
    ASSERT_EQ(
        std::system(("convert -size " + std::to_string(kWidth) + "x" + std::to_string(kHeight) +
                     " xc:white -font DejaVu-Sans -pointsize 28 -fill black -annotate "
                     "+30+120 '" +
                     text + "' " + picture)
                        .c_str()),
        0);
    const QImage background = Capture(picture);
    std::filesystem::remove(picture);
    ASSERT_FALSE(background.isNull());
    TSwaySession session(background, kWidth, kHeight);
    // English alone, so that the first language in the list is English.
    const std::string data = session.Root() + "/tessdata";
    std::filesystem::create_directories(data);
    std::filesystem::create_symlink("/usr/share/tesseract-ocr/5/tessdata/eng.traineddata",
                                    data + "/eng.traineddata");
    ::setenv("TESSDATA_PREFIX", data.c_str(), 1);
    session.WriteSettings("area=0\nsaveto=6\nsound=0\nlanguage_ocr=0\nkey_command_shown=1\npath=" +
                          session.SaveFolder() + "\n");
    const bool started = session.StartQuorvel();
    ::unsetenv("TESSDATA_PREFIX");
    ASSERT_TRUE(started) << session.QuorvelLog();
    ASSERT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    std::string written;
    session.WaitUntil(
        [&] {
            const std::string path = session.NewestCapture();
            if (path.empty() || !path.ends_with(".txt"))
                return false;
            std::ifstream in(path);
            written.assign(std::istreambuf_iterator<char>(in), {});
            return !written.empty();
        },
        45000);
    EXPECT_NE(written.find(text), std::string::npos) << written << session.QuorvelLog();
}

// The monitor to every picture type and to the clipboard, from a program with no window
// (the capture command comes from another program): each file decodes to the screen, the
// lossless ones exactly, and the clipboard holds the PNG of it for any program to paste.
TEST_F(WaylandDesktop, EveryPictureTypeAndTheClipboardHoldTheScreen) {
    const QImage background = PatternPicture(kWidth, kHeight);
    TSwaySession session(background, kWidth, kHeight);
    // PNG, JPG, GIF, BMP, WebP: the mean difference of a colour channel each may have (the
    // lossy ones on a picture made to be hard for them); a shifted or swapped picture is
    // far off.
    const std::vector<std::pair<int, double>> types = {
        {0, 0.0}, {1, 30.0}, {2, 30.0}, {3, 0.0}, {4, 30.0}};
    for (const auto& [saveto, tolerance] : types) {
        session.WriteSettings("area=0\nsound=1\nkey_command_shown=1\nsaveto=" +
                              std::to_string(saveto) + "\npath=" + session.SaveFolder() + "\n");
        ASSERT_TRUE(session.StartQuorvel()) << session.QuorvelLog();
        const std::string before = session.NewestCapture();
        ASSERT_EQ(session.Ctl(R"({"command":"capture"})"), "1") << saveto;
        const std::string file = session.NewestCapture();
        ASSERT_NE(file, before) << saveto << session.QuorvelLog();
        const QImage shot = Capture(file);
        ASSERT_EQ(shot.size(), background.size()) << file;
        double sum = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const QRgb a = shot.pixel(x, y), b = background.pixel(x, y);
                sum += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                       std::abs(qBlue(a) - qBlue(b));
            }
        const double mean = sum / (3.0 * kWidth * kHeight);
        EXPECT_LE(mean, tolerance) << file;
        ASSERT_EQ(session.Ctl("--exit"), "");
        session.WaitUntil(
            [&] { return session.Ctl("--show").find("not running") != std::string::npos; }, 5000);
    }

    session.WriteSettings(
        "area=0\nsound=1\nkey_command_shown=1\nsaveto=7\npath=" + session.SaveFolder() + "\n");
    ASSERT_TRUE(session.StartQuorvel()) << session.QuorvelLog();
    ASSERT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    const std::string pasted = session.Root() + "/pasted.png";
    QImage paste;
    session.WaitUntil(
        [&] {
            session.Status("wl-paste --type image/png > " + pasted + " 2>/dev/null");
            paste = Capture(pasted);
            return !paste.isNull();
        },
        5000);
    EXPECT_EQ(PixelDifferences(paste, background), 0)
        << session.Output("wl-paste --list-types 2>&1") << session.QuorvelLog();
}

// While a capture is uploaded, the progress bar runs along the bottom of the output above
// every window, and the screen above it stays as it was. The loopback server here reads
// slowly and never answers, so the upload lasts until it gives up.
TEST_F(WaylandDesktop, UploadProgressBarLiesAlongTheBottomOfTheOutput) {
    const QImage background = PatternPicture(kWidth, kHeight);
    TSwaySession session(background, kWidth, kHeight);
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    std::atomic<bool> stop = false;
    std::thread server([&] {
        const int client = ::accept(listener, nullptr, nullptr);
        char buffer[1024];
        while (!stop && client >= 0 && ::recv(client, buffer, sizeof buffer, 0) > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (client >= 0)
            ::close(client);
    });
    session.WriteSettings("area=0\nsaveto=8\nsound=1\nkey_command_shown=1\nupload_host=http://"
                          "127.0.0.1:" +
                          std::to_string(ntohs(address.sin_port)) +
                          "\npath=" + session.SaveFolder() + "\n");
    ASSERT_TRUE(session.StartQuorvel()) << session.QuorvelLog();
    std::thread ctl([&] { session.Ctl(R"({"command":"capture"})"); });
    const int bar = 30;
    QImage screen;
    const bool shown = session.WaitUntil(
        [&] {
            screen = session.Grim();
            return PixelDifferences(screen.copy(0, kHeight - bar, kWidth, bar),
                                    background.copy(0, kHeight - bar, kWidth, bar)) >
                   kWidth * bar * 9 / 10;
        },
        10000);
    stop = true;
    ::shutdown(listener, SHUT_RDWR);
    ::close(listener);
    server.join();
    // The failure that follows is said in a box; Enter closes it.
    session.WaitUntil(
        [&] {
            session.Status("wtype -k Return 2>/dev/null");
            return session.QuorvelLog().find("Image upload failed") != std::string::npos;
        },
        20000);
    session.Ctl("--exit");
    ctl.join();
    ASSERT_TRUE(shown) << session.QuorvelLog();
    EXPECT_EQ(PixelDifferences(screen.copy(0, 0, kWidth, kHeight - bar),
                               background.copy(0, 0, kWidth, kHeight - bar)),
              0);
}

// An upload to quorvel-server on the loopback address: the stored file is the screen, and
// the address the server gave is handed to the desktop's browser (a recorder stands in).
TEST_F(WaylandDesktop, UploadStoresTheScreenAndOpensItsAddress) {
    const QImage background = PatternPicture(kWidth, kHeight);
    TSwaySession session(background, kWidth, kHeight);
    const std::string bin = session.Root() + "/bin", opened = session.Root() + "/opened.txt";
    std::filesystem::create_directories(bin);
    std::ofstream(bin + "/xdg-open") << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> " << opened << "\n";
    std::filesystem::permissions(bin + "/xdg-open", std::filesystem::perms::owner_all);
    ::setenv("PATH", (bin + ":" + std::getenv("PATH")).c_str(), 1);
    ::setenv("BROWSER", (bin + "/xdg-open").c_str(), 1);
    session.Start(
        {QUORVEL_SERVER_BIN, "--data", session.Root() + "/serverdata", "--listen", "127.0.0.1:0"},
        "server.log");
    std::string port;
    ASSERT_TRUE(session.WaitUntil(
        [&] {
            const std::string line = session.Output("head -1 " + session.Root() + "/server.log");
            if (line.find("listening") == std::string::npos)
                return false;
            port = line.substr(line.rfind(':') + 1);
            port.erase(port.find_last_not_of("\n\r ") + 1);
            return true;
        },
        5000));
    session.WriteSettings("area=0\nsaveto=8\nsound=1\nkey_command_shown=1\nupload_host=127.0.0.1:" +
                          port + "\npath=" + session.SaveFolder() + "\n");
    ASSERT_TRUE(session.StartQuorvel()) << session.QuorvelLog();
    EXPECT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    std::string address;
    ASSERT_TRUE(session.WaitUntil(
        [&] {
            address = session.Output("head -1 " + opened + " 2>/dev/null");
            return !address.empty();
        },
        10000))
        << session.QuorvelLog();
    address.pop_back();
    const std::string prefix = "http://127.0.0.1:" + port + "/i/";
    ASSERT_EQ(address.rfind(prefix, 0), 0u) << address;
    const QImage stored =
        Capture(session.Root() + "/serverdata/images/" + address.substr(prefix.size()));
    EXPECT_EQ(PixelDifferences(stored, background), 0);
    EXPECT_EQ(session.QuorvelLog().find("quorvel: message:"), std::string::npos);
}
