#pragma once

#include "platform/Platform.h"

#include <QDialog>
#include <cstdint>
#include <functional>
#include <memory>

namespace Ui {
class TFrmHotKey;
}

namespace quorvel {

// The command that makes the running program capture, for a desktop's own key bindings
// where the program cannot take a global key itself.
inline constexpr const char* kCaptureCommand = R"(quorvelctl '{"command":"capture"}')";

// The capture hotkey and its dialog. Created hidden with the main window, it holds the
// hotkey for the whole run and starts a capture on every press. Shown from the menu, it
// lets the user pick the key and the Shift, Ctrl and Alt modifiers.
class TFrmHotKey : public QDialog {
    Q_OBJECT
public:
    TFrmHotKey(QWidget* owner, TPlatform& platform, std::function<void()> onHotKey);
    ~TFrmHotKey() override;

    // Registers the stored hotkey. When another program holds it, says so and opens the
    // dialog modally so that the user can choose another key. On a desktop that lets
    // programs take no global key, says so once, with the command to bind instead.
    void FormCreate();

    std::uint16_t LoadHotKey();
    std::uint16_t GetShortCut() const;
    void SaveHotKey();
    bool RegisterCaptureHotKey(std::uint16_t ShortCut);

    Ui::TFrmHotKey* Controls() const { return ui.get(); }

private:
    void BtnYesClick();
    void BtnNoClick();
    QString Caption() const;
    // The message that this desktop gives programs no global key, with the command to bind.
    void ShowKeyCommand();

    std::unique_ptr<Ui::TFrmHotKey> ui;
    std::unique_ptr<THotKey> FHotKey;
    std::uint8_t FLoadedKey = 0;
    bool FGlobalKey = true; // the desktop lets programs take a global key
};

} // namespace quorvel
