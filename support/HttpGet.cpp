#include "support/HttpGet.h"

#include "support/CurlGlobal.h"
#include "support/Utf8.h"

#include <curl/curl.h>
#include <memory>

namespace quorvel {

bool HttpGetText(const std::string& Url, const THeaders& Headers, std::u16string& Reply,
                 const std::atomic<bool>* Stop) {
    EnsureCurlGlobal();
    const TCurlEasy handle(curl_easy_init());
    if (!handle)
        return false;
    CURL* curl = handle.get();
    TCurlList list;
    for (const auto& [name, value] : Headers) {
        // "Name;" sends the header with an empty value; "Name:" would drop it.
        const std::string line = value.empty() ? name + ";" : name + ": " + value;
        if (!AppendCurlHeader(list, line.c_str()))
            return false;
    }
    std::string body;
    curl_easy_setopt(curl, CURLOPT_URL, Url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list.get());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, AppendReplyToString);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 60L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 30L);
    ApplyTransferRules(curl);
    if (!PerformUntilStopped(curl, Stop))
        return false;
    Reply = Utf8ToUtf16(body);
    return true;
}

} // namespace quorvel
