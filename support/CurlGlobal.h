#pragma once

#include <cstddef>
#include <curl/curl.h>
#include <memory>

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

// A write callback that appends the reply to the std::string given as its data.
std::size_t AppendReplyToString(char* data, std::size_t size, std::size_t count, void* user);

} // namespace quorvel
