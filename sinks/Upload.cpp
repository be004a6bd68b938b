#include "sinks/Upload.h"

#include "sinks/Save.h"
#include "support/CurlGlobal.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <curl/curl.h>
#include <memory>

namespace quorvel {

namespace {

constexpr std::size_t kBlock = 1024;

struct TBodyReader {
    const std::vector<std::uint8_t>* Body;
    std::size_t Position = 0;
    const TUploadProgress* Progress;
    bool Finished = false;
};

void Report(const TBodyReader& reader, std::size_t position) {
    if (*reader.Progress)
        (*reader.Progress)(static_cast<std::int32_t>(position),
                           static_cast<std::int32_t>(reader.Body->size()));
}

// libcurl asks for the body piece by piece; it never gets more than one block at a time.
std::size_t ReadBody(char* buffer, std::size_t size, std::size_t count, void* user) {
    auto& reader = *static_cast<TBodyReader*>(user);
    const std::size_t left = reader.Body->size() - reader.Position;
    const std::size_t n = std::min({kBlock, size * count, left});
    if (n == 0)
        return 0;
    Report(reader, reader.Position);
    std::memcpy(buffer, reader.Body->data() + reader.Position, n);
    reader.Position += n;
    if (reader.Position == reader.Body->size() && !reader.Finished) {
        reader.Finished = true;
        Report(reader, reader.Position); // the empty block at the end of the body
    }
    return n;
}

} // namespace

std::string PostUpload(const TUploadServer& Server, const std::vector<std::uint8_t>& Png,
                       const std::string& Boundary, const TUploadProgress& Progress,
                       const TUploadOptions& Options) {
    EnsureCurlGlobal();
    const std::vector<std::uint8_t> body = MultipartBody(Png, Boundary);
    if (body.size() > 0x7FFFFFFF)
        return {};

    TCurlEasy curl(curl_easy_init());
    if (!curl)
        return {};
    TCurlList headers;
    if (!Options.Key.empty() && !IsUploadKey(Options.Key))
        return {};
    const std::string headerText = UploadHeaderText(Server, Boundary, Options.Key);
    for (std::size_t start = 0; start < headerText.size();) {
        const std::size_t end = headerText.find("\r\n", start);
        const std::string line = headerText.substr(start, end - start);
        if (!AppendCurlHeader(headers, line.c_str()))
            return {};
        start = end + 2;
    }
    // No "Expect: 100-continue": the body follows the head at once.
    if (!AppendCurlHeader(headers, "Expect:"))
        return {};

    TBodyReader reader{&body, 0, &Progress};
    std::string reply;
    const std::string url = UploadUrl(Server);
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, Server.Secure ? "https" : "http");
    curl_easy_setopt(c, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
    curl_easy_setopt(c, CURLOPT_POST, 1L);
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(c, CURLOPT_READFUNCTION, ReadBody);
    curl_easy_setopt(c, CURLOPT_READDATA, &reader);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, AppendReplyToString);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &reply);
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(c, CURLOPT_USERAGENT, "Quorvel Uploader");
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, Options.ConnectSeconds);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, Options.StallSeconds);
    curl_easy_setopt(c, CURLOPT_TIMEOUT, Options.TotalSeconds);
    ApplyTransferRules(c);

    if (!PerformUntilStopped(c, Options.Stop))
        return {};
    long status = 0;
    if (curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK)
        status = 0;
    try {
        return UrlFromUploadReply(status, reply);
    } catch (const std::exception&) {
        return {}; // a malformed escape in the address is a failed upload
    }
}

std::string UploadToPicvault(const QImage& Bitmap, const TUploadServer& Server,
                             const TUploadProgress& Progress, const TUploadOptions& Options) {
    const std::vector<std::uint8_t> png = BitmapToPNGBytes(Bitmap);
    std::mt19937 random(static_cast<std::mt19937::result_type>(
        std::chrono::steady_clock::now().time_since_epoch().count()));
    return PostUpload(Server, png, MakeBoundary(random), Progress, Options);
}

} // namespace quorvel
