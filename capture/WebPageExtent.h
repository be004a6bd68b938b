#pragma once

#include <optional>

namespace quorvel {

// Sizes of a page as its document reports them, in CSS pixels at zoom 1.
struct TPageMeasure {
    int BodyWidth = 0, BodyHeight = 0;
    // The root element's scroll size; absent when the document has none.
    std::optional<int> RootWidth, RootHeight;
    // The largest scroll size of a frame document that could be read (0 without frames).
    int FrameWidth = 0, FrameHeight = 0;
};

struct TPageExtent {
    // The size the view is enlarged to for the render.
    int ViewWidth = 0, ViewHeight = 0;
    // The picture kept: the view's width less the edge and scroll-bar strip on the right.
    int Width = 0, Height = 0;
};

// A classic window edge and vertical scroll bar, which the view's width includes and the
// picture leaves out again.
inline constexpr int kEdgeWidth = 2;
inline constexpr int kScrollBarWidth = 17;
// The largest side the engine renders whole in one picture (larger views come back blank).
inline constexpr int kLargestPageSide = 16000;

// The view size for a whole-page render: the body's width plus the edge, scroll-bar strip
// and 6 pixels, grown to the root element and frames; a side below 100 becomes 1024 × 768.
TPageExtent PageExtent(const TPageMeasure& m);

} // namespace quorvel
