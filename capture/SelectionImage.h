#pragma once

#include <QImage>
#include <QRect>
#include <QRegion>
#include <cstdint>

namespace quorvel {

// One colour byte at about 60 % brightness: c * 0.6 rounded to the nearest whole number.
constexpr std::uint8_t DimByte(unsigned c) {
    return static_cast<std::uint8_t>((c * 19660 + 16384) >> 15);
}

// The picture a drag selection shows: the frozen desktop dimmed everywhere but inside the
// selection, where it is untouched. A change of selection rewrites only the pixels that
// enter the selection (copied) or leave it (dimmed again), so the work follows what the
// pointer moved across rather than the size of the desktop.
class TSelectionImage {
public:
    explicit TSelectionImage(const QImage& screen);

    const QImage& Screen() const { return FScreen; }
    // The picture on display.
    const QImage& Displayed() const { return FDisplayed; }
    const QRect& Selection() const { return FSelection; }

    // Makes `selection` (clipped to the picture; an empty one selects nothing) the
    // selection and returns the pixels whose display changed.
    QRegion SetSelection(const QRect& selection);

private:
    QImage FScreen;
    QImage FDisplayed;
    QRect FSelection;
};

} // namespace quorvel
