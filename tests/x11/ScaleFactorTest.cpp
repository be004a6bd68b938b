// The region frame and the window picker's ring at Qt scale factors 1 and 2: every step,
// size and ring is a physical pixel, because captures are.

#include "DesktopSession.h"

#include <QImage>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using quorvel::test::Differences;
using quorvel::test::Pause;
using quorvel::test::TDesktopSession;

namespace {

class ScaleFactor : public testing::TestWithParam<int> {
protected:
    void Launch(const std::string& settings) {
        session.WriteSettings("path=" + session.SaveFolder() + "\nsound=1\nmouse=0\n" + settings);
        ASSERT_TRUE(
            session.StartQuorvel({"/start"}, {"QT_SCALE_FACTOR=" + std::to_string(GetParam())}))
            << session.QuorvelLog();
    }
    int Header() const { return 25 * GetParam(); }
    std::string Setting(const std::string& name) const { return session.Setting(name); }
    QImage CaptureNow() {
        EXPECT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
        return QImage(QString::fromStdString(session.NewestCapture()))
            .convertToFormat(QImage::Format_RGB32);
    }
    // The hole as the settings hold it, compared with the screen under it.
    void ExpectHole(int left, int top, int width, int height) {
        EXPECT_EQ(Setting("left"), std::to_string(left));
        EXPECT_EQ(Setting("top"), std::to_string(top));
        EXPECT_EQ(Setting("width"), std::to_string(width));
        EXPECT_EQ(Setting("height"), std::to_string(height));
        const QImage screen = session.Screenshot();
        const QImage capture = CaptureNow();
        ASSERT_EQ(capture.size(), QSize(width, height));
        EXPECT_EQ(Differences(capture, screen.copy(left + 6, top + Header() + 6, width, height)),
                  0);
        // The frame's border is drawn right up to the hole and no further.
        const QRgb border = screen.pixel(left + 5, top + Header() + 6 + height / 2);
        EXPECT_GT(qRed(border), 100) << "left border";
        EXPECT_LT(qGreen(border), 40);
        const QRgb right = screen.pixel(left + 6 + width, top + Header() + 6 + height / 2);
        EXPECT_GT(qRed(right), 100) << "right border";
        EXPECT_LT(qGreen(right), 40);
    }

    TDesktopSession session;
};

} // namespace

TEST_P(ScaleFactor, RegionFrameStepsAndSizesAreSinglePhysicalPixels) {
    Launch("area=1\nsaveto=0\nleft=101\ntop=101\nwidth=401\nheight=301\n");
    session.ShowPatternWindow("Pattern", 700, 600, 60, 60);
    unsigned long frame = 0;
    ASSERT_TRUE(TDesktopSession::WaitUntil(
        [&] { return (frame = session.VisibleWindow("Region - Quorvel")) != 0; }, 5000));
    ASSERT_TRUE(session.Activate(frame));
    Pause();
    ExpectHole(101, 101, 401, 301);

    // One pixel each way, whatever the scale.
    session.Status("xdotool key --delay 60 Left Up");
    Pause();
    ExpectHole(100, 100, 401, 301);
    session.Status("xdotool key --delay 60 Right Right Down Down Down");
    Pause();
    ExpectHole(102, 103, 401, 301);
    session.Status("xdotool key --delay 60 shift+Right shift+Down shift+Left shift+Left shift+Up");
    Pause();
    ExpectHole(102, 103, 400, 301);

    // An odd size from the size dialog is kept exactly: "Setting", then Apply on the current
    // size's fields.
    session.Status("xdotool mousemove 300 " + std::to_string(103 + Header() / 2) + " click 3");
    Pause();
    session.Status("xdotool key --delay 40 Down Down Down Down Return");
    ASSERT_TRUE(TDesktopSession::WaitUntil(
        [&] { return session.VisibleWindow("Size setting") != 0; }, 5000));
    Pause();
    session.Status("xdotool key --delay 40 ctrl+a 4 3 3 Tab ctrl+a 2 1 7 Tab space");
    Pause();
    ExpectHole(102, 103, 433, 217);
}

TEST_P(ScaleFactor, RingIsOnePhysicalPixelOutsideTheWindowAndNeverCaptured) {
    session.ShowPatternWindow("Pattern", 301, 201, 401, 301);
    const unsigned long window = session.VisibleWindow("Pattern");
    int left = 0, right = 0, top = 0, bottom = 0;
    ASSERT_EQ(
        std::sscanf(
            session.Output("xprop -id " + std::to_string(window) + " _NET_FRAME_EXTENTS").c_str(),
            "_NET_FRAME_EXTENTS(CARDINAL) = %d, %d, %d, %d", &left, &right, &top, &bottom),
        4);
    const QRect frame(401, 301, 301 + left + right, 201 + top + bottom);
    session.Status("xdotool mousemove 1500 900");
    const QImage without = session.Screenshot();

    Launch("area=4\nsaveto=0\n");
    session.Status("xdotool mousemove 500 400");
    Pause(700);
    const QImage with = session.Screenshot();
    // The ring: one pixel outside the frame, black and white dashes.
    const QRect ring = frame.adjusted(-1, -1, 1, 1);
    int dashes = 0, others = 0;
    for (int x = ring.left(); x <= ring.right(); ++x)
        for (int y : {ring.top(), ring.bottom()})
            ((with.pixel(x, y) & 0xFFFFFF) == 0 || (with.pixel(x, y) & 0xFFFFFF) == 0xFFFFFF
                 ? dashes
                 : others)++;
    for (int y = ring.top() + 1; y < ring.bottom(); ++y)
        for (int x : {ring.left(), ring.right()})
            ((with.pixel(x, y) & 0xFFFFFF) == 0 || (with.pixel(x, y) & 0xFFFFFF) == 0xFFFFFF
                 ? dashes
                 : others)++;
    EXPECT_EQ(others, 0);
    EXPECT_GT(dashes, 0);
    // Nothing of it inside the window or further out.
    EXPECT_EQ(Differences(with.copy(frame), without.copy(frame)), 0);
    const QRect outer = ring.adjusted(-1, -1, 1, 1);
    for (int x = outer.left(); x <= outer.right(); ++x)
        for (int y : {outer.top(), outer.bottom()})
            EXPECT_EQ(with.pixel(x, y), without.pixel(x, y)) << x << "," << y;
    // A window-control capture is the window alone.
    const QImage capture = CaptureNow();
    ASSERT_EQ(capture.size(), frame.size());
    EXPECT_EQ(Differences(capture, without.copy(frame)), 0);

    // Over the bare desktop the ring leaves nothing on the screen.
    session.Status("xdotool mousemove 1500 900");
    Pause(300);
    EXPECT_EQ(Differences(session.Screenshot(), without), 0);
}

INSTANTIATE_TEST_SUITE_P(Scale, ScaleFactor, testing::Values(1, 2),
                         [](const testing::TestParamInfo<int>& info) {
                             return "x" + std::to_string(info.param);
                         });
