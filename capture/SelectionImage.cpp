#include "capture/SelectionImage.h"

#include <array>
#include <cstring>

namespace quorvel {

namespace {

// The rectangle's pixels of `source`, dimmed, into `target` (a picture of the same size).
void DimRect(const QImage& source, QImage& target, const QRect& r) {
    static const std::array<std::uint8_t, 256> table = [] {
        std::array<std::uint8_t, 256> t{};
        for (unsigned c = 0; c < 256; ++c)
            t[c] = DimByte(c);
        return t;
    }();
    const int begin = r.left() * 4;
    const int end = (r.right() + 1) * 4;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        const auto* in = reinterpret_cast<const std::uint8_t*>(source.constScanLine(y));
        auto* out = reinterpret_cast<std::uint8_t*>(target.scanLine(y));
        for (int i = begin; i < end; i += 4) {
            out[i] = table[in[i]];
            out[i + 1] = table[in[i + 1]];
            out[i + 2] = table[in[i + 2]];
            out[i + 3] = 0xFF;
        }
    }
}

// Copies the rectangle's pixels from one picture into another of the same size.
void CopyRect(const QImage& from, QImage& to, const QRect& r) {
    const std::size_t bytes = static_cast<std::size_t>(r.width()) * 4;
    for (int y = r.top(); y <= r.bottom(); ++y)
        std::memcpy(to.scanLine(y) + r.left() * 4, from.constScanLine(y) + r.left() * 4, bytes);
}

} // namespace

TSelectionImage::TSelectionImage(const QImage& screen)
    : FScreen(screen.convertToFormat(QImage::Format_RGB32)),
      FDisplayed(FScreen.size(), QImage::Format_RGB32) {
    DimRect(FScreen, FDisplayed, FScreen.rect());
}

QRegion TSelectionImage::SetSelection(const QRect& selection) {
    const QRect next = selection.intersected(FScreen.rect());
    const QRegion changed = QRegion(FSelection).xored(QRegion(next));
    for (const QRect& r : changed) {
        // Each part of the difference lies wholly inside or wholly outside the new selection.
        if (next.contains(r.topLeft()))
            CopyRect(FScreen, FDisplayed, r);
        else
            DimRect(FScreen, FDisplayed, r);
    }
    FSelection = next;
    return changed;
}

} // namespace quorvel
