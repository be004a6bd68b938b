#pragma once

#include <cstdint>
#include <string>

namespace quorvel::server {

// One served request, as its access line shows it.
struct TAccess {
    std::string Client; // the peer's address
    std::string Method;
    std::string Target; // the path as sent
    int Status = 0;
    std::uint64_t Bytes = 0; // body bytes sent
    std::string KeyName;     // empty: no key
};

// "TIME CLIENT METHOD PATH STATUS BYTES KEY": the time in UTC to the millisecond, the key's
// name or "-", and method and path cut to 200 characters with blanks, quotes and anything
// unprintable written as %XX, so that no request can forge or break a line.
std::string AccessLine(const TAccess& access, std::int64_t unixMilliseconds);

// The text with every byte outside printable ASCII written as %XX, cut to `limit`.
std::string LogSafe(const std::string& text, std::size_t limit = 200);

// Lines on standard error, whole even when threads write at once; the journal takes them.
void LogAccess(const TAccess& access);
void LogError(const std::string& text);
void LogNote(const std::string& text);

} // namespace quorvel::server
