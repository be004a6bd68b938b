#pragma once

#include <atomic>
#include <cstddef>
#include <curl/curl.h>
#include <memory>
#include <string>

namespace quorvel {

// Sets libcurl up for the whole process, once, before the first transfer on any thread.
void EnsureCurlGlobal();

// A transfer handle and a header list that free themselves.
struct TCurlEasyDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct TCurlListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
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
