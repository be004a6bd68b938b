#include "support/CurlGlobal.h"

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
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

} // namespace quorvel
