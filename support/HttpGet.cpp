#include "support/HttpGet.h"

#include "support/CurlGlobal.h"
#include "support/Utf8.h"

#include <curl/curl.h>
#include <memory>

namespace quorvel {

namespace {

std::size_t AppendReply(char* data, std::size_t size, std::size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

// Runs the transfer, looking at the stop flag at least every 10 ms; true when it ended
// well.
bool Perform(CURL* curl, const std::atomic<bool>* stop) {
    CURLM* multi = curl_multi_init();
    if (multi == nullptr)
        return false;
    bool ok = false;
    if (curl_multi_add_handle(multi, curl) == CURLM_OK) {
        int running = 1;
        while (running > 0) {
            if (stop != nullptr && stop->load())
                break;
            if (curl_multi_perform(multi, &running) != CURLM_OK)
                break;
            if (running > 0 && curl_multi_poll(multi, nullptr, 0, 10, nullptr) != CURLM_OK)
                break;
        }
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &left))
            if (message->msg == CURLMSG_DONE && message->easy_handle == curl)
                ok = message->data.result == CURLE_OK;
        curl_multi_remove_handle(multi, curl);
    }
    curl_multi_cleanup(multi);
    return ok;
}

} // namespace

bool HttpGetText(const std::string& Url, const THeaders& Headers, std::u16string& Reply,
                 const std::atomic<bool>* Stop) {
    EnsureCurlGlobal();
    CURL* curl = curl_easy_init();
    if (curl == nullptr)
        return false;
    curl_slist* list = nullptr;
    bool listed = true;
    for (const auto& [name, value] : Headers) {
        // "Name;" sends the header with an empty value; "Name:" would drop it.
        const std::string line = value.empty() ? name + ";" : name + ": " + value;
        curl_slist* grown = curl_slist_append(list, line.c_str());
        if (grown == nullptr) {
            listed = false;
            break;
        }
        list = grown;
    }
    std::string body;
    bool answered = false;
    if (listed) {
        curl_easy_setopt(curl, CURLOPT_URL, Url.c_str());
        curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, AppendReply);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 60L);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 30L);
        answered = Perform(curl, Stop);
    }
    curl_slist_free_all(list);
    curl_easy_cleanup(curl);
    if (answered)
        Reply = Utf8ToUtf16(body);
    return answered;
}

} // namespace quorvel
