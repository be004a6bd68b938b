#include "tools/server/AccessLog.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace quorvel::server {

namespace {

std::mutex& Lock() {
    static std::mutex lock;
    return lock;
}

std::int64_t NowMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string Timestamp(std::int64_t unixMilliseconds) {
    const std::time_t seconds = static_cast<std::time_t>(unixMilliseconds / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(unixMilliseconds % 1000));
    return text;
}

void Write(const std::string& line) {
    std::lock_guard<std::mutex> lock(Lock());
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

} // namespace

std::string LogSafe(const std::string& text, std::size_t limit) {
    std::string out;
    for (unsigned char c : text) {
        if (out.size() >= limit) {
            out += "...";
            break;
        }
        if (c <= 0x20 || c >= 0x7F || c == '%' || c == '"') {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out.empty() ? std::string("-") : out;
}

std::string AccessLine(const TAccess& access, std::int64_t unixMilliseconds) {
    return Timestamp(unixMilliseconds) + " " + LogSafe(access.Client, 64) + " " +
           LogSafe(access.Method, 16) + " " + LogSafe(access.Target) + " " +
           std::to_string(access.Status) + " " + std::to_string(access.Bytes) + " " +
           (access.KeyName.empty() ? std::string("-") : LogSafe(access.KeyName, 64));
}

void LogAccess(const TAccess& access) {
    Write(AccessLine(access, NowMilliseconds()) + "\n");
}

void LogError(const std::string& text) {
    Write(Timestamp(NowMilliseconds()) + " error: " + text + "\n");
}

void LogNote(const std::string& text) {
    Write(Timestamp(NowMilliseconds()) + " note: " + text + "\n");
}

} // namespace quorvel::server
