#include "sinks/PngWriter.h"
#include "sinks/FileError.h"
#include "support/WorkerGroup.h"

#include "TempFolder.h"
#include "TestImages.h"

#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <png.h>
#include <system_error>
#include <zlib.h>

using quorvel::WritePNG;
using quorvel::test::ReadFileBytes;
using quorvel::test::TTestImage;

namespace {

struct TChunk {
    std::string type;
    std::string data;
};

std::uint32_t BigEndian(const std::string& s, std::size_t at) {
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(s[at])) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 1])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 2])) << 8) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 3]));
}

// Splits a PNG file into its chunks, checking the signature and every CRC.
std::vector<TChunk> Chunks(const std::string& file) {
    EXPECT_EQ(file.substr(0, 8), std::string("\x89PNG\r\n\x1A\n", 8));
    std::vector<TChunk> chunks;
    std::size_t at = 8;
    while (at + 12 <= file.size()) {
        const std::uint32_t length = BigEndian(file, at);
        TChunk chunk{file.substr(at + 4, 4), file.substr(at + 8, length)};
        const uLong crc =
            crc32(0L, reinterpret_cast<const Bytef*>(file.data() + at + 4), length + 4);
        EXPECT_EQ(crc, BigEndian(file, at + 8 + length)) << chunk.type;
        chunks.push_back(chunk);
        at += 12 + length;
    }
    EXPECT_EQ(at, file.size());
    return chunks;
}

std::string Inflate(const std::string& stream, std::size_t expected) {
    std::string out(expected + 1, '\0');
    uLongf size = static_cast<uLongf>(out.size());
    EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(out.data()), &size,
                         reinterpret_cast<const Bytef*>(stream.data()),
                         static_cast<uLong>(stream.size())),
              Z_OK);
    out.resize(size);
    return out;
}

// Decodes the file with libpng into 0xFFRRGGBB pixels.
std::vector<std::uint32_t> DecodeWithLibpng(const std::string& path, int& width, int& height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    EXPECT_TRUE(png_image_begin_read_from_file(&image, path.c_str())) << image.message;
    image.format = PNG_FORMAT_BGRA;
    std::vector<std::uint32_t> pixels(PNG_IMAGE_SIZE(image) / 4);
    EXPECT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) << image.message;
    width = static_cast<int>(image.width);
    height = static_cast<int>(image.height);
    return pixels;
}

void ExpectFileHolds(const std::string& path, const TTestImage& image) {
    const std::vector<TChunk> chunks = Chunks(ReadFileBytes(path));
    ASSERT_GE(chunks.size(), 3u);
    EXPECT_EQ(chunks.front().type, "IHDR");
    EXPECT_EQ(chunks.back().type, "IEND");
    EXPECT_TRUE(chunks.back().data.empty());
    const std::string& ihdr = chunks.front().data;
    ASSERT_EQ(ihdr.size(), 13u);
    EXPECT_EQ(BigEndian(ihdr, 0), static_cast<std::uint32_t>(image.width));
    EXPECT_EQ(BigEndian(ihdr, 4), static_cast<std::uint32_t>(image.height));
    EXPECT_EQ(ihdr.substr(8), std::string("\x08\x02\x00\x00\x00", 5)); // 8 bits, RGB, no interlace

    std::string stream;
    for (std::size_t i = 1; i + 1 < chunks.size(); ++i) {
        EXPECT_EQ(chunks[i].type, "IDAT") << "only image data between the header and the end";
        EXPECT_LE(chunks[i].data.size(), 0xFFFFu);
        if (i + 2 < chunks.size()) {
            EXPECT_EQ(chunks[i].data.size(), 0xFFFFu) << "every chunk but the last is full";
        }
        stream += chunks[i].data;
    }
    // zlib header: deflate, 32 KiB window, the level class of level 7.
    ASSERT_GE(stream.size(), 2u);
    EXPECT_EQ(static_cast<unsigned char>(stream[0]), 0x78);
    EXPECT_EQ(static_cast<unsigned char>(stream[1]) >> 6, 3);

    const std::size_t rowBytes = 1 + static_cast<std::size_t>(image.width) * 3;
    const std::string raw = Inflate(stream, rowBytes * image.height);
    ASSERT_EQ(raw.size(), rowBytes * image.height);
    for (int y = 0; y < image.height; ++y) {
        ASSERT_EQ(raw[y * rowBytes], 1) << "row " << y << " is not Sub-filtered";
        unsigned char r = 0, g = 0, b = 0;
        for (int x = 0; x < image.width; ++x) {
            const unsigned char* p =
                reinterpret_cast<const unsigned char*>(raw.data()) + y * rowBytes + 1 + x * 3;
            r = static_cast<unsigned char>(r + p[0]);
            g = static_cast<unsigned char>(g + p[1]);
            b = static_cast<unsigned char>(b + p[2]);
            const std::uint32_t want = image.At(x, y) & 0xFFFFFF;
            ASSERT_EQ((static_cast<std::uint32_t>(r) << 16) | (g << 8) | b, want) << x << "," << y;
        }
    }

    int width = 0, height = 0;
    const std::vector<std::uint32_t> decoded = DecodeWithLibpng(path, width, height);
    ASSERT_EQ(width, image.width);
    ASSERT_EQ(height, image.height);
    for (std::size_t i = 0; i < decoded.size(); ++i)
        ASSERT_EQ(decoded[i], image.pixels[i] | 0xFF000000u) << "pixel " << i;
}

} // namespace

TEST(PngWriter, SmallAndOddSizedPicturesRoundTrip) {
    quorvel::test::TTempFolder temp;
    for (const auto& [w, h] : std::vector<std::pair<int, int>>{{1, 1}, {3, 1}, {1, 7}, {37, 23}}) {
        const TTestImage image =
            quorvel::test::MakeNoiseImage(w, h, static_cast<std::uint32_t>(w * 100 + h));
        const std::string path =
            temp.File("Q-" + std::to_string(w) + "x" + std::to_string(h) + ".png");
        WritePNG(image.View(), path);
        ExpectFileHolds(path, image);
    }
}

TEST(PngWriter, LargePicturesSpanManyChunksAndSegments) {
    quorvel::test::TTempFolder temp;
    // Noise does not compress: many full IDAT chunks and several compression segments.
    const TTestImage noise = quorvel::test::MakeNoiseImage(700, 500, 3);
    WritePNG(noise.View(), temp.File("noise.png"));
    ExpectFileHolds(temp.File("noise.png"), noise);
    const TTestImage desktop = quorvel::test::MakeDesktopImage(1920, 1080);
    WritePNG(desktop.View(), temp.File("desktop.png"));
    ExpectFileHolds(temp.File("desktop.png"), desktop);
}

TEST(PngWriter, FourthByteAndRowPaddingAreIgnored) {
    quorvel::test::TTestImage image = quorvel::test::MakePhotoImage(40, 30);
    // The same picture with random fourth bytes and rows padded to a wider stride.
    std::vector<std::uint32_t> padded(static_cast<std::size_t>(64) * 30, 0xDEADBEEF);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            padded[static_cast<std::size_t>(y) * 64 + x] =
                (image.At(x, y) & 0xFFFFFF) | ((x * 7u + y) << 24);
    const quorvel::TPixelView view{reinterpret_cast<const std::uint8_t*>(padded.data()), 40, 30,
                                   64 * 4};
    quorvel::test::TTempFolder temp;
    WritePNG(view, temp.File("a.png"));
    WritePNG(image.View(), temp.File("b.png"));
    EXPECT_EQ(ReadFileBytes(temp.File("a.png")), ReadFileBytes(temp.File("b.png")));
}

TEST(PngWriter, ExtensionDoesNotChooseTheFormat) {
    quorvel::test::TTempFolder temp;
    const TTestImage image = quorvel::test::MakeFewColourImage(16, 16, 5);
    WritePNG(image.View(), temp.File("Q-001.jpg"));
    EXPECT_EQ(ReadFileBytes(temp.File("Q-001.jpg")).substr(1, 3), "PNG");
}

TEST(PngWriter, UnwritableTargetsRaise) {
    const TTestImage image = quorvel::test::MakeFewColourImage(4, 4, 2);
    EXPECT_THROW(WritePNG(image.View(), "/no/such/folder/Q-001.png"), quorvel::EFileError);
    EXPECT_THROW(WritePNG(quorvel::TPixelView{}, "/tmp/never-written.png"), quorvel::EFileError);
}

// A worker that runs out of memory, or a worker thread the system will not start, ends
// the save with an error or finishes it on the calling thread; it never takes the
// program down, and a failed save leaves no file behind.
TEST(PngWriter, WorkerFaultsEndTheSaveCleanly) {
    quorvel::test::TTempFolder temp;
    const TTestImage desktop = quorvel::test::MakeDesktopImage(1280, 720);

    quorvel::SetJobFaultForTests([](unsigned job, bool starting) {
        if (job == 1 && !starting)
            throw std::bad_alloc();
    });
    const std::string failed = temp.File("Q-001.png");
    try {
        WritePNG(desktop.View(), failed);
        ADD_FAILURE() << "a worker without memory must fail the save";
    } catch (const quorvel::EFileError& e) {
        EXPECT_NE(std::string(e.what()).find("Not enough memory"), std::string::npos);
    }
    EXPECT_FALSE(std::filesystem::exists(failed));

    quorvel::SetJobFaultForTests([](unsigned job, bool starting) {
        if (job > 0 && starting)
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
    });
    const std::string done = temp.File("Q-002.png");
    WritePNG(desktop.View(), done);
    quorvel::SetJobFaultForTests({});
    ExpectFileHolds(done, desktop);
}

TEST(WorkerGroup, EveryJobRunsOnceAndTheFirstErrorIsRaised) {
    for (const bool refuseThreads : {false, true}) {
        quorvel::SetJobFaultForTests([refuseThreads](unsigned job, bool starting) {
            if (refuseThreads && starting && job % 2 == 1)
                throw std::system_error(
                    std::make_error_code(std::errc::resource_unavailable_try_again));
        });
        std::vector<std::atomic<int>> runs(7);
        quorvel::RunJobs(7, [&](unsigned j) { ++runs[j]; });
        for (const auto& r : runs)
            EXPECT_EQ(r.load(), 1);
        try {
            quorvel::RunJobs(5, [&](unsigned j) {
                if (j >= 2)
                    throw std::runtime_error("job " + std::to_string(j));
            });
            ADD_FAILURE();
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "job 2");
        }
    }
    quorvel::SetJobFaultForTests({});
}
