#include "sinks/OctreeQuantizer.h"

#include <algorithm>
#include <climits>
#include <stdexcept>
#include <utility>

namespace quorvel {

namespace {

constexpr std::uint32_t kNoChild = 0;
constexpr std::uint32_t kEnd = 0xFFFFFFFFu;

// While colours are being added, the tree is folded to half its size whenever it grows past
// this many leaves, which bounds its memory for pictures with millions of colours. Only nodes
// four or more levels down are folded at this size (four levels hold at most 4096 leaves),
// and those are folded again anyway on the way down to a 256-entry palette.
constexpr std::size_t kLeafLimitWhileAdding = 16384;

unsigned Branch(std::uint8_t r, std::uint8_t g, std::uint8_t b, int level) {
    const int shift = 7 - level;
    return ((r >> shift) & 1u) << 2 | ((g >> shift) & 1u) << 1 | ((b >> shift) & 1u);
}

} // namespace

TOctreeQuantizer::TOctreeQuantizer(int maxColours)
    : FMaxColours(maxColours),
      FLeafLimit(std::max(kLeafLimitWhileAdding, 2 * static_cast<std::size_t>(maxColours))) {
    if (maxColours < 1 || maxColours > kMaxPaletteSize)
        throw std::invalid_argument("octree palette size out of range");
    FLevelHeads.fill(kEnd);
    FFree = kEnd;
    NewNode(0); // the root, index 0
}

std::uint32_t TOctreeQuantizer::NewNode(int level) {
    std::uint32_t index;
    if (FFree != kEnd) {
        index = FFree;
        FFree = FData[index].nextAtLevel;
        FChildren[index] = {};
        FData[index] = {};
    } else {
        index = static_cast<std::uint32_t>(FData.size());
        FChildren.emplace_back();
        FIsLeaf.push_back(0);
        FData.emplace_back();
    }
    if (level >= FLeafDepth) {
        FIsLeaf[index] = 1;
        ++FLeaves;
    } else {
        FIsLeaf[index] = 0;
        FData[index].nextAtLevel = FLevelHeads[level];
        FLevelHeads[level] = index;
    }
    return index;
}

// Merges the children of a node, all of them leaves, into the node, which becomes a leaf.
// The caller has already taken the node off its level's list.
void TOctreeQuantizer::Fold(std::uint32_t index) {
    TNodeData& node = FData[index];
    for (std::uint32_t& c : FChildren[index]) {
        if (c == kNoChild)
            continue;
        TNodeData& child = FData[c];
        node.count += child.count;
        node.sumR += child.sumR;
        node.sumG += child.sumG;
        node.sumB += child.sumB;
        child.nextAtLevel = FFree;
        FFree = c;
        c = kNoChild;
    }
    FLeaves = FLeaves - node.childCount + 1;
    node.childCount = 0;
    FIsLeaf[index] = 1;
    FFolded = true;
}

// Folds the most recently made node of the deepest level that has internal nodes. Every
// child of such a node is a leaf, since the level below has no internal nodes left.
void TOctreeQuantizer::FoldDeepest() {
    for (int level = kDepth - 1; level >= 0; --level) {
        const std::uint32_t index = FLevelHeads[level];
        if (index == kEnd)
            continue;
        FLevelHeads[level] = FData[index].nextAtLevel;
        Fold(index);
        // Nodes this deep would only be folded again, so from now on they are made as
        // leaves. This keeps the tree small and the walks short for the rest of the picture.
        FLeafDepth = std::min(FLeafDepth, level);
        return;
    }
}

std::uint32_t TOctreeQuantizer::FindLeaf(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    std::uint32_t index = 0;
    for (int level = 0; !FIsLeaf[index]; ++level) {
        const unsigned branch = Branch(r, g, b, level);
        std::uint32_t next = FChildren[index][branch];
        if (next == kNoChild) {
            next = NewNode(level + 1);
            FChildren[index][branch] = next;
            ++FData[index].childCount;
        }
        index = next;
    }
    return index;
}

void TOctreeQuantizer::Count(std::uint32_t leaf, std::uint8_t r, std::uint8_t g, std::uint8_t b,
                             std::uint64_t count) {
    TNodeData& node = FData[leaf];
    node.count += count;
    node.sumR += r * count;
    node.sumG += g * count;
    node.sumB += b * count;
}

// Once the tree has grown past its bound, folds it down to half the bound, so that folding
// comes in a few large steps rather than at every new colour. Tells whether it folded.
bool TOctreeQuantizer::KeepInBounds() {
    if (FLeaves <= FLeafLimit)
        return false;
    do
        FoldDeepest();
    while (FLeaves > FLeafLimit / 2);
    return true;
}

void TOctreeQuantizer::AddColour(std::uint8_t r, std::uint8_t g, std::uint8_t b,
                                 std::uint64_t count) {
    if (count == 0)
        return;
    Count(FindLeaf(r, g, b), r, g, b, count);
    KeepInBounds();
}

void TOctreeQuantizer::AddPixels(const TPixelView& pixels) {
    if (pixels.Empty())
        return;
    // Most pixels repeat a colour seen a moment ago: flat panels give runs of one colour, and
    // even a noisy photograph has only a few thousand colours in any one neighbourhood. A
    // small table remembers the leaf of recent colours so that they skip the walk down the
    // tree. Folding frees leaves, so it starts a new generation of the table; the generation
    // sits in the top byte of each key, above the 24 bits of colour, and is never 0, the
    // value of an empty slot.
    constexpr int kCacheBits = 14;
    std::vector<std::uint32_t> cachedKey(std::size_t{1} << kCacheBits, 0);
    std::vector<std::uint32_t> cachedLeaf(cachedKey.size());
    std::uint32_t generation = 1;
    auto add = [&](std::uint32_t colour, std::uint64_t count) {
        const auto r = static_cast<std::uint8_t>(colour >> 16);
        const auto g = static_cast<std::uint8_t>(colour >> 8);
        const auto b = static_cast<std::uint8_t>(colour);
        const std::uint32_t slot = (colour * 0x9E3779B1u) >> (32 - kCacheBits);
        const std::uint32_t key = colour | generation << 24;
        std::uint32_t leaf;
        if (cachedKey[slot] == key) {
            leaf = cachedLeaf[slot];
        } else {
            leaf = FindLeaf(r, g, b);
            cachedKey[slot] = key;
            cachedLeaf[slot] = leaf;
        }
        Count(leaf, r, g, b, count);
        if (KeepInBounds() && ++generation == 256) {
            generation = 1;
            std::fill(cachedKey.begin(), cachedKey.end(), 0);
        }
    };
    std::uint32_t previous = 0;
    std::uint64_t run = 0;
    for (int y = 0; y < pixels.height; ++y) {
        const std::uint8_t* p = pixels.Row(y);
        for (int x = 0; x < pixels.width; ++x, p += 4) {
            const std::uint32_t colour = static_cast<std::uint32_t>(p[2]) << 16 |
                                         static_cast<std::uint32_t>(p[1]) << 8 | p[0];
            if (colour == previous && run > 0) {
                ++run;
                continue;
            }
            if (run > 0)
                add(previous, run);
            previous = colour;
            run = 1;
        }
    }
    add(previous, run);
}

void TOctreeQuantizer::BuildPalette() {
    const auto maxLeaves = static_cast<std::size_t>(FMaxColours);
    // Fold level by level from the bottom up; within a level, the nodes that hold the fewest
    // pixels go first, so that the colours that cover most of the picture keep their detail.
    std::vector<std::pair<std::uint64_t, std::uint32_t>> candidates;
    for (int level = kDepth - 1; level >= 0 && FLeaves > maxLeaves; --level) {
        candidates.clear();
        for (std::uint32_t i = FLevelHeads[level]; i != kEnd; i = FData[i].nextAtLevel) {
            std::uint64_t count = 0;
            for (const std::uint32_t c : FChildren[i])
                if (c != kNoChild)
                    count += FData[c].count;
            candidates.emplace_back(count, i);
        }
        std::sort(candidates.begin(), candidates.end());
        FLevelHeads[level] = kEnd;
        std::size_t folded = 0;
        for (; folded < candidates.size() && FLeaves > maxLeaves; ++folded)
            Fold(candidates[folded].second);
        for (std::size_t i = folded; i < candidates.size(); ++i) {
            FData[candidates[i].second].nextAtLevel = FLevelHeads[level];
            FLevelHeads[level] = candidates[i].second;
        }
    }
    FExact = !FFolded;
    FPalette.clear();
    FPalette.reserve(FLeaves);
    Number(0);
}

// Gives the leaves their palette entries, in tree order.
void TOctreeQuantizer::Number(std::uint32_t index) {
    if (FIsLeaf[index]) {
        TNodeData& node = FData[index];
        if (node.count == 0)
            return; // only the root of an empty tree
        const std::uint64_t half = node.count / 2;
        node.paletteIndex = static_cast<std::uint16_t>(FPalette.size());
        FPalette.push_back({static_cast<std::uint8_t>((node.sumR + half) / node.count),
                            static_cast<std::uint8_t>((node.sumG + half) / node.count),
                            static_cast<std::uint8_t>((node.sumB + half) / node.count)});
        return;
    }
    for (const std::uint32_t c : FChildren[index])
        if (c != kNoChild)
            Number(c);
}

int TOctreeQuantizer::IndexOf(std::uint8_t r, std::uint8_t g, std::uint8_t b) const {
    std::uint32_t index = 0;
    for (int level = 0; !FIsLeaf[index]; ++level) {
        index = FChildren[index][Branch(r, g, b, level)];
        if (index == kNoChild)
            return -1;
    }
    return FData[index].count > 0 ? FData[index].paletteIndex : -1;
}

TNearestColourMap::TNearestColourMap(const std::vector<TRgb>& palette) {
    if (palette.empty() || palette.size() > TOctreeQuantizer::kMaxPaletteSize)
        throw std::invalid_argument("palette size out of range");
    std::vector<std::uint8_t> order(palette.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<std::uint8_t>(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::uint8_t a, std::uint8_t b) { return palette[a].g < palette[b].g; });
    for (const std::uint8_t i : order) {
        FR.push_back(palette[i].r);
        FG.push_back(palette[i].g);
        FB.push_back(palette[i].b);
        FIndex.push_back(i);
    }
    for (int g = 0; g < 256; ++g)
        FStartByGreen[g] = static_cast<int>(std::lower_bound(FG.begin(), FG.end(), g) - FG.begin());
    FTable.assign(std::size_t{1} << 18, kUnknown);
}

std::uint8_t TNearestColourMap::Search(unsigned key) {
    const int r = static_cast<int>(key >> 12) << 2 | 2;
    const int g = static_cast<int>((key >> 6) & 63) << 2 | 2;
    const int b = static_cast<int>(key & 63) << 2 | 2;
    const int n = static_cast<int>(FG.size());
    int best = INT_MAX;
    int bestAt = 0;
    auto consider = [&](int at) {
        const int dg = FG[at] - g;
        const int dgg = dg * dg;
        if (dgg >= best)
            return false; // every entry further along is at least this far in green alone
        const int dr = FR[at] - r;
        const int db = FB[at] - b;
        const int d = dgg + dr * dr + db * db;
        if (d < best) {
            best = d;
            bestAt = at;
        }
        return true;
    };
    // Walk outwards from the cell's green value in both directions.
    int up = FStartByGreen[g];
    int down = up - 1;
    bool goUp = up < n;
    bool goDown = down >= 0;
    while (goUp || goDown) {
        if (goUp)
            goUp = consider(up) && ++up < n;
        if (goDown)
            goDown = consider(down) && --down >= 0;
    }
    FTable[key] = FIndex[bestAt];
    return FIndex[bestAt];
}

} // namespace quorvel
