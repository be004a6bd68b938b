#pragma once

#include <atomic>
#include <cstddef>
#include <curl/curl.h>
#include <memory>
#include <string>

namespace quorvel {

// libcurl is loaded when the first transfer is set up, not at the program's start: with
// the encryption libraries it draws in, it would add megabytes to a program at rest that
// may never upload anything. Inside the program these functions stand in for libcurl's
// own of the same names (they hide them within the namespace) and call into the loaded
// library; header lists go through AppendCurlHeader and TCurlList. When the library cannot
// be loaded, curl_easy_init and curl_multi_init give nullptr, as libcurl does when it has
// no memory, and nothing else is called.
struct TCurlApi {
    decltype(&::curl_global_init) global_init = nullptr;
    decltype(&::curl_easy_init) easy_init = nullptr;
    decltype(&::curl_easy_cleanup) easy_cleanup = nullptr;
    decltype(&::curl_easy_setopt) easy_setopt = nullptr;
    decltype(&::curl_easy_getinfo) easy_getinfo = nullptr;
    decltype(&::curl_easy_perform) easy_perform = nullptr;
    decltype(&::curl_slist_append) slist_append = nullptr;
    decltype(&::curl_slist_free_all) slist_free_all = nullptr;
    decltype(&::curl_multi_init) multi_init = nullptr;
    decltype(&::curl_multi_cleanup) multi_cleanup = nullptr;
    decltype(&::curl_multi_add_handle) multi_add_handle = nullptr;
    decltype(&::curl_multi_remove_handle) multi_remove_handle = nullptr;
    decltype(&::curl_multi_perform) multi_perform = nullptr;
    decltype(&::curl_multi_poll) multi_poll = nullptr;
    decltype(&::curl_multi_info_read) multi_info_read = nullptr;
};

// The loaded library's functions (loaded on the first call); nullptr when it cannot be.
const TCurlApi* CurlApi();

inline CURL* curl_easy_init() {
    const TCurlApi* api = CurlApi();
    return api != nullptr ? api->easy_init() : nullptr;
}
// Only called with a handle from curl_easy_init, so the library is loaded.
inline void curl_easy_cleanup(CURL* curl) {
    CurlApi()->easy_cleanup(curl);
}
template <typename T> CURLcode curl_easy_setopt(CURL* curl, CURLoption option, T value) {
    return CurlApi()->easy_setopt(curl, option, value);
}
template <typename T> CURLcode curl_easy_getinfo(CURL* curl, CURLINFO info, T value) {
    return CurlApi()->easy_getinfo(curl, info, value);
}
inline CURLcode curl_easy_perform(CURL* curl) {
    return CurlApi()->easy_perform(curl);
}
inline CURLM* curl_multi_init() {
    const TCurlApi* api = CurlApi();
    return api != nullptr ? api->multi_init() : nullptr;
}
inline CURLMcode curl_multi_cleanup(CURLM* multi) {
    return CurlApi()->multi_cleanup(multi);
}
inline CURLMcode curl_multi_add_handle(CURLM* multi, CURL* curl) {
    return CurlApi()->multi_add_handle(multi, curl);
}
inline CURLMcode curl_multi_remove_handle(CURLM* multi, CURL* curl) {
    return CurlApi()->multi_remove_handle(multi, curl);
}
inline CURLMcode curl_multi_perform(CURLM* multi, int* running) {
    return CurlApi()->multi_perform(multi, running);
}
inline CURLMcode curl_multi_poll(CURLM* multi, curl_waitfd* fds, unsigned count, int timeoutMs,
                                 int* ready) {
    return CurlApi()->multi_poll(multi, fds, count, timeoutMs, ready);
}
inline CURLMsg* curl_multi_info_read(CURLM* multi, int* left) {
    return CurlApi()->multi_info_read(multi, left);
}

// Sets libcurl up for the whole process, once, before the first transfer on any thread.
void EnsureCurlGlobal();

// A transfer handle and a header list that free themselves.
struct TCurlEasyDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct TCurlListDeleter {
    void operator()(curl_slist* list) const { CurlApi()->slist_free_all(list); }
};
using TCurlEasy = std::unique_ptr<CURL, TCurlEasyDeleter>;
using TCurlList = std::unique_ptr<curl_slist, TCurlListDeleter>;

// Adds a header line to the list; false when there is no memory for it (the list is kept).
bool AppendCurlHeader(TCurlList& list, const char* line);

// The most a server's reply may hold; a longer one fails the transfer without being kept.
inline constexpr std::size_t kMaxReplyBytes = 1024 * 1024;

// A write callback that appends the reply to the std::string given as its data, and fails
// the transfer once the reply passes kMaxReplyBytes.
std::size_t AppendReplyToString(char* data, std::size_t size, std::size_t count, void* user);

// The certificate file of the setting "upload_ca_file" (a team's own authority), trusted
// beside the system's store for every https transfer from now on; empty for the system's
// store alone.
void SetTrustedCaFile(const std::string& path);

// Sets what every transfer of the program shares: certificates checked against the system's
// store and the trusted file, and replies capped at kMaxReplyBytes.
void ApplyTransferRules(CURL* curl);

// Runs the transfer, looking at the stop flag at least every 10 ms; true when it ended
// well. A set flag ends it within about 10 ms, as a failure.
bool PerformUntilStopped(CURL* curl, const std::atomic<bool>* stop);

} // namespace quorvel
