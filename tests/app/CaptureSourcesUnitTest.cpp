// The pixel work of the drag selection and the little rules of the colour picker and the
// window picker's ring.

#include "capture/ColourPicker.h"
#include "capture/FrmDrag.h"
#include "capture/FrmLine.h"
#include "capture/SelectionImage.h"

#include <QImage>
#include <cmath>
#include <gtest/gtest.h>
#include <random>

using namespace quorvel;

TEST(SelectionImage, DimmingIsSixtyPercentRounded) {
    for (unsigned c = 0; c < 256; ++c)
        EXPECT_EQ(DimByte(c), static_cast<unsigned>(std::lround(c * 0.6))) << c;
    EXPECT_EQ(DimByte(255), 153);
}

TEST(SelectionImage, DisplayIsDimmedOutsideAndUntouchedInsideAfterAnyMoves) {
    QImage screen(97, 61, QImage::Format_RGB32);
    std::mt19937 random(5);
    for (int y = 0; y < screen.height(); ++y)
        for (int x = 0; x < screen.width(); ++x)
            screen.setPixel(x, y, 0xFF000000u | (random() & 0xFFFFFF));
    TSelectionImage image(screen);
    const auto check = [&](const QRect& selection) {
        for (int y = 0; y < screen.height(); ++y)
            for (int x = 0; x < screen.width(); ++x) {
                const QRgb s = screen.pixel(x, y);
                const QRgb want =
                    selection.contains(x, y)
                        ? s
                        : qRgb(DimByte(qRed(s)), DimByte(qGreen(s)), DimByte(qBlue(s)));
                ASSERT_EQ(image.Displayed().pixel(x, y) & 0xFFFFFF, want & 0xFFFFFF)
                    << x << "," << y;
            }
    };
    check(QRect());
    std::uniform_int_distribution<int> px(-10, 110);
    for (int i = 0; i < 60; ++i) {
        const QRect r = TFrmDrag::Normalised({px(random), px(random)}, {px(random), px(random)});
        const QRegion changed = image.SetSelection(r);
        const QRect clipped = r.intersected(screen.rect());
        EXPECT_EQ(image.Selection(), clipped);
        check(clipped);
        (void)changed;
    }
    // Back to nothing selected: all dimmed again.
    image.SetSelection(QRect());
    check(QRect());
}

TEST(SelectionImage, AMoveRewritesOnlyWhatChanged) {
    TSelectionImage image(QImage(3840, 2160, QImage::Format_RGB32));
    image.SetSelection(QRect(100, 100, 1000, 800));
    const QRegion changed = image.SetSelection(QRect(100, 100, 1003, 802));
    // Two thin strips, not the whole desktop.
    std::int64_t area = 0;
    for (const QRect& r : changed)
        area += static_cast<std::int64_t>(r.width()) * r.height();
    EXPECT_EQ(area, 3 * 802 + 1000 * 2);
}

TEST(DragSelection, RectangleRulesInEveryDirection) {
    EXPECT_EQ(TFrmDrag::Normalised({10, 10}, {110, 60}), QRect(10, 10, 100, 50));
    EXPECT_EQ(TFrmDrag::Normalised({110, 60}, {10, 10}), QRect(10, 10, 100, 50));
    EXPECT_EQ(TFrmDrag::Normalised({110, 10}, {10, 60}), QRect(10, 10, 100, 50));
    EXPECT_TRUE(TFrmDrag::Normalised({10, 10}, {10, 10}).isEmpty());
    EXPECT_TRUE(TFrmDrag::Normalised({10, 10}, {200, 10}).isEmpty());
}

TEST(ColourPicker, CodesAreSixUpperCaseDigits) {
    EXPECT_EQ(ColourCode(255, 0, 0), "FF0000");
    EXPECT_EQ(ColourCode(10, 11, 12), "0A0B0C");
    EXPECT_EQ(ColourOfCode("FF0000"), 0xFF0000u);
    EXPECT_EQ(ColourOfCode("0a0B0c"), 0x0A0B0Cu);
    EXPECT_FALSE(ColourOfCode("FF000").has_value());
    EXPECT_FALSE(ColourOfCode("GG0000").has_value());
}

TEST(WindowPickerRing, DashesOfFiveBlackAndThreeWhiteCarryTheirPhase) {
    std::uint8_t pattern = 0;
    std::string run;
    for (int i = 0; i < 16; ++i)
        run += TFrmLine::NextDashIsWhite(pattern) ? 'w' : 'b';
    EXPECT_EQ(run, "bbbbbwwwbbbbbwww");
    // The phase goes on from where it stopped.
    pattern = 16;
    EXPECT_TRUE(TFrmLine::NextDashIsWhite(pattern));
    EXPECT_EQ(pattern, 32);
}
