#include "sinks/ParallelDeflate.h"

#include "support/WorkerGroup.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <libdeflate.h>
#include <memory>
#include <new>
#include <stdexcept>
#include <thread>
#include <zlib.h>

namespace quorvel {

namespace {

// A band much smaller than this loses more to its cold start (no history to match against)
// than the extra core gains.
constexpr std::size_t kMinBand = 1024 * 1024;

struct TBand {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::vector<std::uint8_t> out;
    std::uint32_t adler = 1;
};

struct TCompressorFree {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};
using TCompressor = std::unique_ptr<libdeflate_compressor, TCompressorFree>;

// Compresses the band's bytes, found at `bytes`.
void CompressBand(libdeflate_compressor* compressor, const std::uint8_t* bytes, TBand& band,
                  bool last) {
    const std::size_t length = band.end - band.begin;
    band.out.resize(libdeflate_deflate_compress_bound(compressor, length) + 8);
    const std::size_t written =
        libdeflate_deflate_compress(compressor, bytes, length, band.out.data(), band.out.size());
    if (written == 0)
        throw std::runtime_error("Compression failed");
    band.out.resize(written);
    if (!last)
        MakeNotFinal(band.out);
    band.adler = libdeflate_adler32(1, bytes, length);
}

// Everything the workers write to is allocated here, on the calling thread: memory a worker
// thread allocates comes from an arena of its own, which the allocator keeps after the
// thread has ended and does not give back to the system when the program is at rest (tens
// of megabytes after a tall web page).
std::vector<TCompressor> PrepareBands(std::vector<TBand>& bands, int level) {
    std::vector<TCompressor> compressors;
    for (TBand& band : bands) {
        compressors.emplace_back(libdeflate_alloc_compressor(level));
        if (!compressors.back())
            throw std::bad_alloc();
        band.out.reserve(
            libdeflate_deflate_compress_bound(compressors.back().get(), band.end - band.begin) + 8);
    }
    return compressors;
}

// The zlib stream of the compressed bands, in order.
std::vector<std::uint8_t> JoinBands(const std::vector<TBand>& bands, int level);

std::uint8_t HeaderLevelFlags(int level) {
    if (level < 2)
        return 0;
    if (level < 6)
        return 1;
    if (level == 6)
        return 2;
    return 3;
}

// Reads a deflate stream's bits, least significant first.
class TBitReader {
public:
    TBitReader(const std::uint8_t* data, std::size_t size) : FData(data), FSize(size) {}

    // The next `count` bits (at most 25) without consuming them; zeros past the end.
    std::uint32_t Peek(int count) const {
        const std::size_t byte = FBit >> 3;
        std::uint64_t word = 0;
        if (byte + 8 <= FSize)
            std::memcpy(&word, FData + byte, 8);
        else
            for (std::size_t i = 0; byte + i < FSize; ++i)
                word |= static_cast<std::uint64_t>(FData[byte + i]) << (8 * i);
        return static_cast<std::uint32_t>(word >> (FBit & 7)) & ((1u << count) - 1);
    }
    void Skip(int count) {
        FBit += static_cast<std::size_t>(count);
        if (FBit > FSize * 8)
            throw std::runtime_error("The deflate stream ends early");
    }
    std::uint32_t Take(int count) {
        const std::uint32_t v = Peek(count);
        Skip(count);
        return v;
    }
    void AlignToByte() { Skip(static_cast<int>((8 - (FBit & 7)) & 7)); }
    std::size_t Bit() const { return FBit; }

private:
    const std::uint8_t* FData;
    std::size_t FSize;
    std::size_t FBit = 0;
};

// A canonical Huffman code as a lookup table indexed by the next `bits` input bits; each
// entry holds the symbol and its code length (0: no such code).
struct THuffman {
    struct TEntry {
        std::uint16_t symbol = 0;
        std::uint8_t length = 0;
    };
    int bits = 1;
    std::vector<TEntry> table;

    void Build(const std::uint8_t* lengths, int count) {
        std::array<int, 16> lengthCount{};
        int longest = 1;
        for (int s = 0; s < count; ++s) {
            ++lengthCount[lengths[s]];
            longest = std::max<int>(longest, lengths[s]);
        }
        lengthCount[0] = 0;
        std::array<unsigned, 16> next{};
        unsigned code = 0;
        for (int len = 1; len < 16; ++len) {
            code = (code + static_cast<unsigned>(lengthCount[len - 1])) << 1;
            next[len] = code;
            if (next[len] + static_cast<unsigned>(lengthCount[len]) > (1u << len))
                throw std::runtime_error("Over-subscribed Huffman code");
        }
        bits = longest;
        table.assign(std::size_t{1} << bits, TEntry{});
        for (int s = 0; s < count; ++s) {
            const int len = lengths[s];
            if (len == 0)
                continue;
            const unsigned c = next[len]++;
            unsigned reversed = 0;
            for (int i = 0; i < len; ++i)
                reversed |= ((c >> i) & 1u) << (len - 1 - i);
            for (std::size_t i = reversed; i < table.size(); i += std::size_t{1} << len)
                table[i] = {static_cast<std::uint16_t>(s), static_cast<std::uint8_t>(len)};
        }
    }

    int Decode(TBitReader& in) const {
        const TEntry e = table[in.Peek(bits)];
        if (e.length == 0)
            throw std::runtime_error("Invalid Huffman code");
        in.Skip(e.length);
        return e.symbol;
    }
};

constexpr std::array<std::uint8_t, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint8_t, 30> kDistanceExtra = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                         4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                         9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

void SkipCodes(TBitReader& in, const THuffman& literals, const THuffman& distances) {
    for (;;) {
        const int symbol = literals.Decode(in);
        if (symbol < 256)
            continue;
        if (symbol == 256)
            return;
        if (symbol > 285)
            throw std::runtime_error("Invalid length code");
        in.Skip(kLengthExtra[static_cast<std::size_t>(symbol - 257)]);
        const int distance = distances.Decode(in);
        if (distance > 29)
            throw std::runtime_error("Invalid distance code");
        in.Skip(kDistanceExtra[static_cast<std::size_t>(distance)]);
    }
}

void ReadDynamicCodes(TBitReader& in, THuffman& literals, THuffman& distances) {
    static constexpr std::array<std::uint8_t, 19> order = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                           11, 4,  12, 3, 13, 2, 14, 1, 15};
    const int literalCount = static_cast<int>(in.Take(5)) + 257;
    const int distanceCount = static_cast<int>(in.Take(5)) + 1;
    const int lengthCodeCount = static_cast<int>(in.Take(4)) + 4;
    std::array<std::uint8_t, 19> codeLengths{};
    for (int i = 0; i < lengthCodeCount; ++i)
        codeLengths[order[static_cast<std::size_t>(i)]] = static_cast<std::uint8_t>(in.Take(3));
    THuffman lengthCode;
    lengthCode.Build(codeLengths.data(), 19);

    std::array<std::uint8_t, 320> lengths{};
    const int total = literalCount + distanceCount;
    for (int i = 0; i < total;) {
        const int symbol = lengthCode.Decode(in);
        int repeat = 1;
        std::uint8_t value = 0;
        if (symbol < 16) {
            value = static_cast<std::uint8_t>(symbol);
        } else if (symbol == 16) {
            if (i == 0)
                throw std::runtime_error("Repeat without a previous length");
            value = lengths[static_cast<std::size_t>(i - 1)];
            repeat = 3 + static_cast<int>(in.Take(2));
        } else if (symbol == 17) {
            repeat = 3 + static_cast<int>(in.Take(3));
        } else {
            repeat = 11 + static_cast<int>(in.Take(7));
        }
        if (i + repeat > total)
            throw std::runtime_error("Too many code lengths");
        while (repeat-- > 0)
            lengths[static_cast<std::size_t>(i++)] = value;
    }
    literals.Build(lengths.data(), literalCount);
    distances.Build(lengths.data() + literalCount, distanceCount);
}

} // namespace

TFinalBlock FindFinalBlock(const std::uint8_t* data, std::size_t size) {
    TBitReader in(data, size);
    THuffman literals, distances;
    for (;;) {
        TFinalBlock block;
        block.headerBit = in.Bit();
        const bool final = in.Take(1) != 0;
        const unsigned type = in.Take(2);
        if (type == 0) {
            in.AlignToByte();
            const std::uint32_t length = in.Take(16);
            if ((in.Take(16) ^ 0xFFFFu) != length)
                throw std::runtime_error("Damaged stored block");
            in.Skip(static_cast<int>(length) * 8);
        } else if (type == 1) {
            std::array<std::uint8_t, 320> lengths{};
            std::fill(lengths.begin(), lengths.begin() + 144, 8);
            std::fill(lengths.begin() + 144, lengths.begin() + 256, 9);
            std::fill(lengths.begin() + 256, lengths.begin() + 280, 7);
            std::fill(lengths.begin() + 280, lengths.begin() + 288, 8);
            std::fill(lengths.begin() + 288, lengths.begin() + 318, 5);
            literals.Build(lengths.data(), 288);
            distances.Build(lengths.data() + 288, 30);
            SkipCodes(in, literals, distances);
        } else if (type == 2) {
            ReadDynamicCodes(in, literals, distances);
            SkipCodes(in, literals, distances);
        } else {
            throw std::runtime_error("Invalid block type");
        }
        if (final) {
            block.endBit = in.Bit();
            return block;
        }
    }
}

void MakeNotFinal(std::vector<std::uint8_t>& stream) {
    const TFinalBlock block = FindFinalBlock(stream.data(), stream.size());
    stream[block.headerBit >> 3] &= static_cast<std::uint8_t>(~(1u << (block.headerBit & 7)));
    // The empty stored block: three zero header bits (not final, stored) right after the
    // last block, zero bits to the byte boundary, then LEN 0 and NLEN 0xFFFF.
    stream.resize((block.endBit + 3 + 7) / 8, 0);
    const std::size_t byte = block.endBit >> 3;
    stream[byte] &= static_cast<std::uint8_t>((1u << (block.endBit & 7)) - 1);
    std::fill(stream.begin() + static_cast<std::ptrdiff_t>(byte) + 1, stream.end(), 0);
    for (const std::uint8_t b : {0x00, 0x00, 0xFF, 0xFF})
        stream.push_back(b);
}

unsigned DeflateWorkers() {
    const unsigned cores = std::thread::hardware_concurrency();
    return std::clamp(cores, 1u, 8u);
}

std::vector<std::uint8_t> ZlibCompress(const std::uint8_t* data, std::size_t size, int level) {
    const unsigned workers = DeflateWorkers();
    const std::size_t count = std::clamp<std::size_t>(size / kMinBand, 1, workers);
    std::vector<TBand> bands(count);
    for (std::size_t i = 0; i < count; ++i) {
        bands[i].begin = size * i / count;
        bands[i].end = size * (i + 1) / count;
    }

    const std::vector<TCompressor> compressors = PrepareBands(bands, level);
    std::atomic<std::size_t> next{0};
    RunJobs(static_cast<unsigned>(count), [&](unsigned job) {
        for (std::size_t i = next++; i < count; i = next++)
            CompressBand(compressors[job].get(), data + bands[i].begin, bands[i], i + 1 == count);
    });
    return JoinBands(bands, level);
}

std::vector<std::uint8_t>
ZlibCompressRows(std::size_t rowBytes, int rows,
                 const std::function<void(int first, int last, std::uint8_t* out)>& fill, int level,
                 double* fillMs) {
    const std::size_t size = rowBytes * static_cast<std::size_t>(std::max(rows, 0));
    const std::size_t count = std::clamp<std::size_t>(size / kMinBand, 1, DeflateWorkers());
    std::vector<TBand> bands(count);
    std::vector<int> firstRows(count + 1);
    for (std::size_t i = 0; i <= count; ++i)
        firstRows[i] = static_cast<int>(static_cast<std::size_t>(rows) * i / count);
    for (std::size_t i = 0; i < count; ++i) {
        bands[i].begin = rowBytes * static_cast<std::size_t>(firstRows[i]);
        bands[i].end = rowBytes * static_cast<std::size_t>(firstRows[i + 1]);
    }

    std::vector<double> fillTimes(count, 0.0);
    const std::vector<TCompressor> compressors = PrepareBands(bands, level);
    std::vector<std::unique_ptr<std::uint8_t[]>> rowBuffers;
    for (const TBand& band : bands) // no zeroing: every byte is written
        rowBuffers.emplace_back(new std::uint8_t[std::max<std::size_t>(1, band.end - band.begin)]);
    std::atomic<std::size_t> next{0};
    RunJobs(static_cast<unsigned>(count), [&](unsigned job) {
        for (std::size_t i = next++; i < count; i = next++) {
            const auto start = std::chrono::steady_clock::now();
            fill(firstRows[i], firstRows[i + 1], rowBuffers[i].get());
            fillTimes[i] =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count();
            CompressBand(compressors[job].get(), rowBuffers[i].get(), bands[i], i + 1 == count);
        }
    });
    if (fillMs != nullptr)
        *fillMs = *std::max_element(fillTimes.begin(), fillTimes.end());
    return JoinBands(bands, level);
}

namespace {

std::vector<std::uint8_t> JoinBands(const std::vector<TBand>& bands, int level) {
    std::size_t total = 6;
    for (const TBand& b : bands)
        total += b.out.size();
    std::vector<std::uint8_t> stream;
    stream.reserve(total);
    // zlib header: deflate with a 32 KiB window, the level class, and the check bits.
    const unsigned cmf = 0x78;
    unsigned flg = static_cast<unsigned>(HeaderLevelFlags(level)) << 6;
    flg += 31 - ((cmf << 8) + flg) % 31;
    stream.push_back(static_cast<std::uint8_t>(cmf));
    stream.push_back(static_cast<std::uint8_t>(flg));
    uLong adler = 1;
    for (const TBand& b : bands) {
        stream.insert(stream.end(), b.out.begin(), b.out.end());
        adler = adler32_combine(adler, b.adler, static_cast<z_off_t>(b.end - b.begin));
    }
    for (int shift = 24; shift >= 0; shift -= 8)
        stream.push_back(static_cast<std::uint8_t>((adler >> shift) & 0xFF));
    return stream;
}

} // namespace

} // namespace quorvel
