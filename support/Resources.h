#pragma once

// The files carried inside the program, under the names the code opens them by. Each is
// listed in the build's resource list with the alias that gives it this name.
namespace quorvel::Resources {

inline constexpr const char* TranslationTable = ":/TRANSLATE";
inline constexpr const char* CaptureSound = ":/sound.wav";
inline constexpr const char* ProgramIcon = ":/quorvel.png";

} // namespace quorvel::Resources
