#include "support/LayerMenu.h"

#include <QAction>
#include <QImage>
#include <QMenu>
#include <QTimer>
#include <QtMath>
#include <algorithm>

namespace quorvel {

std::unique_ptr<TLayerMenu> TLayerMenu::Create(TPlatform& platform, QMenu* menu) {
    if (!platform.Capabilities().LayerSurfaces)
        return nullptr;
    std::unique_ptr<TLayerMenu> m(new TLayerMenu(platform, menu));
    return m->FLayer != nullptr ? std::move(m) : nullptr;
}

TLayerMenu::TLayerMenu(TPlatform& platform, QMenu* menu) : FPlatform(platform), FMenu(menu) {
    FLayer = platform.CreateLayerSurface(
        TSurfaceLayer::Overlay, TSurfaceKeys::None,
        {[this](const TSurfacePointer& e) {
             const qreal r = FMenu->devicePixelRatioF();
             const QPoint at(qFloor((e.Position.X - FBounds.Left) / r),
                             qFloor((e.Position.Y - FBounds.Top) / r));
             QAction* action = FMenu->actionAt(at);
             switch (e.Kind) {
             case TSurfacePointer::Enter:
             case TSurfacePointer::Motion:
                 FVisited = FVisited || e.Kind == TSurfacePointer::Motion;
                 if (action != FMenu->activeAction()) {
                     FMenu->setActiveAction(action);
                     Render();
                 }
                 break;
             case TSurfacePointer::Release:
                 Close();
                 // Triggered once the surface's event has been handled: the entry may
                 // destroy the window that owns this menu.
                 if (action != nullptr && action->isEnabled() && !action->isSeparator())
                     QTimer::singleShot(0, action, [action] { action->trigger(); });
                 break;
             case TSurfacePointer::Leave:
                 // Only once the pointer has moved over the menu: the compositor also
                 // lets go of a pointer that stands still where the menu opened when that
                 // pointer goes away.
                 if (FVisited)
                     Close();
                 break;
             default:
                 break;
             }
         },
         [this](const TSurfaceKey& k) {
             if (k.Key == TSurfaceKey::Escape)
                 Close();
         }});
}

bool TLayerMenu::IsOpen() const {
    return FLayer->Shown();
}

void TLayerMenu::Popup(TPoint at) {
    emit FMenu->aboutToShow();
    FMenu->ensurePolished();
    FMenu->adjustSize();
    FMenu->setActiveAction(nullptr);
    FVisited = false;
    const qreal r = FMenu->devicePixelRatioF();
    const QSize size = FMenu->sizeHint();
    const int w = qCeil(size.width() * r);
    const int h = qCeil(size.height() * r);
    const TRect monitor = MonitorNearest(FPlatform.Monitors(), at, FPlatform.ScreenRect());
    const int left = std::max(monitor.Left, std::min(at.X, monitor.Right - w));
    const int top = std::max(monitor.Top, std::min(at.Y, monitor.Bottom - h));
    FBounds = {left, top, left + w, top + h};
    FMenu->resize(size);
    Render();
}

void TLayerMenu::Close() {
    if (FLayer->Shown()) {
        FLayer->Hide();
        FMenu->setActiveAction(nullptr);
    }
}

void TLayerMenu::Render() {
    QImage picture(FBounds.Width(), FBounds.Height(), QImage::Format_ARGB32_Premultiplied);
    picture.setDevicePixelRatio(FMenu->devicePixelRatioF());
    picture.fill(Qt::transparent);
    FMenu->render(&picture);
    FLayer->Show(FBounds, picture, {{0, 0, FBounds.Width(), FBounds.Height()}});
}

} // namespace quorvel
