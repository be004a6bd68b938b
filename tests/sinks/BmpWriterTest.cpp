#include "sinks/BmpWriter.h"
#include "sinks/FileError.h"

#include "TempFolder.h"
#include "TestImages.h"

#include <QImage>
#include <gtest/gtest.h>

using quorvel::WriteBMP;
using quorvel::test::ReadFileBytes;

namespace {

std::uint32_t LittleEndian(const std::string& s, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(s[at + static_cast<std::size_t>(i)]);
    return v;
}

} // namespace

TEST(BmpWriter, Writes32BitRowsBottomUpWithPlainHeaders) {
    quorvel::test::TTempFolder temp;
    const auto image = quorvel::test::MakeNoiseImage(5, 3, 9);
    WriteBMP(image.View(), temp.File("Q-001.bmp"));
    const std::string file = ReadFileBytes(temp.File("Q-001.bmp"));
    ASSERT_EQ(file.size(), 14u + 40u + 5u * 3u * 4u);
    EXPECT_EQ(file.substr(0, 2), "BM");
    EXPECT_EQ(LittleEndian(file, 2), file.size());
    EXPECT_EQ(LittleEndian(file, 10), 54u);
    EXPECT_EQ(LittleEndian(file, 14), 40u);
    EXPECT_EQ(LittleEndian(file, 18), 5u);
    EXPECT_EQ(LittleEndian(file, 22), 3u); // positive height: bottom-up
    EXPECT_EQ(file[26], 1);
    EXPECT_EQ(file[28], 32);
    EXPECT_EQ(LittleEndian(file, 30), 0u); // uncompressed
    EXPECT_EQ(LittleEndian(file, 46), 0u); // no colour table
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            const std::uint32_t stored = LittleEndian(file, 54 + ((2 - y) * 5 + x) * 4);
            EXPECT_EQ(stored & 0xFFFFFF, image.At(x, y) & 0xFFFFFF) << x << "," << y;
        }
}

TEST(BmpWriter, ReadsBackInAnotherDecoder) {
    quorvel::test::TTempFolder temp;
    auto image = quorvel::test::MakeDesktopImage(321, 123);
    for (auto& p : image.pixels)
        p &= 0x00FFFFFF; // a zero fourth byte must not make the picture transparent
    WriteBMP(image.View(), temp.File("Q-001.bmp"));
    QImage decoded(QString::fromStdString(temp.File("Q-001.bmp")), "BMP");
    ASSERT_FALSE(decoded.isNull());
    ASSERT_EQ(decoded.size(), QSize(321, 123));
    for (int y = 0; y < 123; y += 7)
        for (int x = 0; x < 321; x += 5) {
            ASSERT_EQ(decoded.pixel(x, y) & 0xFFFFFF, image.At(x, y)) << x << "," << y;
            ASSERT_EQ(qAlpha(decoded.pixel(x, y)), 255);
        }
}

TEST(BmpWriter, BadTargetsRaise) {
    const auto image = quorvel::test::MakeFewColourImage(2, 2, 2);
    EXPECT_THROW(WriteBMP(image.View(), "/no/such/folder/Q-001.bmp"), quorvel::EFileError);
    EXPECT_THROW(WriteBMP(quorvel::TPixelView{}, "/tmp/never.bmp"), quorvel::EFileError);
}
