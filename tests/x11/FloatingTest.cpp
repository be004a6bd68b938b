// Floating windows on a private desktop: a capture pinned exactly over its place, above
// other windows and out of the taskbar, dragged by its picture, and its menu's save and
// delete commands, driven with xdotool.

#include "DesktopSession.h"
#include "sinks/JpegWriter.h"
#include "sinks/PixelView.h"

#include <QImage>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <thread>

using quorvel::test::Differences;
using quorvel::test::Pause;
using quorvel::test::TDesktopSession;

namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class Floating : public testing::Test {
protected:
    void Launch(const std::string& settings, const std::vector<std::string>& env = {}) {
        session.WriteSettings("path=" + session.SaveFolder() + "\nsound=0\nmouse=0\narea=3\n" +
                              "saveto=10\n" + settings);
        ASSERT_TRUE(session.StartQuorvel({"/start"}, env)) << session.QuorvelLog();
    }

    // The visible floating windows (titled as the program, while the main window stays
    // hidden), in stacking order.
    std::vector<unsigned long> FloatingWindows() const {
        std::vector<unsigned long> ids;
        const std::string out =
            session.Output("xdotool search --onlyvisible --name '^Quorvel$' 2>/dev/null");
        std::size_t at = 0;
        while (at < out.size()) {
            const std::size_t end = out.find('\n', at);
            const std::string line = out.substr(at, end - at);
            if (!line.empty())
                ids.push_back(std::stoul(line));
            if (end == std::string::npos)
                break;
            at = end + 1;
        }
        return ids;
    }
    bool WaitForFloatingCount(std::size_t count) const {
        return TDesktopSession::WaitUntil([&] { return FloatingWindows().size() == count; }, 5000);
    }

    // A window's place on the root window in physical pixels (its inside, as xwininfo
    // gives it).
    QRect Geometry(unsigned long id) const {
        const std::string info = session.Output("xwininfo -id " + std::to_string(id));
        int x = 0, y = 0, w = 0, h = 0;
        const auto field = [&](const char* name, int& value) {
            const std::size_t at = info.find(name);
            if (at != std::string::npos)
                value = std::atoi(info.c_str() + at + std::strlen(name));
        };
        field("Absolute upper-left X:", x);
        field("Absolute upper-left Y:", y);
        field("Width:", w);
        field("Height:", h);
        return {x, y, w, h};
    }

    // The frame of a managed window: its inside widened by the frame extents.
    QRect Frame(unsigned long id) const {
        int left = 0, right = 0, top = 0, bottom = 0;
        const std::string extents =
            session.Output("xprop -id " + std::to_string(id) + " _NET_FRAME_EXTENTS");
        std::sscanf(extents.c_str(), "_NET_FRAME_EXTENTS(CARDINAL) = %d, %d, %d, %d", &left, &right,
                    &top, &bottom);
        return Geometry(id).adjusted(-left, -top, right, bottom);
    }

    bool WaitForGeometry(unsigned long id, const QRect& wanted) const {
        return TDesktopSession::WaitUntil([&] { return Geometry(id) == wanted; }, 5000);
    }
    bool WaitForPicture(const QRect& place, const QImage& picture) const {
        return TDesktopSession::WaitUntil(
            [&] { return Differences(session.Screenshot().copy(place), picture) == 0; }, 5000);
    }

    // Captures the active pattern window to a floating window and moves the pattern away;
    // returns the floating window, with the captured frame and its pixels.
    unsigned long PinPattern(unsigned long pattern, QRect& frame, QImage& picture) {
        const std::size_t before = FloatingWindows().size();
        // The capture takes the active window: the pattern, whatever took the focus since.
        EXPECT_TRUE(session.Activate(pattern));
        frame = Frame(pattern);
        picture = session.Screenshot().copy(frame);
        EXPECT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
        EXPECT_TRUE(WaitForFloatingCount(before + 1));
        const std::vector<unsigned long> windows = FloatingWindows();
        const unsigned long id = windows.empty() ? 0 : windows.back();
        session.Status("xdotool windowminimize --sync " + std::to_string(pattern) +
                       " >/dev/null 2>&1");
        return id;
    }

    void RightClick(QPoint at) {
        session.Status("xdotool mousemove " + std::to_string(at.x()) + " " +
                       std::to_string(at.y()) + " sleep 0.2 click 3");
        Pause(400);
    }
    // Picks an item of the open menu: 1 save, 2 delete, 3 delete all.
    void MenuItem(int item) {
        std::string keys;
        for (int i = 0; i < item; ++i)
            keys += " Down";
        session.Status("xdotool key --delay 80" + keys + " Return");
    }

    // Opens the save dialog of the floating window at `at`.
    bool OpenSaveDialog(QPoint at) {
        RightClick(at);
        MenuItem(1);
        return TDesktopSession::WaitUntil([&] { return SaveDialogOpen(); }, 5000);
    }
    bool SaveDialogOpen() const {
        return !session.Output("xdotool search --onlyvisible --name '^Save As' 2>/dev/null")
                    .empty();
    }
    bool WaitForFile(const std::string& path) const {
        return TDesktopSession::WaitUntil([&] { return fs::exists(path) && !SaveDialogOpen(); },
                                          5000);
    }

    TDesktopSession session;
};

} // namespace

TEST_F(Floating, PinsThePictureExactlyOverItsPlaceAboveOtherWindows) {
    for (const char* scale : {"1", "2"}) {
        SCOPED_TRACE(std::string("scale ") + scale);
        Launch("", {std::string("QT_SCALE_FACTOR=") + scale});
        const unsigned long pattern = session.ShowPatternWindow("Pattern", 301, 203, 101, 77);
        QRect frame;
        QImage picture;
        const unsigned long floating = PinPattern(pattern, frame, picture);
        ASSERT_NE(floating, 0u);
        EXPECT_TRUE(WaitForGeometry(floating, frame))
            << "at " << Geometry(floating).x() << "," << Geometry(floating).y() << " "
            << Geometry(floating).width() << "x" << Geometry(floating).height() << " for "
            << frame.width() << "x" << frame.height();
        EXPECT_TRUE(WaitForPicture(frame, picture));

        // Above, out of the taskbar and pager, owned by no window.
        const std::string state =
            session.Output("xprop -id " + std::to_string(floating) + " _NET_WM_STATE");
        EXPECT_NE(state.find("_NET_WM_STATE_ABOVE"), std::string::npos) << state;
        EXPECT_NE(state.find("_NET_WM_STATE_SKIP_TASKBAR"), std::string::npos) << state;
        EXPECT_NE(state.find("_NET_WM_STATE_SKIP_PAGER"), std::string::npos) << state;
        EXPECT_EQ(session.Output("xprop -id " + std::to_string(floating) + " WM_TRANSIENT_FOR")
                      .find("window id"),
                  std::string::npos);

        // A window raised and activated afterwards stays below it.
        session.ShowPatternWindow("Other", 500, 400, 50, 50);
        EXPECT_TRUE(WaitForPicture(frame, picture));

        // The main window shown and minimised leaves it where it is.
        EXPECT_EQ(session.RunQuorvel({}, 5000), 0);
        ASSERT_TRUE(WaitForFloatingCount(2));
        for (unsigned long id : FloatingWindows())
            if (id != floating)
                session.Status("xdotool windowminimize --sync " + std::to_string(id) +
                               " >/dev/null 2>&1");
        EXPECT_TRUE(WaitForFloatingCount(1));
        EXPECT_EQ(FloatingWindows(), std::vector<unsigned long>{floating});
        EXPECT_TRUE(WaitForPicture(frame, picture));
        const pid_t pid = session.QuorvelPid();
        session.Status(quorvel::test::QuorvelCtlBinary() + " --exit >/dev/null 2>&1");
        EXPECT_TRUE(TDesktopSession::WaitUntil([&] { return !TDesktopSession::Alive(pid); }, 5000));
        EXPECT_TRUE(WaitForFloatingCount(0));
        session.Status("xdotool search --name '^(Pattern|Other)$' windowkill %@ >/dev/null 2>&1");
        Pause();
    }
}

TEST_F(Floating, DraggingThePictureMovesTheWindowByTheDragsDistance) {
    for (const char* scale : {"1", "2"}) {
        SCOPED_TRACE(std::string("scale ") + scale);
        Launch("", {std::string("QT_SCALE_FACTOR=") + scale});
        const unsigned long pattern = session.ShowPatternWindow("Pattern", 301, 203, 101, 77);
        QRect frame;
        QImage picture;
        const unsigned long floating = PinPattern(pattern, frame, picture);
        ASSERT_TRUE(WaitForGeometry(floating, frame));
        const QPoint from = frame.center();
        const auto xy = [](QPoint p) {
            return std::to_string(p.x()) + " " + std::to_string(p.y());
        };
        session.Status("xdotool mousemove " + xy(from) + " sleep 0.2 mousedown 1 sleep 0.2" +
                       " mousemove " + xy(from + QPoint(40, 20)) + " sleep 0.2 mousemove " +
                       xy(from + QPoint(150, 91)) + " sleep 0.3 mouseup 1");
        const QRect moved = frame.translated(150, 91);
        EXPECT_TRUE(WaitForGeometry(floating, moved));
        EXPECT_TRUE(WaitForPicture(moved, picture));
        session.StopQuorvel();
        session.Status("xdotool search --name '^Pattern$' windowkill %@ >/dev/null 2>&1");
        Pause();
    }
}

TEST_F(Floating, MenuDeletesOneWindowOrAllOfThem) {
    Launch("");
    QRect frame1, frame2, frame3;
    QImage picture1, picture2, picture3;
    const unsigned long first =
        PinPattern(session.ShowPatternWindow("First", 200, 150, 50, 60), frame1, picture1);
    const unsigned long second =
        PinPattern(session.ShowPatternWindow("Second", 200, 150, 600, 300), frame2, picture2);
    ASSERT_TRUE(WaitForFloatingCount(2));

    // "플로팅 삭제" removes the window whose menu it is, and only that one.
    RightClick(frame1.center());
    MenuItem(2);
    ASSERT_TRUE(WaitForFloatingCount(1));
    EXPECT_EQ(FloatingWindows(), std::vector<unsigned long>{second});
    EXPECT_NE(FloatingWindows().front(), first);

    // "모든 플로팅 삭제" removes every one, the window whose menu it is included.
    PinPattern(session.ShowPatternWindow("Third", 200, 150, 1000, 500), frame3, picture3);
    ASSERT_TRUE(WaitForFloatingCount(2));
    RightClick(frame3.center());
    MenuItem(3);
    EXPECT_TRUE(WaitForFloatingCount(0));

    // The list is empty: the next capture gives exactly one window.
    session.Status(
        "timeout 10 xdotool search --name '^Third$' windowactivate --sync %1 >/dev/null 2>&1");
    Pause();
    EXPECT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    EXPECT_TRUE(WaitForFloatingCount(1));

    // The program ends with floating windows open, and they end with it.
    PinPattern(session.ShowPatternWindow("Fourth", 200, 150, 300, 700), frame3, picture3);
    ASSERT_TRUE(WaitForFloatingCount(2));
    const pid_t pid = session.QuorvelPid();
    session.Status(quorvel::test::QuorvelCtlBinary() + " --exit >/dev/null 2>&1");
    EXPECT_TRUE(TDesktopSession::WaitUntil([&] { return !TDesktopSession::Alive(pid); }, 5000));
    EXPECT_TRUE(WaitForFloatingCount(0));
}

TEST_F(Floating, SavesInEachOfTheFiveTypesWithTheMainWindowsQualities) {
    // JPG quality 60 and WebP quality 70: the last and the second last entries.
    Launch("jpeg_quality=4\nwebp_quality=3\n");
    QRect frame;
    QImage picture;
    PinPattern(session.ShowPatternWindow("Pattern", 301, 203, 101, 77), frame, picture);
    ASSERT_TRUE(WaitForPicture(frame, picture));
    picture = picture.convertToFormat(QImage::Format_RGB32);
    const std::string folder = session.SaveFolder() + "/";

    // A name typed without an extension gets the one of the chosen type; the type's first
    // letter picks it in the list after the file name.
    const struct {
        const char* letter;
        const char* file;
        const char* format;
    } types[] = {{"p", "shot-png.png", "png"},
                 {"j", "shot-jpg.jpg", "jpg"},
                 {"g", "shot-gif.gif", "gif"},
                 {"b", "shot-bmp.bmp", "bmp"},
                 {"w", "shot-webp.webp", "webp"}};
    for (const auto& type : types) {
        SCOPED_TRACE(type.file);
        ASSERT_TRUE(OpenSaveDialog(frame.center()));
        const std::string name = std::string(type.file).substr(0, std::string(type.file).find('.'));
        session.Status("xdotool type --delay 40 " + name);
        session.Status(std::string("xdotool key --delay 150 Tab ") + type.letter + " Return");
        ASSERT_TRUE(WaitForFile(folder + type.file));
        Pause();
        const QImage saved = QImage(QString::fromStdString(folder + type.file), type.format)
                                 .convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(saved.size(), picture.size());
        const std::string format = type.format;
        if (format == "png" || format == "bmp") {
            EXPECT_EQ(Differences(saved, picture), 0);
        }
    }
    // The JPG file is the one the writer makes of the picture at quality 60.
    const std::string expected = session.Root() + "/expected.jpg";
    quorvel::WriteJPG({picture.constBits(), picture.width(), picture.height(),
                       static_cast<std::ptrdiff_t>(picture.bytesPerLine())},
                      expected, 60);
    EXPECT_EQ(ReadBytes(folder + "shot-jpg.jpg"), ReadBytes(expected));

    // Cancel writes nothing.
    const auto count = [&] {
        return std::distance(fs::directory_iterator(session.SaveFolder()), {});
    };
    const auto files = count();
    ASSERT_TRUE(OpenSaveDialog(frame.center()));
    session.Status("xdotool type --delay 40 cancelled && xdotool key Escape");
    EXPECT_TRUE(TDesktopSession::WaitUntil([&] { return !SaveDialogOpen(); }, 5000));
    Pause();
    EXPECT_EQ(count(), files);

    // A file that cannot be written shows the capture-failed message, and the window stays.
    ASSERT_TRUE(OpenSaveDialog(frame.center()));
    session.Status("xdotool type --delay 40 /sys/shot && xdotool key Return");
    EXPECT_TRUE(TDesktopSession::WaitUntil(
        [&] {
            return session.QuorvelLog().find(R"(Cannot create file "/sys/shot.png")") !=
                   std::string::npos;
        },
        5000))
        << session.QuorvelLog();
    // The message box carries the program's caption as well.
    EXPECT_TRUE(WaitForFloatingCount(2));
    EXPECT_TRUE(session.AnswerMessage());
    EXPECT_TRUE(quorvel::test::TDesktopSession::Alive(session.QuorvelPid()));
    EXPECT_TRUE(WaitForFloatingCount(1));
}
