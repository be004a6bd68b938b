#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TFrmSize;
}

namespace quorvel {

class TFrmArea;

// The region size dialog: the frame's current inner size and three custom presets, each
// with its own Apply. Values are held between 64 and 9999.
class TFrmSize : public QDialog {
    Q_OBJECT
public:
    explicit TFrmSize(QWidget* owner);
    ~TFrmSize() override;

    void SetArea(TFrmArea* area) { FArea = area; }
    void LoadPresets();
    void SavePresets();

    Ui::TFrmSize* Controls() const { return ui.get(); }

signals:
    // The dialog has gone off the screen, however it was closed.
    void Hidden();

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void Apply(int preset);

    std::unique_ptr<Ui::TFrmSize> ui;
    TFrmArea* FArea = nullptr;
};

} // namespace quorvel
