#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

namespace quorvel {

// The file types a floating window saves to, in the order of its save dialog: the first
// is 1. Each entry is the dialog filter's name and its patterns.
struct TFloatingFileType {
    const char* Name;
    const char* Patterns; // separated by ";"
};
inline constexpr TFloatingFileType FloatingFileTypes[] = {{"PNG", "*.png"},
                                                          {"JPG", "*.jpg;*.jpeg"},
                                                          {"GIF", "*.gif"},
                                                          {"BMP", "*.bmp"},
                                                          {"WebP", "*.webp"}};
inline constexpr int FloatingFileTypeCount =
    static_cast<int>(sizeof FloatingFileTypes / sizeof FloatingFileTypes[0]);

// The save dialog's filters, as "PNG (*.png)", in order.
QStringList FloatingSaveFilters();
// The extension (without the dot) that a file of this type (1 to 5) gets when its name has
// none; empty for a type out of range.
QString FloatingDefaultExtension(int FileType);

// Writes the picture with the writer of the file type (1 PNG, 2 JPG, 3 GIF, 4 BMP,
// 5 WebP); JPG and WebP take their quality from the quality list texts, 90 when a text is
// not a whole number. Raises an error when the file cannot be written, when WebP cannot be
// written for want of the library, and for an unknown type; nothing is written then.
void SaveFloatingPicture(int FileType, const QImage& Picture, const QString& Path,
                         const QString& JpegQuality, const QString& WebpQuality);

} // namespace quorvel
