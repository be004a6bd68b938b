#include "platform/Platform.h"
#include "sinks/Printer.h"

#include <gtest/gtest.h>

using namespace quorvel;

TEST(MonitorNearest, HoldingMonitorElseTheClosest) {
    const std::vector<TRect> monitors{
        {0, 0, 1920, 1080}, {1920, 0, 3200, 1024}, {-1280, 0, 0, 1024}};
    const TRect screen{-1280, 0, 3200, 1080};
    EXPECT_EQ(MonitorNearest(monitors, {100, 100}, screen), monitors[0]);
    EXPECT_EQ(MonitorNearest(monitors, {1920, 0}, screen), monitors[1]); // right edge is exclusive
    EXPECT_EQ(MonitorNearest(monitors, {1919, 1079}, screen), monitors[0]);
    EXPECT_EQ(MonitorNearest(monitors, {-5, 500}, screen), monitors[2]);
    // Below the shorter right-hand monitor, in the gap: the nearest one.
    EXPECT_EQ(MonitorNearest(monitors, {3000, 1060}, screen), monitors[1]);
    EXPECT_EQ(MonitorNearest({}, {5, 5}, screen), screen);
}

TEST(PrintFactor, WholeNumberOfDotsPerPixel) {
    EXPECT_EQ(PrintFactor(600, 96), 6); // not 6.25
    EXPECT_EQ(PrintFactor(300, 96), 3);
    EXPECT_EQ(PrintFactor(1200, 192), 6);
    // A printer coarser than the screen still prints every pixel.
    EXPECT_EQ(PrintFactor(72, 96), 1);
    EXPECT_EQ(PrintFactor(600, 0), 6);
}

// A surface placed by whole logical units still shows its picture at the exact physical
// rectangle, at every scale, on outputs anywhere in the layout and for rectangles that
// start left of or above the output's corner; its buffer covers the picture with less than
// one logical unit to spare.
TEST(PlaceSurface, EveryPhysicalPositionIsExactWithTheSmallestBuffer) {
    for (int scale : {1, 2, 3})
        for (TPoint origin : {TPoint{0, 0}, TPoint{-1280, 0}, TPoint{1920, 1080}})
            for (int dx = -7; dx <= 7; ++dx)
                for (int width : {1, 2, 5, 480}) {
                    const TRect bounds{origin.X + dx, origin.Y - dx, origin.X + dx + width,
                                       origin.Y - dx + width + 1};
                    const TSurfacePlacement p = PlaceSurface(bounds, origin, scale);
                    SCOPED_TRACE(testing::Message()
                                 << "scale " << scale << " dx " << dx << " width " << width);
                    EXPECT_EQ(origin.X + p.Margin.X * scale + p.Offset.X, bounds.Left);
                    EXPECT_EQ(origin.Y + p.Margin.Y * scale + p.Offset.Y, bounds.Top);
                    EXPECT_GE(p.Offset.X, 0);
                    EXPECT_LT(p.Offset.X, scale);
                    EXPECT_GE(p.Offset.Y, 0);
                    EXPECT_LT(p.Offset.Y, scale);
                    EXPECT_GE(p.Width * scale, p.Offset.X + bounds.Width());
                    EXPECT_LT((p.Width - 1) * scale, p.Offset.X + bounds.Width());
                    EXPECT_GE(p.Height * scale, p.Offset.Y + bounds.Height());
                    EXPECT_LT((p.Height - 1) * scale, p.Offset.Y + bounds.Height());
                }
    // An odd corner at scale 2: half a logical unit goes into the buffer.
    EXPECT_EQ(PlaceSurface({101, 61, 313, 242}, {0, 0}, 2),
              (TSurfacePlacement{{50, 30}, {1, 1}, 107, 91}));
}

// A region of the second monitor in a stream of that monitor sent at half or double size,
// and a region that reaches past the monitor's edge.
TEST(PartOfPicture, RegionOfAMonitorInAScaledStream) {
    const TRect monitor{1920, 0, 3840, 1080};
    const TRect region{2020, 100, 2420, 400};
    EXPECT_EQ(PartOfPicture(region, monitor, 1920, 1080), (TRect{100, 100, 500, 400}));
    EXPECT_EQ(PartOfPicture(region, monitor, 960, 540), (TRect{50, 50, 250, 200}));
    EXPECT_EQ(PartOfPicture(region, monitor, 3840, 2160), (TRect{200, 200, 1000, 800}));
    EXPECT_EQ(PartOfPicture({3740, 1000, 3940, 1100}, monitor, 1920, 1080),
              (TRect{1820, 1000, 1920, 1080}));
    EXPECT_TRUE(PartOfPicture({0, 0, 100, 100}, monitor, 1920, 1080).Empty());
    EXPECT_TRUE(PartOfPicture(region, monitor, 0, 0).Empty());
}
