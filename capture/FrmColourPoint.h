#pragma once

#include "platform/Platform.h"

#include <QEventLoop>
#include <QImage>
#include <QWidget>
#include <optional>

namespace quorvel {

// The colour picker's pointer where the desktop does not tell programs where the pointer
// is (Wayland): the desktop frozen full screen, and the pixel clicked is the colour. Escape
// cancels. The window's own pointer events say where the click was; where the desktop
// offers layer surfaces, the frozen desktop is shown on every monitor by those instead.
class TFrmColourPoint : public QWidget {
public:
    TFrmColourPoint(QWidget* owner, TPlatform& platform);

    // Shows the frozen desktop until a click or Escape: the clicked pixel's colour, none
    // when cancelled.
    std::optional<QRgb> Run();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Pick(QPoint at);

    TPlatform& FPlatform;
    QImage FScreen;
    QEventLoop FLoop;
    std::optional<QRgb> FColour;
};

} // namespace quorvel
