#include "tools/server/ImageStore.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel::server {

namespace {

std::uint32_t BigEndian(const unsigned char* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) |
           std::uint32_t(p[3]);
}

std::uint32_t Crc32(const unsigned char* data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc ^ 0xFFFFFFFFu;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

bool IsRealPng(const std::string& data) {
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (data.size() < 8 + 8 + 13 + 4)
        return false;
    const auto* p = reinterpret_cast<const unsigned char*>(data.data());
    for (int i = 0; i < 8; ++i)
        if (p[i] != signature[i])
            return false;
    const unsigned char* chunk = p + 8;
    if (BigEndian(chunk) != 13 ||
        std::string(reinterpret_cast<const char*>(chunk + 4), 4) != "IHDR")
        return false;
    const unsigned char* ihdr = chunk + 8;
    const std::uint32_t width = BigEndian(ihdr), height = BigEndian(ihdr + 4);
    if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF)
        return false;
    const int depth = ihdr[8], colour = ihdr[9];
    bool depthOk = false;
    switch (colour) {
    case 0:
        depthOk = depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
        break;
    case 3:
        depthOk = depth == 1 || depth == 2 || depth == 4 || depth == 8;
        break;
    case 2:
    case 4:
    case 6:
        depthOk = depth == 8 || depth == 16;
        break;
    default:
        return false;
    }
    if (!depthOk || ihdr[10] != 0 || ihdr[11] != 0 || ihdr[12] > 1)
        return false;
    return Crc32(chunk + 4, 4 + 13) == BigEndian(ihdr + 13);
}

std::string NewImageName() {
    std::random_device device; // the kernel's random source
    std::string name;
    char digits[9];
    for (int i = 0; i < 4; ++i) {
        std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(device()));
        name += digits;
    }
    return name;
}

bool IsImageName(const std::string& name) {
    if (name.size() != 32)
        return false;
    for (char c : name)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

std::string JsonString(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '/':
            out += "\\/";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '{':
            out += "\\u007b";
            break;
        case '}':
            out += "\\u007d";
            break;
        default:
            if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out;
}

TImageStore::TImageStore(std::string folder) : FFolder(std::move(folder)) {
    ::mkdir(FFolder.c_str(), 0755);
    DIR* dir = ::opendir(FFolder.c_str());
    if (dir == nullptr)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        const std::string path = FFolder + "/" + name;
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        const bool part = name.size() == 1 + 32 + 5 && name[0] == '.' &&
                          name.compare(33, 5, ".part") == 0 && IsImageName(name.substr(1, 32));
        const bool picture = name.size() == 32 + 4 && name.compare(32, 4, ".png") == 0 &&
                             IsImageName(name.substr(0, 32));
        if (part)
            ::unlink(path.c_str()); // an upload cut short by an earlier end
        else if (picture)
            FStoredBytes += static_cast<std::uint64_t>(info.st_size);
    }
    ::closedir(dir);
}

std::optional<TPartFile> TImageStore::Begin(std::string& why) const {
    TPartFile part;
    part.Name = NewImageName();
    part.Path = FFolder + "/." + part.Name + ".part";
    part.Fd = ::open(part.Path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (part.Fd < 0) {
        why = "cannot make " + part.Path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    return part;
}

bool TImageStore::Write(TPartFile& part, const char* data, std::size_t size) const {
    if (!WriteAll(part.Fd, data, size))
        return false;
    part.Size += size;
    return true;
}

std::optional<std::string> TImageStore::Commit(TPartFile& part, std::string& why) {
    const std::string final = FFolder + "/" + part.Name + ".png";
    const bool synced = ::fsync(part.Fd) == 0;
    const int syncError = errno;
    const bool closed = ::close(part.Fd) == 0;
    part.Fd = -1;
    if (!synced || !closed || ::rename(part.Path.c_str(), final.c_str()) != 0) {
        why = "cannot store " + final + ": " + std::strerror(synced ? errno : syncError);
        ::unlink(part.Path.c_str());
        return std::nullopt;
    }
    FStoredBytes += part.Size;
    return part.Name;
}

void TImageStore::Discard(TPartFile& part) const {
    if (part.Fd >= 0)
        ::close(part.Fd);
    part.Fd = -1;
    ::unlink(part.Path.c_str());
}

std::optional<std::string> TImageStore::Store(const std::string& png) {
    std::string why;
    auto part = Begin(why);
    if (!part)
        return std::nullopt;
    if (!Write(*part, png.data(), png.size())) {
        Discard(*part);
        return std::nullopt;
    }
    return Commit(*part, why);
}

int TImageStore::DeleteOlderThan(std::int64_t unixSeconds) {
    DIR* dir = ::opendir(FFolder.c_str());
    if (dir == nullptr)
        return 0;
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() != 36 || name.compare(32, 4, ".png") != 0 ||
            !IsImageName(name.substr(0, 32)))
            continue;
        const std::string path = FFolder + "/" + name;
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
            info.st_mtime >= unixSeconds)
            continue;
        if (::unlink(path.c_str()) == 0) {
            FStoredBytes -= std::min<std::uint64_t>(FStoredBytes.load(),
                                                    static_cast<std::uint64_t>(info.st_size));
            ++removed;
        }
    }
    ::closedir(dir);
    return removed;
}

std::optional<std::string> TImageStore::PathOf(const std::string& name) const {
    if (!IsImageName(name))
        return std::nullopt;
    const std::string path = FFolder + "/" + name + ".png";
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return path;
}

} // namespace quorvel::server
