// The program on a real Wayland desktop: a private headless sway with no X server, whose
// output shows a known picture. Captures are compared pixel for pixel with that picture and
// with what grim reads from the same output.

#include "SwaySession.h"

#include <QImage>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

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

    // Told once: the next start shows no message. The active window is the desktop's
    // secret: the capture fails with a message that says so, and writes nothing.
    session.WriteSettings(
        "area=3\nsaveto=0\nsound=1\nkey_command_shown=1\npath=" + session.SaveFolder() + "\n");
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
            return session.QuorvelLog().find("does not tell programs which window") !=
                   std::string::npos;
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
    std::thread ctl([&] { reply = session.Ctl(R"({"command":"capture"})"); });
    const bool shown =
        session.WaitUntil([&] { return session.FullScreenWindow("quorvel"); }, 10000);
    if (shown)
        session.Status(std::string(QUORVEL_TEST_POINTER_BIN) + " " + std::to_string(kWidth) + " " +
                       std::to_string(kHeight) + " 101 81 301 201");
    else
        session.Status("wtype -k Escape 2>/dev/null");
    ctl.join();
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
