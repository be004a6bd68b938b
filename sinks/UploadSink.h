#pragma once

#include <QImage>
#include <QString>

namespace quorvel {

// The upload destination: shows the progress bar, uploads the capture to the server of
// the setting "upload_host" while the interface stays responsive, then opens the returned
// address in the desktop's browser or tells the user that the upload failed. Caption is
// the translated caption of the main window.
void CaptureUpload(const QImage& Bitmap, const QString& UploadHost, const QString& Caption);

} // namespace quorvel
