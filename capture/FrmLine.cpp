#include "capture/FrmLine.h"

#include <QImage>
#include <QPainter>
#include <cmath>

namespace quorvel {

TFrmLine::TFrmLine(QWidget* mainWindow, TPlatform& platform)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool |
                           Qt::X11BypassWindowManagerHint | Qt::WindowDoesNotAcceptFocus),
      FPlatform(platform), FMainWindow(mainWindow) {
    setObjectName(QStringLiteral("TFrmLine"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setCursor(Qt::CrossCursor);
    QPalette face = palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    setPalette(face);
    setAutoFillBackground(true);
    Timer1.setInterval(10);
    connect(&Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
}

bool TFrmLine::NextDashIsWhite(std::uint8_t& pattern) {
    pattern = static_cast<std::uint8_t>(pattern << 1);
    if (pattern == 0)
        pattern = 1;
    return pattern >= 32;
}

void TFrmLine::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Nothing on screen until the first tick has found a window to ring.
    FRing = {};
    FPlatform.ShapeWindow(static_cast<TWindowId>(winId()), {});
    Timer1.start();
}

void TFrmLine::hideEvent(QHideEvent* event) {
    Timer1.stop();
    QWidget::hideEvent(event);
}

void TFrmLine::PlaceRing(const TRect& ring) {
    if (ring == FRing)
        return;
    const bool wasEmpty = FRing.Empty();
    FRing = ring;
    const auto id = static_cast<TWindowId>(winId());
    if (ring.Empty()) {
        // Nothing to ring: no pixel of the window stays on screen. (Opacity would need a
        // compositor, which a plain X desktop does not have.)
        FPlatform.ShapeWindow(id, {});
        return;
    }
    // Qt's geometry as near as logical pixels get, then the window exactly.
    const qreal r = devicePixelRatioF();
    setGeometry(qRound(ring.Left / r), qRound(ring.Top / r),
                static_cast<int>(std::ceil(ring.Width() / r)),
                static_cast<int>(std::ceil(ring.Height() / r)));
    FPlatform.PlaceWindow(id, ring);
    const int w = ring.Width();
    const int h = ring.Height();
    FPlatform.ShapeWindow(id,
                          {{0, 0, w, 1}, {0, h - 1, w, h}, {0, 1, 1, h - 1}, {w - 1, 1, w, h - 1}});
    if (wasEmpty)
        update();
}

void TFrmLine::Timer1Timer() {
    TWindowId target = FPlatform.WindowAt(FPlatform.PointerPosition());
    if (target != 0 && target == static_cast<TWindowId>(winId()))
        target = static_cast<TWindowId>(FMainWindow->winId());
    const std::optional<TRect> bounds = target != 0 ? FPlatform.WindowBounds(target) : std::nullopt;
    if (!bounds || bounds->Empty()) {
        // Over the bare desktop there is nothing to ring.
        PlaceRing({});
        return;
    }
    // One physical pixel outside the window's bounds.
    PlaceRing({bounds->Left - 1, bounds->Top - 1, bounds->Right + 1, bounds->Bottom + 1});
    if (Delay < 10) {
        ++Delay;
        return;
    }
    Delay = 0;
    FDrawDashes = true;
    repaint();
}

void TFrmLine::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    if (!FDrawDashes || FRing.Empty())
        return;
    FDrawDashes = false;
    // The dashes are drawn per physical pixel into a picture of the ring's own size, which
    // lands on the screen one to one whatever the scale factor.
    const int w = FRing.Width();
    const int h = FRing.Height();
    QImage ring(w, h, QImage::Format_RGB32);
    ring.fill(palette().color(QPalette::Window));
    ring.setDevicePixelRatio(devicePixelRatioF());
    // Clockwise from the top-left corner, every perimeter pixel once.
    const auto dash = [&](int x, int y) {
        ring.setPixel(x, y, NextDashIsWhite(FPattern) ? 0xFFFFFFFFu : 0xFF000000u);
    };
    for (int x = 0; x < w - 1; ++x)
        dash(x, 0);
    for (int y = 0; y < h - 1; ++y)
        dash(w - 1, y);
    for (int x = w - 1; x > 0; --x)
        dash(x, h - 1);
    for (int y = h - 1; y > -1; --y)
        dash(0, y);
    painter.drawImage(QPointF(0, 0), ring);
}

} // namespace quorvel
