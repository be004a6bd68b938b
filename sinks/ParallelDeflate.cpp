#include "sinks/ParallelDeflate.h"

#include "support/WorkerGroup.h"

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>
#include <zlib.h>

namespace quorvel {

namespace {

constexpr std::size_t kSegment = 512 * 1024;
constexpr std::size_t kWindow = 32 * 1024;

struct TSegment {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::vector<std::uint8_t> out;
    uLong adler = 1;
    bool failed = false;
};

// Raw deflate of one segment. Every segment but the last ends on a byte boundary with a
// sync flush, so the pieces can simply be joined.
void CompressSegment(const std::uint8_t* data, TSegment& segment, int level, bool last) {
    z_stream zs{};
    if (deflateInit2(&zs, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        segment.failed = true;
        return;
    }
    if (segment.begin > 0) {
        const std::size_t dictStart = segment.begin > kWindow ? segment.begin - kWindow : 0;
        deflateSetDictionary(&zs, data + dictStart, static_cast<uInt>(segment.begin - dictStart));
    }
    const std::size_t length = segment.end - segment.begin;
    segment.out.resize(deflateBound(&zs, static_cast<uLong>(length)) + 16);
    zs.next_in = const_cast<Bytef*>(data + segment.begin);
    zs.avail_in = static_cast<uInt>(length);
    zs.next_out = segment.out.data();
    zs.avail_out = static_cast<uInt>(segment.out.size());
    const int rc = deflate(&zs, last ? Z_FINISH : Z_SYNC_FLUSH);
    if ((last && rc != Z_STREAM_END) || (!last && rc != Z_OK) || zs.avail_in != 0)
        segment.failed = true;
    segment.out.resize(segment.out.size() - zs.avail_out);
    deflateEnd(&zs);
    segment.adler = adler32(1L, data + segment.begin, static_cast<uInt>(length));
}

std::uint8_t HeaderLevelFlags(int level) {
    if (level < 2)
        return 0;
    if (level < 6)
        return 1;
    if (level == 6)
        return 2;
    return 3;
}

} // namespace

unsigned DeflateWorkers() {
    const unsigned cores = std::thread::hardware_concurrency();
    return std::clamp(cores, 1u, 8u);
}

std::vector<std::uint8_t> ZlibCompress(const std::uint8_t* data, std::size_t size, int level) {
    const std::size_t count = std::max<std::size_t>(1, (size + kSegment - 1) / kSegment);
    std::vector<TSegment> segments(count);
    for (std::size_t i = 0; i < count; ++i) {
        segments[i].begin = i * kSegment;
        segments[i].end = std::min(size, (i + 1) * kSegment);
    }

    std::atomic<std::size_t> next{0};
    RunJobs(static_cast<unsigned>(std::min<std::size_t>(DeflateWorkers(), count)), [&](unsigned) {
        for (std::size_t i = next++; i < count; i = next++)
            CompressSegment(data, segments[i], level, i + 1 == count);
    });

    std::size_t total = 6;
    for (const TSegment& s : segments) {
        if (s.failed)
            throw std::runtime_error("Compression failed");
        total += s.out.size();
    }

    std::vector<std::uint8_t> stream;
    stream.reserve(total);
    // zlib header: deflate with a 32 KiB window, the level class, and the check bits.
    const unsigned cmf = 0x78;
    unsigned flg = static_cast<unsigned>(HeaderLevelFlags(level)) << 6;
    flg += 31 - ((cmf << 8) + flg) % 31;
    stream.push_back(static_cast<std::uint8_t>(cmf));
    stream.push_back(static_cast<std::uint8_t>(flg));
    uLong adler = 1;
    for (const TSegment& s : segments) {
        stream.insert(stream.end(), s.out.begin(), s.out.end());
        adler = adler32_combine(adler, s.adler, static_cast<z_off_t>(s.end - s.begin));
    }
    for (int shift = 24; shift >= 0; shift -= 8)
        stream.push_back(static_cast<std::uint8_t>((adler >> shift) & 0xFF));
    return stream;
}

} // namespace quorvel
