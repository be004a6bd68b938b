#pragma once

#include "platform/Platform.h"

#include <QImage>
#include <QPoint>
#include <QString>
#include <QWidget>
#include <functional>

class QAction;
class QMenu;

namespace quorvel {

// A capture pinned on the screen: a borderless window above the others, out of the
// taskbar, owned by no window, showing its own copy of the picture at its natural size
// exactly over the place it was taken from. The picture drags the window; its popup saves
// the picture in one of the five image formats or deletes this or every floating window.
class TFrmFloating : public QWidget {
    Q_OBJECT
public:
    struct THooks {
        // Removal of this window (after its own handling has returned), or of them all.
        std::function<void(TFrmFloating*)> Delete;
        std::function<void()> DeleteAll;
        // The main window's save folder and its current JPG and WebP quality texts.
        std::function<QString()> SavePath;
        std::function<QString()> JpegQuality;
        std::function<QString()> WebpQuality;
        // A save that failed: the reason, for the capture-failed message.
        std::function<void(const QString&)> SaveFailed;
    };

    TFrmFloating(TPlatform& platform, THooks hooks);

    // Takes a copy of the picture.
    void SetPicture(const QImage& picture);
    const QImage& Picture() const { return FPicture; }
    // Shows the window with its picture over this screen rectangle (physical pixels).
    void ShowAt(const TRect& bounds);

    // Writes the picture as the file type at this position of the save dialog's list
    // (1 PNG, 2 JPG, 3 GIF, 4 BMP, 5 WebP); raises the writer's error.
    void SavePicture(const QString& path, int fileType);

    QMenu* Popup = nullptr;
    QAction *BtnSave = nullptr, *BtnDelete = nullptr, *BtnDeleteAll = nullptr;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void BtnSaveClick();
    // Keeps the window at its exact size, and its place unless the user moved it.
    void KeepPlacement();

    TPlatform& FPlatform;
    THooks FHooks;
    QImage FPicture;
    TRect FBounds;
    // The window's own move loop, where the window manager offers none.
    bool FMoving = false;
    QPoint FMoveStart;
    QPoint FWindowStart;
};

} // namespace quorvel
