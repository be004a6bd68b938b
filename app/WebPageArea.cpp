// The web page area: its browser window opens when the area is chosen and closes when
// another is; closing it by hand returns to full screen.

#include "app/FrmQuorvel.h"
#include "capture/WebPageProcess.h"
#include "support/ApplicationTitle.h"
#include "support/MessageBox.h"
#include "support/Settings.h"
#include "support/Translate.h"
#include "ui_FrmQuorvel.h"

namespace quorvel {

void TFrmQuorvel::OpenWebPageWindow() {
    const auto closed = [this] {
        // Full screen, without running the area's change handling again.
        ui->ChkArea->setCurrentIndex(0);
        SaveConfig(QString::fromLatin1(Settings::Area.Name), 0);
        if (FrmIExplorer != nullptr)
            FrmIExplorer->deleteLater();
        FrmIExplorer = nullptr;
    };
    try {
        FrmIExplorer = new TWebPageProcess(TranslateText(ApplicationTitle()), this);
    } catch (const std::exception& e) {
        // Without the browser window the area cannot work: say why and stay at full screen.
        closed();
        ShowMessage(TranslatedCaption(), QString::fromUtf8(e.what()), TMessageIcon::Error);
        return;
    }
    FrmIExplorer->Closed = closed;
}

void TFrmQuorvel::CloseWebPageWindow() {
    if (FrmIExplorer == nullptr)
        return;
    // The window goes by itself; the area the user has just chosen stays.
    FrmIExplorer->Closed = nullptr;
    FrmIExplorer->Close();
    FrmIExplorer->deleteLater();
    FrmIExplorer = nullptr;
}

QImage TFrmQuorvel::WebPageCapture() {
    if (FrmIExplorer == nullptr)
        return {}; // no browser window, no page
    return FrmIExplorer->CaptureWebPage();
}

} // namespace quorvel
