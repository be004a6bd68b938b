#pragma once

#include <string>

namespace quorvel {

// Starting with the desktop: an XDG autostart entry named after the program, whose
// presence is the setting. The entry runs the program hidden ("/start").

// The autostart entry file for a name: $XDG_CONFIG_HOME/autostart/<Name>.desktop.
std::string AutoStartFile(const std::string& Name);

// The text of the entry that starts the program at ProgramPath: its Exec line is the
// quoted path, one space and "/start".
std::string AutoStartEntry(const std::string& Name, const std::string& ProgramPath);

// Writes the entry for the running program (Enable) or removes it; false when the file
// could not be written or removed. Removing an entry that does not exist succeeds.
bool SetAutoStart(const std::string& Name, bool Enable);

// Whether an entry's text switches it off (Hidden=true, X-GNOME-Autostart-enabled=false),
// as desktops' own autostart settings do.
bool AutoStartEntryDisabled(const std::string& EntryText);

// Whether the entry exists and is not switched off; when it is on, it is pointed at the
// running program.
bool IsAutoStart(const std::string& Name);

} // namespace quorvel
