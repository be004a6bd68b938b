#include "sinks/GifWriter.h"
#include "sinks/FileError.h"
#include "sinks/OctreeQuantizer.h"

#include "TempFolder.h"
#include "TestImages.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <set>
#include <stdexcept>
#include <vector>

namespace quorvel {
namespace {

using test::TTestImage;

struct TDecodedGif {
    int width = 0;
    int height = 0;
    int imageCount = 0;
    int tableSize = 0;
    std::vector<std::uint32_t> rgb; // 0xRRGGBB per pixel, row-major
};

TDecodedGif ReadGif(const std::string& path) {
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    if (gif == nullptr)
        throw std::runtime_error("cannot open GIF: " + std::string(GifErrorString(error)));
    TDecodedGif result;
    const bool slurped = DGifSlurp(gif) == GIF_OK;
    if (slurped && gif->ImageCount > 0) {
        const SavedImage& image = gif->SavedImages[0];
        const ColorMapObject* map =
            image.ImageDesc.ColorMap != nullptr ? image.ImageDesc.ColorMap : gif->SColorMap;
        result.width = gif->SWidth;
        result.height = gif->SHeight;
        result.imageCount = gif->ImageCount;
        result.tableSize = map != nullptr ? map->ColorCount : 0;
        const bool whole = image.ImageDesc.Left == 0 && image.ImageDesc.Top == 0 &&
                           image.ImageDesc.Width == gif->SWidth &&
                           image.ImageDesc.Height == gif->SHeight && !image.ImageDesc.Interlace;
        if (map != nullptr && whole) {
            for (int i = 0; i < gif->SWidth * gif->SHeight; ++i) {
                const GifPixelType index = image.RasterBits[i];
                const GifColorType c =
                    index < map->ColorCount ? map->Colors[index] : GifColorType{1, 2, 3};
                result.rgb.push_back(static_cast<std::uint32_t>(c.Red) << 16 |
                                     static_cast<std::uint32_t>(c.Green) << 8 | c.Blue);
            }
        }
    }
    DGifCloseFile(gif, &error);
    if (!slurped)
        throw std::runtime_error("cannot decode GIF " + path);
    return result;
}

int Channel(std::uint32_t colour, int channel) {
    return (colour >> (16 - 8 * channel)) & 0xFF;
}

// Mean absolute difference per channel (red, green, blue) between source and decoded pixels.
std::array<double, 3> MeanError(const TTestImage& source, const TDecodedGif& gif) {
    std::array<double, 3> sum{};
    for (std::size_t i = 0; i < source.pixels.size(); ++i)
        for (int c = 0; c < 3; ++c)
            sum[c] += std::abs(Channel(source.pixels[i], c) - Channel(gif.rgb[i], c));
    for (double& s : sum)
        s /= static_cast<double>(source.pixels.size());
    return sum;
}

// Mean absolute difference of the average colour of 8x8 blocks, over blocks and channels.
// Error diffusion keeps local averages; mapping each pixel on its own does not.
double BlockAverageError(const TTestImage& source, const TDecodedGif& gif) {
    double sum = 0;
    int blocks = 0;
    for (int by = 0; by + 8 <= source.height; by += 8)
        for (int bx = 0; bx + 8 <= source.width; bx += 8) {
            for (int c = 0; c < 3; ++c) {
                int difference = 0;
                for (int y = by; y < by + 8; ++y)
                    for (int x = bx; x < bx + 8; ++x)
                        difference +=
                            Channel(source.At(x, y), c) -
                            Channel(gif.rgb[static_cast<std::size_t>(y) * gif.width + x], c);
                sum += std::abs(difference) / 64.0;
            }
            ++blocks;
        }
    return sum / (3.0 * blocks);
}

std::size_t DistinctColours(const TTestImage& image) {
    std::set<std::uint32_t> colours;
    for (const std::uint32_t p : image.pixels)
        colours.insert(p & 0xFFFFFF);
    return colours.size();
}

class GifWriterTest : public ::testing::Test {
protected:
    test::TTempFolder folder;
    std::string path = folder.File("shot.gif");

    TDecodedGif WriteAndRead(const TTestImage& image) {
        WriteGIF(image.View(), path);
        TDecodedGif gif = ReadGif(path);
        EXPECT_EQ(1, gif.imageCount);
        EXPECT_EQ(image.width, gif.width);
        EXPECT_EQ(image.height, gif.height);
        EXPECT_GE(gif.tableSize, 2);
        EXPECT_LE(gif.tableSize, 256);
        EXPECT_EQ(image.pixels.size(), gif.rgb.size());
        return gif;
    }

    void ExpectIdentical(const TTestImage& image) {
        const TDecodedGif gif = WriteAndRead(image);
        if (gif.rgb.size() != image.pixels.size())
            return;
        int wrong = 0;
        for (std::size_t i = 0; i < gif.rgb.size(); ++i)
            if (gif.rgb[i] != (image.pixels[i] & 0xFFFFFF) && wrong++ == 0)
                ADD_FAILURE() << "first changed pixel at " << i % image.width << ","
                              << i / image.width;
        EXPECT_EQ(0, wrong) << "pixels changed";
    }
};

class GifFewColourTest : public GifWriterTest, public ::testing::WithParamInterface<int> {};

TEST_P(GifFewColourTest, KeepsEveryColourExactly) {
    // 130x150 tiles reach every one of up to 256 colour indexes; odd sizes on purpose.
    const TTestImage image = test::MakeFewColourImage(130, 150, GetParam());
    ASSERT_EQ(static_cast<std::size_t>(GetParam()), DistinctColours(image));
    ExpectIdentical(image);
}

INSTANTIATE_TEST_SUITE_P(ColourCounts, GifFewColourTest, ::testing::Values(1, 2, 3, 100, 256));

TEST_F(GifWriterTest, DesktopWithFewColoursIsKeptExactly) {
    const TTestImage image = test::MakeDesktopImage(800, 600);
    ASSERT_LE(DistinctColours(image), 256u);
    ExpectIdentical(image);
}

TEST_F(GifWriterTest, NeighbouringShadesStayApart) {
    // All 256 greys: shades one step apart must not share a palette entry.
    TTestImage ramp{256, 3, {}};
    for (int y = 0; y < ramp.height; ++y)
        for (std::uint32_t x = 0; x < 256; ++x)
            ramp.pixels.push_back(0xFF000000u | x << 16 | x << 8 | x);
    ExpectIdentical(ramp);
}

TEST_F(GifWriterTest, PhotoIsDitheredCloseToItsSource) {
    const TTestImage image = test::MakePhotoImage(320, 240);
    const TDecodedGif gif = WriteAndRead(image);
    ASSERT_EQ(image.pixels.size(), gif.rgb.size());
    // Measured about 7.5 per channel and 0.76 on block averages; mapping each pixel to
    // its nearest entry without diffusion gives about 2.3 on block averages.
    for (const double error : MeanError(image, gif))
        EXPECT_LT(error, 10.0);
    EXPECT_LT(BlockAverageError(image, gif), 1.2);
}

TEST_F(GifWriterTest, NoiseKeepsItsLocalAverages) {
    const TTestImage image = test::MakeNoiseImage(256, 192, 5);
    const TDecodedGif gif = WriteAndRead(image);
    ASSERT_EQ(image.pixels.size(), gif.rgb.size());
    // Measured about 0.6; without diffusion about 1.4.
    EXPECT_LT(BlockAverageError(image, gif), 0.9);
}

TEST_F(GifWriterTest, FourthByteIsIgnored) {
    for (TTestImage image : {test::MakeFewColourImage(90, 70, 50), test::MakePhotoImage(90, 70)}) {
        WriteGIF(image.View(), path);
        const std::string plain = test::ReadFileBytes(path);
        std::mt19937 random(3);
        for (std::uint32_t& p : image.pixels)
            p = (p & 0xFFFFFF) | (random() << 24);
        WriteGIF(image.View(), path);
        EXPECT_EQ(plain, test::ReadFileBytes(path));
    }
}

TEST_F(GifWriterTest, RowPaddingIsSkipped) {
    const TTestImage image = test::MakePhotoImage(75, 40);
    WriteGIF(image.View(), path);
    const std::string tight = test::ReadFileBytes(path);

    const int stridePixels = image.width + 5;
    std::vector<std::uint32_t> padded(static_cast<std::size_t>(stridePixels) * image.height,
                                      0xFF00FF00u);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            padded[static_cast<std::size_t>(y) * stridePixels + x] = image.At(x, y);
    const TPixelView view{reinterpret_cast<const std::uint8_t*>(padded.data()), image.width,
                          image.height, static_cast<std::ptrdiff_t>(stridePixels) * 4};
    WriteGIF(view, path);
    EXPECT_EQ(tight, test::ReadFileBytes(path));
}

TEST_F(GifWriterTest, ReplacesAnExistingFileAndLeavesNothingElse) {
    folder.Touch("shot.gif", "an older file");
    ExpectIdentical(test::MakeFewColourImage(20, 20, 4));
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(std::vector<std::string>{"shot.gif"}, names);
}

TEST_F(GifWriterTest, FailuresRaiseFileErrorNamingTheFile) {
    const TTestImage image = test::MakeFewColourImage(20, 20, 4);
    const std::string missing = folder.File("no such folder/shot.gif");
    try {
        WriteGIF(image.View(), missing);
        ADD_FAILURE() << "no error for a missing folder";
    } catch (const EFileError& e) {
        EXPECT_NE(std::string(e.what()).find(missing), std::string::npos) << e.what();
    }

    for (const TPixelView empty : {TPixelView{}, TPixelView{image.View().bits, 0, 20, 80},
                                   TPixelView{image.View().bits, 20, 0, 80}})
        EXPECT_THROW(WriteGIF(empty, path), EFileError);
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));
}

TEST(OctreeQuantizerTest, PaletteEntryIsTheMeanOfItsPixels) {
    TOctreeQuantizer quantizer(1);
    quantizer.AddColour(0, 0, 0, 2);
    quantizer.AddColour(200, 100, 40);
    quantizer.BuildPalette();
    const std::vector<TRgb> expected{{67, 33, 13}}; // 66.7, 33.3 and 13.3 rounded
    EXPECT_EQ(expected, quantizer.Palette());
    EXPECT_FALSE(quantizer.Exact());
}

TEST(OctreeQuantizerTest, ManyColoursFillButNeverOverflowThePalette) {
    const TTestImage image = test::MakeNoiseImage(512, 512, 9);
    TOctreeQuantizer quantizer;
    quantizer.AddPixels(image.View());
    quantizer.BuildPalette();
    // Folding one node removes at most seven leaves, so the last fold stops above 249.
    EXPECT_LE(quantizer.Palette().size(), 256u);
    EXPECT_GE(quantizer.Palette().size(), 250u);
    EXPECT_FALSE(quantizer.Exact());
    // Every colour that was added is represented by some entry.
    for (int i = 0; i < 1000; ++i) {
        const std::uint32_t p = image.pixels[static_cast<std::size_t>(i) * 97];
        const int index =
            quantizer.IndexOf(static_cast<std::uint8_t>(p >> 16), static_cast<std::uint8_t>(p >> 8),
                              static_cast<std::uint8_t>(p));
        ASSERT_GE(index, 0);
        ASSERT_LT(index, static_cast<int>(quantizer.Palette().size()));
    }
}

int SquaredDistance(const TRgb& a, int r, int g, int b) {
    return (a.r - r) * (a.r - r) + (a.g - g) * (a.g - g) + (a.b - b) * (a.b - b);
}

TEST(NearestColourMapTest, FindsTheNearestEntry) {
    std::mt19937 random(11);
    auto byte = [&] { return static_cast<std::uint8_t>(random()); };
    std::vector<std::vector<TRgb>> palettes;
    palettes.push_back({{0, 0, 0}, {255, 255, 255}});
    std::vector<TRgb> wide(256);
    for (TRgb& c : wide)
        c = {byte(), byte(), byte()};
    palettes.push_back(wide);
    // Many entries with one green value and a few far away, to test the search's cut-off.
    std::vector<TRgb> clustered;
    for (int i = 0; i < 200; ++i)
        clustered.push_back({byte(), 128, byte()});
    for (int i = 0; i < 20; ++i)
        clustered.push_back({byte(), byte(), byte()});
    palettes.push_back(clustered);

    for (const std::vector<TRgb>& palette : palettes) {
        TNearestColourMap map(palette);
        for (int i = 0; i < 20000; ++i) {
            const int r = byte(), g = byte(), b = byte();
            int best = INT_MAX;
            for (const TRgb& c : palette)
                best = std::min(best, SquaredDistance(c, r, g, b));
            const int found = SquaredDistance(palette[map.Nearest(r, g, b)], r, g, b);
            // Matching by the centre of a 4x4x4 cell can cost at most twice the distance
            // from the colour to that centre, sqrt(12).
            ASSERT_LE(std::sqrt(found), std::sqrt(best) + 2 * std::sqrt(12.0) + 1e-9)
                << r << "," << g << "," << b;
            // At the centre itself the answer is exact.
            const int cr = (r & ~3) | 2, cg = (g & ~3) | 2, cb = (b & ~3) | 2;
            int centreBest = INT_MAX;
            for (const TRgb& c : palette)
                centreBest = std::min(centreBest, SquaredDistance(c, cr, cg, cb));
            ASSERT_EQ(centreBest, SquaredDistance(palette[map.Nearest(cr, cg, cb)], cr, cg, cb))
                << cr << "," << cg << "," << cb;
        }
    }
}

} // namespace
} // namespace quorvel
