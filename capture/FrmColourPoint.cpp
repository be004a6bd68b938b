#include "capture/FrmColourPoint.h"
#include "capture/ScreenOverlay.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace quorvel {

TFrmColourPoint::TFrmColourPoint(QWidget* owner, TPlatform& platform)
    : QWidget(owner, Qt::Window | Qt::FramelessWindowHint), FPlatform(platform) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setCursor(Qt::CrossCursor);
}

std::optional<QRgb> TFrmColourPoint::Run() {
    // Read before the window shows, so that it is not in the picture.
    const TRect screen = FPlatform.ScreenRect();
    FScreen = FPlatform.GrabScreen(screen);
    FColour.reset();
    TScreenOverlay layers(FPlatform, FScreen, screen,
                          {[&](const TSurfacePointer& e) {
                               if (e.Kind == TSurfacePointer::Press && e.Button == 1)
                                   Pick(layers.PictureAt(e.Position));
                           },
                           [this](const TSurfaceKey& k) {
                               if (k.Key == TSurfaceKey::Escape)
                                   FLoop.quit();
                           }});
    if (layers.Show()) {
        FLoop.exec();
        return FColour;
    }
    FScreen.setDevicePixelRatio(devicePixelRatioF());
    showFullScreen();
    activateWindow();
    FLoop.exec();
    hide();
    return FColour;
}

void TFrmColourPoint::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const qreal ratio = FScreen.devicePixelRatio();
    for (const QRect& r : event->region())
        painter.drawImage(
            r, FScreen,
            QRectF(r.left() * ratio, r.top() * ratio, r.width() * ratio, r.height() * ratio));
}

void TFrmColourPoint::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !FLoop.isRunning())
        return;
    // The window covers the output from its corner: its own position, in physical pixels,
    // is the pixel of the frozen picture.
    const QPointF at = event->position() * FScreen.devicePixelRatio();
    Pick(QPoint(static_cast<int>(at.x()), static_cast<int>(at.y())));
}

void TFrmColourPoint::Pick(QPoint at) {
    if (!FLoop.isRunning())
        return;
    if (FScreen.rect().contains(at))
        FColour = FScreen.pixel(at);
    FLoop.quit();
}

void TFrmColourPoint::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        FLoop.quit();
    }
}

void TFrmColourPoint::closeEvent(QCloseEvent* event) {
    event->ignore();
    FLoop.quit();
}

} // namespace quorvel
