#pragma once

#include <functional>
#include <string>
#include <vector>

namespace quorvel {

// Splits a command line as the runner receives it (the program path first, quoted when it
// holds blanks) into the program and its arguments: blanks separate, double quotes group
// and are removed, and a backslash before a double quote or a backslash keeps that
// character.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

// The text that SplitCommandLine reads back as this one argument.
std::string QuoteArgument(const std::string& argument);

// Splits program output into lines as the runner reports them: a carriage return or a
// line feed ends a line, a line feed right after a carriage return in the same piece of
// output is dropped (CR LF counts once), zero characters are dropped. What follows the
// last line end is kept as the beginning of the next line.
class TLineSplitter {
public:
    // Feeds one piece of output; returns the lines it completed.
    std::vector<std::string> Feed(const std::string& chunk);
    // Walks one piece of output character by character: `onChar` sees each of them (line
    // breaks and zeros too), `onLine` each line as it ends. When `stop` says so, the rest of
    // the piece is left unread and the pending beginning keeps the value it had before.
    void Walk(const std::string& chunk, const std::function<bool()>& stop,
              const std::function<void(char)>& onChar,
              const std::function<void(const std::string&)>& onLine);
    // The beginning of a line whose end has not arrived yet.
    const std::string& Pending() const { return FPending; }
    std::string TakePending();

private:
    std::string FPending;
};

} // namespace quorvel
