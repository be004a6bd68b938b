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
