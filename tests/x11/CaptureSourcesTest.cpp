// The interactive capture sources on a private desktop: the drag selection, the colour
// picker and the window picker's ring, driven with xdotool and checked against the screen.

#include "DesktopSession.h"
#include "capture/SelectionImage.h"

#include <QImage>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

using quorvel::test::Differences;
using quorvel::test::Pause;
using quorvel::test::TDesktopSession;

namespace {

namespace fs = std::filesystem;

QRgb Dimmed(QRgb c) {
    return qRgb(quorvel::DimByte(qRed(c)), quorvel::DimByte(qGreen(c)), quorvel::DimByte(qBlue(c)));
}

class CaptureSources : public testing::Test {
protected:
    void Launch(const std::string& settings, const std::vector<std::string>& env = {}) {
        session.WriteSettings("path=" + session.SaveFolder() + "\nsound=1\nmouse=0\n" + settings);
        ASSERT_TRUE(session.StartQuorvel({"/start"}, env)) << session.QuorvelLog();
    }
    unsigned long ShowPatternWindow(const std::string& title, int w, int h, int x, int y) {
        return session.ShowPatternWindow(title, w, h, x, y);
    }
    // Asks for a capture without waiting for the answer (a drag selection answers only
    // once it is over).
    pid_t RequestCapture() {
        return session.Start({quorvel::test::QuorvelCtlBinary(), R"({"command":"capture"})"},
                             "ctl.log");
    }
    // Waits until the overlay shows the screen dimmed at a point known to be background.
    bool WaitForOverlay(const QImage& before, QPoint probe) {
        return TDesktopSession::WaitUntil(
            [&] {
                return (session.Screenshot().pixel(probe) & 0xFFFFFF) ==
                       (Dimmed(before.pixel(probe)) & 0xFFFFFF);
            },
            5000);
    }
    // A drag at a hand's pace: each step lands before the next one starts.
    void Drag(QPoint from, QPoint to) {
        const auto xy = [](QPoint p) {
            return std::to_string(p.x()) + " " + std::to_string(p.y());
        };
        session.Status("xdotool mousemove " + xy(from) +
                       " sleep 0.15 mousedown 1 sleep 0.15 mousemove " + xy((from + to) / 2) +
                       " sleep 0.15 mousemove " + xy(to) + " sleep 0.15 mouseup 1");
    }
    // Takes a capture through the command channel and reads the file it wrote.
    QImage CaptureNow() {
        EXPECT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
        return Capture(session.NewestCapture());
    }
    QImage Capture(const std::string& path) {
        return QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB32);
    }

    TDesktopSession session;
};

} // namespace

TEST_F(CaptureSources, DragSelectsTheFrozenPixelsInEitherDirection) {
    Launch("area=2\nsaveto=0\n");
    ShowPatternWindow("Pattern", 400, 300, 0, 0);
    const QImage before = session.Screenshot();
    for (const auto& [from, to] :
         {std::pair{QPoint(10, 10), QPoint(110, 60)}, std::pair{QPoint(110, 60), QPoint(10, 10)}}) {
        const std::size_t files = static_cast<std::size_t>(
            std::distance(fs::directory_iterator(session.SaveFolder()), {}));
        const pid_t ctl = RequestCapture();
        ASSERT_TRUE(WaitForOverlay(before, {1000, 700}));
        Drag(from, to);
        ASSERT_TRUE(TDesktopSession::WaitUntil([&] { return !TDesktopSession::Alive(ctl); }, 5000));
        ASSERT_EQ(static_cast<std::size_t>(
                      std::distance(fs::directory_iterator(session.SaveFolder()), {})),
                  files + 1);
        const QImage capture = Capture(session.NewestCapture());
        ASSERT_EQ(capture.size(), QSize(100, 50));
        // The top-left pixel is the one at (10, 10); column 110 and row 60 are outside. The
        // overlay and the cursor are never in it.
        EXPECT_EQ(Differences(capture, before.copy(10, 10, 100, 50)), 0);
    }
}

TEST_F(CaptureSources, OverlayIsDimmedOutsideTheSelectionAndEscapeCancels) {
    Launch("area=2\nsaveto=0\n");
    ShowPatternWindow("Pattern", 400, 300, 100, 100);
    const QImage before = session.Screenshot();
    const pid_t ctl = RequestCapture();
    ASSERT_TRUE(WaitForOverlay(before, {1000, 700}));
    // Every pixel at 60 % before the first drag.
    QImage shown = session.Screenshot();
    int wrong = 0;
    for (int y = 0; y < shown.height(); y += 3)
        for (int x = 0; x < shown.width(); x += 3)
            wrong += (shown.pixel(x, y) & 0xFFFFFF) != (Dimmed(before.pixel(x, y)) & 0xFFFFFF);
    EXPECT_EQ(wrong, 0);
    // A click selects nothing and the overlay stays; so does a purely horizontal drag.
    session.Status("xdotool mousemove 150 150 click 1");
    Drag({150, 150}, {300, 150});
    Pause(300);
    EXPECT_TRUE(TDesktopSession::Alive(ctl));
    // During a drag only the selection is at full brightness.
    session.Status(
        "xdotool mousemove 120 130 mousedown 1 mousemove 200 170 sleep 0.1 mousemove 320 230");
    Pause(300);
    shown = session.Screenshot();
    EXPECT_EQ(Differences(shown.copy(120, 130, 200, 100), before.copy(120, 130, 200, 100)), 0);
    EXPECT_EQ(shown.pixel(119, 130) & 0xFFFFFF, Dimmed(before.pixel(119, 130)) & 0xFFFFFF);
    EXPECT_EQ(shown.pixel(320, 229) & 0xFFFFFF, Dimmed(before.pixel(320, 229)) & 0xFFFFFF);
    session.Status("xdotool key Escape mouseup 1");
    EXPECT_TRUE(TDesktopSession::WaitUntil([&] { return !TDesktopSession::Alive(ctl); }, 3000));
    EXPECT_TRUE(fs::is_empty(session.SaveFolder()));
    // The overlay is gone and the program takes the next request.
    Pause();
    EXPECT_EQ(Differences(session.Screenshot(), before), 0);
}

TEST_F(CaptureSources, AnotherApplicationBecomingActiveCancelsTheDrag) {
    Launch("area=2\nsaveto=0\n");
    const unsigned long other = ShowPatternWindow("Other", 200, 200, 600, 300);
    session.Status("xdotool windowminimize --sync " + std::to_string(other) + " 2>/dev/null; true");
    Pause();
    const QImage before = session.Screenshot();
    const pid_t ctl = RequestCapture();
    ASSERT_TRUE(WaitForOverlay(before, {1000, 700}));
    session.Status("xdotool windowactivate " + std::to_string(other) + " 2>/dev/null");
    EXPECT_TRUE(TDesktopSession::WaitUntil([&] { return !TDesktopSession::Alive(ctl); }, 1000));
    EXPECT_TRUE(fs::is_empty(session.SaveFolder()));
}

TEST_F(CaptureSources, DragUnderScaleFactorTwoIsInPhysicalPixels) {
    Launch("area=2\nsaveto=0\n", {"QT_SCALE_FACTOR=2"});
    ShowPatternWindow("Pattern", 400, 300, 0, 0);
    const QImage before = session.Screenshot();
    const pid_t ctl = RequestCapture();
    ASSERT_TRUE(WaitForOverlay(before, {1000, 700}));
    Drag({11, 13}, {111, 64});
    ASSERT_TRUE(TDesktopSession::WaitUntil([&] { return !TDesktopSession::Alive(ctl); }, 5000));
    const QImage capture = Capture(session.NewestCapture());
    ASSERT_EQ(capture.size(), QSize(100, 51));
    EXPECT_EQ(Differences(capture, before.copy(11, 13, 100, 51)), 0);
}

TEST_F(CaptureSources, ColourPickerReadsThePixelUnderThePointer) {
    Launch("area=6\nsaveto=0\n");
    session.Status("xsetroot -solid '#ff0000'");
    session.Status("xdotool mousemove 1500 900");
    Pause(400);
    EXPECT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    EXPECT_EQ(session.Output("xclip -selection clipboard -o"), "FF0000");
    session.Status("xsetroot -solid '#0a0b0c'");
    Pause(400);
    EXPECT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    EXPECT_EQ(session.Output("xclip -selection clipboard -o"), "0A0B0C");
    EXPECT_TRUE(fs::is_empty(session.SaveFolder()));
}

TEST_F(CaptureSources, RingSurroundsTheWindowUnderThePointer) {
    Launch("area=4\nsaveto=0\n");
    const unsigned long window = ShowPatternWindow("Pattern", 300, 200, 400, 300);
    int left = 0, right = 0, top = 0, bottom = 0;
    const std::string extents =
        session.Output("xprop -id " + std::to_string(window) + " _NET_FRAME_EXTENTS");
    ASSERT_EQ(std::sscanf(extents.c_str(), "_NET_FRAME_EXTENTS(CARDINAL) = %d, %d, %d, %d", &left,
                          &right, &top, &bottom),
              4);
    session.Status("xdotool mousemove 500 400");
    Pause(600);
    // The frame spans (400, 300) to (400 + 300 + left + right, 300 + 200 + top + bottom);
    // the ring runs one pixel outside it, in black and white once its dashes are drawn.
    const QRect frame(400, 300, 300 + left + right, 200 + top + bottom);
    const QImage shown = session.Screenshot();
    const QRect ring = frame.adjusted(-1, -1, 1, 1);
    int dashes = 0, others = 0;
    for (int x = ring.left(); x <= ring.right(); ++x)
        for (int y : {ring.top(), ring.bottom()}) {
            const QRgb c = shown.pixel(x, y) & 0xFFFFFF;
            (c == 0 || c == 0xFFFFFF ? dashes : others)++;
        }
    EXPECT_GT(dashes, 2 * ring.width() - 16) << others;
    // The window inside is untouched, and a capture of it holds no ring.
    EXPECT_EQ(Differences(shown.copy(frame), session.Screenshot().copy(frame)), 0);
    const QImage capture = CaptureNow();
    ASSERT_EQ(capture.size(), frame.size());
    EXPECT_EQ(Differences(capture, shown.copy(frame)), 0);
}

namespace {

const char* const kFrameTitle = "Region - Quorvel";

class RegionFrame : public CaptureSources {
protected:
    unsigned long FrameWindow() {
        unsigned long id = 0;
        TDesktopSession::WaitUntil([&] { return (id = session.VisibleWindow(kFrameTitle)) != 0; },
                                   5000);
        return id;
    }
    std::string Setting(const std::string& name) const { return session.Setting(name); }
    void Keys(const std::string& keys) {
        session.Status("xdotool key --delay 40 " + keys);
        Pause();
    }
};

} // namespace

TEST_F(RegionFrame, CaptureIsTheHoleAfterMovingAndResizingFromTheKeyboard) {
    Launch("area=1\nsaveto=0\n");
    ShowPatternWindow("Pattern", 700, 500, 600, 300);
    const unsigned long frame = FrameWindow();
    ASSERT_NE(frame, 0u);
    // First start: a 480 x 360 hole centred on the 1920 x 1080 monitor.
    EXPECT_EQ(Setting("left"), "720");
    EXPECT_EQ(Setting("top"), "360");
    EXPECT_TRUE(session.Activate(frame));
    Pause();
    Keys("Right Right Right Down shift+Left shift+Left shift+Left shift+Left shift+Left ctrl+Down");
    EXPECT_EQ(Setting("left"), "723");
    EXPECT_EQ(Setting("top"), "361");
    EXPECT_EQ(Setting("width"), "475");
    EXPECT_EQ(Setting("height"), "370");
    const QImage screen = session.Screenshot();
    const QImage capture = CaptureNow();
    ASSERT_EQ(capture.size(), QSize(475, 370));
    // The hole starts 6 pixels inside the frame, below the 25-pixel header.
    EXPECT_EQ(Differences(capture, screen.copy(723 + 6, 361 + 25 + 6, 475, 370)), 0);
}

TEST_F(RegionFrame, PresetsAndTheSizeDialogSetAndStoreTheSize) {
    Launch("area=1\nsaveto=0\n");
    const unsigned long frame = FrameWindow();
    ASSERT_NE(frame, 0u);
    // The header's popup: the first preset is 320 x 240 unless changed.
    session.Status("xdotool mousemove 900 372 click 3");
    Pause();
    Keys("Down Return");
    EXPECT_EQ(Setting("width"), "320");
    EXPECT_EQ(Setting("height"), "240");
    EXPECT_EQ(CaptureNow().size(), QSize(320, 240));
    // "Setting" opens the size dialog; Apply on Custom #2 with 800 x 600.
    session.Status("xdotool mousemove 800 372 click 3");
    Pause();
    Keys("Down Down Down Down Return");
    ASSERT_TRUE(TDesktopSession::WaitUntil(
        [&] { return session.VisibleWindow("Size setting") != 0; }, 5000));
    Keys("Tab Tab Tab Tab Tab Tab ctrl+a 8 0 0 Tab ctrl+a 6 0 0 Tab space");
    EXPECT_EQ(Setting("width_2"), "800");
    EXPECT_EQ(Setting("height_2"), "600");
    EXPECT_EQ(Setting("width"), "800");
    EXPECT_EQ(Setting("height"), "600");
    EXPECT_EQ(CaptureNow().size(), QSize(800, 600));
}

TEST_F(RegionFrame, StoredFrameOnTheDesktopsEdgeStartsOver) {
    Launch("area=1\nsaveto=0\nleft=0\ntop=100\nwidth=300\nheight=200\n");
    ASSERT_NE(FrameWindow(), 0u);
    EXPECT_EQ(Setting("left"), "720");
    EXPECT_EQ(Setting("top"), "360");
    EXPECT_EQ(Setting("width"), "480");
    EXPECT_EQ(Setting("height"), "360");
}

TEST_F(RegionFrame, CloseButtonSwitchesToFullScreen) {
    Launch("area=1\nsaveto=0\n");
    ASSERT_NE(FrameWindow(), 0u);
    // The close button sits near the header's right end: 720 + 492 - 80 + 58 + 8, 360 + 5 + 8.
    session.Status("xdotool mousemove 1198 373 click 1");
    EXPECT_TRUE(
        TDesktopSession::WaitUntil([&] { return session.VisibleWindow(kFrameTitle) == 0; }, 3000));
    EXPECT_EQ(Setting("area"), "0");
    EXPECT_EQ(CaptureNow().size(), QSize(1920, 1080));
}

TEST_F(RegionFrame, DraggingTheHeaderMovesTheFrameAndTheCaptureFollows) {
    Launch("area=1\nsaveto=0\n");
    ASSERT_NE(FrameWindow(), 0u);
    session.Status("xdotool mousemove 900 372 mousedown 1 sleep 0.2 mousemove 950 400 sleep 0.2 "
                   "mousemove 1000 452 "
                   "sleep 0.2 mouseup 1");
    Pause(500);
    EXPECT_EQ(Setting("left"), "820");
    EXPECT_EQ(Setting("top"), "440");
    const QImage screen = session.Screenshot();
    EXPECT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    EXPECT_EQ(Differences(Capture(session.NewestCapture()), screen.copy(826, 471, 480, 360)), 0);
}

TEST_F(RegionFrame, DraggingTheBorderResizesTheHole) {
    Launch("area=1\nsaveto=0\n");
    ASSERT_NE(FrameWindow(), 0u);
    // The bottom-right corner of the 492 x 397 frame at (720, 360).
    session.Status("xdotool mousemove 1209 754 mousedown 1 sleep 0.2 mousemove 1230 770 sleep 0.2 "
                   "mousemove 1249 784 "
                   "sleep 0.2 mouseup 1");
    Pause(500);
    EXPECT_EQ(Setting("left"), "720");
    EXPECT_EQ(Setting("width"), "520");
    EXPECT_EQ(Setting("height"), "390");
    EXPECT_EQ(CaptureNow().size(), QSize(520, 390));
}

TEST_F(RegionFrame, HoleIsInPhysicalPixelsUnderScaleFactorTwo) {
    Launch("area=1\nsaveto=0\nleft=100\ntop=100\nwidth=400\nheight=300\n", {"QT_SCALE_FACTOR=2"});
    ShowPatternWindow("Pattern", 600, 500, 50, 50);
    ASSERT_NE(FrameWindow(), 0u);
    Pause();
    const QImage screen = session.Screenshot();
    const QImage capture = CaptureNow();
    ASSERT_EQ(capture.size(), QSize(400, 300));
    // The header is 50 physical pixels high at this scale; the border stays 6.
    EXPECT_EQ(Differences(capture, screen.copy(106, 100 + 50 + 6, 400, 300)), 0);
}
