// Faults a user meets at the edges: a sender that gives up, a broken runtime folder, the
// window manager's close, a keyboard mapping that changes, a save folder that is not
// there, a deep-colour screen. Each runs the real program on a private desktop.

#include "DesktopSession.h"
#include "app/ChannelProtocol.h"

#include <QImage>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using quorvel::test::Differences;
using quorvel::test::Pause;
using quorvel::test::TDesktopSession;

namespace {

namespace fs = std::filesystem;

// A connection to the command socket that sends a capture request and hangs up without
// waiting for the answer.
void SendCaptureAndHangUp() {
    const std::string path = std::string(std::getenv("XDG_RUNTIME_DIR")) + "/quorvel/channel";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const std::string bytes = quorvel::EncodeRequest(
        {quorvel::TRequestType::CopyData, quorvel::kCopyDataCommand, R"({"command":"capture"})"});
    ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
    ::close(fd);
}

} // namespace

TEST(Faults, ChannelOutlivesASenderThatGivesUpDuringASelection) {
    TDesktopSession session(800, 600);
    session.WriteSettings("path=" + session.SaveFolder() + "\narea=2\nsaveto=0\nsound=1\n");
    ASSERT_TRUE(session.StartQuorvel({"/start"})) << session.QuorvelLog();
    const QImage before = session.Screenshot();
    SendCaptureAndHangUp();
    // The selection overlay is up (the screen dimmed) while nobody waits for the answer.
    ASSERT_TRUE(TDesktopSession::WaitUntil(
        [&] { return session.Screenshot().pixel(400, 300) != before.pixel(400, 300); }, 5000));
    Pause(500);
    session.Status("xdotool key Escape");
    Pause(500);
    // Still running and answering; the next selection is completed and saved.
    ASSERT_TRUE(TDesktopSession::Alive(session.QuorvelPid())) << session.QuorvelLog();
    const pid_t ctl =
        session.Start({quorvel::test::QuorvelCtlBinary(), R"({"command":"capture"})"}, "ctl.log");
    ASSERT_TRUE(TDesktopSession::WaitUntil(
        [&] { return session.Screenshot().pixel(400, 300) != before.pixel(400, 300); }, 5000));
    session.Status("xdotool mousemove 100 100 sleep 0.15 mousedown 1 sleep 0.15 mousemove 200 150 "
                   "sleep 0.15 mousemove 300 200 sleep 0.15 mouseup 1");
    EXPECT_TRUE(TDesktopSession::WaitUntil([&] { return !TDesktopSession::Alive(ctl); }, 5000));
    EXPECT_EQ(QImage(QString::fromStdString(session.NewestCapture())).size(), QSize(200, 100));
    EXPECT_EQ(session.QuorvelLog().find("ERROR: AddressSanitizer"), std::string::npos);
}

TEST(Faults, UninstNeverBecomesAnInstance) {
    TDesktopSession session(640, 480);
    session.WriteSettings("path=" + session.SaveFolder() + "\n");
    // The per-user folder cannot be made: a file stands where it belongs.
    std::ofstream(std::string(std::getenv("XDG_RUNTIME_DIR")) + "/quorvel") << "in the way";
    EXPECT_EQ(session.RunQuorvel({"/uninst"}, 3000), 0);
    Pause(300);
    EXPECT_EQ(session.VisibleWindow("Quorvel"), 0u);
}

TEST(Faults, WindowTitlesAreTheCaptionsAloneAndTheFrameIgnoresCloseRequests) {
    TDesktopSession session;
    session.WriteSettings("path=" + session.SaveFolder() + "\narea=1\nsaveto=0\nlanguage=en\n");
    ASSERT_TRUE(session.StartQuorvel({"/start"})) << session.QuorvelLog();
    unsigned long frame = 0;
    ASSERT_TRUE(TDesktopSession::WaitUntil(
        [&] { return (frame = session.VisibleWindow("Region - Quorvel")) != 0; }, 5000));
    // The header's popup, "Setting": the size dialog's title is its caption and nothing more.
    session.Status("xdotool mousemove 900 372 click 3");
    Pause();
    session.Status("xdotool key --delay 40 Down Down Down Down Return");
    unsigned long dialog = 0;
    ASSERT_TRUE(TDesktopSession::WaitUntil(
        [&] { return (dialog = session.VisibleWindow("Size setting")) != 0; }, 5000));
    EXPECT_EQ(session.Output("xprop -id " + std::to_string(dialog) + " _NET_WM_NAME"),
              "_NET_WM_NAME(UTF8_STRING) = \"Size setting\"\n");

    // The window manager's close request and Alt+F4 leave the frame where it is.
    session.Status("wmctrl -i -c " + std::to_string(frame));
    EXPECT_TRUE(session.Activate(frame));
    session.Status("xdotool key alt+F4");
    Pause(500);
    EXPECT_NE(session.VisibleWindow("Region - Quorvel"), 0u);
    EXPECT_EQ(session.Setting("area"), "1");
}

TEST(Faults, HotKeyFollowsAKeyboardMappingChange) {
    TDesktopSession session(640, 480);
    session.WriteSettings("path=" + session.SaveFolder() + "\narea=0\nsaveto=0\nsound=1\n");
    ASSERT_TRUE(session.StartQuorvel({"/start"})) << session.QuorvelLog();
    // Print Screen moves to another key, as a layout change can do.
    const std::string printKey =
        session.Output("xmodmap -pke | awk '$4 == \"Print\" {print $2; exit}'");
    ASSERT_FALSE(printKey.empty());
    ASSERT_EQ(session.Status("xmodmap -e 'keycode " + printKey.substr(0, printKey.size() - 1) +
                             " = NoSymbol' -e 'keycode 200 = Print'"),
              0);
    Pause(500);
    session.Status("xdotool key Print");
    EXPECT_TRUE(TDesktopSession::WaitUntil([&] { return !session.NewestCapture().empty(); }, 3000))
        << session.QuorvelLog();
}

TEST(Faults, DesktopFolderIsMadeButAChosenFolderThatWentAwayIsNot) {
    TDesktopSession session(640, 480);
    // A new account: no desktop folder yet, no folder chosen.
    const std::string desktop = std::string(std::getenv("HOME")) + "/Desktop";
    fs::remove_all(desktop);
    session.WriteSettings("area=0\nsaveto=0\nsound=1\n");
    ASSERT_TRUE(session.StartQuorvel({"/start"})) << session.QuorvelLog();
    EXPECT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    EXPECT_TRUE(fs::exists(desktop + "/Q-001.png")) << session.QuorvelLog();
    session.StopQuorvel();

    // A folder the user chose and then removed: the capture fails and says why.
    const std::string chosen = session.Root() + "/chosen";
    session.WriteSettings("path=" + chosen + "\narea=0\nsaveto=0\nsound=1\n");
    ASSERT_TRUE(session.StartQuorvel({"/start"})) << session.QuorvelLog();
    const pid_t ctl =
        session.Start({quorvel::test::QuorvelCtlBinary(), R"({"command":"capture"})"}, "ctl.log");
    EXPECT_TRUE(TDesktopSession::WaitUntil(
        [&] { return session.QuorvelLog().find("Capture failed.") != std::string::npos; }, 5000))
        << session.QuorvelLog();
    EXPECT_TRUE(session.AnswerMessage());
    EXPECT_TRUE(TDesktopSession::WaitUntil([&] { return !TDesktopSession::Alive(ctl); }, 3000));
    EXPECT_FALSE(fs::exists(chosen));
}

TEST(Faults, ThirtyBitScreenIsReadWithItsOwnChannelLayout) {
    TDesktopSession session(640, 480, 30);
    session.Status("xsetroot -solid '#ff8010'");
    session.WriteSettings("path=" + session.SaveFolder() +
                          "\narea=0\nsaveto=0\nsound=1\nmouse=0\n");
    ASSERT_TRUE(session.StartQuorvel({"/start"})) << session.QuorvelLog();
    EXPECT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    const QImage capture(QString::fromStdString(session.NewestCapture()));
    ASSERT_EQ(capture.size(), QSize(640, 480)) << session.QuorvelLog();
    EXPECT_EQ(capture.pixel(5, 5) & 0xFFFFFF, 0xFF8010u);
    EXPECT_EQ(capture.pixel(635, 475) & 0xFFFFFF, 0xFF8010u);
}
