#include "support/CurlGlobal.h"

#include <algorithm>
#include <mutex>
#include <string>

namespace quorvel {

void EnsureCurlGlobal() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool AppendCurlHeader(TCurlList& list, const char* line) {
    curl_slist* grown = curl_slist_append(list.get(), line);
    if (grown == nullptr)
        return false;
    (void)list.release(); // the grown list holds the old one
    list.reset(grown);
    return true;
}

std::size_t AppendReplyToString(char* data, std::size_t size, std::size_t count, void* user) {
    auto* reply = static_cast<std::string*>(user);
    const std::size_t n = size * count;
    if (n > kMaxReplyBytes - std::min(reply->size(), kMaxReplyBytes))
        return 0; // libcurl ends the transfer with a write error
    reply->append(data, n);
    return n;
}

namespace {

std::mutex& TrustLock() {
    static std::mutex lock;
    return lock;
}

std::string& TrustedCaFile() {
    static std::string path;
    return path;
}

} // namespace

void SetTrustedCaFile(const std::string& path) {
    std::lock_guard<std::mutex> lock(TrustLock());
    TrustedCaFile() = path;
}

void ApplyTransferRules(CURL* curl) {
    std::string caFile;
    {
        std::lock_guard<std::mutex> lock(TrustLock());
        caFile = TrustedCaFile();
    }
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!caFile.empty()) {
        // The file and the system's folder of certificates are both trusted.
        curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.c_str());
        curl_easy_setopt(curl, CURLOPT_CAPATH, "/etc/ssl/certs");
    }
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxReplyBytes));
}

bool PerformUntilStopped(CURL* curl, const std::atomic<bool>* stop) {
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

} // namespace quorvel
