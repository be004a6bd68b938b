#include "record/CommandLine.h"

namespace quorvel {

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
    std::vector<std::string> args;
    std::string current;
    bool inArgument = false;
    bool quoted = false;
    for (std::size_t i = 0; i < commandLine.size(); ++i) {
        const char c = commandLine[i];
        if (c == '\\' && i + 1 < commandLine.size() &&
            (commandLine[i + 1] == '"' || commandLine[i + 1] == '\\')) {
            current += commandLine[++i];
            inArgument = true;
        } else if (c == '"') {
            quoted = !quoted;
            inArgument = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inArgument)
                args.push_back(current);
            current.clear();
            inArgument = false;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument)
        args.push_back(current);
    return args;
}

std::string QuoteArgument(const std::string& argument) {
    std::string quoted = "\"";
    for (char c : argument) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}

std::vector<std::string> TLineSplitter::Feed(const std::string& chunk) {
    std::vector<std::string> lines;
    Walk(
        chunk, [] { return false; }, [](char) {},
        [&lines](const std::string& line) { lines.push_back(line); });
    return lines;
}

void TLineSplitter::Walk(const std::string& chunk, const std::function<bool()>& stop,
                         const std::function<void(char)>& onChar,
                         const std::function<void(const std::string&)>& onLine) {
    std::string line = FPending;
    for (std::size_t i = 0; i < chunk.size(); ++i) {
        if (stop())
            return;
        const char c = chunk[i];
        onChar(c);
        if (c == '\0')
            continue;
        if (c == '\n' && i > 0 && chunk[i - 1] == '\r')
            continue;
        if (c == '\r' || c == '\n') {
            onLine(line);
            line.clear();
        } else {
            line += c;
        }
    }
    FPending = line;
}

std::string TLineSplitter::TakePending() {
    std::string pending;
    pending.swap(FPending);
    return pending;
}

} // namespace quorvel
