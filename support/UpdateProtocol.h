#pragma once

#include <ctime>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace quorvel {

using THeaders = std::vector<std::pair<std::string, std::string>>;

// A fresh installation identifier of 32 characters: a random number (8 hex digits), the
// date "yymmdd", a random number (4 hex digits), the time "hhnnss" and a random number
// (8 hex digits); hex digits upper-case and zero-padded.
std::string NewInstallationId(std::mt19937& Random, const std::tm& LocalNow);

// The two-letter code of the update dialog's texts from a locale name such as
// "de_DE.UTF-8"; "en" when there is none.
std::string UpdateLanguageOf(const std::string& LocaleName);

// The dialog's built-in texts in the language: kind 0 the message (three sentences
// separated by two carriage returns), 1 the Yes caption, 2 the No caption, anything else
// empty. A language without texts of its own gets the English ones.
std::u16string UpdateText(int Kind, const std::string& Language);

// The headers of the check request, in order, and of the hold request.
THeaders CheckHeaders(const std::string& Version, const std::string& Language, bool Debug,
                      const std::string& InstallationId);
THeaders HoldHeaders(const std::string& Version);

// The fields of the check reply, cut out of the text without a JSON parser and unescaped.
// The notice fields are searched in the "info" object only, which ends at its first "}".
// Raises EConvertError for a malformed escape.
struct TUpdateReply {
    std::u16string Update;
    std::u16string Style;
    std::u16string Text;
    std::u16string Flag;
    std::u16string Url;
};
TUpdateReply ParseUpdateReply(const std::u16string& Reply);

// Just the download address of the reply.
std::u16string DownloadUrlOf(const std::u16string& Reply);

} // namespace quorvel
