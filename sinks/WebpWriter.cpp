#include "sinks/WebpWriter.h"

#include "sinks/FileError.h"
#include "sinks/SafeFile.h"
#include "support/ProgramFolder.h"

#include <cstdint>
#include <dlfcn.h>
#include <filesystem>

namespace quorvel {

namespace {

using TEncodeBGRA = std::size_t (*)(const std::uint8_t* bgra, int width, int height, int stride,
                                    float quality, std::uint8_t** output);
using TFree = void (*)(void* ptr);

// Opens the library for the life of the object.
class TLibrary {
public:
    explicit TLibrary(const std::string& path)
        : FHandle(::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {}
    ~TLibrary() {
        if (FHandle != nullptr)
            ::dlclose(FHandle);
    }
    TLibrary(const TLibrary&) = delete;
    TLibrary& operator=(const TLibrary&) = delete;

    bool Loaded() const { return FHandle != nullptr; }
    void* Symbol(const char* name) const { return ::dlsym(FHandle, name); }

private:
    void* FHandle;
};

bool LooksLikePath(const std::string& s) {
    return s.find('/') != std::string::npos;
}

} // namespace

std::string WebPLibraryPath() {
    const std::string beside = ProgramFolder() + WebPLibraryName;
    std::error_code ec;
    if (!ProgramFolder().empty() && std::filesystem::exists(beside, ec))
        return beside;
    return WebPLibraryName;
}

bool WebPAvailable(const std::string& libraryPath) {
    std::error_code ec;
    if (LooksLikePath(libraryPath) && !std::filesystem::exists(libraryPath, ec))
        return false;
    return TLibrary(libraryPath).Loaded();
}

bool WriteWebP(const TPixelView& Pixels, const std::string& Path, int Quality,
               const std::string& libraryPath) {
    std::error_code ec;
    if (LooksLikePath(libraryPath) && !std::filesystem::exists(libraryPath, ec))
        return false;
    TLibrary library(libraryPath);
    if (!library.Loaded())
        return false;

    auto* encode = reinterpret_cast<TEncodeBGRA>(library.Symbol("WebPEncodeBGRA"));
    auto* release = reinterpret_cast<TFree>(library.Symbol("WebPFree"));
    if (encode == nullptr || release == nullptr)
        throw EWebPError(std::string("The WebP library has no entry point ") +
                         (encode == nullptr ? "WebPEncodeBGRA" : "WebPFree") + ".");
    if (Pixels.Empty())
        throw EFileError("Cannot write file \"" + Path + "\". The picture is empty.");

    std::uint8_t* output = nullptr;
    const std::size_t size =
        encode(Pixels.bits, Pixels.width, Pixels.height, static_cast<int>(Pixels.stride),
               static_cast<float>(Quality), &output);
    struct TRelease {
        TFree release;
        std::uint8_t* p;
        ~TRelease() {
            if (p != nullptr)
                release(p);
        }
    } guard{release, output};
    if (size == 0 || output == nullptr)
        throw EWebPError("WebP encoding failed.");
    WriteWholeFile(Path, output, size);
    return true;
}

} // namespace quorvel
