#include "capture/ScreenOverlay.h"

namespace quorvel {

TScreenOverlay::TScreenOverlay(TPlatform& platform, const QImage& picture, const TRect& screen,
                               TLayerSurface::THandlers handlers)
    : FPlatform(platform), FPicture(picture), FScreen(screen), FHandlers(std::move(handlers)) {
    FHandlers.Crosshair = true; // as over the overlay window elsewhere
}

bool TScreenOverlay::Show() {
    if (!FPlatform.Capabilities().LayerSurfaces)
        return false;
    const QRect whole = FPicture.rect();
    for (const TRect& m : FPlatform.Monitors()) {
        const QRect part =
            QRect(m.Left - FScreen.Left, m.Top - FScreen.Top, m.Width(), m.Height()) & whole;
        if (part.isEmpty())
            continue;
        TMonitorSurface s{part, FPlatform.CreateLayerSurface(TSurfaceLayer::Overlay,
                                                             TSurfaceKeys::Exclusive, FHandlers)};
        if (s.Surface == nullptr) {
            FSurfaces.clear();
            return false;
        }
        s.Surface->Show({FScreen.Left + part.left(), FScreen.Top + part.top(),
                         FScreen.Left + part.right() + 1, FScreen.Top + part.bottom() + 1},
                        View(part), {{0, 0, part.width(), part.height()}});
        FSurfaces.push_back(std::move(s));
    }
    return !FSurfaces.empty();
}

void TScreenOverlay::Update(const QRegion& changed) {
    for (const TMonitorSurface& s : FSurfaces) {
        std::vector<TRect> parts;
        for (const QRect& r : changed& s.Part)
            parts.push_back({r.left() - s.Part.left(), r.top() - s.Part.top(),
                             r.right() + 1 - s.Part.left(), r.bottom() + 1 - s.Part.top()});
        if (!parts.empty())
            s.Surface->Update(View(s.Part), parts);
    }
}

QImage TScreenOverlay::View(const QRect& part) const {
    return QImage(FPicture.constBits() + part.top() * FPicture.bytesPerLine() + part.left() * 4,
                  part.width(), part.height(), FPicture.bytesPerLine(), FPicture.format());
}

} // namespace quorvel
