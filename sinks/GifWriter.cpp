#include "sinks/GifWriter.h"

#include "sinks/FileError.h"
#include "sinks/OctreeQuantizer.h"
#include "sinks/SafeFile.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

namespace quorvel {

namespace {

constexpr int kMaxGifSide = 65535; // the format stores sizes in 16 bits

[[noreturn]] void RaiseGifError(const std::string& path, int code) {
    const char* reason = GifErrorString(code);
    throw EFileError("Cannot write file \"" + path + "\". " +
                     (reason != nullptr ? reason : "The GIF encoder failed."));
}

[[noreturn]] void RaiseUnfit(const std::string& path, const char* reason) {
    throw EFileError("Cannot write file \"" + path + "\". " + reason);
}

// giflib's output function: collects the file in memory, so that it reaches the disk
// through one safe write, and nothing is written at all when encoding fails.
int AppendOutput(GifFileType* gif, const GifByteType* data, int size) {
    auto* out = static_cast<std::string*>(gif->UserData);
    try {
        out->append(reinterpret_cast<const char*>(data), static_cast<std::size_t>(size));
    } catch (...) {
        return 0; // no exception may cross the C library; giflib reports a failed write
    }
    return size;
}

struct TGifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        EGifCloseFile(gif, &error);
    }
};
using TGifHandle = std::unique_ptr<GifFileType, TGifCloser>;

// For a picture whose own colours make up the palette: every pixel gets its own colour.
class TExactMapper {
public:
    explicit TExactMapper(const TOctreeQuantizer& quantizer) : FQuantizer(quantizer) {}

    void MapRow(const std::uint8_t* p, int width, GifPixelType* out) {
        for (int x = 0; x < width; ++x, p += 4) {
            const std::uint32_t colour = static_cast<std::uint32_t>(p[2]) << 16 |
                                         static_cast<std::uint32_t>(p[1]) << 8 | p[0];
            if (colour != FLastColour) {
                FLastColour = colour;
                FLastIndex = static_cast<GifPixelType>(FQuantizer.IndexOf(p[2], p[1], p[0]));
            }
            out[x] = FLastIndex;
        }
    }

private:
    const TOctreeQuantizer& FQuantizer;
    std::uint32_t FLastColour = 0xFFFFFFFFu; // no pixel has this value
    GifPixelType FLastIndex = 0;
};

int ClampByte(int v) {
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

// Floyd-Steinberg error diffusion: the difference between a pixel's colour and the palette
// colour chosen for it goes 7/16 to the next pixel of the row and 3/16, 5/16 and 1/16 to
// the three pixels below. Rows are walked alternately left to right and right to left, which
// keeps the error from drifting in one direction and drawing diagonal streaks.
class TDitherer {
public:
    TDitherer(const std::vector<TRgb>& palette, int width)
        : FMap(palette), FThis(static_cast<std::size_t>(width + 2) * 3), FNext(FThis.size()) {
        for (std::size_t i = 0; i < palette.size(); ++i) {
            FR[i] = palette[i].r;
            FG[i] = palette[i].g;
            FB[i] = palette[i].b;
        }
    }

    void MapRow(const std::uint8_t* p, int width, GifPixelType* out) {
        const bool forward = (FRow++ & 1) == 0;
        const int step = forward ? 1 : -1;
        const int s = step * 3; // the next pixel's error slot along the walk
        // Errors are kept in sixteenths, per channel, with one spare pixel at either end so
        // that the edges need no tests.
        int* here = FThis.data() + 3;
        int* below = FNext.data() + 3;
        for (int x = forward ? 0 : width - 1; x != (forward ? width : -1); x += step) {
            const std::uint8_t* px = p + static_cast<std::ptrdiff_t>(x) * 4;
            int* e = here + x * 3;
            const int r = ClampByte(px[2] + ((e[0] + 8) >> 4));
            const int g = ClampByte(px[1] + ((e[1] + 8) >> 4));
            const int b = ClampByte(px[0] + ((e[2] + 8) >> 4));
            const std::uint8_t index = FMap.Nearest(r, g, b);
            out[x] = index;
            const int er = r - FR[index];
            const int eg = g - FG[index];
            const int eb = b - FB[index];
            e[s] += er * 7;
            e[s + 1] += eg * 7;
            e[s + 2] += eb * 7;
            int* n = below + x * 3;
            n[-s] += er * 3;
            n[-s + 1] += eg * 3;
            n[-s + 2] += eb * 3;
            n[0] += er * 5;
            n[1] += eg * 5;
            n[2] += eb * 5;
            n[s] += er;
            n[s + 1] += eg;
            n[s + 2] += eb;
        }
        FThis.swap(FNext);
        std::fill(FNext.begin(), FNext.end(), 0);
    }

private:
    TNearestColourMap FMap;
    std::array<int, 256> FR{};
    std::array<int, 256> FG{};
    std::array<int, 256> FB{};
    std::vector<int> FThis;
    std::vector<int> FNext;
    unsigned FRow = 0;
};

} // namespace

void WriteGIF(const TPixelView& pixels, const std::string& path) {
    if (pixels.Empty())
        RaiseUnfit(path, "A GIF file cannot hold an empty picture.");
    if (pixels.width > kMaxGifSide || pixels.height > kMaxGifSide)
        RaiseUnfit(path, "The picture is too large for a GIF file.");
    const int width = pixels.width;
    const int height = pixels.height;

    TOctreeQuantizer quantizer;
    quantizer.AddPixels(pixels);
    quantizer.BuildPalette();
    const std::vector<TRgb>& palette = quantizer.Palette();

    // giflib takes colour tables of 2, 4, ... 256 entries; the entries past the palette are
    // never used and stay black.
    int bits = 1;
    while ((std::size_t{1} << bits) < palette.size())
        ++bits;
    std::array<GifColorType, 256> colours{};
    for (std::size_t i = 0; i < palette.size(); ++i)
        colours[i] = {palette[i].r, palette[i].g, palette[i].b};
    ColorMapObject colourMap{};
    colourMap.ColorCount = 1 << bits;
    colourMap.BitsPerPixel = bits;
    colourMap.SortFlag = false;
    colourMap.Colors = colours.data();

    std::string encoded; // declared first: closing the handle still writes into it
    int error = 0;
    TGifHandle gif(EGifOpen(&encoded, AppendOutput, &error));
    if (!gif)
        RaiseGifError(path, error);
    if (EGifPutScreenDesc(gif.get(), width, height, 8, 0, &colourMap) == GIF_ERROR)
        RaiseGifError(path, gif->Error);
    if (EGifPutImageDesc(gif.get(), 0, 0, width, height, false, nullptr) == GIF_ERROR)
        RaiseGifError(path, gif->Error);

    std::vector<GifPixelType> line(static_cast<std::size_t>(width));
    auto putRows = [&](auto& mapper) {
        for (int y = 0; y < height; ++y) {
            mapper.MapRow(pixels.Row(y), width, line.data());
            if (EGifPutLine(gif.get(), line.data(), width) == GIF_ERROR)
                RaiseGifError(path, gif->Error);
        }
    };
    if (quantizer.Exact()) {
        TExactMapper mapper(quantizer);
        putRows(mapper);
    } else {
        TDitherer mapper(palette, width);
        putRows(mapper);
    }

    if (EGifCloseFile(gif.release(), &error) == GIF_ERROR)
        RaiseGifError(path, error);
    // giflib does not check the write of the closing byte; without it the file is cut short.
    if (encoded.empty() || encoded.back() != ';')
        RaiseGifError(path, E_GIF_ERR_WRITE_FAILED);
    WriteWholeFile(path, encoded.data(), encoded.size());
}

} // namespace quorvel
