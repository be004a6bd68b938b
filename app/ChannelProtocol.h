#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel {

// The requests another process sends to the running instance over its local socket:
//   'U' (a user message) with a parameter: 1 shows the window, 2 asks it to exit;
//   'C' (copy data) with a data tag (1 for a command) and a UTF-8 JSON command text.
// Wire form: "QRV1", the type byte, the parameter (32-bit little-endian), the payload
// length (32-bit little-endian), the payload. The instance answers one byte, '1' or '0'.
enum class TRequestType : char { User = 'U', CopyData = 'C' };

struct TRequest {
    TRequestType Type = TRequestType::User;
    std::uint32_t Param = 0;
    std::string Payload;
};

inline constexpr std::size_t kRequestHeaderSize = 13;
inline constexpr std::size_t kMaxRequestPayload = 64 * 1024;

inline constexpr std::uint32_t kUserShow = 1;
inline constexpr std::uint32_t kUserExit = 2;
inline constexpr std::uint32_t kCopyDataCommand = 1;

std::string EncodeRequest(const TRequest& request);

enum class TParseResult { NeedMore, Complete, Invalid };

// Reads a request from the bytes received so far. Invalid: a wrong magic or type, a payload
// that is too long (or any payload on a user message), or bytes after the request's end.
TParseResult ParseRequest(std::string_view bytes, TRequest& request);

} // namespace quorvel
