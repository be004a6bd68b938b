#include "tools/server/UploadKeys.h"

#include "tools/server/AccessLog.h"

#include <fstream>
#include <openssl/crypto.h>
#include <openssl/sha.h>
#include <sstream>
#include <sys/stat.h>

namespace quorvel::server {

namespace {

constexpr std::size_t kMinKeyLength = 16;

// A name for a key given without one: the start of its SHA-256, which tells keys apart in
// the log without revealing them.
std::string Fingerprint(const std::string& key) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(key.data()), key.size(), digest);
    static const char* hex = "0123456789abcdef";
    std::string out = "sha256:";
    for (int i = 0; i < 4; ++i) {
        out += hex[digest[i] >> 4];
        out += hex[digest[i] & 15];
    }
    return out;
}

bool ReadWhole(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream out;
    out << in.rdbuf();
    text = out.str();
    return !in.bad();
}

} // namespace

std::vector<TUploadKey> ParseKeys(const std::string& text, std::vector<std::string>& problems) {
    std::vector<TUploadKey> keys;
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#')
            continue;
        const std::size_t end = line.find_first_of(" \t", start);
        TUploadKey key;
        key.Key = line.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (end != std::string::npos) {
            const std::size_t nameStart = line.find_first_not_of(" \t", end);
            if (nameStart != std::string::npos)
                key.Name = line.substr(nameStart, line.find_last_not_of(" \t") + 1 - nameStart);
        }
        bool printable = true;
        for (char c : key.Key + key.Name)
            printable = printable && static_cast<unsigned char>(c) >= 0x20 && c != 0x7F;
        if (!printable || key.Key.size() < kMinKeyLength) {
            problems.push_back("line " + std::to_string(number) +
                               ": a key needs at least 16 printable characters; left out");
            continue;
        }
        if (key.Name.empty())
            key.Name = Fingerprint(key.Key);
        keys.push_back(std::move(key));
    }
    return keys;
}

std::string BearerToken(const std::string& authorization) {
    static const std::string scheme = "bearer ";
    if (authorization.size() <= scheme.size())
        return {};
    for (std::size_t i = 0; i < scheme.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(authorization[i])) != scheme[i])
            return {};
    const std::size_t start = authorization.find_first_not_of(' ', scheme.size());
    if (start == std::string::npos)
        return {};
    const std::size_t end = authorization.find_last_not_of(' ');
    return authorization.substr(start, end + 1 - start);
}

bool TUploadKeys::Load(const std::string& path, std::string& error) {
    std::lock_guard<std::mutex> lock(FLock);
    FPath = path;
    struct stat info {};
    std::string text;
    if (::stat(path.c_str(), &info) != 0 || !ReadWhole(path, text)) {
        error = "cannot read the keys file " + path;
        return false;
    }
    Adopt(text, info);
    return true;
}

void TUploadKeys::Adopt(const std::string& text, const struct stat& info) {
    std::vector<std::string> problems;
    FKeys = ParseKeys(text, problems);
    for (const std::string& problem : problems)
        LogError("keys file " + FPath + " " + problem);
    FModified = info.st_mtim;
    FSize = info.st_size;
    FInode = info.st_ino;
}

void TUploadKeys::ReloadIfChanged() {
    struct stat info {};
    if (::stat(FPath.c_str(), &info) != 0) {
        if (FSize != -2)
            LogError("cannot read the keys file " + FPath + "; the keys read before stay");
        FSize = -2;
        return;
    }
    if (info.st_mtim.tv_sec == FModified.tv_sec && info.st_mtim.tv_nsec == FModified.tv_nsec &&
        info.st_size == FSize && info.st_ino == FInode)
        return;
    std::string text;
    if (!ReadWhole(FPath, text)) {
        LogError("cannot read the keys file " + FPath + "; the keys read before stay");
        return;
    }
    Adopt(text, info);
    LogNote("keys file " + FPath + " read again: " + std::to_string(FKeys.size()) + " keys");
}

std::optional<std::string> TUploadKeys::Match(const std::string& token) {
    std::lock_guard<std::mutex> lock(FLock);
    ReloadIfChanged();
    std::optional<std::string> found;
    if (token.empty())
        return found;
    for (const TUploadKey& key : FKeys) {
        // Every key is compared whole, so the time tells nothing of which one nearly matched.
        const bool same = key.Key.size() == token.size() &&
                          CRYPTO_memcmp(key.Key.data(), token.data(), token.size()) == 0;
        if (same && !found)
            found = key.Name;
    }
    return found;
}

} // namespace quorvel::server
