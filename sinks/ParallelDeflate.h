#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorvel {

// Compresses a buffer into one zlib stream (header, deflate data, Adler-32) at the given
// level. Large buffers are cut into segments that the machine's cores compress at once;
// each segment is primed with the 32 KiB before it, so matches reach across segment
// boundaries and the stream stays one ordinary zlib stream.
std::vector<std::uint8_t> ZlibCompress(const std::uint8_t* data, std::size_t size, int level);

// The number of worker threads ZlibCompress may use (the calling thread included).
unsigned DeflateWorkers();

} // namespace quorvel
