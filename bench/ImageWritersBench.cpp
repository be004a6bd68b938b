// Times the capture writers against Qt's own image writers and libpng at its defaults, on
// a desktop-like 1920x1080 picture and a photo-like 3840x2160 picture. Prints milliseconds
// per image (median of the runs) and the bytes written.

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

void Run(const char* label, const TTestImage& image, int runs, const std::string& folder) {
    const QImage qimage(reinterpret_cast<const uchar*>(image.pixels.data()), image.width,
                        image.height, image.width * 4, QImage::Format_RGB32);
    const std::string base = folder + "/" + label;

    auto t = Time(runs, [&] { quorvel::WritePNG(image.View(), base + "-ours.png"); });
    Row(label, "PNG  Quorvel (level 7, Sub)", t, Bytes(base + "-ours.png"));
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
