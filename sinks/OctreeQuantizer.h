#pragma once

#include "sinks/PixelView.h"

#include <array>
#include <cstdint>
#include <vector>

namespace quorvel {

struct TRgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;

    bool operator==(const TRgb&) const = default;
};

// Builds an adaptive palette by octree colour quantisation. Every colour added walks down
// one bit per channel and level to a leaf eight levels deep; when there are more leaves
// than palette entries, the deepest nodes are folded into their parents (those holding the
// fewest pixels first) until few enough remain. Each leaf then gives one palette entry, the
// mean colour of the pixels that reached it.
//
// A picture with no more distinct colours than palette entries is never folded: its palette
// holds exactly its own colours, and IndexOf finds each one.
class TOctreeQuantizer {
public:
    static constexpr int kMaxPaletteSize = 256;

    explicit TOctreeQuantizer(int maxColours = kMaxPaletteSize);

    // Adds every pixel of the view (blue, green and red; the fourth byte is not looked at).
    void AddPixels(const TPixelView& pixels);
    void AddColour(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint64_t count = 1);

    // Folds the tree down to at most maxColours leaves and numbers them. Call once, after
    // the last colour has been added.
    void BuildPalette();

    const std::vector<TRgb>& Palette() const { return FPalette; }
    // True when no colours were merged: the palette is exactly the set of colours added.
    bool Exact() const { return FExact; }
    // The palette entry that stands for a colour that was added (for an exact palette, the
    // colour itself); -1 for a colour the tree has never seen.
    int IndexOf(std::uint8_t r, std::uint8_t g, std::uint8_t b) const;

private:
    static constexpr int kDepth = 8;

    // The walk down the tree reads only the child links and leaf flags, so those are kept
    // apart from the pixel sums, which are touched once per colour.
    using TChildren = std::array<std::uint32_t, 8>;
    struct TNodeData {
        std::uint64_t count = 0;
        std::uint64_t sumR = 0;
        std::uint64_t sumG = 0;
        std::uint64_t sumB = 0;
        std::uint32_t nextAtLevel = 0; // internal nodes of one level, or the free list
        std::uint16_t paletteIndex = 0;
        std::uint8_t childCount = 0;
    };

    std::uint32_t NewNode(int level);
    std::uint32_t FindLeaf(std::uint8_t r, std::uint8_t g, std::uint8_t b);
    void Count(std::uint32_t leaf, std::uint8_t r, std::uint8_t g, std::uint8_t b,
               std::uint64_t count);
    bool KeepInBounds();
    void Fold(std::uint32_t node);
    void FoldDeepest();
    void Number(std::uint32_t node);

    int FMaxColours;
    std::size_t FLeafLimit;
    std::vector<TChildren> FChildren;
    std::vector<std::uint8_t> FIsLeaf;
    std::vector<TNodeData> FData;
    std::uint32_t FFree = 0;
    std::array<std::uint32_t, kDepth> FLevelHeads{};
    std::size_t FLeaves = 0;
    int FLeafDepth = kDepth; // nodes made at this level or deeper are leaves
    bool FFolded = false;
    bool FExact = false;
    std::vector<TRgb> FPalette;
};

// Finds the nearest palette entry (squared Euclidean distance in RGB) for any colour. The
// answers are kept in a table of 64 levels per channel that is filled as colours are asked
// for, so a whole picture costs one search per distinct cell rather than one per pixel. A
// colour is matched by the centre of its cell, which is at most two steps off per channel.
class TNearestColourMap {
public:
    explicit TNearestColourMap(const std::vector<TRgb>& palette);

    std::uint8_t Nearest(int r, int g, int b) {
        const unsigned key = (static_cast<unsigned>(r) >> 2 << 12) |
                             (static_cast<unsigned>(g) >> 2 << 6) | (static_cast<unsigned>(b) >> 2);
        const std::uint16_t found = FTable[key];
        return found != kUnknown ? static_cast<std::uint8_t>(found) : Search(key);
    }

private:
    static constexpr std::uint16_t kUnknown = 0xFFFF;

    std::uint8_t Search(unsigned key);

    // The palette sorted by green, so that a search can stop once green alone is too far.
    std::vector<int> FR;
    std::vector<int> FG;
    std::vector<int> FB;
    std::vector<std::uint8_t> FIndex;
    std::array<int, 256> FStartByGreen{};
    std::vector<std::uint16_t> FTable;
};

} // namespace quorvel
