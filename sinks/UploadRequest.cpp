#include "sinks/UploadRequest.h"

#include "support/Strings.h"
#include "support/Utf8.h"

#include <cctype>
#include <cstdio>

namespace quorvel {

namespace {

constexpr const char* kBoundaryPrefix = "-------QuorvelUploader"; // 22 characters

bool IsHostCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_';
}

} // namespace

std::optional<TUploadServer> ParseUploadHost(const std::string& setting) {
    TUploadServer server;
    std::string text = setting;
    const std::string scheme = AsciiLower(text.substr(0, 8));
    if (scheme.rfind("https://", 0) == 0) {
        server.Secure = true;
        server.Port = 443;
        text.erase(0, 8);
    } else if (scheme.rfind("http://", 0) == 0) {
        text.erase(0, 7);
    }
    if (text.size() > 1 && text.back() == '/' && scheme.rfind("http", 0) == 0)
        text.pop_back();
    std::string rest;
    if (!text.empty() && text[0] == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string::npos || close == 1)
            return std::nullopt;
        for (std::size_t i = 1; i < close; ++i) {
            const char c = text[i];
            if (!(std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.'))
                return std::nullopt;
        }
        server.Host = text.substr(0, close + 1);
        rest = text.substr(close + 1);
    } else {
        const std::size_t colon = text.find(':');
        server.Host = text.substr(0, colon);
        rest = colon == std::string::npos ? std::string() : text.substr(colon);
        if (server.Host.empty())
            return std::nullopt;
        for (char c : server.Host)
            if (!IsHostCharacter(c))
                return std::nullopt;
    }
    if (rest.empty())
        return server;
    if (rest[0] != ':' || rest.size() < 2 || rest.size() > 6)
        return std::nullopt;
    int port = 0;
    for (std::size_t i = 1; i < rest.size(); ++i) {
        if (rest[i] < '0' || rest[i] > '9')
            return std::nullopt;
        port = port * 10 + (rest[i] - '0');
    }
    if (port < 1 || port > 65535)
        return std::nullopt;
    server.Port = port;
    return server;
}

std::string MakeBoundary(std::mt19937& random) {
    std::uniform_int_distribution<std::uint32_t> number(0, 0x7FFFFFFE);
    char digits[17];
    const std::uint32_t first = number(random);
    const std::uint32_t second = number(random);
    std::snprintf(digits, sizeof digits, "%08X%08X", first, second);
    return std::string(kBoundaryPrefix) + digits;
}

std::string UploadHeaderText(const TUploadServer& server, const std::string& boundary,
                             const std::string& key) {
    std::string text = "Host: " + server.Host + ":" + std::to_string(server.Port) + "\r\n" +
                       "Content-Type: multipart/form-data; boundary=" + boundary + "\r\n";
    if (!key.empty())
        text += "Authorization: Bearer " + key + "\r\n";
    return text;
}

bool IsUploadKey(const std::string& key) {
    if (key.empty() || key.size() > 256)
        return false;
    for (unsigned char c : key)
        if (c <= 0x20 || c >= 0x7F)
            return false;
    return true;
}

std::string UploadUrl(const TUploadServer& server) {
    return (server.Secure ? "https://" : "http://") + server.Host + ":" +
           std::to_string(server.Port) + "/image";
}

std::vector<std::uint8_t> MultipartBody(const std::vector<std::uint8_t>& png,
                                        const std::string& boundary) {
    const std::string head = "--" + boundary + "\r\n" +
                             "Content-Disposition: form-data; name=\"file\"; "
                             "filename=\"quorvel.png\"\r\n" +
                             "Content-Type: image/png\r\n" + "\r\n";
    const std::string tail = "\r\n--" + boundary + "--\r\n";
    std::vector<std::uint8_t> body;
    body.reserve(head.size() + png.size() + tail.size());
    body.insert(body.end(), head.begin(), head.end());
    body.insert(body.end(), png.begin(), png.end());
    body.insert(body.end(), tail.begin(), tail.end());
    return body;
}

std::string UrlFromUploadReply(long status, const std::string& body) {
    if (status != 200 || body.find("\"status\":\"success\"") == std::string::npos)
        return {};
    const std::u16string reply = Utf8ToUtf16(body);
    const std::string url =
        Utf16ToUtf8(UnescapeJSONString(ExtractBetween(reply, u"url\":\"", u"\"", false)));
    return IsWebAddress(url) ? url : std::string();
}

} // namespace quorvel
