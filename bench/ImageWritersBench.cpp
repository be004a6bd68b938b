// Times the capture writers against Qt's own image writers and libpng at its defaults, on
// a desktop-like 1920x1080 picture and a photo-like 3840x2160 picture. Prints milliseconds
// per image (median of the runs) and the bytes written; for PNG also the stages of our
// writer and its image data beside zlib's at level 7 in one stream (the reference for
// the compression ratio).

#include "BenchTiming.h"
#include "sinks/GifWriter.h"
#include "sinks/JpegWriter.h"
#include "sinks/ParallelDeflate.h"
#include "sinks/PngWriter.h"
#include "sinks/TestImages.h"

#include <QImage>
#include <cstdio>
#include <filesystem>
#include <png.h>
#include <string>
#include <unistd.h>
#include <vector>
#include <zlib.h>

namespace {

using quorvel::bench::Time;
using quorvel::test::TTestImage;

// libpng with every setting at its default: compression level, filter heuristics.
void WriteWithLibpng(const TTestImage& image, const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_set_IHDR(png, info, static_cast<png_uint_32>(image.width),
                     static_cast<png_uint_32>(image.height), 8, PNG_COLOR_TYPE_RGB,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        png_set_bgr(png);
        png_set_filler(png, 0, PNG_FILLER_AFTER);
        for (int y = 0; y < image.height; ++y)
            png_write_row(png,
                          reinterpret_cast<png_const_bytep>(
                              image.pixels.data() + static_cast<std::size_t>(y) * image.width));
        png_write_end(png, info);
    }
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

std::uintmax_t Bytes(const std::string& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    return ec ? 0 : size;
}

void Row(const char* image, const char* writer, const quorvel::bench::TTiming& t,
         std::uintmax_t bytes) {
    std::printf("%-22s %-28s %9.1f %9.1f %9.1f %12ju\n", image, writer, t.medianMs, t.minMs,
                t.maxMs, bytes);
}

// The image data of our file against the same Sub-filtered rows deflated by zlib at
// level 7 in one stream, the reference the writer's compression must stay within 3 % of.
void ReferenceRatio(const char* label, const TTestImage& image, const std::string& ours, int runs) {
    const std::size_t rowBytes = 1 + static_cast<std::size_t>(image.width) * 3;
    std::vector<std::uint8_t> rows(rowBytes * static_cast<std::size_t>(image.height));
    quorvel::FilterRowsSub(image.View(), 0, image.height, rows.data());
    std::vector<std::uint8_t> out(compressBound(static_cast<uLong>(rows.size())));
    uLongf size = 0;
    const auto t = Time(std::max(3, runs / 4), [&] {
        size = static_cast<uLongf>(out.size());
        compress2(out.data(), &size, rows.data(), static_cast<uLong>(rows.size()), 7);
    });
    // 57 bytes of the file are signature, IHDR, IEND and the IDAT chunk frames at most.
    const std::uintmax_t file = Bytes(ours);
    const std::uintmax_t chunks = (file + 0xFFFE) / 0xFFFF;
    const double idat = static_cast<double>(file - 45 - 12 * chunks);
    Row(label, "  zlib 7, one stream, 1 core", t, size);
    std::printf("%-22s   image data: ours %.0f bytes, zlib 7 %lu bytes, ours/zlib %.3f\n", label,
                idat, static_cast<unsigned long>(size), idat / static_cast<double>(size));
}

void Run(const char* label, const TTestImage& image, int runs, const std::string& folder) {
    const QImage qimage(reinterpret_cast<const uchar*>(image.pixels.data()), image.width,
                        image.height, image.width * 4, QImage::Format_RGB32);
    const std::string base = folder + "/" + label;

    std::vector<quorvel::TPngStageTimes> stages;
    auto t = Time(runs, [&] {
        quorvel::TPngStageTimes times;
        quorvel::WritePNG(image.View(), base + "-ours.png", &times);
        stages.push_back(times);
    });
    Row(label, "PNG  Quorvel (level 7, Sub)", t, Bytes(base + "-ours.png"));
    std::vector<double> filter, compress, write, rename;
    for (const auto& s : stages) {
        filter.push_back(s.filterMs);
        compress.push_back(s.compressMs);
        write.push_back(s.writeMs);
        rename.push_back(s.renameMs);
    }
    std::printf("%-22s   stages (median ms): filter %.1f, compress %.1f, write %.1f, rename %.1f\n",
                label, quorvel::bench::Median(filter), quorvel::bench::Median(compress),
                quorvel::bench::Median(write), quorvel::bench::Median(rename));
    ReferenceRatio(label, image, base + "-ours.png", runs);
    t = Time(runs, [&] { WriteWithLibpng(image, base + "-libpng.png"); });
    Row(label, "PNG  libpng defaults", t, Bytes(base + "-libpng.png"));
    t = Time(runs, [&] { qimage.save(QString::fromStdString(base + "-qt.png"), "PNG"); });
    Row(label, "PNG  Qt QImage::save", t, Bytes(base + "-qt.png"));

    t = Time(runs, [&] { quorvel::WriteJPG(image.View(), base + "-ours.jpg", 90); });
    Row(label, "JPEG Quorvel (quality 90)", t, Bytes(base + "-ours.jpg"));
    t = Time(runs, [&] { qimage.save(QString::fromStdString(base + "-qt.jpg"), "JPEG", 90); });
    Row(label, "JPEG Qt QImage::save (90)", t, Bytes(base + "-qt.jpg"));

    t = Time(runs, [&] { quorvel::WriteGIF(image.View(), base + "-ours.gif"); });
    Row(label, "GIF  Quorvel (octree+FS)", t, Bytes(base + "-ours.gif"));
    std::printf("%-22s %-28s %9s\n", label, "GIF  Qt", "(Qt has no GIF writer)");
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(10, std::atoi(argv[1])) : 10;
    char pattern[] = "/tmp/quorvel-bench-XXXXXX";
    const char* folder = ::mkdtemp(pattern);
    if (folder == nullptr)
        return 1;

    std::printf("Image writers, %d runs each after one warm-up; %u compression threads\n", runs,
                quorvel::DeflateWorkers());
    std::printf("%-22s %-28s %9s %9s %9s %12s\n", "image", "writer", "median ms", "min ms",
                "max ms", "bytes");
    Run("desktop 1920x1080", quorvel::test::MakeDesktopImage(1920, 1080), runs, folder);
    Run("photo 3840x2160", quorvel::test::MakePhotoImage(3840, 2160), runs, folder);

    std::filesystem::remove_all(folder);
    return 0;
}
