#pragma once

#include "capture/ScreenOverlay.h"
#include "capture/SelectionImage.h"
#include "platform/Platform.h"

#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <memory>

namespace quorvel {

// The drag selection: the whole desktop frozen the moment before the overlay appears,
// shown dimmed over every monitor with the rectangle being dragged at full brightness.
// Releasing the left button over a rectangle that is not empty makes its frozen pixels the
// capture; Escape, or another application becoming active, cancels. Where the desktop
// offers layer surfaces (Wayland), the overlay is one surface per monitor above everything,
// holding the keyboard, instead of a window.
class TFrmDrag : public QWidget {
    Q_OBJECT
public:
    TFrmDrag(QWidget* owner, TPlatform& platform);
    ~TFrmDrag() override;

    // Where the result goes: the selection's pixels and its screen rectangle, written when
    // a selection is made. The bitmap is made null when the user cancels.
    void Capture(QImage& Bitmap, TRect& Rect);
    // Freezes the desktop, shows the overlay and returns when it closes; true for a
    // selection, false when cancelled.
    bool Run();

    // The normalised rectangle of two points, right and bottom exclusive.
    static QRect Normalised(QPoint a, QPoint b);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QPoint PointerInOverlay(const QMouseEvent* event) const;
    // The selection's steps, at points of the overlay's picture.
    void Press(QPoint at);
    void Move(QPoint at);
    void Release(QPoint at);
    void DrawSelection();
    void LayerPointer(const TSurfacePointer& e);
    void Cancel();
    void Finish(bool selected);
    void TmrActiveTimer();
    void GrabKeys();

    TPlatform& FPlatform;
    std::unique_ptr<TSelectionImage> FImage;
    TRect FOverlay;
    QPoint FStartPoint;
    QPoint FEndPoint;
    bool FSelecting = false;
    QRect FCaptureRect;
    QImage* FBitmap = nullptr;
    TRect* FRect = nullptr;
    QTimer TmrActive;
    TWindowId FActiveAtStart = 0;
    QEventLoop FLoop;
    bool FSelected = false;
    bool FKeysGrabbed = false;
    bool FFinished = false;
    // The overlay's surfaces, where the desktop shows them instead of this window.
    std::unique_ptr<TScreenOverlay> FLayers;
};

} // namespace quorvel
