// The floating windows of the capture controller: each capture sent to "floating" becomes
// a window of its own, kept in FloatList until it is deleted.

#include "app/FrmQuorvel.h"

#include "sinks/FrmFloating.h"
#include "support/MessageBox.h"
#include "support/Translate.h"
#include "ui_FrmQuorvel.h"

namespace quorvel {

void TFrmQuorvel::CaptureFloating(const QImage& Bitmap, const TRect& Rect) {
    TFrmFloating::THooks hooks;
    hooks.Delete = [this](TFrmFloating* window) { FloatDelete(window); };
    hooks.DeleteAll = [this] { FloatDelete(nullptr); };
    hooks.SavePath = [this] { return SavePath; };
    hooks.JpegQuality = [this] { return ui->ChkJPEG_qual->currentText(); };
    hooks.WebpQuality = [this] { return ui->ChkWebp_qual->currentText(); };
    hooks.SaveFailed = [this](const QString& reason) {
        ShowMessage(TranslatedCaption(),
                    TranslateText(QStringLiteral("캡쳐가 실패하였습니다.")) +
                        QStringLiteral("\r\r") + reason,
                    TMessageIcon::Error);
    };
    auto* window = new TFrmFloating(FPlatform, std::move(hooks));
    window->SetPicture(Bitmap);
    window->ShowAt(Rect);
    FloatList.append(window);
}

void TFrmQuorvel::FloatDelete(TFrmFloating* AForm) {
    for (qsizetype i = FloatList.size() - 1; i >= 0; --i) {
        TFrmFloating* window = FloatList[i].data();
        if (AForm != nullptr && window != AForm)
            continue;
        FloatList.removeAt(i);
        if (window != nullptr) {
            // Deleted from the event loop: the request may come from the window's own menu.
            window->hide();
            window->deleteLater();
        }
    }
}

} // namespace quorvel
