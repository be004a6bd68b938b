#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace quorvel {

// The upload server of the setting "upload_host": a host name (or an IPv6 address in
// brackets), the port (80, or 443 over TLS, when none is given) and whether it is reached
// over TLS.
struct TUploadServer {
    std::string Host;
    int Port = 80;
    bool Secure = false;
};

// Reads "host", "host:port" or "[v6]:port", each optionally after "http://" or "https://"
// and before one "/". Nothing for an empty or malformed text (a port outside 1..65535, a
// path, another scheme, blanks).
std::optional<TUploadServer> ParseUploadHost(const std::string& text);

// A fresh boundary: 22 fixed characters starting with seven hyphens, then two random
// numbers from 0 to 0x7FFFFFFE as eight upper-case hexadecimal digits each.
std::string MakeBoundary(std::mt19937& random);

// The headers the program sets on the upload request, each ended by CR LF; with a key, its
// "Authorization: Bearer KEY".
std::string UploadHeaderText(const TUploadServer& server, const std::string& boundary,
                             const std::string& key = {});

// True for a key the header can carry: 1 to 256 printable ASCII characters, no blank.
bool IsUploadKey(const std::string& key);

// The address of the server's upload form: http(s)://HOST:PORT/image.
std::string UploadUrl(const TUploadServer& server);

// The multipart form body that carries the PNG file as the field "file".
std::vector<std::uint8_t> MultipartBody(const std::vector<std::uint8_t>& png,
                                        const std::string& boundary);

// The picture's address from the server's answer: only a 200 whose text holds the exact
// success marker and an http or https url member counts; anything else gives the empty
// text. Raises
// EConvertError for a malformed escape in the url.
std::string UrlFromUploadReply(long status, const std::string& body);

} // namespace quorvel
