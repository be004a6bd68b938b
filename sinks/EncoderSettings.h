#pragma once

#include <string>

namespace quorvel {

// The quality lists of the main window offer these texts, in this order.
inline constexpr const char* QualityTexts[] = {"100", "90", "80", "70", "60"};

// The quality a list text stands for: the text as a whole number, 90 when it is not one.
int QualityFromText(const std::string& text);

} // namespace quorvel
