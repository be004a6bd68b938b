#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>

class QLabel;
class QProgressBar;

namespace quorvel {

// A thin translucent bar across the bottom of the primary screen with a gauge and one line
// of text, shown while a capture is uploaded. Clicks pass through it to the windows below,
// it takes no focus and has no taskbar entry. Where the desktop reserves a panel along the
// bottom it sits right above that panel.
class TProgressForm : public QWidget {
    Q_OBJECT
public:
    explicit TProgressForm(const QString& Text);

    // The gauge: maximum the total, position the bytes sent.
    void SetProgress(std::int32_t Sent, std::int32_t Total);
    QProgressBar* Gauge() const { return FGauge; }
    QLabel* Label() const { return FLabel; }

private:
    QProgressBar* FGauge;
    QLabel* FLabel;
};

} // namespace quorvel
