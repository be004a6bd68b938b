#include "tools/server/ServerOptions.h"

#include <cctype>
#include <limits>

namespace quorvel::server {

namespace {

bool ParseNumber(const std::string& text, std::uint64_t limit, std::uint64_t& value) {
    if (text.empty() || text.size() > 20)
        return false;
    std::uint64_t n = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
        if (n > (limit - digit) / 10)
            return false;
        n = n * 10 + digit;
    }
    value = n;
    return true;
}

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// http(s)://HOST[:PORT][/PATH] with no query, fragment, blank or control character.
bool IsPublicUrl(const std::string& url) {
    std::size_t start = 0;
    if (StartsWith(url, "https://"))
        start = 8;
    else if (StartsWith(url, "http://"))
        start = 7;
    else
        return false;
    if (url.size() == start || url[start] == '/')
        return false;
    for (std::size_t i = start; i < url.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(url[i]);
        if (c <= 0x20 || c >= 0x7F || c == '?' || c == '#' || c == '"' || c == '\\' || c == '<' ||
            c == '>')
            return false;
    }
    return true;
}

} // namespace

bool ParseListenAddress(const std::string& text, std::string& address, int& port) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0)
        return false;
    std::string host = text.substr(0, colon);
    if (host.front() == '[') {
        if (host.size() < 3 || host.back() != ']')
            return false;
        host = host.substr(1, host.size() - 2);
    } else if (host.find(':') != std::string::npos) {
        return false; // an IPv6 address needs its brackets
    }
    std::uint64_t number = 0;
    if (!ParseNumber(text.substr(colon + 1), 65535, number))
        return false;
    address = host;
    port = static_cast<int>(number);
    return true;
}

bool ParseByteSize(const std::string& text, std::uint64_t& bytes) {
    if (text.empty())
        return false;
    std::string digits = text;
    int shift = 0;
    switch (std::toupper(static_cast<unsigned char>(text.back()))) {
    case 'K':
        shift = 10;
        break;
    case 'M':
        shift = 20;
        break;
    case 'G':
        shift = 30;
        break;
    case 'T':
        shift = 40;
        break;
    default:
        break;
    }
    if (shift != 0)
        digits.pop_back();
    std::uint64_t n = 0;
    if (!ParseNumber(digits, std::numeric_limits<std::uint64_t>::max() >> shift, n) || n == 0)
        return false;
    bytes = n << shift;
    return true;
}

bool IsLoopbackAddress(const std::string& address) {
    return address == "::1" || address == "localhost" || StartsWith(address, "127.");
}

TServerOptions ParseServerOptions(const std::vector<std::string>& args) {
    TServerOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--open") {
            options.Open = true;
            continue;
        }
        if (i + 1 >= args.size())
            throw EUsage(arg.rfind("--", 0) == 0 ? arg + " needs a value"
                                                 : "unknown argument " + arg);
        const std::string& value = args[++i];
        std::uint64_t number = 0;
        if (arg == "--data") {
            options.Data = value;
        } else if (arg == "--listen") {
            if (!ParseListenAddress(value, options.Address, options.Port))
                throw EUsage("--listen takes ADDR:PORT");
        } else if (arg == "--keys") {
            options.KeysFile = value;
        } else if (arg == "--tls-cert") {
            options.TlsCert = value;
        } else if (arg == "--tls-key") {
            options.TlsKey = value;
        } else if (arg == "--public-url") {
            if (!IsPublicUrl(value))
                throw EUsage(
                    "--public-url takes an http or https address: a host, a port and a path");
            options.PublicUrl = value;
            while (options.PublicUrl.back() == '/')
                options.PublicUrl.pop_back();
        } else if (arg == "--keep-days") {
            if (!ParseNumber(value, 36500, number) || number == 0)
                throw EUsage("--keep-days takes a number of days from 1 to 36500");
            options.KeepDays = static_cast<int>(number);
        } else if (arg == "--max-store") {
            if (!ParseByteSize(value, options.MaxStore))
                throw EUsage("--max-store takes a size such as 500M or 20G");
        } else if (arg == "--max-connections") {
            if (!ParseNumber(value, 100000, number) || number == 0)
                throw EUsage("--max-connections takes a number from 1 to 100000");
            options.MaxConnections = static_cast<int>(number);
        } else {
            throw EUsage("unknown argument " + arg);
        }
    }
    if (options.Data.empty())
        throw EUsage("--data DIR is required");
    if (options.TlsCert.empty() != options.TlsKey.empty())
        throw EUsage("--tls-cert and --tls-key go together");
    return options;
}

std::string RefusalToStart(const TServerOptions& options) {
    if (options.KeysFile.empty() && !options.Open && !IsLoopbackAddress(options.Address))
        return "listening on " + options.Address +
               " with no --keys would take uploads from anyone who reaches the port; give "
               "--keys FILE, or --open if anonymous uploads are wanted";
    return {};
}

std::string AddressBase(const TServerOptions& options, const std::string& hostName) {
    if (!options.PublicUrl.empty())
        return options.PublicUrl;
    std::string host = options.Address;
    if (host == "0.0.0.0" || host == "::" || host.empty())
        host = hostName.empty() ? std::string("localhost") : hostName;
    else if (host.find(':') != std::string::npos)
        host = "[" + host + "]";
    return (options.TlsCert.empty() ? "http://" : "https://") + host + ":" +
           std::to_string(options.Port);
}

} // namespace quorvel::server
