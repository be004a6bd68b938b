#include "support/ProgramFolder.h"

#include <climits>
#include <unistd.h>

namespace quorvel {

std::string ProgramFolder() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    const std::string path(buffer, static_cast<std::size_t>(n));
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

} // namespace quorvel
