#include "app/FileNaming.h"

#include <chrono>
#include <climits>
#include <cstdio>
#include <ctime>
#include <filesystem>

namespace quorvel {

namespace fs = std::filesystem;

TLocalTime LocalTimeNow() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm local{};
    ::localtime_r(&seconds, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,           local.tm_hour,
            local.tm_min,         local.tm_sec,     static_cast<int>(millis)};
}

std::string JoinPath(const std::string& Folder, const std::string& Name) {
    if (Folder.find('\0') != std::string::npos)
        throw EPathError("Invalid characters in path");
    if (Folder.empty())
        return Name;
    if (Folder.back() == '/')
        return Folder + Name;
    return Folder + '/' + Name;
}

namespace {

// A whole number with an optional sign, nothing else; -1 otherwise (and on overflow).
int NumberOrMinusOne(const std::string& text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size())
        return -1;
    long long value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return -1;
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            return -1;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX || value < INT_MIN)
        return -1;
    return static_cast<int>(value);
}

// Whether something at path already takes the name: a file, a folder, or a link whose
// target exists. A dangling link does not.
bool NameTaken(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::path(path), ec);
}

} // namespace

int MaxFileNumber(const std::string& Folder) {
    int result = 0;
    std::error_code ec;
    fs::directory_iterator it(Folder.empty() ? fs::path(".") : fs::path(Folder), ec);
    if (ec)
        return 0;
    for (const fs::directory_entry& entry : it) {
        std::error_code statusError;
        const fs::file_status status = entry.status(statusError); // follows links
        if (statusError || !fs::exists(status) || fs::is_directory(status))
            continue;
        const std::string name = entry.path().filename().string();
        if (name.rfind("Q-", 0) != 0)
            continue;
        const std::size_t dot = name.find('.', 2);
        const int number =
            dot == std::string::npos ? -1 : NumberOrMinusOne(name.substr(2, dot - 2));
        if (number > result)
            result = number;
    }
    return result;
}

std::string NewFilename(const std::string& Folder, TNameMode Mode, const std::string& Ext,
                        const TLocalTime& Now) {
    char name[96];
    if (Mode == TNameMode::DateTime) {
        std::snprintf(name, sizeof name, "Q-%04d%02d%02d-%02d%02d%02d%03d.", Now.Year, Now.Month,
                      Now.Day, Now.Hour, Now.Minute, Now.Second, Now.Millisecond);
        return JoinPath(Folder, name + Ext);
    }
    long long n = Mode == TNameMode::Sequential1 ? MaxFileNumber(Folder) : 0;
    std::string path;
    do {
        ++n;
        std::snprintf(name, sizeof name, "Q-%03lld.", n);
        path = JoinPath(Folder, name + Ext);
    } while (NameTaken(path));
    return path;
}

std::string NearestExistingFolder(const std::string& Folder) {
    std::error_code ec;
    for (std::filesystem::path p(Folder); !p.empty(); p = p.parent_path()) {
        if (std::filesystem::is_directory(p, ec))
            return p.string();
        if (p == p.parent_path())
            break;
    }
    return {};
}

} // namespace quorvel
