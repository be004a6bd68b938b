// Floating windows on a private desktop: a capture pinned exactly over its place, above
// other windows and out of the taskbar, dragged by its picture, saved, deleted, and gone
// with the program.

#include "DesktopSession.h"

#include <QImage>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

using quorvel::test::TDesktopSession;

namespace {

namespace fs = std::filesystem;

void Pause(int ms = 300) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms * quorvel::test::TimeScale()));
}

int Differences(const QImage& a, const QImage& b) {
    if (a.size() != b.size())
        return -1;
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            count += (a.pixel(x, y) & 0xFFFFFF) != (b.pixel(x, y) & 0xFFFFFF);
    return count;
}

class Floating : public testing::TestWithParam<int> {
protected:
    void Launch(const std::string& settings) {
        session.WriteSettings("path=" + session.SaveFolder() + "\nsound=1\nmouse=0\nsaveto=10\n" +
                              settings);
        ASSERT_TRUE(
            session.StartQuorvel({"/start"}, {"QT_SCALE_FACTOR=" + std::to_string(GetParam())}))
            << session.QuorvelLog();
    }
    // The floating windows: the visible windows titled "Quorvel" (the main window is hidden).
    std::vector<unsigned long> FloatingWindows() const {
        std::vector<unsigned long> ids;
        std::istringstream out(session.Output("xdotool search --onlyvisible --name '^Quorvel$'"));
        for (unsigned long id = 0; out >> id;)
            ids.push_back(id);
        return ids;
    }
    QRect Geometry(unsigned long id) const {
        int x = 0, y = 0, w = 0, h = 0;
        std::istringstream info(session.Output("xwininfo -id " + std::to_string(id)));
        for (std::string line; std::getline(info, line);) {
            std::sscanf(line.c_str(), "  Absolute upper-left X: %d", &x);
            std::sscanf(line.c_str(), "  Absolute upper-left Y: %d", &y);
            std::sscanf(line.c_str(), "  Width: %d", &w);
            std::sscanf(line.c_str(), "  Height: %d", &h);
        }
        return {x, y, w, h};
    }

    TDesktopSession session;
};

} // namespace

TEST_P(Floating, CaptureIsPinnedAboveItsPlaceDraggedAndDeleted) {
    Launch("area=2\n");
    const unsigned long pattern = session.ShowPatternWindow("Pattern", 401, 301, 301, 201);
    const QImage before = session.Screenshot();
    // A drag selection of an odd-sized area inside the pattern window.
    const QRect area(333, 251, 211, 123);
    const pid_t ctl =
        session.Start({quorvel::test::QuorvelCtlBinary(), R"({"command":"capture"})"}, "ctl.log");
    Pause(800);
    session.Status("xdotool mousemove " + std::to_string(area.left()) + " " +
                   std::to_string(area.top()) + " sleep 0.15 mousedown 1 sleep 0.15 mousemove " +
                   std::to_string(area.left() + 100) + " " + std::to_string(area.top() + 50) +
                   " sleep 0.15 mousemove " + std::to_string(area.right() + 1) + " " +
                   std::to_string(area.bottom() + 1) + " sleep 0.15 mouseup 1");
    ASSERT_TRUE(TDesktopSession::WaitUntil([&] { return !TDesktopSession::Alive(ctl); }, 5000));
    std::vector<unsigned long> windows;
    ASSERT_TRUE(TDesktopSession::WaitUntil(
        [&] { return (windows = FloatingWindows()).size() == 1; }, 5000));
    const unsigned long floating = windows.front();
    Pause();
    EXPECT_EQ(Geometry(floating), area);

    // The pattern window moves away and comes to the front: the pinned picture stays on top.
    session.Status("xdotool windowmove " + std::to_string(pattern) +
                   " 900 500 windowactivate --sync " + std::to_string(pattern));
    Pause();
    EXPECT_EQ(Differences(session.Screenshot().copy(area), before.copy(area)), 0);
    const std::string state =
        session.Output("xprop -id " + std::to_string(floating) + " _NET_WM_STATE");
    EXPECT_NE(state.find("_NET_WM_STATE_ABOVE"), std::string::npos) << state;
    EXPECT_NE(state.find("_NET_WM_STATE_SKIP_TASKBAR"), std::string::npos) << state;
    EXPECT_NE(state.find("_NET_WM_STATE_SKIP_PAGER"), std::string::npos) << state;

    // Dragged by its picture.
    const QPoint grab = area.center();
    session.Status("xdotool mousemove " + std::to_string(grab.x()) + " " +
                   std::to_string(grab.y()) + " sleep 0.15 mousedown 1 sleep 0.15 mousemove " +
                   std::to_string(grab.x() + 60) + " " + std::to_string(grab.y() + 30) +
                   " sleep 0.15 mousemove " + std::to_string(grab.x() + 120) + " " +
                   std::to_string(grab.y() + 70) + " sleep 0.2 mouseup 1");
    Pause();
    EXPECT_EQ(Geometry(floating).topLeft(), area.topLeft() + QPoint(120, 70));

    // Its popup's "delete" removes it.
    const QPoint moved = area.center() + QPoint(120, 70);
    session.Status("xdotool mousemove " + std::to_string(moved.x()) + " " +
                   std::to_string(moved.y()) + " click 3");
    Pause();
    session.Status("xdotool key --delay 60 Down Down Return");
    EXPECT_TRUE(TDesktopSession::WaitUntil([&] { return FloatingWindows().empty(); }, 3000));
    EXPECT_TRUE(TDesktopSession::Alive(session.QuorvelPid()));
}

TEST_P(Floating, SaveThroughTheDialogDeleteAllAndExit) {
    Launch("area=0\nappend=2\n");
    session.ShowPatternWindow("Pattern", 300, 200, 100, 100);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    ASSERT_TRUE(TDesktopSession::WaitUntil([&] { return FloatingWindows().size() == 3; }, 5000));
    // The whole monitor: the newest window covers the screen and shows the screen.
    const QImage screen = session.Screenshot();

    // "Save image", a name, Enter: a PNG in the save folder (the dialog starts there).
    session.Status("xdotool mousemove 200 150 click 3");
    Pause();
    session.Status("xdotool key --delay 60 Down Return");
    ASSERT_TRUE(TDesktopSession::WaitUntil(
        [&] {
            return session.Status("xdotool search --onlyvisible --name 'Save' >/dev/null") == 0;
        },
        5000));
    Pause();
    session.Status("xdotool type --delay 30 pinned");
    session.Status("xdotool key Return");
    const std::string saved = session.SaveFolder() + "/pinned.png";
    ASSERT_TRUE(TDesktopSession::WaitUntil([&] { return fs::exists(saved); }, 5000));
    const QImage picture =
        QImage(QString::fromStdString(saved)).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(picture.size(), QSize(1920, 1080));
    EXPECT_EQ(Differences(picture, screen), 0);

    // "Save image", then cancel: nothing more is written.
    const auto files = std::distance(fs::directory_iterator(session.SaveFolder()), {});
    session.Status("xdotool mousemove 200 150 click 3");
    Pause();
    session.Status("xdotool key --delay 60 Down Return");
    Pause(700);
    session.Status("xdotool key Escape");
    Pause();
    EXPECT_EQ(std::distance(fs::directory_iterator(session.SaveFolder()), {}), files);

    // "Delete all" from one of them removes every one.
    session.Status("xdotool mousemove 200 150 click 3");
    Pause();
    session.Status("xdotool key --delay 60 Down Down Down Return");
    EXPECT_TRUE(TDesktopSession::WaitUntil([&] { return FloatingWindows().empty(); }, 3000));

    // The program ends cleanly with floating windows open.
    EXPECT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    ASSERT_TRUE(TDesktopSession::WaitUntil([&] { return FloatingWindows().size() == 1; }, 5000));
    session.Status(quorvel::test::QuorvelCtlBinary() + " --exit");
    EXPECT_TRUE(
        TDesktopSession::WaitUntil([&] { return !TDesktopSession::Alive(session.QuorvelPid()); },
                                   5000 * quorvel::test::TimeScale()));
    EXPECT_EQ(session.QuorvelLog().find("ERROR"), std::string::npos) << session.QuorvelLog();
}

INSTANTIATE_TEST_SUITE_P(Scale, Floating, testing::Values(1, 2),
                         [](const testing::TestParamInfo<int>& info) {
                             return "x" + std::to_string(info.param);
                         });
