#include "sinks/JpegWriter.h"
#include "sinks/FileError.h"

#include "TempFolder.h"
#include "TestImages.h"

#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

using quorvel::WriteJPG;
using quorvel::test::ReadFileBytes;

namespace {

// The segments of a JPEG file up to the start of the scan, as (marker, payload).
std::vector<std::pair<int, std::string>> Segments(const std::string& file) {
    std::vector<std::pair<int, std::string>> segments;
    EXPECT_EQ(file.substr(0, 2), "\xFF\xD8");
    std::size_t at = 2;
    while (at + 4 <= file.size() && static_cast<unsigned char>(file[at]) == 0xFF) {
        const int marker = static_cast<unsigned char>(file[at + 1]);
        const std::size_t length =
            (static_cast<std::size_t>(static_cast<unsigned char>(file[at + 2])) << 8) |
            static_cast<unsigned char>(file[at + 3]);
        segments.emplace_back(marker, file.substr(at + 4, length - 2));
        if (marker == 0xDA)
            break;
        at += 2 + length;
    }
    return segments;
}

struct TDecoded {
    int width = 0, height = 0, components = 0;
    std::vector<unsigned char> rgb;
};

TDecoded Decode(const std::string& file) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(file.data()), file.size());
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    TDecoded d;
    d.width = static_cast<int>(cinfo.output_width);
    d.height = static_cast<int>(cinfo.output_height);
    d.components = cinfo.num_components;
    d.rgb.resize(static_cast<std::size_t>(d.width) * d.height * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        unsigned char* row =
            d.rgb.data() + static_cast<std::size_t>(cinfo.output_scanline) * d.width * 3;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return d;
}

double MeanError(const quorvel::test::TTestImage& image, const TDecoded& d) {
    double sum = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const std::uint32_t p = image.At(x, y);
            const unsigned char* q = &d.rgb[(static_cast<std::size_t>(y) * d.width + x) * 3];
            sum += std::abs(static_cast<int>((p >> 16) & 0xFF) - q[0]) +
                   std::abs(static_cast<int>((p >> 8) & 0xFF) - q[1]) +
                   std::abs(static_cast<int>(p & 0xFF) - q[2]);
        }
    return sum / (3.0 * image.width * image.height);
}

} // namespace

TEST(JpegWriter, WritesABaselineColourJfif) {
    quorvel::test::TTempFolder temp;
    const auto image = quorvel::test::MakePhotoImage(123, 77);
    WriteJPG(image.View(), temp.File("Q-001.jpg"), 90);
    const std::string file = ReadFileBytes(temp.File("Q-001.jpg"));
    const auto segments = Segments(file);
    ASSERT_FALSE(segments.empty());
    EXPECT_EQ(segments.front().first, 0xE0);
    EXPECT_EQ(segments.front().second.substr(0, 5), std::string("JFIF\0", 5));
    bool baseline = false;
    for (const auto& [marker, payload] : segments) {
        EXPECT_NE(marker, 0xC2) << "progressive frame";
        if (marker == 0xC0) {
            baseline = true;
            EXPECT_EQ(static_cast<unsigned char>(payload[5]), 3) << "three components";
        }
    }
    EXPECT_TRUE(baseline);
    EXPECT_EQ(file.substr(file.size() - 2), "\xFF\xD9");

    const TDecoded decoded = Decode(file);
    EXPECT_EQ(decoded.width, 123);
    EXPECT_EQ(decoded.height, 77);
    EXPECT_EQ(decoded.components, 3);
    EXPECT_LT(MeanError(image, decoded), 4.0);
}

TEST(JpegWriter, QualityScalesTheStandardTables) {
    quorvel::test::TTestImage image = quorvel::test::MakeDesktopImage(64, 64);
    quorvel::test::TTempFolder temp;
    // The first luminance table entry of the standard table is 16; the library's scaling
    // gives 1 at 100, 3 at 90, 16 at 50 and 32 at 25.
    for (const auto& [quality, first] :
         std::vector<std::pair<int, int>>{{100, 1}, {90, 3}, {50, 16}, {25, 32}}) {
        const std::string path = temp.File("q" + std::to_string(quality) + ".jpg");
        WriteJPG(image.View(), path, static_cast<std::uint8_t>(quality));
        for (const auto& [marker, payload] : Segments(ReadFileBytes(path)))
            if (marker == 0xDB) {
                EXPECT_EQ(static_cast<unsigned char>(payload[0]), 0) << "8-bit table 0 first";
                EXPECT_EQ(static_cast<unsigned char>(payload[1]), first) << "quality " << quality;
                break;
            }
    }
    // A higher quality keeps more of the picture.
    const double high = MeanError(image, Decode(ReadFileBytes(temp.File("q100.jpg"))));
    const double low = MeanError(image, Decode(ReadFileBytes(temp.File("q25.jpg"))));
    EXPECT_LT(high, low);
}

TEST(JpegWriter, OutOfRangeQualityAndBadTargets) {
    quorvel::test::TTempFolder temp;
    const auto image = quorvel::test::MakeFewColourImage(8, 8, 3);
    EXPECT_NO_THROW(WriteJPG(image.View(), temp.File("zero.jpg"), 0));
    EXPECT_NO_THROW(WriteJPG(image.View(), temp.File("max.jpg"), 255));
    EXPECT_EQ(Decode(ReadFileBytes(temp.File("max.jpg"))).width, 8);
    EXPECT_THROW(WriteJPG(image.View(), "/no/such/folder/Q-001.jpg", 90), quorvel::EFileError);
    // A picture the format cannot hold is an error, not a crash.
    std::vector<std::uint32_t> row(70000, 0xFF00FF00u);
    EXPECT_THROW(WriteJPG({reinterpret_cast<const std::uint8_t*>(row.data()), 70000, 1, 70000 * 4},
                          temp.File("wide.jpg"), 90),
                 quorvel::EFileError);
    EXPECT_FALSE(std::filesystem::exists(temp.File("wide.jpg")));
}
