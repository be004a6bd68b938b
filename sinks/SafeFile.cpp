#include "sinks/SafeFile.h"

#include "sinks/FileError.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel {

namespace {

constexpr std::size_t kBufferSize = 1 << 18;

std::string TempNameBeside(const std::string& path, unsigned attempt) {
    const auto slash = path.find_last_of('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    static thread_local std::mt19937 random{std::random_device{}()};
    char tag[32];
    std::snprintf(tag, sizeof tag, ".%08x%u.part", static_cast<unsigned>(random()), attempt);
    // A leading dot keeps the unfinished file out of folder views and file-number scans.
    return folder + "." + name + tag;
}

} // namespace

void RaiseCreateError(const std::string& path, int err) {
    throw EFileError("Cannot create file \"" + path + "\". " + std::strerror(err));
}

void RaiseWriteError(const std::string& path, int err) {
    throw EFileError("Cannot write file \"" + path + "\". " + std::strerror(err));
}

TSafeFile::TSafeFile(std::string path) : FPath(std::move(path)) {
    if (FPath.empty() || FPath.find('\0') != std::string::npos)
        RaiseCreateError(FPath, EINVAL);
    for (unsigned attempt = 0; attempt < 16; ++attempt) {
        FTempPath = TempNameBeside(FPath, attempt);
        FFd = ::open(FTempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (FFd >= 0)
            break;
        if (errno != EEXIST)
            RaiseCreateError(FPath, errno);
    }
    if (FFd < 0)
        RaiseCreateError(FPath, EEXIST);
    FBuffer.reserve(kBufferSize);
}

TSafeFile::~TSafeFile() {
    if (!FCommitted)
        Discard();
}

void TSafeFile::Discard() noexcept {
    if (FFd >= 0) {
        ::close(FFd);
        FFd = -1;
    }
    if (!FTempPath.empty())
        ::unlink(FTempPath.c_str());
}

void TSafeFile::Write(const void* data, std::size_t size) {
    if (FBuffer.size() + size > kBufferSize) {
        Flush();
        if (size >= kBufferSize) {
            const char* p = static_cast<const char*>(data);
            while (size > 0) {
                const ssize_t n = ::write(FFd, p, size);
                if (n < 0) {
                    if (errno == EINTR)
                        continue;
                    RaiseWriteError(FPath, errno);
                }
                p += n;
                size -= static_cast<std::size_t>(n);
            }
            return;
        }
    }
    FBuffer.append(static_cast<const char*>(data), size);
}

void TSafeFile::Flush() {
    const char* p = FBuffer.data();
    std::size_t left = FBuffer.size();
    while (left > 0) {
        const ssize_t n = ::write(FFd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            RaiseWriteError(FPath, errno);
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    FBuffer.clear();
}

void TSafeFile::Commit() {
    Flush();
    if (::close(FFd) != 0) {
        FFd = -1;
        RaiseWriteError(FPath, errno);
    }
    FFd = -1;
    if (::rename(FTempPath.c_str(), FPath.c_str()) != 0)
        RaiseCreateError(FPath, errno);
    FCommitted = true;
}

void WriteWholeFile(const std::string& path, const void* data, std::size_t size) {
    TSafeFile file(path);
    file.Write(data, size);
    file.Commit();
}

} // namespace quorvel
