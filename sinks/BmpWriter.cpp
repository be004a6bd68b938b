#include "sinks/BmpWriter.h"

#include "sinks/FileError.h"
#include "sinks/SafeFile.h"

#include <cstdint>
#include <limits>
#include <vector>

namespace quorvel {

namespace {

void PutLittleEndian(std::uint8_t* out, std::uint32_t value) {
    out[0] = static_cast<std::uint8_t>(value);
    out[1] = static_cast<std::uint8_t>(value >> 8);
    out[2] = static_cast<std::uint8_t>(value >> 16);
    out[3] = static_cast<std::uint8_t>(value >> 24);
}

} // namespace

void WriteBMP(const TPixelView& Pixels, const std::string& Path) {
    if (Pixels.Empty())
        throw EFileError("Cannot write file \"" + Path + "\". The picture is empty.");
    constexpr std::uint32_t headers = 14 + 40;
    const std::uint64_t rowBytes = static_cast<std::uint64_t>(Pixels.width) * 4;
    const std::uint64_t imageBytes = rowBytes * static_cast<std::uint64_t>(Pixels.height);
    if (headers + imageBytes > std::numeric_limits<std::uint32_t>::max())
        throw EFileError("Cannot write file \"" + Path +
                         "\". The picture is too large for a bitmap file.");

    std::uint8_t header[headers] = {};
    header[0] = 'B';
    header[1] = 'M';
    PutLittleEndian(header + 2, static_cast<std::uint32_t>(headers + imageBytes)); // file size
    PutLittleEndian(header + 10, headers); // offset of the pixels
    PutLittleEndian(header + 14, 40);      // info header size
    PutLittleEndian(header + 18, static_cast<std::uint32_t>(Pixels.width));
    PutLittleEndian(header + 22, static_cast<std::uint32_t>(Pixels.height)); // positive: bottom-up
    header[26] = 1;                                                          // planes
    header[28] = 32;                                                         // bits per pixel
    // compression 0 (BI_RGB), then the image size; resolutions and colour counts stay 0
    PutLittleEndian(header + 34, static_cast<std::uint32_t>(imageBytes));

    TSafeFile file(Path);
    file.Write(header, sizeof header);
    // The fourth byte of every pixel is written as 255 so that readers that take it for
    // alpha still show an opaque picture.
    std::vector<std::uint8_t> row(static_cast<std::size_t>(rowBytes));
    for (int y = Pixels.height - 1; y >= 0; --y) {
        const std::uint8_t* p = Pixels.Row(y);
        for (std::size_t i = 0; i < row.size(); i += 4) {
            row[i] = p[i];
            row[i + 1] = p[i + 1];
            row[i + 2] = p[i + 2];
            row[i + 3] = 0xFF;
        }
        file.Write(row.data(), row.size());
    }
    file.Commit();
}

} // namespace quorvel
