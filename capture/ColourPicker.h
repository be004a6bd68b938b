#pragma once

#include "platform/Platform.h"

#include <QColor>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <optional>
#include <string>

class QFrame;
class QLabel;
class QListWidget;
class QMenu;
class QAction;

namespace quorvel {

// The code of a colour: six upper-case hexadecimal digits, red, green and blue (RRGGBB).
std::string ColourCode(std::uint8_t red, std::uint8_t green, std::uint8_t blue);
// The colour of a code as 0xRRGGBB; none when it is not six hexadecimal digits.
std::optional<std::uint32_t> ColourOfCode(const std::string& code);

// The colour picker on the main window's colour card: samples the pixel under the pointer
// every 100 ms while the card shows, and each capture puts the colour shown at the top of
// the list and on the clipboard. The list's popup copies or deletes an entry.
class TColourPicker : public QObject {
    Q_OBJECT
public:
    TColourPicker(TPlatform& platform, QLabel* LblColor, QFrame* ShpColor, QListWidget* LstColor,
                  QObject* parent = nullptr);

    // Starts or stops the sampling timer.
    void SetSampling(bool on);
    bool Sampling() const { return TmrColor.isActive(); }

    void TmrColorTimer();
    // Puts the colour shown at the top of the list and on the clipboard. Where the desktop
    // does not tell where the pointer is, the user first clicks the pixel on the frozen
    // desktop (Escape takes nothing).
    void CaptureColor();
    // Shows a colour in the readout and the swatch.
    void ShowColour(QRgb pixel);
    void N5Click();
    void N7Click();

    QTimer TmrColor;
    QMenu* Pick = nullptr;
    QAction* N5 = nullptr;
    QAction* N7 = nullptr;

private:
    TPlatform& FPlatform;
    QLabel* FLabel;
    QFrame* FSwatch;
    QListWidget* FList;
};

} // namespace quorvel
