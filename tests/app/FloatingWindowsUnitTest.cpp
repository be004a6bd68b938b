// The main window's list of floating windows on Qt's offscreen platform: creation with a
// copy of the capture, deletion of one or all, deletion asked from a window's own menu
// taking effect only after the command returns, and destruction with the main window.

#include "FakePlatform.h"
#include "TempFolder.h"
#include "app/FrmQuorvel.h"
#include "sinks/FrmFloating.h"

#include <QAction>
#include <QCoreApplication>
#include <QPointer>
#include <filesystem>
#include <gtest/gtest.h>

namespace quorvel::test {

namespace {

class FloatingWindowsUnit : public testing::Test {
protected:
    void SetUp() override {
        ::setenv("XDG_CONFIG_HOME", home.Path().c_str(), 1);
        std::filesystem::create_directories(home.Path() / "Marbask");
    }
    static QImage Capture(QRgb colour) {
        QImage image(30, 20, QImage::Format_RGB32);
        image.fill(colour);
        return image;
    }

    TTempFolder home;
    TFakePlatform platform;
};

} // namespace

TEST_F(FloatingWindowsUnit, WindowsKeepTheirOwnCopyAndGoInOrder) {
    TFrmQuorvel window(QString(), platform);
    QImage capture = Capture(qRgb(1, 2, 3));
    window.CaptureFloating(capture, {10, 20, 40, 40});
    window.CaptureFloating(Capture(qRgb(4, 5, 6)), {50, 60, 80, 80});
    window.CaptureFloating(Capture(qRgb(7, 8, 9)), {90, 100, 120, 120});
    ASSERT_EQ(window.FloatList.size(), 3u);
    capture.fill(Qt::white); // the capture is the controller's to change or free
    EXPECT_EQ(window.FloatList[0]->Picture().pixel(0, 0), qRgb(1, 2, 3));
    EXPECT_TRUE(window.FloatList[0]->isVisible());
    // No owner window, so that hiding the main window leaves them on screen.
    EXPECT_EQ(window.FloatList[0]->parentWidget(), nullptr);

    const QPointer<TFrmFloating> first = window.FloatList[0];
    const QPointer<TFrmFloating> second = window.FloatList[1];
    const QPointer<TFrmFloating> third = window.FloatList[2];
    window.FloatDelete(second);
    EXPECT_TRUE(second.isNull());
    EXPECT_EQ(window.FloatList, (std::vector<TFrmFloating*>{first, third}));
    window.FloatDelete(nullptr);
    EXPECT_TRUE(window.FloatList.empty());
    EXPECT_TRUE(first.isNull() && third.isNull());
}

TEST_F(FloatingWindowsUnit, MenuSaysWhereTheDesktopShowsAnOrdinaryWindow) {
    TFrmQuorvel window(QString(), platform);
    window.CaptureFloating(Capture(qRgb(1, 2, 3)), {10, 20, 40, 40});
    EXPECT_EQ(window.FloatList[0]->findChild<QAction*>(QStringLiteral("LblOrdinaryWindow")),
              nullptr);
    platform.Allowed = {}; // GNOME: no placing, no keeping on top, no layer surfaces
    window.CaptureFloating(Capture(qRgb(1, 2, 3)), {10, 20, 40, 40});
    const auto* note =
        window.FloatList[1]->findChild<QAction*>(QStringLiteral("LblOrdinaryWindow"));
    ASSERT_NE(note, nullptr);
    EXPECT_FALSE(note->isEnabled());
}

TEST_F(FloatingWindowsUnit, MenuDeletionWaitsUntilTheCommandHasReturned) {
    TFrmQuorvel window(QString(), platform);
    for (int i = 0; i < 3; ++i)
        window.CaptureFloating(Capture(qRgb(i, i, i)), {i * 40, 0, i * 40 + 30, 20});
    const QPointer<TFrmFloating> middle = window.FloatList[1];
    middle->BtnDelete->trigger();
    EXPECT_FALSE(middle.isNull());
    EXPECT_EQ(window.FloatList.size(), 3u);
    QCoreApplication::processEvents();
    EXPECT_TRUE(middle.isNull());
    EXPECT_EQ(window.FloatList.size(), 2u);

    // Delete all, from one of them; a second request for a window already gone does not
    // stand for "all".
    const QPointer<TFrmFloating> last = window.FloatList[1];
    window.FloatList[0]->BtnDeleteAll->trigger();
    last->BtnDelete->trigger();
    window.CaptureFloating(Capture(qRgb(9, 9, 9)), {0, 0, 30, 20});
    QCoreApplication::processEvents();
    EXPECT_TRUE(last.isNull());
    EXPECT_TRUE(window.FloatList.empty());
}

TEST_F(FloatingWindowsUnit, MainWindowTakesItsFloatingWindowsWithIt) {
    QPointer<TFrmFloating> kept;
    {
        TFrmQuorvel window(QString(), platform);
        window.CaptureFloating(Capture(qRgb(1, 1, 1)), {0, 0, 30, 20});
        kept = window.FloatList.front();
        kept->BtnDelete->trigger(); // asked for, but the main window goes first
    }
    EXPECT_TRUE(kept.isNull());
    QCoreApplication::processEvents();
}

} // namespace quorvel::test
