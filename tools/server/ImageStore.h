#pragma once

#include <cstddef>
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

// Pictures kept as DIR/NAME.png, each written beside its name and renamed into place.
class TImageStore {
public:
    explicit TImageStore(std::string folder);
    // Stores the picture under a fresh name and returns the name; nothing on failure.
    std::optional<std::string> Store(const std::string& png) const;
    // The file of a stored picture; nothing for a name that is not one of ours.
    std::optional<std::string> PathOf(const std::string& name) const;

private:
    std::string FFolder;
};

} // namespace quorvel::server
