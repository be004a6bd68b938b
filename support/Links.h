#pragma once

// The maker's web addresses: the product home page (the about action) and the error
// page opened when a destination needs a file that is missing.
namespace quorvel::Links {

inline constexpr const char* HomePage = "https://marbask.com/quorvel?v=";
inline constexpr const char* ErrorPage = "https://marbask.com/?app=quorvel&msg=";

} // namespace quorvel::Links
