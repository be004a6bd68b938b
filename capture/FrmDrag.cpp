#include "capture/FrmDrag.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWindow>
#include <cstdlib>

namespace quorvel {

TFrmDrag::TFrmDrag(QWidget* owner, TPlatform& platform)
    : QWidget(owner, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                         Qt::X11BypassWindowManagerHint),
      FPlatform(platform) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setCursor(Qt::CrossCursor);
    setMouseTracking(true);
    TmrActive.setInterval(100);
    connect(&TmrActive, &QTimer::timeout, this, [this] { TmrActiveTimer(); });
}

TFrmDrag::~TFrmDrag() = default;

void TFrmDrag::Capture(QImage& Bitmap, TRect& Rect) {
    Bitmap = QImage();
    FBitmap = &Bitmap;
    FRect = &Rect;
}

QRect TFrmDrag::Normalised(QPoint a, QPoint b) {
    return QRect(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
                 QPoint(std::max(a.x(), b.x()) - 1, std::max(a.y(), b.y()) - 1));
}

bool TFrmDrag::Run() {
    // The desktop is read once, before the overlay is on screen, so that neither the
    // overlay nor the cursor can be in it.
    FOverlay = FPlatform.ScreenRect();
    FImage = std::make_unique<TSelectionImage>(FPlatform.GrabScreen(FOverlay));
    FLayers = std::make_unique<TScreenOverlay>(
        FPlatform, FImage->Displayed(), FOverlay,
        TLayerSurface::THandlers{[this](const TSurfacePointer& e) { LayerPointer(e); },
                                 [this](const TSurfaceKey& k) {
                                     if (k.Key == TSurfaceKey::Escape)
                                         Cancel();
                                 }});
    if (FLayers->Show()) {
        FLoop.exec();
        FLayers.reset();
        return FSelected;
    }
    FLayers.reset();
    FActiveAtStart = FPlatform.ActiveWindow();
    const qreal ratio = devicePixelRatioF();
    setGeometry(QRect(qRound(FOverlay.Left / ratio), qRound(FOverlay.Top / ratio),
                      qRound(FOverlay.Width() / ratio), qRound(FOverlay.Height() / ratio)));
    // A desktop that places no window where a program asks (Wayland) still gives a
    // full-screen window the whole output.
    if (FPlatform.Capabilities().PlaceWindows)
        show();
    else
        showFullScreen();
    raise();
    activateWindow();
    GrabKeys();
    TmrActive.start();
    FLoop.exec();
    TmrActive.stop();
    releaseKeyboard();
    hide();
    return FSelected;
}

QPoint TFrmDrag::PointerInOverlay(const QMouseEvent* event) const {
    // Where the event happened, in physical pixels. Under a scale factor Qt's position is
    // coarser than a pixel; the server's pointer position is exact, and is taken when it
    // agrees with the event (the pointer has not moved on since) and the server tells it
    // without disturbing anything.
    const qreal ratio = devicePixelRatioF();
    const QPointF global = event->globalPosition() * ratio;
    QPoint p(qRound(global.x()), qRound(global.y()));
    if (ratio != 1.0 && FPlatform.Capabilities().KnowPointer) {
        const TPoint exact = FPlatform.PointerPosition();
        if (std::abs(exact.X - p.x()) < ratio && std::abs(exact.Y - p.y()) < ratio)
            p = {exact.X, exact.Y};
    }
    return {p.x() - FOverlay.Left, p.y() - FOverlay.Top};
}

void TFrmDrag::LayerPointer(const TSurfacePointer& e) {
    const QPoint at = FLayers->PictureAt(e.Position);
    if (e.Kind == TSurfacePointer::Press && e.Button == 1)
        Press(at);
    else if (e.Kind == TSurfacePointer::Motion)
        Move(at);
    else if (e.Kind == TSurfacePointer::Release && e.Button == 1)
        Release(at);
}

void TFrmDrag::DrawSelection() {
    const QRegion changed = FImage->SetSelection(FCaptureRect);
    if (FLayers != nullptr) {
        FLayers->Update(changed);
        return;
    }
    const qreal ratio = devicePixelRatioF();
    for (const QRect& r : changed)
        update(QRect(QPoint(static_cast<int>(r.left() / ratio), static_cast<int>(r.top() / ratio)),
                     QPoint(static_cast<int>((r.right() + 1) / ratio) + 1,
                            static_cast<int>((r.bottom() + 1) / ratio) + 1)));
}

void TFrmDrag::paintEvent(QPaintEvent* event) {
    if (!FImage)
        return;
    QPainter painter(this);
    QImage shown = FImage->Displayed();
    shown.setDevicePixelRatio(devicePixelRatioF());
    for (const QRect& r : event->region())
        painter.drawImage(
            r, shown,
            QRectF(r.left() * shown.devicePixelRatio(), r.top() * shown.devicePixelRatio(),
                   r.width() * shown.devicePixelRatio(), r.height() * shown.devicePixelRatio()));
}

void TFrmDrag::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        Press(PointerInOverlay(event));
}

void TFrmDrag::mouseMoveEvent(QMouseEvent* event) {
    Move(PointerInOverlay(event));
}

void TFrmDrag::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        Release(PointerInOverlay(event));
}

void TFrmDrag::Press(QPoint at) {
    if (FFinished)
        return;
    FSelecting = true;
    FStartPoint = FEndPoint = at;
}

void TFrmDrag::Move(QPoint at) {
    if (!FSelecting || FFinished)
        return;
    FEndPoint = at;
    FCaptureRect = Normalised(FStartPoint, FEndPoint);
    DrawSelection();
}

void TFrmDrag::Release(QPoint at) {
    if (!FSelecting || FFinished)
        return;
    FSelecting = false;
    FEndPoint = at;
    FCaptureRect = Normalised(FStartPoint, FEndPoint);
    DrawSelection();
    const QRect selection = FImage->Selection();
    if (selection.isEmpty())
        return; // a click or a line selects nothing; another drag may follow
    if (FBitmap != nullptr)
        *FBitmap = FImage->Screen().copy(selection);
    if (FRect != nullptr)
        *FRect = {FOverlay.Left + selection.left(), FOverlay.Top + selection.top(),
                  FOverlay.Left + selection.left() + selection.width(),
                  FOverlay.Top + selection.top() + selection.height()};
    Finish(true);
}

void TFrmDrag::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        Cancel();
    }
}

void TFrmDrag::Cancel() {
    if (FFinished)
        return;
    if (FBitmap != nullptr)
        *FBitmap = QImage();
    Finish(false);
}

void TFrmDrag::Finish(bool selected) {
    // The first ending counts: events already queued behind it (a button released right
    // after Escape, say) must not turn a cancelled selection into a capture.
    if (FFinished)
        return;
    FFinished = true;
    FSelected = selected;
    FLoop.quit();
}

// Another application taking the focus ends the selection; while none does, the overlay
// stays above everything.
void TFrmDrag::TmrActiveTimer() {
    const TWindowId active = FPlatform.ActiveWindow();
    if (active != FActiveAtStart && active != 0 && active != static_cast<TWindowId>(winId())) {
        Cancel();
        return;
    }
    raise();
    if (!FKeysGrabbed)
        GrabKeys();
}

// The overlay is above the window manager and never gets the focus from it: Escape reaches
// it only through a keyboard grab. Another client may hold the keyboard for a moment (the
// window manager while it handles a key, say), so a refused grab is tried again.
void TFrmDrag::GrabKeys() {
    grabKeyboard();
    QWindow* window = windowHandle();
    FKeysGrabbed = window != nullptr && window->setKeyboardGrabEnabled(true);
}

} // namespace quorvel
