#pragma once

#include "platform/Platform.h"

#include <QImage>
#include <QWidget>
#include <functional>

class QAction;
class QMenu;

namespace quorvel {

class TFrmFloating;
class TLayerMenu;

// What a floating window needs of the main window that keeps it.
struct TFloatingOwner {
    // The folder the save dialog opens in.
    std::function<QString()> SavePath;
    // The texts of the main window's JPG and WebP quality lists.
    std::function<QString()> JpegQuality;
    std::function<QString()> WebpQuality;
    // Asks for the given floating window, or every one for none, to be destroyed once the
    // handling of the current event has returned.
    std::function<void(TFrmFloating*)> FloatDelete;
    // Shows a failed save as a failed capture, with the error's text.
    std::function<void(const QString&)> ShowFailure;
};

// A capture pinned on the screen: a borderless window above the others, without a taskbar
// or pager entry and without an owner, that shows its own copy of the picture at its
// natural size from the top-left corner. The picture drags the window; its right-click
// menu saves the picture, deletes this window, or deletes every floating window.
class TFrmFloating final : public QWidget {
    Q_OBJECT
public:
    TFrmFloating(TPlatform& platform, TFloatingOwner owner);
    ~TFrmFloating() override;

    // Takes a copy of the picture.
    void SetPicture(const QImage& picture);
    const QImage& Picture() const { return FPicture; }
    // Shows the window and places it so that the picture covers the rectangle exactly, in
    // physical pixels.
    void ShowAt(const TRect& rect);

    QMenu* Popup = nullptr;
    QAction* BtnSave = nullptr;
    QAction* DivPop1 = nullptr;
    QAction* BtnDelete = nullptr;
    QAction* BtnDeleteAll = nullptr;

protected:
    QPaintEngine* paintEngine() const override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // Where the desktop neither places nor raises our windows (wlroots compositors) the
    // picture floats as a top-layer surface of the desktop instead, which Qt's window
    // never shows; its pointer drags it and opens the menu.
    void LayerPointer(const TSurfacePointer& e);
    void ImageMouseMove(QMouseEvent* event);
    void BtnSaveClick();
    void BtnDeleteClick();
    void BtnDeleteAllClick();

    TPlatform& FPlatform;
    TFloatingOwner FOwner;
    QImage FPicture;
    // The picture goes straight into the window, without the toolkit's window buffer, so
    // that a floating window costs the memory of its picture and little more.
    bool FDirect = false;
    // A press of the left button on the picture: where it went down and where the window
    // stood then, in physical pixels.
    bool FPressed = false;
    bool FMoving = false;
    bool FOwnMove = false;
    TPoint FPressAt;
    TRect FPressPlace;
    TRect FPlace;
    std::unique_ptr<TLayerSurface> FLayer;
    std::unique_ptr<TLayerMenu> FLayerMenu;
};

} // namespace quorvel
