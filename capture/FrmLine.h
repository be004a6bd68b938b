#pragma once

#include "platform/Platform.h"

#include <QTimer>
#include <QWidget>
#include <cstdint>

namespace quorvel {

// The window picker's ring: a one-pixel dashed black-and-white ring one pixel outside the
// bounds of the window under the pointer, following it every 10 ms, so the user sees what
// a window-control capture would take. Only the ring itself is part of the window: the
// pointer and clicks pass through its inside to the window below.
class TFrmLine : public QWidget {
    Q_OBJECT
public:
    // `mainWindow` is rung instead when the pointer is on the ring itself.
    TFrmLine(QWidget* mainWindow, TPlatform& platform);

    // One tick: follow the pointer; every eleventh tick draw the dashes.
    void Timer1Timer();

    // The colour of the next perimeter pixel: the pattern byte moves one bit left (back to
    // 1 after the top bit), and the pixel is white while one of its three top bits is set.
    static bool NextDashIsWhite(std::uint8_t& pattern);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // Puts the ring, one physical pixel wide, around `ring`'s inside; an empty rectangle
    // leaves nothing of the window on screen.
    void PlaceRing(const TRect& ring);

    TPlatform& FPlatform;
    TRect FRing;
    QWidget* FMainWindow;
    QTimer Timer1;
    int Delay = 0;
    bool FDrawDashes = false;
    std::uint8_t FPattern = 0;
};

} // namespace quorvel
