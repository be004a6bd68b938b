// The main window, its option menu and the capture hotkey, driven with the mouse and the
// keyboard on a private desktop; checked through the stored settings, the files written
// and the screen.

#include "DesktopSession.h"

#include <QImage>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>

using quorvel::test::Differences;
using quorvel::test::Pause;
using quorvel::test::TDesktopSession;

namespace {

namespace fs = std::filesystem;

std::size_t FileCount(const std::string& folder) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

class MainWindow : public testing::Test {
protected:
    void Launch(const std::string& settings, const std::vector<std::string>& args = {}) {
        session.WriteSettings("path=" + session.SaveFolder() + "\nsound=1\nmouse=0\n" + settings);
        ASSERT_TRUE(session.StartQuorvel(args)) << session.QuorvelLog();
        if (args.empty()) {
            ASSERT_TRUE(FindWindow());
        }
    }
    bool FindWindow() {
        return TDesktopSession::WaitUntil(
            [&] {
                window = session.VisibleWindow("Quorvel");
                if (window == 0)
                    return false;
                const std::string info = session.Output("xwininfo -id " + std::to_string(window));
                const char* at = std::strstr(info.c_str(), "Absolute upper-left X:");
                return at != nullptr &&
                       std::sscanf(at, "Absolute upper-left X: %d\n Absolute upper-left Y: %d",
                                   &origin.rx(), &origin.ry()) == 2;
            },
            5000);
    }
    // A point of the window's client area, in screen coordinates.
    std::string At(int x, int y) const {
        return std::to_string(origin.x() + x) + " " + std::to_string(origin.y() + y);
    }
    // A click as a hand makes it: a quick press and release can arrive before the window
    // has taken the focus that the window manager gives it on the press.
    void Click(int x, int y, int button = 1) {
        const std::string b = std::to_string(button);
        session.Status("xdotool mousemove " + At(x, y) + " mousedown " + b +
                       " sleep 0.15 mouseup " + b);
        Pause();
    }
    // Activates the window, whose keyboard focus starts on the capture-area list; Tab
    // moves it on to the save-to list. Arrow keys on a list are choices, as for a user.
    void Activate() {
        EXPECT_TRUE(session.Activate(window));
        Pause();
    }
    void Keys(const std::string& keys) {
        session.Status("xdotool key --delay 60 " + keys);
        Pause();
    }
    // Opens the option menu with a right click on the capture-area label.
    void OpenMenu() { Click(40, 14, 3); }
    std::string Setting(const std::string& name) const { return session.Setting(name); }
    // The window's client area as the screen shows it, at its size now: the window grows
    // with the texts and lists it shows.
    QImage WindowImage() const {
        const std::string info = session.Output("xwininfo -id " + std::to_string(window));
        const char* at = std::strstr(info.c_str(), "Width:");
        int width = 162, height = 191;
        if (at != nullptr)
            std::sscanf(at, "Width: %d\n Height: %d", &width, &height);
        return session.Screenshot().copy(origin.x(), origin.y(), width, height);
    }
    bool LogHas(const std::string& text) const {
        return TDesktopSession::WaitUntil(
            [&] { return session.QuorvelLog().find(text) != std::string::npos; }, 5000);
    }

    TDesktopSession session;
    unsigned long window = 0;
    QPoint origin;
};

} // namespace

TEST_F(MainWindow, PrintScreenCapturesFromAnyApplication) {
    Launch("area=0\nsaveto=0\n", {"/start"});
    session.Start({quorvel::test::TestWindowBinary(), "Pattern", "300", "200", "100", "100"},
                  "window.log");
    ASSERT_TRUE(
        TDesktopSession::WaitUntil([&] { return session.VisibleWindow("Pattern") != 0; }, 5000));
    Pause();
    session.Status("xdotool key Print");
    EXPECT_TRUE(
        TDesktopSession::WaitUntil([&] { return FileCount(session.SaveFolder()) == 1; }, 5000));
    // With Num Lock on the key still works.
    session.Status("xdotool key Num_Lock && xdotool key Print && xdotool key Num_Lock");
    EXPECT_TRUE(
        TDesktopSession::WaitUntil([&] { return FileCount(session.SaveFolder()) == 2; }, 5000));
}

TEST_F(MainWindow, HotKeyDialogStoresCtrlShiftAAndUsesIt) {
    Launch("area=0\nsaveto=0\n");
    OpenMenu();
    Keys("Down Down Down Return"); // "Hotkey setting"
    ASSERT_TRUE(TDesktopSession::WaitUntil(
        [&] { return session.VisibleWindow("Hotkey setting") != 0; }, 5000));
    // Focus starts on Ctrl; the tab order runs Ctrl, Alt, key list, Shift, OK.
    Keys("space Tab Tab a Tab space Tab space");
    EXPECT_TRUE(TDesktopSession::WaitUntil([&] { return Setting("hotkey") == "24641"; }, 3000))
        << Setting("hotkey");
    EXPECT_EQ(session.VisibleWindow("Hotkey setting"), 0u);
    session.Status("xdotool key ctrl+shift+a");
    EXPECT_TRUE(
        TDesktopSession::WaitUntil([&] { return FileCount(session.SaveFolder()) == 1; }, 5000));
    // Print Screen is free again.
    session.Status("xdotool key Print");
    Pause(500);
    EXPECT_EQ(FileCount(session.SaveFolder()), 1u);
}

TEST_F(MainWindow, KeyHeldByAnotherProgramIsReportedAtStartAndTakenOnceFreed) {
    const pid_t holder = session.Start({QUORVEL_GRABKEY_BIN, "Print"}, "grab.log");
    ASSERT_TRUE(TDesktopSession::WaitUntil(
        [&] {
            return session.Output("cat " + session.Root() + "/grab.log").find("grabbed") !=
                   std::string::npos;
        },
        5000));
    session.WriteSettings("path=" + session.SaveFolder() + "\nsound=1\n");
    session.Start({quorvel::test::QuorvelBinary(), "/start"}, "quorvel-1.log");
    EXPECT_TRUE(TDesktopSession::WaitUntil(
        [&] {
            return session.Output("cat " + session.Root() + "/quorvel-1.log")
                       .find("An unknown program is using the shortcut key.\\r\\rPlease change the "
                             "shortcut key.") != std::string::npos;
        },
        10000));
    EXPECT_TRUE(session.AnswerMessage());
    // Then the dialog opens so that another key can be chosen.
    EXPECT_TRUE(TDesktopSession::WaitUntil(
        [&] { return session.VisibleWindow("Hotkey setting") != 0; }, 5000));

    // The other program is told to give the key up, as a window manager does when its
    // bindings are reloaded: the keyboard mapping is loaded again first, the grab ends a
    // moment later. The key then works without a restart.
    const std::string printKey = session.Output("xmodmap -pke | grep -m1 '= Print'");
    ASSERT_FALSE(printKey.empty());
    EXPECT_EQ(session.Status("xmodmap -e '" + printKey.substr(0, printKey.find('\n')) + "'"), 0);
    Pause(300);
    session.Stop(holder);
    Pause(3000);
    session.Status("xdotool key Print");
    EXPECT_TRUE(
        TDesktopSession::WaitUntil([&] { return FileCount(session.SaveFolder()) == 1; }, 5000));
}

TEST_F(MainWindow, MenuChoicesAreStoredAndReadBackAfterARestart) {
    Launch("area=0\nsaveto=0\n");
    OpenMenu();
    Keys("Down Down Down Down Down Right Down Return"); // Filename setting > sequential #2
    EXPECT_EQ(Setting("append"), "3");
    OpenMenu();
    Keys("Down Down Down Down Down Down Down Right Down Down Return"); // Sound setting > after
                                                                       // capture
    EXPECT_EQ(Setting("sound"), "3");
    OpenMenu();
    Keys("Down Down Down Down Down Down Down Down Return"); // Mouse cursor: on -> off
    EXPECT_EQ(Setting("mouse"), "1");

    session.StopQuorvel();
    std::ofstream(session.SaveFolder() + "/Q-005.png") << "x";
    ASSERT_TRUE(session.StartQuorvel({"/start"})) << session.QuorvelLog();
    EXPECT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    // Sequential #2 takes the lowest free number of its extension.
    EXPECT_TRUE(fs::exists(session.SaveFolder() + "/Q-001.png"));
    EXPECT_EQ(Setting("append"), "3");
}

TEST_F(MainWindow, JpgNarrowsTheListAndShowsItsQualityPngRestoresIt) {
    Launch("area=0\nsaveto=0\n");
    // Between the narrowed list and the quality list beside it the white card shows; a
    // single list fills the row.
    const auto gapIsBlank = [&] {
        const QImage image = WindowImage();
        for (int x = 8 + 30; x < image.width() - 12; ++x) {
            const QRgb gap = image.pixel(x, 60 + 32);
            if (qRed(gap) == 255 && qGreen(gap) == 255 && qBlue(gap) == 255)
                return true;
        }
        return false;
    };
    EXPECT_FALSE(gapIsBlank());
    Activate();
    Keys("Tab Down");
    EXPECT_EQ(Setting("saveto"), "1");
    EXPECT_TRUE(gapIsBlank());
    Keys("Up");
    EXPECT_EQ(Setting("saveto"), "0");
    EXPECT_FALSE(gapIsBlank());
}

TEST_F(MainWindow, WebPWithoutALoadableLibraryFallsBackToPng) {
    // A copy of the program with a broken libwebp.so.7 beside it.
    const std::string folder = session.Root() + "/program";
    fs::create_directories(folder);
    fs::copy_file(quorvel::test::QuorvelBinary(), folder + "/quorvel");
    std::ofstream(folder + "/libwebp.so.7") << "not a library";
    session.WriteSettings("path=" + session.SaveFolder() + "\nsaveto=4\n");
    session.Start({folder + "/quorvel", "/start"}, "quorvel-1.log");
    EXPECT_TRUE(TDesktopSession::WaitUntil(
        [&] {
            return session.Output("cat " + session.Root() + "/quorvel-1.log")
                       .find("\"libwebp.so.7\" file not found.") != std::string::npos;
        },
        10000));
    EXPECT_TRUE(session.AnswerMessage());
    EXPECT_TRUE(TDesktopSession::WaitUntil([&] { return Setting("saveto") == "0"; }, 3000));
}

TEST_F(MainWindow, ColourPickerAreaIsStoredAsFullScreen) {
    Launch("area=1\nsaveto=0\n");
    EXPECT_EQ(Setting("area"), "1");
    const QImage before = WindowImage();
    Activate();
    Keys("End");
    EXPECT_EQ(Setting("area"), "0");
    // The colour card replaces the save card.
    EXPECT_NE(WindowImage(), before);
}

TEST_F(MainWindow, SwitchingToJapaneseChangesTheWindowAndIsKept) {
    Launch("area=0\nsaveto=0\nlanguage=en\n");
    const QImage english = WindowImage();
    OpenMenu();
    Keys("Down Down Down Down Right Down Down Return"); // Language > 日本語
    EXPECT_EQ(Setting("language"), "ja");
    const QImage japanese = WindowImage();
    EXPECT_NE(japanese, english);
    // The next start shows the same window as the switch did.
    session.StopQuorvel();
    ASSERT_TRUE(session.StartQuorvel()) << session.QuorvelLog();
    ASSERT_TRUE(FindWindow());
    Pause();
    EXPECT_EQ(WindowImage(), japanese);
}

TEST_F(MainWindow, RunOnSystemStartWritesTheAutostartEntry) {
    Launch("area=0\nsaveto=0\n");
    const std::string entry = session.Root() + "/config/autostart/Quorvel.desktop";
    OpenMenu();
    Keys("Down Down Down Down Down Down Down Down Down Return"); // Run on system start
    ASSERT_TRUE(fs::exists(entry));
    std::ifstream in(entry);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("Exec=\"" + quorvel::test::QuorvelBinary() + "\" /start\n"),
              std::string::npos)
        << text;
    OpenMenu();
    Keys("Down Down Down Down Down Down Down Down Down Return"); // and off again
    EXPECT_FALSE(fs::exists(entry));
}

TEST_F(MainWindow, InstSwitchesAutostartOn) {
    Launch("", {"/inst"});
    EXPECT_TRUE(fs::exists(session.Root() + "/config/autostart/Quorvel.desktop"));
    EXPECT_TRUE(FindWindow());
}

TEST_F(MainWindow, QuitAsksFirst) {
    Launch("area=0\nsaveto=0\n");
    OpenMenu();
    Keys("Up Return"); // Quit, the last item
    ASSERT_TRUE(LogHas("Are you sure you want to quit?"));
    Pause();
    Keys("Return"); // No is the default
    Pause(500);
    EXPECT_TRUE(TDesktopSession::Alive(session.QuorvelPid()));
    OpenMenu();
    Keys("Up Return");
    Pause();
    Keys("shift+Tab space"); // Yes
    EXPECT_TRUE(TDesktopSession::WaitUntil(
        [&] { return !TDesktopSession::Alive(session.QuorvelPid()); }, 3000));
}

TEST_F(MainWindow, QuitDuringARecordingAsksOnceToStopItAndFinishesTheFile) {
    Launch("area=0\nsaveto=5\n");
    ASSERT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    Pause(1500);
    // The program is busy with the recording: a menu that was not open in time for the keys
    // is opened again.
    bool asked = false;
    for (int attempt = 0; attempt < 3 && !asked; ++attempt) {
        Activate();
        OpenMenu();
        Keys("Up Return"); // Quit
        asked = LogHas("Stop the recording and quit?");
        if (!asked)
            Keys("Escape");
    }
    ASSERT_TRUE(asked);
    Pause();
    Keys("shift+Tab space"); // Yes
    EXPECT_TRUE(TDesktopSession::WaitUntil(
        [&] { return !TDesktopSession::Alive(session.QuorvelPid()); }, 15000));
    const std::string log = session.QuorvelLog();
    EXPECT_EQ(log.find("Are you sure you want to quit?"), std::string::npos) << log;
    EXPECT_EQ(log.find("녹화중입니다."), std::string::npos) << log;
    const std::string file = session.SaveFolder() + "/Q-001.mp4";
    EXPECT_EQ(session.Output("ffprobe -v error -select_streams v:0 -show_entries "
                             "stream=codec_name -of default=nw=1:nk=1 '" +
                             file + "'"),
              "h264\n");
}

TEST_F(MainWindow, FreshStartShowsTheWindowAndSavesToTheDesktop) {
    // No settings at all: a user who has never run the program.
    ASSERT_TRUE(session.StartQuorvel()) << session.QuorvelLog();
    ASSERT_TRUE(FindWindow());
    Pause();
    const QImage screen = session.Screenshot();
    // The 162 x 191 window stands in the middle of the screen (its title bar, added by the
    // window manager, below the middle line by up to its own height).
    EXPECT_NEAR(origin.x() + 81, 960, 2);
    EXPECT_NEAR(origin.y() + 95, 540, 24);
    // White, with its two lists and the button drawn on it.
    EXPECT_EQ(screen.pixel(origin.x() + 2, origin.y() + 150) & 0xFFFFFF, 0xFFFFFFu);
    int drawn = 0;
    for (int y = 0; y < 191; ++y)
        for (int x = 0; x < 162; ++x)
            drawn += (screen.pixel(origin.x() + x, origin.y() + y) & 0xFFFFFF) != 0xFFFFFFu;
    EXPECT_GT(drawn, 1500);
    // Print Screen saves a PNG named Q-001.png on the desktop, the sound playing (silently
    // here: there is no audio device) before it.
    session.Status("xdotool key Print");
    EXPECT_TRUE(TDesktopSession::WaitUntil(
        [&] { return fs::exists(session.Root() + "/home/Desktop/Q-001.png"); }, 5000))
        << session.QuorvelLog();
    EXPECT_EQ(Setting("area"), "0");
    EXPECT_EQ(Setting("saveto"), "0");
    EXPECT_EQ(Setting("path"), "");
}

// A request never does nothing in silence: a stored choice the lists do not hold is
// reported when a capture is asked for.
TEST_F(MainWindow, ChoicesTheListsDoNotHoldAreReportedAtCapture) {
    for (const auto& [settings, reason] : std::vector<std::pair<std::string, std::string>>{
             {"area=0\nsaveto=42\n", "No destination is chosen in the main window."},
             {"area=9\nsaveto=0\n", "No capture area is chosen in the main window."}}) {
        Launch(settings, {"/start"});
        const pid_t ctl = session.Start(
            {quorvel::test::QuorvelCtlBinary(), R"({"command":"capture"})"}, "ctl.log");
        EXPECT_TRUE(LogHas("Capture failed.\\r\\r" + reason)) << session.QuorvelLog();
        EXPECT_TRUE(session.AnswerMessage());
        EXPECT_TRUE(TDesktopSession::WaitUntil([&] { return !TDesktopSession::Alive(ctl); }, 3000));
        EXPECT_EQ(FileCount(session.SaveFolder()), 0u);
        session.StopQuorvel();
    }
}

// "Open Folder" hands the folder to xdg-open; when that cannot open it, a message says
// where the folder is.
TEST_F(MainWindow, OpenFolderUsesXdgOpenAndSaysWhereTheFolderIsWhenItCannot) {
    const std::string bin = session.Root() + "/bin";
    fs::create_directories(bin);
    for (const auto& [script, expectMessage] : std::vector<std::pair<std::string, bool>>{
             {"echo \"$@\" > '" + session.Root() + "/opened.txt'\n", false}, {"exit 3\n", true}}) {
        std::ofstream(bin + "/xdg-open") << "#!/bin/sh\n" << script;
        fs::permissions(bin + "/xdg-open", fs::perms::owner_all);
        session.WriteSettings("path=" + session.SaveFolder() + "\nlanguage=en\n");
        ASSERT_TRUE(session.StartQuorvel({}, {"PATH=" + bin + ":/usr/bin:/bin"}))
            << session.QuorvelLog();
        ASSERT_TRUE(FindWindow());
        Click(80, 139);
        if (expectMessage) {
            EXPECT_TRUE(LogHas("The save folder cannot be opened.\\r\\r" + session.SaveFolder()))
                << session.QuorvelLog();
            EXPECT_TRUE(session.AnswerMessage());
        } else {
            EXPECT_TRUE(TDesktopSession::WaitUntil(
                [&] {
                    return session.Output("cat " + session.Root() + "/opened.txt 2>/dev/null") ==
                           session.SaveFolder() + "\n";
                },
                5000));
            EXPECT_EQ(session.QuorvelLog().find("cannot be opened"), std::string::npos);
        }
        session.StopQuorvel();
    }
}

// A stored hotkey that is no key at all is reported as such, not as another program's.
TEST_F(MainWindow, StoredHotKeyThatIsNoKeyIsReportedAsUnusable) {
    session.WriteSettings("path=" + session.SaveFolder() + "\nlanguage=en\nhotkey=65535\n");
    session.Start({quorvel::test::QuorvelBinary(), "/start"}, "quorvel-x.log");
    EXPECT_TRUE(TDesktopSession::WaitUntil(
        [&] {
            return session.Output("cat " + session.Root() + "/quorvel-x.log")
                       .find("This shortcut key cannot be used.") != std::string::npos;
        },
        10000));
    EXPECT_EQ(session.Output("cat " + session.Root() + "/quorvel-x.log").find("unknown program"),
              std::string::npos);
}

// A tap on the region frame's header or border (press and release back to back) leaves
// no move or resize running: the frame stays where it is when the pointer goes on.
TEST_F(MainWindow, TapOnTheRegionFrameLeavesNoMoveRunning) {
    Launch("area=1\nsaveto=0\n", {"/start"});
    ASSERT_TRUE(TDesktopSession::WaitUntil(
        [&] { return session.VisibleWindow("Region - Quorvel") != 0; }, 5000));
    Pause();
    // The header at (720, 360), then the bottom border.
    for (const char* at : {"900 372", "900 754"}) {
        session.Status(std::string("xdotool mousemove ") + at + " mousedown 1 mouseup 1");
        Pause();
        session.Status("xdotool mousemove 1500 900 sleep 0.2 mousemove 1600 950");
        Pause();
        EXPECT_EQ(Setting("left"), "720") << at;
        EXPECT_EQ(Setting("top"), "360") << at;
        EXPECT_EQ(Setting("width"), "480") << at;
        EXPECT_EQ(Setting("height"), "360") << at;
    }
}
