#pragma once

#include <QImage>
#include <QString>
#include <cstdint>
#include <vector>

namespace quorvel {

// The capture writers. Each reads the picture as 32-bit pixels (alpha ignored) and
// replaces any file at Path; the format is the one of the call, whatever the extension.
// They raise an error with the system's reason when the file cannot be written.
void BitmapToPNGFile(const QImage& Bitmap, const QString& Path);
// The PNG file of BitmapToPNGFile, in memory.
std::vector<std::uint8_t> BitmapToPNGBytes(const QImage& Bitmap);
void BitmapToJPGFile(const QImage& Bitmap, const QString& Path, std::uint8_t Quality);
void BitmapToGIFFile(const QImage& Bitmap, const QString& Path);
void BitmapToBMPFile(const QImage& Bitmap, const QString& Path);
// Converts the caller's picture to 32 bits per pixel first. Does nothing when the WebP
// library cannot be loaded (the main window keeps WebP from being chosen then).
void BitmapToWebPFile(QImage& Bitmap, const QString& Path, int Quality);

} // namespace quorvel
