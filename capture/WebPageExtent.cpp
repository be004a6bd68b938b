#include "capture/WebPageExtent.h"

#include <algorithm>

namespace quorvel {

TPageExtent PageExtent(const TPageMeasure& m) {
    int w = m.BodyWidth + kEdgeWidth + kScrollBarWidth + 6;
    int h = m.BodyHeight;
    if (m.RootWidth)
        w = std::max(w, *m.RootWidth);
    if (m.RootHeight)
        h = std::max(h, *m.RootHeight);
    w = std::max(w, m.FrameWidth);
    h = std::max(h, m.FrameHeight);
    if (w < 100)
        w = 1024;
    if (h < 100)
        h = 768;
    return {w, h, w - kEdgeWidth - kScrollBarWidth, h};
}

} // namespace quorvel
