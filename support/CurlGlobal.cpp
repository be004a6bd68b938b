#include "support/CurlGlobal.h"

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
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

} // namespace quorvel
