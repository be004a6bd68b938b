#include "sinks/Save.h"

#include "sinks/BmpWriter.h"
#include "sinks/GifWriter.h"
#include "sinks/JpegWriter.h"
#include "sinks/PngWriter.h"
#include "sinks/WebpWriter.h"

namespace quorvel {

namespace {

bool Is32Bit(QImage::Format format) {
    return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
           format == QImage::Format_ARGB32_Premultiplied;
}

// A 32-bit picture to read from: the caller's own when it already is one, else a copy.
QImage As32Bit(const QImage& bitmap) {
    return Is32Bit(bitmap.format()) ? bitmap : bitmap.convertToFormat(QImage::Format_RGB32);
}

TPixelView ViewOf(const QImage& image) {
    return {image.constBits(), image.width(), image.height(),
            static_cast<std::ptrdiff_t>(image.bytesPerLine())};
}

std::string PathText(const QString& path) {
    return path.toStdString();
}

} // namespace

void BitmapToPNGFile(const QImage& Bitmap, const QString& Path) {
    const QImage image = As32Bit(Bitmap);
    WritePNG(ViewOf(image), PathText(Path));
}

std::vector<std::uint8_t> BitmapToPNGBytes(const QImage& Bitmap) {
    const QImage image = As32Bit(Bitmap);
    return EncodePNG(ViewOf(image));
}

void BitmapToJPGFile(const QImage& Bitmap, const QString& Path, std::uint8_t Quality) {
    const QImage image = As32Bit(Bitmap);
    WriteJPG(ViewOf(image), PathText(Path), Quality);
}

void BitmapToGIFFile(const QImage& Bitmap, const QString& Path) {
    const QImage image = As32Bit(Bitmap);
    WriteGIF(ViewOf(image), PathText(Path));
}

void BitmapToBMPFile(const QImage& Bitmap, const QString& Path) {
    const QImage image = As32Bit(Bitmap);
    WriteBMP(ViewOf(image), PathText(Path));
}

void BitmapToWebPFile(QImage& Bitmap, const QString& Path, int Quality) {
    const std::string library = WebPLibraryPath();
    if (!WebPAvailable(library))
        return;
    if (!Is32Bit(Bitmap.format()))
        Bitmap = Bitmap.convertToFormat(QImage::Format_RGB32);
    WriteWebP(ViewOf(Bitmap), PathText(Path), Quality, library);
}

} // namespace quorvel
