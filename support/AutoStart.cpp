#include "support/AutoStart.h"

#include "support/ProgramFolder.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace quorvel {

namespace fs = std::filesystem;

namespace {

std::string ConfigHome() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && *config == '/')
        return config;
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.config";
}

std::string RunningProgram() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

// An argument in double quotes as the desktop entry format reads it: ", `, $ and \ are
// escaped inside the quotes, and every backslash is escaped once more for the file.
std::string QuotedArgument(const std::string& path) {
    std::string quoted = "\"";
    for (char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    std::string escaped;
    for (char c : quoted) {
        if (c == '\\')
            escaped += "\\\\";
        else if (c == '\n')
            escaped += "\\n";
        else
            escaped += c;
    }
    return escaped;
}

} // namespace

std::string AutoStartFile(const std::string& Name) {
    return ConfigHome() + "/autostart/" + Name + ".desktop";
}

std::string AutoStartEntry(const std::string& Name, const std::string& ProgramPath) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=" +
           Name +
           "\n"
           "Exec=" +
           QuotedArgument(ProgramPath) +
           " /start\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool SetAutoStart(const std::string& Name, bool Enable) {
    const std::string file = AutoStartFile(Name);
    std::error_code ec;
    if (!Enable) {
        fs::remove(file, ec);
        return !ec;
    }
    fs::create_directories(fs::path(file).parent_path(), ec);
    if (ec)
        return false;
    const std::string temp = file + ".new";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << AutoStartEntry(Name, RunningProgram());
        out.close();
        if (!out) {
            fs::remove(temp, ec);
            return false;
        }
    }
    if (std::rename(temp.c_str(), file.c_str()) != 0) {
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

bool IsAutoStart(const std::string& Name) {
    std::error_code ec;
    const bool exists = fs::exists(AutoStartFile(Name), ec);
    if (exists)
        SetAutoStart(Name, true);
    return exists;
}

} // namespace quorvel
