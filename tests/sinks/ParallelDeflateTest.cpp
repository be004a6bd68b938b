#include "sinks/ParallelDeflate.h"

#include "TestImages.h"

#include <gtest/gtest.h>
#include <libdeflate.h>
#include <random>
#include <stdexcept>
#include <zlib.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes RawDeflate(const Bytes& data, int level) {
    libdeflate_compressor* c = libdeflate_alloc_compressor(level);
    Bytes out(libdeflate_deflate_compress_bound(c, data.size()));
    out.resize(libdeflate_deflate_compress(c, data.data(), data.size(), out.data(), out.size()));
    libdeflate_free_compressor(c);
    return out;
}

// Inflates a raw deflate stream with zlib; fails the test unless it ends exactly at the end.
Bytes RawInflate(const Bytes& stream, std::size_t expected) {
    z_stream zs{};
    EXPECT_EQ(inflateInit2(&zs, -15), Z_OK);
    Bytes out(expected + 16);
    zs.next_in = const_cast<Bytef*>(stream.data());
    zs.avail_in = static_cast<uInt>(stream.size());
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(inflate(&zs, Z_FINISH), Z_STREAM_END);
    EXPECT_EQ(zs.avail_in, 0u) << "bytes after the final block";
    out.resize(out.size() - zs.avail_out);
    inflateEnd(&zs);
    return out;
}

// Pieces that make the compressor choose every block kind: stored blocks for noise, fixed
// codes for a few bytes, dynamic codes for the rest, and blocks that end on any bit.
std::vector<Bytes> Pieces() {
    std::mt19937 random(5);
    std::vector<Bytes> pieces;
    pieces.push_back({});
    pieces.push_back({'a'});
    pieces.push_back(Bytes(20, 'z'));
    Bytes noise(200000);
    for (auto& b : noise)
        b = static_cast<std::uint8_t>(random());
    pieces.push_back(noise);
    const quorvel::test::TTestImage desktop = quorvel::test::MakeDesktopImage(640, 400);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(desktop.pixels.data());
    pieces.emplace_back(bytes, bytes + desktop.pixels.size() * 4);
    Bytes text;
    for (int i = 0; i < 3000; ++i)
        text.push_back(static_cast<std::uint8_t>("the quick brown fox "[i % 20] + (i % 97 == 0)));
    pieces.push_back(text);
    return pieces;
}

} // namespace

// Streams made not final and joined inflate to the joined data, whatever the block kinds
// and wherever the last block ends within its byte.
TEST(ParallelDeflate, StreamsMadeNotFinalJoinIntoOne) {
    const std::vector<Bytes> pieces = Pieces();
    for (const int level : {0, 1, 7, 12}) {
        for (std::size_t a = 0; a < pieces.size(); ++a) {
            for (std::size_t b = 0; b < pieces.size(); ++b) {
                Bytes joined = RawDeflate(pieces[a], level);
                quorvel::MakeNotFinal(joined);
                const Bytes second = RawDeflate(pieces[b], level);
                joined.insert(joined.end(), second.begin(), second.end());
                Bytes want = pieces[a];
                want.insert(want.end(), pieces[b].begin(), pieces[b].end());
                ASSERT_EQ(RawInflate(joined, want.size()), want)
                    << "level " << level << ", pieces " << a << " and " << b;
            }
        }
    }
}

TEST(ParallelDeflate, DamagedStreamsAreRefused) {
    const Bytes stream = RawDeflate(Pieces()[4], 7);
    EXPECT_THROW(quorvel::FindFinalBlock(stream.data(), stream.size() / 2), std::runtime_error);
    Bytes badType = stream;
    badType[0] |= 0x06; // block type 3 does not exist
    EXPECT_THROW(quorvel::FindFinalBlock(badType.data(), badType.size()), std::runtime_error);
}

// The whole stream: zlib header and Adler-32 around bands compressed at once.
TEST(ParallelDeflate, BandsFormOneZlibStream) {
    const quorvel::test::TTestImage photo = quorvel::test::MakePhotoImage(1200, 900);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(photo.pixels.data());
    for (const std::size_t size : {std::size_t{0}, std::size_t{5}, photo.pixels.size() * 4}) {
        const Bytes stream = quorvel::ZlibCompress(bytes, size, 7);
        Bytes out(size + 1);
        uLongf outSize = static_cast<uLongf>(out.size());
        ASSERT_EQ(
            uncompress(out.data(), &outSize, stream.data(), static_cast<uLong>(stream.size())),
            Z_OK);
        ASSERT_EQ(outSize, size);
        EXPECT_TRUE(std::equal(bytes, bytes + size, out.begin()));
    }
}
