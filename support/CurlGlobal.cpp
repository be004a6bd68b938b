#include "support/CurlGlobal.h"

#include <algorithm>
#include <dlfcn.h>
#include <mutex>
#include <string>

namespace quorvel {

namespace {

template <typename T> bool Resolve(void* library, const char* name, T& function) {
    function = reinterpret_cast<T>(dlsym(library, name));
    return function != nullptr;
}

} // namespace

const TCurlApi* CurlApi() {
    static std::once_flag once;
    static TCurlApi api;
    static bool loaded = false;
    std::call_once(once, [] {
        void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr)
            return;
        TCurlApi a;
        loaded = Resolve(library, "curl_global_init", a.global_init) &&
                 Resolve(library, "curl_easy_init", a.easy_init) &&
                 Resolve(library, "curl_easy_cleanup", a.easy_cleanup) &&
                 Resolve(library, "curl_easy_setopt", a.easy_setopt) &&
                 Resolve(library, "curl_easy_getinfo", a.easy_getinfo) &&
                 Resolve(library, "curl_easy_perform", a.easy_perform) &&
                 Resolve(library, "curl_slist_append", a.slist_append) &&
                 Resolve(library, "curl_slist_free_all", a.slist_free_all) &&
                 Resolve(library, "curl_multi_init", a.multi_init) &&
                 Resolve(library, "curl_multi_cleanup", a.multi_cleanup) &&
                 Resolve(library, "curl_multi_add_handle", a.multi_add_handle) &&
                 Resolve(library, "curl_multi_remove_handle", a.multi_remove_handle) &&
                 Resolve(library, "curl_multi_perform", a.multi_perform) &&
                 Resolve(library, "curl_multi_poll", a.multi_poll) &&
                 Resolve(library, "curl_multi_info_read", a.multi_info_read);
        if (loaded)
            api = a;
    });
    return loaded ? &api : nullptr;
}

void EnsureCurlGlobal() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (const TCurlApi* api = CurlApi())
            api->global_init(CURL_GLOBAL_DEFAULT);
    });
}

bool AppendCurlHeader(TCurlList& list, const char* line) {
    const TCurlApi* api = CurlApi();
    curl_slist* grown = api != nullptr ? api->slist_append(list.get(), line) : nullptr;
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
