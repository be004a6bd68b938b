#include "tools/server/UpdateCounts.h"

#include <functional>

namespace quorvel::server {

void TUpdateCounts::Count(bool hold, const std::string& installation) {
    std::lock_guard<std::mutex> lock(FLock);
    if (hold)
        ++FHolds;
    if (installation.empty() || installation.size() > 64)
        return;
    for (char c : installation)
        if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7F)
            return;
    const std::uint64_t digest = std::hash<std::string>{}(installation);
    if (FInstallations.size() >= kMaxInstallations) {
        FCapped = FCapped || FInstallations.count(digest) == 0;
        return;
    }
    FInstallations.insert(digest);
}

std::string TUpdateCounts::Json() const {
    std::lock_guard<std::mutex> lock(FLock);
    return "{\"hold\":" + std::to_string(FHolds) +
           ",\"installations\":" + std::to_string(FInstallations.size()) +
           (FCapped ? ",\"installations_capped\":true}" : "}");
}

} // namespace quorvel::server
