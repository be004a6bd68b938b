#include "capture/FrmLine.h"

#include <QPainter>
#include <QRegion>

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
    Timer1.start();
}

void TFrmLine::hideEvent(QHideEvent* event) {
    Timer1.stop();
    QWidget::hideEvent(event);
}

void TFrmLine::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const QRect all = rect();
    setMask(QRegion(all).subtracted(QRegion(all.adjusted(1, 1, -1, -1))));
}

void TFrmLine::Timer1Timer() {
    TWindowId target = FPlatform.WindowAt(FPlatform.PointerPosition());
    if (target != 0 && target == static_cast<TWindowId>(winId()))
        target = static_cast<TWindowId>(FMainWindow->winId());
    const std::optional<TRect> bounds = target != 0 ? FPlatform.WindowBounds(target) : std::nullopt;
    if (!bounds || bounds->Empty()) {
        // Over the bare desktop there is nothing to ring.
        setWindowOpacity(0.0);
        return;
    }
    setWindowOpacity(1.0);
    const qreal ratio = devicePixelRatioF();
    const QRect ring(qRound((bounds->Left - 1) / ratio), qRound((bounds->Top - 1) / ratio),
                     qRound((bounds->Width() + 2) / ratio), qRound((bounds->Height() + 2) / ratio));
    if (geometry() != ring)
        setGeometry(ring);
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
    if (!FDrawDashes)
        return;
    FDrawDashes = false;
    const int w = width();
    const int h = height();
    // Clockwise from the top-left corner, every perimeter pixel once.
    const auto dash = [&](int x, int y) {
        painter.setPen(NextDashIsWhite(FPattern) ? Qt::white : Qt::black);
        painter.drawPoint(x, y);
    };
    for (int x = 0; x < w - 1; ++x)
        dash(x, 0);
    for (int y = 0; y < h - 1; ++y)
        dash(w - 1, y);
    for (int x = w - 1; x > 0; --x)
        dash(x, h - 1);
    for (int y = h - 1; y > -1; --y)
        dash(0, y);
}

} // namespace quorvel
