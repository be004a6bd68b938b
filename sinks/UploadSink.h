#pragma once

#include <QImage>
#include <QString>

namespace quorvel {

// The upload destination: shows the progress bar, uploads the capture to the server of
// the setting "upload_host" (with the key of "upload_key", when set) while the interface
// stays responsive, then opens the returned address in the desktop's browser or tells the
// user that the upload failed. Caption is the translated caption of the main window. When
// the program quits meanwhile, the upload ends at once and nothing is shown.
void CaptureUpload(const QImage& Bitmap, const QString& UploadHost, const QString& UploadKey,
                   const QString& Caption);

} // namespace quorvel
