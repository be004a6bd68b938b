// The floating windows the main window keeps: creation for a capture, and destruction on
// request of a window's own menu or with the main window.

#include "app/FrmQuorvel.h"

#include "sinks/FrmFloating.h"
#include "ui_FrmQuorvel.h"

#include <QPointer>
#include <memory>

namespace quorvel {

void TFrmQuorvel::CaptureFloating(const QImage& Bitmap, const TRect& Rect) {
    TFloatingOwner owner;
    owner.SavePath = [this] { return SavePath; };
    owner.JpegQuality = [this] { return ui->ChkJPEG_qual->currentText(); };
    owner.WebpQuality = [this] { return ui->ChkWebp_qual->currentText(); };
    owner.ShowFailure = [this](const QString& reason) { ShowCaptureFailed(reason); };
    // A window asks from inside its own menu command; it is destroyed once that command
    // has returned. A window gone by then (deleted with all the others) is not asked for
    // again, and never stands for "all".
    owner.FloatDelete = [this](TFrmFloating* form) {
        QPointer<TFrmFloating> target(form);
        const bool all = form == nullptr;
        QMetaObject::invokeMethod(
            this,
            [this, target, all] {
                if (all)
                    FloatDelete(nullptr);
                else if (target)
                    FloatDelete(target.data());
            },
            Qt::QueuedConnection);
    };
    auto form = std::make_unique<TFrmFloating>(FPlatform, std::move(owner));
    form->SetPicture(Bitmap);
    FloatList.reserve(FloatList.size() + 1);
    form->ShowAt(Rect);
    FloatList.push_back(form.release());
}

void TFrmQuorvel::FloatDelete(TFrmFloating* AForm) {
    for (auto i = FloatList.size(); i-- > 0;) {
        TFrmFloating* form = FloatList[i];
        if (AForm != nullptr && form != AForm)
            continue;
        FloatList.erase(FloatList.begin() + static_cast<std::ptrdiff_t>(i));
        delete form;
    }
}

} // namespace quorvel
