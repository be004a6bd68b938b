#pragma once

#include <string>

namespace quorvel {

// The web pages the program may open on its own account. There is no address of its own:
// each page lives under the `home_url` setting, and with that empty (the default) none is
// opened at all.

// The about link: `home_url` with the version ("…?v=4.0.1.0"); empty without `home_url`.
std::string AboutAddress(const std::string& HomeUrl, const std::string& Version);

// The page for a missing file ("webpnotfound", "ffmpegnotfound"): `home_url` with
// "app=quorvel&msg=…"; empty without `home_url`.
std::string MissingFileAddress(const std::string& HomeUrl, const std::string& Message);

} // namespace quorvel
