#pragma once

#include <cstddef>
#include <string_view>

namespace quorvel::rtocr {

// The typical height in pixels of the lines of text in a grey picture (one byte a pixel,
// rows `stride` bytes apart): the picture is cut into narrow columns, each column into runs
// of rows holding something drawn between rows of one colour, and the median height of
// the runs of text-like height is taken. 0 when nothing like text is drawn.
int TypicalLineHeight(const unsigned char* grey, int width, int height, std::ptrdiff_t stride);

// How much to enlarge a picture whose lines of text are `lineHeight` pixels tall before
// recognition: small type gains from enlargement, while type already large enough is read
// better as it is (enlarged, its curves blur and small letters pass for capitals). 1 for
// no text found. Scripts of many-stroked characters (Chinese, Japanese: ISO 15924 "Hani",
// "Hans", "Hant", "Jpan") need their lines taller than alphabets do.
double EnlargementForLineHeight(int lineHeight, std::string_view script = {});

} // namespace quorvel::rtocr
