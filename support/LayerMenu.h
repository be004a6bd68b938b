#pragma once

#include "platform/Platform.h"

#include <QObject>
#include <memory>

class QAction;
class QMenu;

namespace quorvel {

// A popup menu for windows that are layer surfaces of the desktop: Qt can open no popup
// of its own over such a surface (it would become an ordinary window), so the menu is
// drawn off screen into a surface of its own at the pointer, in the overlay layer above
// the top layer of the windows that open it. Hovering highlights an entry,
// a click triggers it; a click beside the entries, Escape, the pointer leaving it or a
// press on the window that opened it closes it.
class TLayerMenu final : public QObject {
public:
    // Null when the desktop has no layer surfaces.
    static std::unique_ptr<TLayerMenu> Create(TPlatform& platform, QMenu* menu);

    // Opens the menu with its top-left corner at a physical screen pixel, kept on the
    // monitor there.
    void Popup(TPoint at);
    void Close();
    bool IsOpen() const;

private:
    TLayerMenu(TPlatform& platform, QMenu* menu);
    void Render();

    TPlatform& FPlatform;
    QMenu* FMenu;
    std::unique_ptr<TLayerSurface> FLayer;
    TRect FBounds;
    bool FVisited = false; // the pointer has moved over the open menu
};

} // namespace quorvel
