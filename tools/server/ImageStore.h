#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace quorvel::server {

// The largest picture the server takes.
inline constexpr std::size_t kMaxImageBytes = 50u * 1024u * 1024u;

// True for a PNG file whose signature and IHDR chunk (length, type, size, bit depth and
// colour type, CRC) are sound.
bool IsRealPng(const std::string& data);

// A fresh, unguessable file name stem: 128 random bits as 32 lower-case hex digits.
std::string NewImageName();

// True for exactly such a stem (so that no request can name a path of its own).
bool IsImageName(const std::string& name);

// Escapes a text as the body of a JSON string, slashes included ("\/"), and braces as
// \u escapes, so that a reader that cuts fields out of the text finds them whole.
std::string JsonString(const std::string& text);

// An upload being written: DIR/.NAME.part, renamed to DIR/NAME.png once it is whole.
struct TPartFile {
    int Fd = -1;
    std::string Name;
    std::string Path;
    std::uint64_t Size = 0;
};

// Pictures kept as DIR/NAME.png, each written beside its name and renamed into place. The
// store keeps the total size of its pictures, for a limit on it.
class TImageStore {
public:
    // Makes the folder, removes the part files an earlier run left and counts what is kept.
    explicit TImageStore(std::string folder);
    // A fresh part file; nothing when it cannot be made (the reason in `why`).
    std::optional<TPartFile> Begin(std::string& why) const;
    // Appends to the part file; false on a failed write (a full disk).
    bool Write(TPartFile& part, const char* data, std::size_t size) const;
    // Flushes, closes and renames the part into place; the picture's name, or nothing (the
    // part is gone either way).
    std::optional<std::string> Commit(TPartFile& part, std::string& why);
    // Closes and removes the part file.
    void Discard(TPartFile& part) const;
    // Stores the picture under a fresh name and returns the name; nothing on failure.
    std::optional<std::string> Store(const std::string& png);
    // The file of a stored picture; nothing for a name that is not one of ours.
    std::optional<std::string> PathOf(const std::string& name) const;
    // The bytes of the stored pictures.
    std::uint64_t StoredBytes() const { return FStoredBytes.load(); }
    // Deletes the pictures last written before the time; how many went.
    int DeleteOlderThan(std::int64_t unixSeconds);

private:
    std::string FFolder;
    std::atomic<std::uint64_t> FStoredBytes{0};
};

} // namespace quorvel::server
