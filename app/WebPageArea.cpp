// The web page area: its browser window opens when the area is chosen and closes when
// another is; closing it by hand returns to full screen.

#include "app/FrmQuorvel.h"
#include "capture/WebPageWindow.h"
#include "support/ApplicationTitle.h"
#include "support/MessageBox.h"
#include "support/Settings.h"
#include "support/Translate.h"
#include "ui_FrmQuorvel.h"

namespace quorvel {

void TFrmQuorvel::OpenWebPageWindow() {
    TWebPageHost host;
    host.Translate = [](const QString& text) { return TranslateText(text); };
    host.ApplicationTitle = ApplicationTitle();
    host.Closed = [this] {
        // Full screen, without running the area's change handling again.
        ui->ChkArea->setCurrentIndex(0);
        SaveConfig(QString::fromLatin1(Settings::Area.Name), 0);
    };
    try {
        FrmIExplorer = CreateWebPageWindow(host);
    } catch (const std::exception& e) {
        // Without the engine the area cannot work: say why and stay at full screen.
        host.Closed();
        ShowMessage(TranslatedCaption(), QString::fromUtf8(e.what()), TMessageIcon::Error);
        return;
    }
    FrmIExplorer->show();
}

void TFrmQuorvel::CloseWebPageWindow() {
    if (FrmIExplorer == nullptr)
        return;
    // Closing returns the list to full screen; the area the user has just chosen stays.
    const int chosen = ui->ChkArea->currentIndex();
    FrmIExplorer->close();
    FrmIExplorer = nullptr;
    ui->ChkArea->setCurrentIndex(chosen);
}

QImage TFrmQuorvel::WebPageCapture() {
    if (FrmIExplorer == nullptr)
        return {}; // no browser window, no page
    return FrmIExplorer->CaptureWebPage();
}

} // namespace quorvel
