#pragma once

#include "platform/Platform.h"
#include "sinks/DarkenColor.h"

#include <QTimer>
#include <QWidget>
#include <functional>

class QAction;
class QFrame;
class QLabel;
class QMenu;

namespace quorvel {

class TFrmSize;
class TLayerMenu;

// The region frame: a dark-red header and a 6-pixel pulsing red border around a hole
// through which the screen stays visible and clickable. The hole is the capture
// rectangle. The header moves the frame, the border resizes it, the keyboard does both;
// the header's popup offers the presets and the size dialog. Geometry is kept in
// physical pixels, placed and shaped through the platform so that a scale factor never
// rounds it, and stored at every change.
class TFrmArea : public QWidget {
    Q_OBJECT
public:
    struct THooks {
        std::function<bool()> IsRecording;
        std::function<void()> RecordStop;
        // The close button: full screen becomes the capture area.
        std::function<void()> CloseButton;
        // Enter on a frame shown as a desktop layer surface: capture now (there is no
        // global key on such desktops).
        std::function<void()> Capture;
    };

    TFrmArea(TFrmSize* size, TPlatform& platform, THooks hooks);
    ~TFrmArea() override;

    // The hole, in physical screen pixels.
    TRect GetRect() const;
    // The hole's size; a preset number 1 to 3 also names that popup entry after the size.
    void SetSize(int AWidth, int AHeight, int SizeNo);
    // The frame's outer top-left corner, in physical pixels.
    void SetMove(int ALeft, int ATop);

    static constexpr int Border = 6;
    static constexpr int HeaderHeight = 25;

    QLabel* LvlRecTime = nullptr;
    QMenu* PopSize = nullptr;
    QAction *PopSize_1 = nullptr, *PopSize_2 = nullptr, *PopSize_3 = nullptr, *PopConfig = nullptr,
            *PopClose = nullptr;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    qreal Ratio() const;
    // Outer frame and header, in physical pixels.
    int OuterLeft() const { return FBounds.Left; }
    int OuterTop() const { return FBounds.Top; }
    int OuterWidth() const { return FBounds.Width(); }
    int OuterHeight() const { return FBounds.Height(); }
    int HeaderPixels() const;
    // Puts the window where FBounds says and runs the resize handler.
    void ApplyBounds();
    // The header, the border and the hole follow the frame's size.
    void FormResize();
    // Takes a move or resize the window manager made (the header drag, the border).
    void AdoptWindowGeometry();
    void LoadBounds();
    void SaveBounds();
    void LoadCloseIcon();
    void LayOutHeader();
    void TmrColorTimer();
    void BtnCloseClick();
    void NameEntry(QAction* entry, int width, int height);
    // Where our windows cannot be placed or kept on top (wlroots compositors), the frame
    // is a layer surface of the desktop showing a picture of this widget, which Qt keeps
    // off the screen; the surface's pointer and keys drive the same moves as the window's.
    void RenderLayer();
    void LayerPointer(const TSurfacePointer& e);
    void LayerKey(const TSurfaceKey& k);
    // The header drag or else the border resize, by the pointer's way since the press.
    void DragBy(TPoint way);
    void ResizeBy(TPoint way);

    TFrmSize* FSize;
    TPlatform& FPlatform;
    THooks FHooks;
    QFrame* PnlHead = nullptr;
    QFrame* PnlSize = nullptr;
    QFrame* PnlRec = nullptr;
    QFrame* PnlClose = nullptr;
    QLabel* LblSize = nullptr;
    QLabel* BtnClose = nullptr;
    QTimer TmrColor;
    TColorRef AreaColor = 255;
    int AreaColor_Percent = 0;
    bool AreaColor_Inc = true;
    bool FLoading = false;
    bool FApplying = false;
    // The frame's own move (header) and resize (border) loops, in physical pixels, while a
    // button pressed on it is held: a click alone moves nothing and leaves nothing running.
    bool FPendingMove = false;
    Qt::Edges FPendingEdges;
    QPointF FPressAt;
    TRect FPressBounds;
    TPoint WaySincePress(const QPointF& now) const;
    TRect FBounds;
    std::unique_ptr<TLayerSurface> FLayer;
    std::unique_ptr<TLayerMenu> FLayerMenu;
    TPoint FLayerPressAt;
};

} // namespace quorvel
