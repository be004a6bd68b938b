#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorvel::server {

// A command line the server cannot run with; the text says what is wrong.
class EUsage : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TServerOptions {
    std::string Data;
    std::string Address = "127.0.0.1";
    int Port = 8080;
    std::string KeysFile;        // empty: no keys
    bool Open = false;           // anonymous uploads wanted off loopback
    std::string TlsCert, TlsKey; // both or neither
    std::string PublicUrl;       // the start of returned addresses, without a final slash
    int KeepDays = 0;            // 0: pictures are kept
    std::uint64_t MaxStore = 0;  // bytes; 0: no limit
    int MaxConnections = 256;    // connections served at once
};

// Reads the arguments after the program's name. Raises EUsage for an unknown option, a
// missing value or a value out of range, and for a combination that cannot run (TLS with
// only one of its two files, no data folder).
TServerOptions ParseServerOptions(const std::vector<std::string>& args);

// "ADDR:PORT", with an IPv6 address in brackets; the port from 0 to 65535.
bool ParseListenAddress(const std::string& text, std::string& address, int& port);

// A size such as 500M, 20G or 1048576 (K, M, G and T count in powers of 1024).
bool ParseByteSize(const std::string& text, std::uint64_t& bytes);

// True for an address only this machine can reach (127.0.0.0/8, ::1, localhost).
bool IsLoopbackAddress(const std::string& address);

// Why the server must not start with these options, or the empty text: listening beyond
// loopback with no keys takes anonymous uploads from anyone who reaches the port, which
// only --open asks for.
std::string RefusalToStart(const TServerOptions& options);

// The start of the addresses the server hands out: --public-url, else the scheme and the
// address it listens on (the machine's own name for a wildcard address), never a header of
// the request.
std::string AddressBase(const TServerOptions& options, const std::string& hostName);

inline constexpr const char* kUsage =
    "usage: quorvel-server --data DIR [--listen ADDR:PORT] [--keys FILE] [--open]\n"
    "                      [--tls-cert FILE --tls-key FILE] [--public-url URL]\n"
    "                      [--keep-days N] [--max-store SIZE] [--max-connections N]\n";

} // namespace quorvel::server
