#include "sinks/FloatingSave.h"

#include "sinks/EncoderSettings.h"
#include "sinks/Save.h"
#include "sinks/WebpWriter.h"

#include <algorithm>
#include <stdexcept>

namespace quorvel {

QStringList FloatingSaveFilters() {
    QStringList filters;
    for (const TFloatingFileType& type : FloatingFileTypes)
        filters << QStringLiteral("%1 (%2)").arg(
            QLatin1String(type.Name), QString::fromLatin1(type.Patterns).replace(';', ' '));
    return filters;
}

QString FloatingDefaultExtension(int FileType) {
    if (FileType < 1 || FileType > FloatingFileTypeCount)
        return {};
    // "*.jpg;*.jpeg" gives "jpg".
    return QString::fromLatin1(FloatingFileTypes[FileType - 1].Patterns)
        .section(QLatin1Char(';'), 0, 0)
        .mid(2);
}

void SaveFloatingPicture(int FileType, const QImage& Picture, const QString& Path,
                         const QString& JpegQuality, const QString& WebpQuality) {
    switch (FileType) {
    case 1:
        BitmapToPNGFile(Picture, Path);
        break;
    case 2:
        BitmapToJPGFile(Picture, Path,
                        static_cast<std::uint8_t>(
                            std::clamp(QualityFromText(JpegQuality.toStdString()), 0, 255)));
        break;
    case 3:
        BitmapToGIFFile(Picture, Path);
        break;
    case 4:
        BitmapToBMPFile(Picture, Path);
        break;
    case 5: {
        // The WebP writer quietly writes nothing without its library; a save the user asked
        // for has to say that it did not happen.
        const std::string library = WebPLibraryPath();
        if (!WebPAvailable(library))
            throw EWebPError("WebP cannot be written: " + std::string(WebPLibraryName) +
                             " cannot be loaded.");
        QImage copy = Picture;
        BitmapToWebPFile(copy, Path, QualityFromText(WebpQuality.toStdString()));
        break;
    }
    default:
        throw std::invalid_argument("Unknown file type " + std::to_string(FileType) + ".");
    }
}

} // namespace quorvel
