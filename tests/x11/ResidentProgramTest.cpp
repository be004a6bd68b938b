// The resident program on a private desktop: single instance, the command channel, and
// captures of the screen, a monitor, the active window and the cursor into files and the
// clipboard, compared with what the X server shows.

#include "DesktopSession.h"
#include "app/ChannelProtocol.h"

#include <QImage>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using quorvel::test::TDesktopSession;

namespace {

namespace fs = std::filesystem;

// Pixels that differ between two pictures of the same size, and the box around them.
struct TDifference {
    int count = 0;
    QRect box;
};

TDifference Compare(const QImage& a, const QImage& b, QPoint offsetInB = {}) {
    TDifference d;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if ((a.pixel(x, y) & 0xFFFFFF) !=
                (b.pixel(x + offsetInB.x(), y + offsetInB.y()) & 0xFFFFFF)) {
                ++d.count;
                d.box |= QRect(x, y, 1, 1);
            }
    return d;
}

QImage Load(const std::string& path) {
    return QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB32);
}

std::size_t FileCount(const std::string& folder) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

// Sends raw bytes over the command socket and returns the one-byte answer ('\0' for none).
char RawRequest(const std::string& bytes, int waitMs = 0) {
    const std::string path = std::string(std::getenv("XDG_RUNTIME_DIR")) + "/quorvel/channel";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return '\0';
    }
    if (!bytes.empty())
        (void)::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (waitMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
    char reply = '\0';
    if (::recv(fd, &reply, 1, 0) != 1)
        reply = '\0';
    ::close(fd);
    return reply;
}

class ResidentProgram : public testing::Test {
protected:
    void UseSettings(const std::string& extra) {
        session.WriteSettings("path=" + session.SaveFolder() + "\nsound=1\nmouse=0\n" + extra);
    }
    std::string CaptureOnce() {
        EXPECT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
        return session.NewestCapture();
    }
    unsigned long ShowPatternWindow(const std::string& title, int w, int h, int x, int y) {
        return session.ShowPatternWindow(title, w, h, x, y);
    }

    // The frame the window manager put around a window: its left, right, top and bottom.
    bool FrameExtents(unsigned long window, int& left, int& right, int& top, int& bottom) {
        const std::string extents =
            session.Output("xprop -id " + std::to_string(window) + " _NET_FRAME_EXTENTS");
        return std::sscanf(extents.c_str(), "_NET_FRAME_EXTENTS(CARDINAL) = %d, %d, %d, %d", &left,
                           &right, &top, &bottom) == 4;
    }

    TDesktopSession session;
};

} // namespace

TEST_F(ResidentProgram, SecondLaunchShowsTheRunningWindowAndEnds) {
    UseSettings("");
    ASSERT_TRUE(session.StartQuorvel({"/start"})) << session.QuorvelLog();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(session.VisibleWindow("Quorvel"), 0u) << "/start begins in the notification area";

    // "/start" while running: ends at once and changes nothing.
    EXPECT_EQ(session.RunQuorvel({"/start"}, 3000), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(session.VisibleWindow("Quorvel"), 0u);

    // Any other launch, "/START" included, shows the running window in front and ends.
    EXPECT_EQ(session.RunQuorvel({"/START"}, 3000), 0);
    unsigned long window = 0;
    ASSERT_TRUE(TDesktopSession::WaitUntil(
        [&] { return (window = session.VisibleWindow("Quorvel")) != 0; }, 3000));
    EXPECT_TRUE(TDesktopSession::WaitUntil(
        [&] { return session.Output("xdotool getactivewindow") == std::to_string(window) + "\n"; },
        3000));
    EXPECT_TRUE(TDesktopSession::Alive(session.QuorvelPid()));

    // Closing the window hides it; the program stays.
    session.Status("xdotool windowclose " + std::to_string(window) +
                   " 2>/dev/null || xdotool key --window " + std::to_string(window) + " alt+F4");
    EXPECT_TRUE(
        TDesktopSession::WaitUntil([&] { return session.VisibleWindow("Quorvel") == 0; }, 3000));
    EXPECT_TRUE(TDesktopSession::Alive(session.QuorvelPid()));
    EXPECT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
}

TEST_F(ResidentProgram, UninstEndsTheInstanceWithinASecond) {
    // No instance: "/uninst" ends at once and starts nothing.
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(session.RunQuorvel({"/uninst"}, 3000), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - t0,
              std::chrono::milliseconds(800 * quorvel::test::TimeScale()));
    EXPECT_NE(session.Ctl("--show").find("not running"), std::string::npos);

    UseSettings("");
    ASSERT_TRUE(session.StartQuorvel()) << session.QuorvelLog();
    const auto t1 = std::chrono::steady_clock::now();
    EXPECT_EQ(session.RunQuorvel({"/uninst"}, 3000), 0);
    EXPECT_TRUE(TDesktopSession::WaitUntil(
        [&] { return !TDesktopSession::Alive(session.QuorvelPid()); }, 300));
    EXPECT_LT(std::chrono::steady_clock::now() - t1,
              std::chrono::milliseconds(1500 * quorvel::test::TimeScale()));
    EXPECT_EQ(session.Status(quorvel::test::QuorvelCtlBinary() + " --show 2>/dev/null"), 1);
}

TEST_F(ResidentProgram, TermSignalIsAnExitRequest) {
    UseSettings("");
    ASSERT_TRUE(session.StartQuorvel()) << session.QuorvelLog();
    ::kill(session.QuorvelPid(), SIGTERM);
    EXPECT_TRUE(TDesktopSession::WaitUntil(
        [&] { return !TDesktopSession::Alive(session.QuorvelPid()); }, 2000));
}

TEST_F(ResidentProgram, CommandRepliesAndGarbageOnTheChannel) {
    UseSettings("");
    ASSERT_TRUE(session.StartQuorvel()) << session.QuorvelLog();
    EXPECT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    EXPECT_EQ(FileCount(session.SaveFolder()), 1u);
    for (const char* refused :
         {R"({"command":"Capture"})", R"({"cmd":"capture"})", "[1,2]", "capture",
          R"({"command":1})", R"("capture")", R"({"command":"capture")", ""})
        EXPECT_EQ(session.Ctl(refused), "0") << refused;

    using quorvel::TRequest;
    using quorvel::TRequestType;
    // The command tag must be 1.
    EXPECT_EQ(
        RawRequest(quorvel::EncodeRequest({TRequestType::CopyData, 2, R"({"command":"capture"})"})),
        '0');
    EXPECT_EQ(RawRequest("GET / HTTP/1.0\r\n\r\n"), '0');
    EXPECT_EQ(RawRequest(std::string("\x00\xff\x13QRV1", 8)), '0');
    std::string oversized =
        quorvel::EncodeRequest({TRequestType::CopyData, 1, std::string(70000, ' ')});
    EXPECT_EQ(RawRequest(oversized), '0');
    // Bytes after a complete request make it garbage too.
    EXPECT_EQ(
        RawRequest(quorvel::EncodeRequest({TRequestType::CopyData, 1, R"({"command":"capture"})"}) +
                   "x"),
        '0');
    // A request that stops half-way is answered 0 after a while.
    const std::string whole =
        quorvel::EncodeRequest({TRequestType::CopyData, 1, R"({"command":"capture"})"});
    EXPECT_EQ(RawRequest(whole.substr(0, 10), 100), '0');
    EXPECT_EQ(RawRequest(""), '0');
    // None of that took a capture, and the program still answers.
    EXPECT_EQ(FileCount(session.SaveFolder()), 1u);
    EXPECT_EQ(RawRequest(whole), '1');
    EXPECT_EQ(FileCount(session.SaveFolder()), 2u);
}

TEST_F(ResidentProgram, FullScreenCaptureHoldsTheScreensPixels) {
    UseSettings("area=0\nsaveto=0\n");
    ASSERT_TRUE(session.StartQuorvel()) << session.QuorvelLog();
    ShowPatternWindow("Pattern", 400, 300, 200, 150);
    const std::string file = CaptureOnce();
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(fs::path(file).filename(), "Q-001.png");
    const QImage capture = Load(file);
    const QImage screen = session.Screenshot();
    ASSERT_EQ(capture.size(), QSize(1920, 1080));
    ASSERT_EQ(screen.size(), capture.size());
    const TDifference d = Compare(capture, screen);
    EXPECT_EQ(d.count, 0) << "differences in " << d.box.x() << "," << d.box.y() << " "
                          << d.box.width() << "x" << d.box.height();
    EXPECT_EQ(fs::path(CaptureOnce()).filename(), "Q-002.png");
}

TEST_F(ResidentProgram, CursorIsDrawnAtThePointerWhenChosen) {
    UseSettings("area=0\nsaveto=0\n");
    session.WriteSettings("path=" + session.SaveFolder() + "\nsound=1\nmouse=1\n");
    ASSERT_TRUE(session.StartQuorvel()) << session.QuorvelLog();
    session.Status("xdotool mousemove 1500 800");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const QImage capture = Load(CaptureOnce());
    const QImage screen = session.Screenshot();
    const TDifference d = Compare(capture, screen);
    ASSERT_GT(d.count, 10) << "no cursor in the capture";
    // Only around the pointer, within a cursor's size of it.
    EXPECT_TRUE(QRect(1500 - 64, 800 - 64, 128, 128).contains(d.box))
        << d.box.x() << "," << d.box.y() << " " << d.box.width() << "x" << d.box.height();
}

TEST_F(ResidentProgram, ActiveWindowCaptureIsTheWindowWithItsFrame) {
    UseSettings("area=3\nsaveto=0\n");
    ASSERT_TRUE(session.StartQuorvel()) << session.QuorvelLog();
    const unsigned long window = ShowPatternWindow("Pattern", 300, 200, 500, 300);
    ASSERT_NE(window, 0u);
    // The frame: the client plus the extents the window manager reports.
    int left = 0, right = 0, top = 0, bottom = 0;
    ASSERT_TRUE(FrameExtents(window, left, right, top, bottom));
    const QImage capture = Load(CaptureOnce());
    EXPECT_EQ(capture.size(), QSize(300 + left + right, 200 + top + bottom));
    // The client sits inside at the frame's offsets, pixel for pixel as on screen.
    const QImage screen = session.Screenshot();
    int x = 0, y = 0;
    const std::string geometry = session.Output("xwininfo -id " + std::to_string(window));
    ASSERT_EQ(std::sscanf(std::strstr(geometry.c_str(), "Absolute upper-left X:"),
                          "Absolute upper-left X: %d\n Absolute upper-left Y: %d", &x, &y),
              2)
        << geometry;
    const TDifference d = Compare(capture, screen, QPoint(x - left, y - top));
    EXPECT_EQ(d.count, 0);
}

TEST_F(ResidentProgram, TheMonitorUnderThePointerIsCaptured) {
    UseSettings("area=0\nsaveto=0\n");
    session.Status("xrandr --setmonitor Left 960/254x1080/286+0+0 none >/dev/null 2>&1");
    session.Status("xrandr --setmonitor Right 960/254x1080/286+960+0 none >/dev/null 2>&1");
    ASSERT_NE(session.Output("xrandr --listmonitors").find("Right"), std::string::npos);
    ASSERT_TRUE(session.StartQuorvel()) << session.QuorvelLog();
    ShowPatternWindow("Pattern", 600, 300, 700, 400); // across both monitors
    const QImage screen = session.Screenshot();

    session.Status("xdotool mousemove 1500 500");
    const QImage right = Load(CaptureOnce());
    ASSERT_EQ(right.size(), QSize(960, 1080));
    EXPECT_EQ(Compare(right, screen, QPoint(960, 0)).count, 0);

    session.Status("xdotool mousemove 10 10");
    const QImage left = Load(CaptureOnce());
    ASSERT_EQ(left.size(), QSize(960, 1080));
    EXPECT_EQ(Compare(left, screen).count, 0);
}

TEST_F(ResidentProgram, UnwritableSaveFolderShowsCaptureFailedAndStaysIdle) {
    // /proc takes no new files, whoever asks.
    session.WriteSettings("path=/proc\nsound=1\nmouse=0\narea=0\nsaveto=0\n");
    ASSERT_TRUE(session.StartQuorvel()) << session.QuorvelLog();
    for (int round = 0; round < 2; ++round) {
        // The sender waits until the message has been dismissed.
        const pid_t ctl = session.Start(
            {quorvel::test::QuorvelCtlBinary(), R"({"command":"capture"})"}, "ctl.log");
        ASSERT_TRUE(TDesktopSession::WaitUntil(
            [&] {
                const std::string log = session.QuorvelLog();
                std::size_t count = 0;
                for (std::size_t at = log.find("Capture failed."); at != std::string::npos;
                     at = log.find("Capture failed.", at + 1))
                    ++count;
                return count == static_cast<std::size_t>(round + 1);
            },
            5000))
            << session.QuorvelLog();
        EXPECT_NE(session.QuorvelLog().find("Capture failed.\\r\\rCannot create file \"/proc/Q-"),
                  std::string::npos);
        EXPECT_TRUE(TDesktopSession::Alive(ctl));
        EXPECT_TRUE(session.AnswerMessage());
        EXPECT_TRUE(TDesktopSession::WaitUntil([&] { return !TDesktopSession::Alive(ctl); }, 3000));
    }
}

TEST_F(ResidentProgram, ClipboardHoldsTheCapture) {
    UseSettings("area=0\nsaveto=7\n");
    ASSERT_TRUE(session.StartQuorvel()) << session.QuorvelLog();
    ShowPatternWindow("Pattern", 300, 300, 100, 100);
    EXPECT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    EXPECT_EQ(FileCount(session.SaveFolder()), 0u);
    const std::string file = session.Root() + "/clip.png";
    ASSERT_EQ(session.Status("xclip -selection clipboard -t image/png -o > " + file), 0);
    const QImage clip = Load(file);
    const QImage screen = session.Screenshot();
    ASSERT_EQ(clip.size(), screen.size());
    EXPECT_EQ(Compare(clip, screen).count, 0);
}

TEST_F(ResidentProgram, CapturesAreInPhysicalPixelsUnderScaleFactorTwo) {
    UseSettings("area=0\nsaveto=0\n");
    ASSERT_TRUE(session.StartQuorvel({}, {"QT_SCALE_FACTOR=2"})) << session.QuorvelLog();
    const unsigned long window = ShowPatternWindow("Pattern", 300, 200, 300, 200);
    const QImage full = Load(CaptureOnce());
    const QImage screen = session.Screenshot();
    ASSERT_EQ(full.size(), QSize(1920, 1080));
    EXPECT_EQ(Compare(full, screen).count, 0);

    // The same program, now on the active window: restart with the area changed, hidden
    // so that the pattern window stays the active one.
    session.StopQuorvel();
    UseSettings("area=3\nsaveto=0\n");
    ASSERT_TRUE(session.StartQuorvel({"/start"}, {"QT_SCALE_FACTOR=2"})) << session.QuorvelLog();
    EXPECT_TRUE(session.Activate(window));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    int left = 0, right = 0, top = 0, bottom = 0;
    ASSERT_TRUE(FrameExtents(window, left, right, top, bottom));
    const QImage active = Load(CaptureOnce());
    EXPECT_EQ(active.size(), QSize(300 + left + right, 200 + top + bottom));
}

TEST_F(ResidentProgram, WindowControlCaptureTakesTheWindowUnderThePointer) {
    UseSettings("area=4\nsaveto=0\n");
    ASSERT_TRUE(session.StartQuorvel({"/start"})) << session.QuorvelLog();
    const unsigned long window = ShowPatternWindow("Pattern", 250, 150, 900, 500);
    ShowPatternWindow("Other", 200, 200, 100, 100); // the active window is another one
    int left = 0, right = 0, top = 0, bottom = 0;
    ASSERT_TRUE(FrameExtents(window, left, right, top, bottom));
    // Over the client area and over the title bar alike: the window with its frame.
    for (const char* where : {"1000 560", "1000 508"}) {
        session.Status(std::string("xdotool mousemove ") + where);
        const QImage capture = Load(CaptureOnce());
        EXPECT_EQ(capture.size(), QSize(250 + left + right, 150 + top + bottom)) << where;
    }
    // Over the bare desktop there is no window: the monitor is taken.
    session.Status("xdotool mousemove 1800 1000");
    EXPECT_EQ(Load(CaptureOnce()).size(), QSize(1920, 1080));
}
