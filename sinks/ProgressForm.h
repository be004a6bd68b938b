#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>
#include <memory>

class QLabel;
class QProgressBar;

namespace quorvel {

class TLayerSurface;

// A thin translucent bar across the bottom of the primary screen with a gauge and one line
// of text, shown while a capture is uploaded. Clicks pass through it to the windows below,
// it takes no focus and has no taskbar entry. Where the desktop reserves a panel along the
// bottom it sits right above that panel. On a Wayland desktop with a layer shell, where no
// window of ours can be placed, it is a surface of the desktop's overlay layer along the
// bottom of the screen, drawn from this widget.
class TProgressForm : public QWidget {
    Q_OBJECT
public:
    explicit TProgressForm(const QString& Text);
    ~TProgressForm() override;

    // The gauge: maximum the total, position the bytes sent.
    void SetProgress(std::int32_t Sent, std::int32_t Total);
    QProgressBar* Gauge() const { return FGauge; }
    QLabel* Label() const { return FLabel; }

private:
    // Shows the widget's picture, translucent, on the layer surface.
    void RenderLayer();

    std::unique_ptr<TLayerSurface> FLayer;
    QProgressBar* FGauge;
    QLabel* FLabel;
};

} // namespace quorvel
