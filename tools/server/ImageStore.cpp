#include "tools/server/ImageStore.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
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
}

std::optional<std::string> TImageStore::Store(const std::string& png) const {
    const std::string name = NewImageName();
    const std::string final = FFolder + "/" + name + ".png";
    const std::string temporary = FFolder + "/." + name + ".part";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return std::nullopt;
    const bool written = WriteAll(fd, png.data(), png.size()) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temporary.c_str(), final.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return std::nullopt;
    }
    return name;
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
