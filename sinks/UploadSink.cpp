#include "sinks/UploadSink.h"

#include "sinks/ProgressForm.h"
#include "sinks/Upload.h"
#include "support/MessageBox.h"
#include "support/Thread.h"
#include "support/Translate.h"

#include <QDesktopServices>
#include <QUrl>

namespace quorvel {

namespace {

void ShowUploadFailed(const QString& Caption, const QString& Reason = {}) {
    QString text = TranslateText(QStringLiteral("이미지 업로드를 실패하였습니다."));
    if (!Reason.isEmpty())
        text += QStringLiteral("\r\r") + Reason;
    ShowMessage(Caption, text, TMessageIcon::Error);
}

} // namespace

void CaptureUpload(const QImage& Bitmap, const QString& UploadHost, const QString& UploadKey,
                   const QString& Caption) {
    // Nothing leaves the machine until the user has named a server.
    if (UploadHost.trimmed().isEmpty()) {
        ShowUploadFailed(Caption,
                         TranslateText(QStringLiteral("업로드 서버가 설정되지 않았습니다.")));
        return;
    }
    const auto server = ParseUploadHost(UploadHost.trimmed().toStdString());
    if (!server) {
        ShowUploadFailed(Caption,
                         TranslateText(QStringLiteral("업로드 서버 주소가 올바르지 않습니다.")) +
                             QStringLiteral(" (") + UploadHost + QStringLiteral(")"));
        return;
    }

    TProgressForm form(TranslateText(QStringLiteral("업로드 중입니다.")));
    std::string address;
    std::atomic<bool> quitting{false};
    TUploadOptions options;
    options.Key = UploadKey.toStdString();
    options.Stop = &quitting;
    Wait(
        [&] {
            address = UploadToPicvault(
                Bitmap, *server,
                [&form](std::int32_t sent, std::int32_t total) {
                    QMetaObject::invokeMethod(
                        &form, [&form, sent, total] { form.SetProgress(sent, total); },
                        Qt::QueuedConnection);
                },
                options);
        },
        [&quitting] { quitting = true; });
    if (quitting)
        return;
    if (!address.empty())
        QDesktopServices::openUrl(QUrl(QString::fromStdString(address)));
    else
        ShowUploadFailed(Caption);
}

} // namespace quorvel
