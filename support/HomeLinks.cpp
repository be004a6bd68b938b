#include "support/HomeLinks.h"

#include "support/Strings.h"

namespace quorvel {

namespace {

// The address with one more query part: after "?" when it has no query yet, else "&".
std::string WithQuery(const std::string& address, const std::string& query) {
    if (address.empty())
        return {};
    const std::size_t hash = address.find('#');
    const std::string base = address.substr(0, hash);
    const std::string fragment = hash == std::string::npos ? std::string() : address.substr(hash);
    const char separator = base.find('?') == std::string::npos        ? '?'
                           : base.back() == '?' || base.back() == '&' ? '\0'
                                                                      : '&';
    std::string result = base;
    if (separator != '\0')
        result += separator;
    return result + query + fragment;
}

} // namespace

std::string AboutAddress(const std::string& HomeUrl, const std::string& Version) {
    return WithQuery(TrimmedText(HomeUrl), "v=" + Version);
}

std::string MissingFileAddress(const std::string& HomeUrl, const std::string& Message) {
    return WithQuery(TrimmedText(HomeUrl), "app=quorvel&msg=" + Message);
}

} // namespace quorvel
