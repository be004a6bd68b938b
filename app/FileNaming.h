#pragma once

#include <stdexcept>
#include <string>

namespace quorvel {

// How capture files are named: "Q-001.png" counting past the highest number of any
// extension, "Q-001.png" taking the lowest free number of this extension, or
// "Q-yyyymmdd-hhmmsszzz.png".
enum class TNameMode { Sequential1, Sequential2, DateTime };

struct TLocalTime {
    int Year = 0;
    int Month = 0;
    int Day = 0;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int Millisecond = 0;
};

TLocalTime LocalTimeNow();

class EPathError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The folder and the name joined with '/', unless the folder is empty (the name alone)
// or already ends with '/'. Raises EPathError for a folder no path can hold.
std::string JoinPath(const std::string& Folder, const std::string& Name);

// The largest number n of the folder's "Q-n.ext" entries (any extension; folders and
// links to nothing skipped; a name whose part before the first '.' is not a whole number
// counts as -1); 0 for an empty or unreadable folder.
int MaxFileNumber(const std::string& Folder);

// The full path of the next capture file in Folder with extension Ext (without the dot).
std::string NewFilename(const std::string& Folder, TNameMode Mode, const std::string& Ext,
                        const TLocalTime& Now);

// The folder itself when it exists, else the nearest folder above it that does; empty
// when none does (a relative path that leads nowhere).
std::string NearestExistingFolder(const std::string& Folder);

} // namespace quorvel
