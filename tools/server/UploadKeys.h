#pragma once

#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace quorvel::server {

// One accepted key and the name the log shows for it (never the key itself).
struct TUploadKey {
    std::string Key;
    std::string Name;
};

// The keys of a keys file: one a line, optionally followed by blanks and a name for the
// log; blank lines and lines starting with '#' are skipped. A key shorter than 16
// characters or with a control character is left out and reported in `problems`.
std::vector<TUploadKey> ParseKeys(const std::string& text, std::vector<std::string>& problems);

// The key of an "Authorization: Bearer KEY" header value; empty for anything else.
std::string BearerToken(const std::string& authorization);

// The keys of a file, read again when the file changes. A file that cannot be read when it
// changed keeps the keys read before (and the failure is logged), so that a half-written
// file never opens or locks the server by accident.
class TUploadKeys {
public:
    // Reads the file; false with the reason when it cannot be read at start.
    bool Load(const std::string& path, std::string& error);
    // The name of the key matching the token, compared in constant time; nothing when
    // none matches.
    std::optional<std::string> Match(const std::string& token);

private:
    // Takes the keys of the file's text and remembers which version of the file it was.
    void Adopt(const std::string& text, const struct stat& info);
    void ReloadIfChanged();

    std::mutex FLock;
    std::string FPath;
    std::vector<TUploadKey> FKeys;
    std::timespec FModified{};
    long long FSize = -1;
    unsigned long long FInode = 0;
};

} // namespace quorvel::server
