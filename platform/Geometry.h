#pragma once

namespace quorvel {

// A point of the X screen, in physical pixels.
struct TPoint {
    int X = 0;
    int Y = 0;
    friend bool operator==(const TPoint&, const TPoint&) = default;
};

// A screen rectangle in physical pixels; Right and Bottom are exclusive.
struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;

    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    bool Empty() const { return Right <= Left || Bottom <= Top; }
    bool Contains(TPoint p) const {
        return p.X >= Left && p.X < Right && p.Y >= Top && p.Y < Bottom;
    }
    friend bool operator==(const TRect&, const TRect&) = default;
};

inline TRect Intersection(const TRect& a, const TRect& b) {
    TRect r{a.Left > b.Left ? a.Left : b.Left, a.Top > b.Top ? a.Top : b.Top,
            a.Right < b.Right ? a.Right : b.Right, a.Bottom < b.Bottom ? a.Bottom : b.Bottom};
    if (r.Empty())
        return {};
    return r;
}

// Where one of our windows stands, given where the server has it (`actual`) and where we
// last placed it in physical pixels (`placed`). Under a scale factor Qt may put the window
// at its own rounded idea of that place or size, less than one logical pixel away: that
// is not a move or resize by the user, and the placed value stands. Anything further away
// (the window manager moving it for the user) is taken as it is.
inline TRect ReconcilePlacement(const TRect& actual, const TRect& placed, double ratio) {
    int slack = 0;
    while (slack + 1 < ratio)
        ++slack;
    const auto near = [slack](int a, int b) { return a - b <= slack && b - a <= slack; };
    const bool ownPlace = near(actual.Left, placed.Left) && near(actual.Top, placed.Top);
    const bool ownSize =
        near(actual.Width(), placed.Width()) && near(actual.Height(), placed.Height());
    const int left = ownPlace ? placed.Left : actual.Left;
    const int top = ownPlace ? placed.Top : actual.Top;
    const int width = ownSize ? placed.Width() : actual.Width();
    const int height = ownSize ? placed.Height() : actual.Height();
    return {left, top, left + width, top + height};
}

// Squared distance from a point to the nearest pixel of a rectangle (0 inside it).
inline long long DistanceSquared(const TRect& r, TPoint p) {
    const long long dx = p.X < r.Left ? r.Left - p.X : (p.X >= r.Right ? p.X - (r.Right - 1) : 0);
    const long long dy = p.Y < r.Top ? r.Top - p.Y : (p.Y >= r.Bottom ? p.Y - (r.Bottom - 1) : 0);
    return dx * dx + dy * dy;
}

// How a surface placed by margins in whole logical units (physical pixels / scale) of an
// output shows a picture at an exact physical rectangle: its corner at `Margin` (logical,
// from the output's corner `origin`), the picture `Offset` physical pixels into a buffer
// of `Size` logical units (Size × scale physical pixels). Rounding is toward minus
// infinity, so that a rectangle left of or above the output's corner is placed as exactly
// as any other.
struct TSurfacePlacement {
    TPoint Margin;
    TPoint Offset;
    int Width = 0; // logical
    int Height = 0;
    friend bool operator==(const TSurfacePlacement&, const TSurfacePlacement&) = default;
};

inline int FloorDivide(int a, int b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

inline TSurfacePlacement PlaceSurface(const TRect& bounds, TPoint origin, int scale) {
    TSurfacePlacement p;
    const int x = bounds.Left - origin.X;
    const int y = bounds.Top - origin.Y;
    p.Margin = {FloorDivide(x, scale), FloorDivide(y, scale)};
    p.Offset = {x - p.Margin.X * scale, y - p.Margin.Y * scale};
    p.Width = FloorDivide(p.Offset.X + bounds.Width() + scale - 1, scale);
    p.Height = FloorDivide(p.Offset.Y + bounds.Height() + scale - 1, scale);
    return p;
}

// The pixels of a picture of `whole` (width by height pixels, maybe scaled) that show
// `part` of the screen, clipped to the picture.
inline TRect PartOfPicture(const TRect& part, const TRect& whole, int width, int height) {
    if (whole.Empty() || width <= 0 || height <= 0)
        return {};
    const auto x = [&](int v) {
        return static_cast<int>((static_cast<long long>(v - whole.Left) * width) / whole.Width());
    };
    const auto y = [&](int v) {
        return static_cast<int>((static_cast<long long>(v - whole.Top) * height) / whole.Height());
    };
    return Intersection({x(part.Left), y(part.Top), x(part.Right), y(part.Bottom)},
                        {0, 0, width, height});
}

} // namespace quorvel
