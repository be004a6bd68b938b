#include "record/FfmpegPath.h"

#include "support/ProgramFolder.h"

#include <cstdlib>
#include <unistd.h>

namespace quorvel {

std::string FindFfmpeg() {
    const std::string folder = ProgramFolder();
    if (!folder.empty() && ::access((folder + FfmpegName).c_str(), X_OK) == 0)
        return folder + FfmpegName;
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const std::size_t end = std::min(dirs.find(':', start), dirs.size());
        const std::string dir = dirs.substr(start, end - start);
        if (!dir.empty()) {
            const std::string candidate = dir + "/" + FfmpegName;
            if (::access(candidate.c_str(), X_OK) == 0)
                return candidate;
        }
        start = end + 1;
    }
    return {};
}

} // namespace quorvel
