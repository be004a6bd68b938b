#pragma once

#include "platform/Platform.h"

#include <QImage>
#include <QRegion>
#include <memory>
#include <vector>

namespace quorvel {

// A picture of the whole screen shown above everything the desktop shows, as one layer
// surface per monitor that holds the keyboard while it is up: the frozen desktop of the
// drag selection and of the colour picker where the desktop offers layer surfaces
// (Wayland). The picture (32 bits a pixel) is shown in place, without a copy, so it must outlive
// the overlay and keep its pixels where they are.
class TScreenOverlay {
public:
    // `screen` is where the picture's corner stands, in physical screen pixels.
    TScreenOverlay(TPlatform& platform, const QImage& picture, const TRect& screen,
                   TLayerSurface::THandlers handlers);

    // Shows a surface on every monitor; false, with nothing shown, where the desktop has
    // no layer surfaces.
    bool Show();
    // Shows the picture's new pixels inside `changed` (picture coordinates).
    void Update(const QRegion& changed);
    // A pointer position of the surfaces as a pixel of the picture.
    QPoint PictureAt(TPoint screenPoint) const {
        return {screenPoint.X - FScreen.Left, screenPoint.Y - FScreen.Top};
    }

private:
    // The part of the picture one monitor shows (no copy).
    QImage View(const QRect& part) const;

    struct TMonitorSurface {
        QRect Part; // of the picture
        std::unique_ptr<TLayerSurface> Surface;
    };
    TPlatform& FPlatform;
    const QImage& FPicture;
    TRect FScreen;
    TLayerSurface::THandlers FHandlers;
    std::vector<TMonitorSurface> FSurfaces;
};

} // namespace quorvel
