#include "sinks/DarkenColor.h"
#include "sinks/EncoderSettings.h"

#include <gtest/gtest.h>

using quorvel::DarkenColor;

TEST(DarkenColor, DarkensEachChannelWithRoundedPercent) {
    EXPECT_EQ(DarkenColor(0x00FFFFFF, 0), 0x00FFFFFFu);
    EXPECT_EQ(DarkenColor(0x00FFFFFF, 100), 0u);
    // 255 * 45 / 100 = 114.75 -> 115; 10 * 45 / 100 = 4.5 -> 5 (half away from zero).
    EXPECT_EQ(DarkenColor(0x0000000A, 45), 0x00000005u);
    EXPECT_EQ(DarkenColor(0x00FF0000, 45), 0x008C0000u);
    EXPECT_EQ(DarkenColor(0x000000FF, 50), 0x0000007Fu); // 127.5 -> 128 taken away
    // The high byte is dropped; percents above 100 give black, never wrap around.
    EXPECT_EQ(DarkenColor(0xFF123456, 0), 0x00123456u);
    EXPECT_EQ(DarkenColor(0x00808080, 200), 0u);
}

TEST(QualityFromText, WholeNumbersOrNinety) {
    EXPECT_EQ(quorvel::QualityFromText("100"), 100);
    EXPECT_EQ(quorvel::QualityFromText("60"), 60);
    EXPECT_EQ(quorvel::QualityFromText(""), 90);
    EXPECT_EQ(quorvel::QualityFromText("abc"), 90);
    EXPECT_EQ(quorvel::QualityFromText("80%"), 90);
    EXPECT_EQ(quorvel::QualityFromText("-5"), -5);
    EXPECT_EQ(quorvel::QualityFromText("99999999999"), 90);
}
