#include "sinks/PngWriter.h"

#include "sinks/FileError.h"
#include "sinks/ParallelDeflate.h"
#include "sinks/SafeFile.h"
#include "support/WorkerGroup.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <libdeflate.h>
#include <new>
#include <vector>

namespace quorvel {

namespace {

constexpr int kLevel = 7;
constexpr std::size_t kMaxChunk = 0xFFFF;

void PutBigEndian(std::uint8_t* out, std::uint32_t value) {
    out[0] = static_cast<std::uint8_t>(value >> 24);
    out[1] = static_cast<std::uint8_t>(value >> 16);
    out[2] = static_cast<std::uint8_t>(value >> 8);
    out[3] = static_cast<std::uint8_t>(value);
}

// Appends bytes to the file being built. (Written out so: GCC 12 at -O3 warns falsely
// about vector::insert of a small array here.)
void Append(std::vector<std::uint8_t>& file, const std::uint8_t* bytes, std::size_t size) {
    const std::size_t at = file.size();
    file.resize(at + size);
    std::memcpy(file.data() + at, bytes, size);
}

void WriteChunk(std::vector<std::uint8_t>& file, const char type[4], const std::uint8_t* data,
                std::size_t size) {
    std::uint8_t head[8];
    PutBigEndian(head, static_cast<std::uint32_t>(size));
    std::copy(type, type + 4, head + 4);
    std::uint32_t crc = libdeflate_crc32(0, head + 4, 4);
    if (size > 0)
        crc = libdeflate_crc32(crc, data, size);
    std::uint8_t tail[4];
    PutBigEndian(tail, crc);
    Append(file, head, sizeof head);
    if (size > 0)
        Append(file, data, size);
    Append(file, tail, sizeof tail);
}

class TStopwatch {
public:
    // Milliseconds since the start or the previous lap.
    double Lap() {
        const auto now = std::chrono::steady_clock::now();
        const double ms = std::chrono::duration<double, std::milli>(now - FLast).count();
        FLast = now;
        return ms;
    }

private:
    std::chrono::steady_clock::time_point FLast = std::chrono::steady_clock::now();
};

std::vector<std::uint8_t> Encode(const TPixelView& Pixels, TPngStageTimes& times);

} // namespace

void FilterRowsSub(const TPixelView& Pixels, int firstRow, int lastRow, std::uint8_t* out) {
    const std::size_t rowBytes = 1 + static_cast<std::size_t>(Pixels.width) * 3;
    for (int y = firstRow; y < lastRow; ++y) {
        const std::uint8_t* p = Pixels.Row(y);
        std::uint8_t* o = out + static_cast<std::size_t>(y - firstRow) * rowBytes;
        *o++ = 1; // Sub
        std::uint8_t r = 0, g = 0, b = 0;
        for (int x = 0; x < Pixels.width; ++x, p += 4, o += 3) {
            o[0] = static_cast<std::uint8_t>(p[2] - r);
            o[1] = static_cast<std::uint8_t>(p[1] - g);
            o[2] = static_cast<std::uint8_t>(p[0] - b);
            r = p[2];
            g = p[1];
            b = p[0];
        }
    }
}

void WritePNG(const TPixelView& Pixels, const std::string& Path, TPngStageTimes* times) {
    if (Pixels.Empty())
        throw EFileError("Cannot write file \"" + Path + "\". The picture is empty.");
    TPngStageTimes local;
    std::vector<std::uint8_t> png;
    try {
        png = Encode(Pixels, times != nullptr ? *times : local);
    } catch (const std::bad_alloc&) {
        // From this thread or a compression worker: the save ends, the program goes on.
        throw EFileError("Cannot write file \"" + Path + "\". Not enough memory.");
    }
    TStopwatch clock;
    TSafeFile file(Path);
    file.Write(png.data(), png.size());
    file.Flush();
    if (times != nullptr)
        times->writeMs += clock.Lap();
    file.Commit();
    if (times != nullptr)
        times->renameMs = clock.Lap();
}

std::vector<std::uint8_t> EncodePNG(const TPixelView& Pixels) {
    if (Pixels.Empty())
        throw EFileError("The picture is empty.");
    TPngStageTimes times;
    return Encode(Pixels, times);
}

namespace {

std::vector<std::uint8_t> Encode(const TPixelView& Pixels, TPngStageTimes& times) {
    TStopwatch clock;

    // Each compression worker filters its band's rows just before compressing them.
    const std::size_t rowBytes = 1 + static_cast<std::size_t>(Pixels.width) * 3;
    const std::vector<std::uint8_t> stream = ZlibCompressRows(
        rowBytes, Pixels.height,
        [&](int first, int last, std::uint8_t* out) { FilterRowsSub(Pixels, first, last, out); },
        kLevel, &times.filterMs);
    times.compressMs = clock.Lap() - times.filterMs;

    std::vector<std::uint8_t> file;
    file.reserve(stream.size() + stream.size() / kMaxChunk * 12 + 64);
    static const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Append(file, signature, sizeof signature);

    std::uint8_t ihdr[13];
    PutBigEndian(ihdr, static_cast<std::uint32_t>(Pixels.width));
    PutBigEndian(ihdr + 4, static_cast<std::uint32_t>(Pixels.height));
    ihdr[8] = 8;  // bit depth
    ihdr[9] = 2;  // truecolour
    ihdr[10] = 0; // deflate
    ihdr[11] = 0; // adaptive filtering with five basic types
    ihdr[12] = 0; // no interlace
    WriteChunk(file, "IHDR", ihdr, sizeof ihdr);

    for (std::size_t at = 0; at < stream.size(); at += kMaxChunk)
        WriteChunk(file, "IDAT", stream.data() + at, std::min(kMaxChunk, stream.size() - at));
    WriteChunk(file, "IEND", nullptr, 0);
    times.writeMs = clock.Lap();
    return file;
}

} // namespace

} // namespace quorvel
