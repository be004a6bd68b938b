#include "sinks/WebpWriter.h"
#include "sinks/FileError.h"

#include "TempFolder.h"
#include "TestImages.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <webp/decode.h>

using quorvel::WriteWebP;
using quorvel::test::ReadFileBytes;

namespace {

// The system's WebP library, as the program finds it when none lies beside it.
const std::string kSystemLibrary = quorvel::WebPLibraryName;

std::string FirstChunkType(const std::string& file) {
    EXPECT_EQ(file.substr(0, 4), "RIFF");
    EXPECT_EQ(file.substr(8, 4), "WEBP");
    return file.substr(12, 4);
}

} // namespace

TEST(WebpWriter, QualityOneHundredIsStillLossy) {
    quorvel::test::TTempFolder temp;
    const auto image = quorvel::test::MakePhotoImage(96, 64);
    ASSERT_TRUE(WriteWebP(image.View(), temp.File("Q-001.webp"), 100, kSystemLibrary));
    const std::string file = ReadFileBytes(temp.File("Q-001.webp"));
    EXPECT_EQ(FirstChunkType(file), "VP8 ");

    int width = 0, height = 0;
    std::uint8_t* decoded = WebPDecodeBGRA(reinterpret_cast<const std::uint8_t*>(file.data()),
                                           file.size(), &width, &height);
    ASSERT_NE(decoded, nullptr);
    EXPECT_EQ(width, 96);
    EXPECT_EQ(height, 64);
    double error = 0;
    for (int i = 0; i < width * height; ++i)
        for (int c = 0; c < 3; ++c)
            error += std::abs(
                static_cast<int>((image.pixels[static_cast<std::size_t>(i)] >> (8 * c)) & 0xFF) -
                decoded[i * 4 + c]);
    WebPFree(decoded);
    EXPECT_LT(error / (width * height * 3), 4.0);
}

TEST(WebpWriter, LowerQualityMakesSmallerFiles) {
    quorvel::test::TTempFolder temp;
    const auto image = quorvel::test::MakePhotoImage(200, 150);
    ASSERT_TRUE(WriteWebP(image.View(), temp.File("q90.webp"), 90, kSystemLibrary));
    ASSERT_TRUE(WriteWebP(image.View(), temp.File("q60.webp"), 60, kSystemLibrary));
    EXPECT_LT(std::filesystem::file_size(temp.File("q60.webp")),
              std::filesystem::file_size(temp.File("q90.webp")));
}

TEST(WebpWriter, MissingOrUnloadableLibraryWritesNothingSilently) {
    quorvel::test::TTempFolder temp;
    const auto image = quorvel::test::MakePhotoImage(8, 8);
    EXPECT_FALSE(WriteWebP(image.View(), temp.File("a.webp"), 90, temp.File("libwebp.so.7")));
    const std::string junk = temp.Touch("libwebp.so.7", "not a library");
    EXPECT_FALSE(quorvel::WebPAvailable(junk));
    EXPECT_FALSE(WriteWebP(image.View(), temp.File("a.webp"), 90, junk));
    EXPECT_FALSE(std::filesystem::exists(temp.File("a.webp")));
    EXPECT_TRUE(quorvel::WebPAvailable(kSystemLibrary));
}

TEST(WebpWriter, LibraryWithoutTheEncoderRaises) {
    quorvel::test::TTempFolder temp;
    const auto image = quorvel::test::MakePhotoImage(8, 8);
    try {
        WriteWebP(image.View(), temp.File("a.webp"), 90, QUORVEL_FAKE_WEBP);
        FAIL() << "no error for a library without WebPEncodeBGRA";
    } catch (const quorvel::EWebPError& e) {
        EXPECT_NE(std::string(e.what()).find("WebPEncodeBGRA"), std::string::npos);
    }
    EXPECT_FALSE(std::filesystem::exists(temp.File("a.webp")));
}

TEST(WebpWriter, BadTargetRaises) {
    const auto image = quorvel::test::MakePhotoImage(8, 8);
    EXPECT_THROW(WriteWebP(image.View(), "/no/such/folder/Q-001.webp", 90, kSystemLibrary),
                 quorvel::EFileError);
}
