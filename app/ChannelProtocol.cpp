#include "app/ChannelProtocol.h"

namespace quorvel {

namespace {

constexpr std::string_view kMagic = "QRV1";

void PutU32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

std::uint32_t GetU32(std::string_view bytes, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return v;
}

} // namespace

std::string EncodeRequest(const TRequest& request) {
    std::string out(kMagic);
    out.push_back(static_cast<char>(request.Type));
    PutU32(out, request.Param);
    PutU32(out, static_cast<std::uint32_t>(request.Payload.size()));
    out += request.Payload;
    return out;
}

TParseResult ParseRequest(std::string_view bytes, TRequest& request) {
    // Reject as early as the bytes allow, so that garbage is answered at once.
    const std::size_t magicSeen = bytes.size() < kMagic.size() ? bytes.size() : kMagic.size();
    if (bytes.substr(0, magicSeen) != kMagic.substr(0, magicSeen))
        return TParseResult::Invalid;
    if (bytes.size() > 4 && bytes[4] != static_cast<char>(TRequestType::User) &&
        bytes[4] != static_cast<char>(TRequestType::CopyData))
        return TParseResult::Invalid;
    if (bytes.size() < kRequestHeaderSize)
        return TParseResult::NeedMore;

    const auto type = static_cast<TRequestType>(bytes[4]);
    const std::uint32_t length = GetU32(bytes, 9);
    if (length > kMaxRequestPayload || (type == TRequestType::User && length != 0))
        return TParseResult::Invalid;
    const std::size_t total = kRequestHeaderSize + length;
    if (bytes.size() < total)
        return TParseResult::NeedMore;
    if (bytes.size() > total)
        return TParseResult::Invalid;
    request.Type = type;
    request.Param = GetU32(bytes, 5);
    request.Payload = std::string(bytes.substr(kRequestHeaderSize, length));
    return TParseResult::Complete;
}

} // namespace quorvel
