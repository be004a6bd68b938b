#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace quorvel {

// Compresses a buffer into one zlib stream (header, deflate data, Adler-32) at the given
// level (1 to 12). Large buffers are cut into bands that the machine's cores compress at
// once; every band but the last is turned into a non-final run of blocks ending in an
// empty stored block, as a sync flush leaves it, so the pieces join into one ordinary zlib
// stream that any inflater reads.
std::vector<std::uint8_t> ZlibCompress(const std::uint8_t* data, std::size_t size, int level);

// The same for data made row by row as it is compressed: `fill(first, last, out)` writes
// rows first to last (exclusive), `rowBytes` each, to `out`. Bands hold whole rows, and
// each worker makes its band's rows just before compressing them, while they are in its
// cache. `fillMs`, when given, receives the longest time a band spent making its rows.
std::vector<std::uint8_t>
ZlibCompressRows(std::size_t rowBytes, int rows,
                 const std::function<void(int first, int last, std::uint8_t* out)>& fill, int level,
                 double* fillMs = nullptr);

// The number of worker threads ZlibCompress may use (the calling thread included).
unsigned DeflateWorkers();

// Where the last block of a raw deflate stream begins and ends, in bits from the start.
struct TFinalBlock {
    std::size_t headerBit = 0; // the block's BFINAL bit
    std::size_t endBit = 0;    // the first bit after its end-of-block code (or stored data)
};

// Walks the blocks of a complete raw deflate stream without producing its output. Raises
// std::runtime_error when the data is not a well-formed stream ending in a final block.
TFinalBlock FindFinalBlock(const std::uint8_t* data, std::size_t size);

// Turns a complete raw deflate stream into one that does not end the data: clears the
// final block's BFINAL bit and appends an empty stored block on a byte boundary, so that
// another raw deflate stream may follow it directly.
void MakeNotFinal(std::vector<std::uint8_t>& stream);

} // namespace quorvel
