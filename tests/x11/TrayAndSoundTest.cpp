// What the user sees and hears of the resident program: its icon in a real notification
// area (trayer) and the capture sound on a real sound server (a private PulseAudio with a
// null sink whose playback streams are watched).

#include "DesktopSession.h"

#include <QImage>
#include <QSet>
#include <chrono>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <thread>

using quorvel::test::Pause;
using quorvel::test::TDesktopSession;

namespace {

// The program's icon window inside the notification area: the window of class "quorvel"
// that the tray holds, as its place on the screen.
QRect TrayIconRect(const TDesktopSession& session) {
    std::istringstream tree(session.Output("xwininfo -root -tree"));
    const std::regex line(
        R"re(\("quorvel" "Quorvel"\)\s+(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+))re");
    bool inTray = false;
    for (std::string text; std::getline(tree, text);) {
        if (text.find("(\"panel\" \"trayer\")") != std::string::npos)
            inTray = true;
        std::smatch m;
        if (inTray && std::regex_search(text, m, line))
            return QRect(std::stoi(m[3]), std::stoi(m[4]), std::stoi(m[1]), std::stoi(m[2]));
    }
    return {};
}

} // namespace

TEST(TrayIcon, IsDockedWithThePictureAndAClickShowsTheWindow) {
    TDesktopSession session(800, 600);
    ASSERT_TRUE(session.StartTray()) << "trayer did not start";
    session.WriteSettings("path=" + session.SaveFolder() + "\n");
    ASSERT_TRUE(session.StartQuorvel({"/start"})) << session.QuorvelLog();

    QRect icon;
    ASSERT_TRUE(
        TDesktopSession::WaitUntil([&] { return !(icon = TrayIconRect(session)).isEmpty(); }, 5000))
        << session.Output("xwininfo -root -tree");
    Pause(500);
    // The icon's pixels: the program's picture, not a blank square of the tray's colour.
    const QImage shot = session.Screenshot().copy(icon);
    const QRgb tray = session.Screenshot().pixel(icon.left() - 3, icon.center().y());
    QSet<QRgb> colours;
    int unlikeTray = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) {
            colours.insert(shot.pixel(x, y) & 0xFFFFFF);
            unlikeTray += (shot.pixel(x, y) & 0xFFFFFF) != (tray & 0xFFFFFF);
        }
    EXPECT_GT(colours.size(), 8);
    EXPECT_GT(unlikeTray, shot.width() * shot.height() / 3);

    // A left click shows the main window.
    EXPECT_EQ(session.VisibleWindow("Quorvel"), 0u);
    session.Status("xdotool mousemove " + std::to_string(icon.center().x()) + " " +
                   std::to_string(icon.center().y()) + " click 1");
    EXPECT_TRUE(
        TDesktopSession::WaitUntil([&] { return session.VisibleWindow("Quorvel") != 0; }, 5000));
}

TEST(CaptureSound, PlaysOnTheSoundServerOnlyWhenChosen) {
    TDesktopSession session(800, 600);
    ASSERT_TRUE(session.StartSoundServer()) << "pulseaudio did not start";
    for (const int sound : {2, 3, 1}) {
        session.WriteSettings("path=" + session.SaveFolder() +
                              "\narea=0\nsaveto=0\nsound=" + std::to_string(sound) + "\n");
        ASSERT_TRUE(session.StartQuorvel({"/start"})) << session.QuorvelLog();
        session.StartWatchingSound();
        EXPECT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
        Pause(1000);
        const int streams = session.StopWatchingSound();
        if (sound == 1)
            EXPECT_EQ(streams, 0) << "sound off plays nothing";
        else
            EXPECT_EQ(streams, 1) << "sound " << sound << " plays once\n" << session.QuorvelLog();
        session.StopQuorvel();
    }
}
