#include "capture/FrmColourPoint.h"

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
    FScreen.setDevicePixelRatio(devicePixelRatioF());
    FColour.reset();
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
    const QPoint p(static_cast<int>(at.x()), static_cast<int>(at.y()));
    if (FScreen.rect().contains(p))
        FColour = FScreen.pixel(p);
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
