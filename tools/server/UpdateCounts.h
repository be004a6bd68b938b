#pragma once

#include <cstdint>
#include <mutex>
#include <set>
#include <string>

namespace quorvel::server {

// The hold requests and the installations seen by the update check. The installations are
// kept as 64-bit digests, at most kMaxInstallations of them: made-up identifiers cannot
// grow the server without bound, and past the cap the count says "at least".
class TUpdateCounts {
public:
    static constexpr std::size_t kMaxInstallations = 100000;

    // One update check: a hold request, and the identifier it carries (empty for none).
    void Count(bool hold, const std::string& installation);
    // {"hold":N,"installations":M}, with "installations_capped":true once the cap is reached.
    std::string Json() const;

private:
    mutable std::mutex FLock;
    long long FHolds = 0;
    std::set<std::uint64_t> FInstallations;
    bool FCapped = false;
};

} // namespace quorvel::server
