#include "support/AutoStart.h"

#include "support/ProgramFolder.h"
#include "support/Strings.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
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
// escaped inside the quotes, % is doubled so that it is not read as a field code, and
// every backslash is escaped once more for the file.
std::string QuotedArgument(const std::string& path) {
    std::string quoted = "\"";
    for (char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        else if (c == '%')
            quoted += '%';
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

bool AutoStartEntryDisabled(const std::string& EntryText) {
    bool inEntry = false;
    std::size_t at = 0;
    while (at <= EntryText.size()) {
        std::size_t end = EntryText.find('\n', at);
        if (end == std::string::npos)
            end = EntryText.size();
        const std::string line = TrimmedText(EntryText.substr(at, end - at));
        at = end + 1;
        if (!line.empty() && line.front() == '[') {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        const std::size_t eq = line.find('=');
        if (!inEntry || eq == std::string::npos)
            continue;
        const std::string key = TrimmedText(line.substr(0, eq));
        const std::string value = AsciiLower(TrimmedText(line.substr(eq + 1)));
        if ((key == "Hidden" && value == "true") ||
            (key == "X-GNOME-Autostart-enabled" && value == "false"))
            return true;
    }
    return false;
}

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
    const std::string file = AutoStartFile(Name);
    std::error_code ec;
    if (!fs::exists(file, ec))
        return false;
    // An entry the desktop's own settings switched off stays off: it is neither counted
    // nor rewritten (which would switch it on again).
    std::ifstream in(file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (AutoStartEntryDisabled(text))
        return false;
    SetAutoStart(Name, true);
    return true;
}

} // namespace quorvel
