// Text recognition as a capture destination: the picture goes to the OCR component, and
// its completion writes the recognised lines to a TXT file in the save folder.

#include "app/FileNaming.h"
#include "app/FrmQuorvel.h"

#include "ocr/RtOcr.h"
#include "ocr/TextFileBytes.h"
#include "ocr/TextSize.h"
#include "sinks/SafeFile.h"
#include "ui_FrmQuorvel.h"

#include <QMetaObject>
#include <algorithm>
#include <limits>
#include <memory>
#include <stdexcept>

namespace quorvel {

namespace {

// What the completion needs of the options, taken on the user-interface thread when the
// capture starts: the completion runs on the OCR worker and must not read the window.
struct TOcrJob {
    std::string SavePath;
    TNameMode Mode = TNameMode::DateTime;
    bool SoundAfter = false;
};

} // namespace

void TFrmQuorvel::ResizeBitmap(QImage& Bitmap, int NewWidth, int NewHeight) {
    QImage scaled =
        Bitmap.scaled(NewWidth, NewHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (scaled.isNull())
        throw std::runtime_error("Not enough memory to enlarge the picture.");
    Bitmap = std::move(scaled);
}

double TFrmQuorvel::OcrEnlargement(const QImage& Bitmap, const QString& Script) {
    // Small type is enlarged up to three times; type large enough already is read as it is,
    // since enlarged it blurs into the wrong letters ("s" and "c" read as capitals).
    const QImage grey = Bitmap.convertToFormat(QImage::Format_Grayscale8);
    const double wanted = rtocr::EnlargementForLineHeight(
        rtocr::TypicalLineHeight(grey.constBits(), grey.width(), grey.height(),
                                 grey.bytesPerLine()),
        Script.toStdString());
    // As far as the engine's largest picture allows: a wide desktop of several monitors is
    // enlarged less rather than refused.
    const double largest = static_cast<double>(rtocr::TRtOcr::MaxImageDimension());
    return std::min(
        {wanted, largest / std::max(1, Bitmap.width()), largest / std::max(1, Bitmap.height())});
}

void TFrmQuorvel::CaptureOcr(QImage Bitmap) {
    if (Languages.empty())
        throw rtocr::ERtOcrError("Language not available");
    // A stored position beyond the list recognises in the first language.
    int position = ui->ChkOCR_lang->currentIndex();
    if (position < 0 || position >= static_cast<int>(Languages.size()))
        position = 0;
    const rtocr::TLanguage& language = Languages[static_cast<std::size_t>(position)];

    const double factor = OcrEnlargement(Bitmap, language.Script);
    if (factor > 1.0)
        ResizeBitmap(Bitmap, static_cast<int>(Bitmap.width() * factor),
                     static_cast<int>(Bitmap.height() * factor));
    RtOcr->SetPicture(Bitmap);
    Bitmap = QImage();

    auto job = std::make_unique<TOcrJob>();
    MakeDefaultSaveFolder(); // as for pictures; the file is named when the text is ready
    job->SavePath = SavePath.toStdString();
    job->Mode = ChkAppend1->isChecked()   ? TNameMode::Sequential1
                : ChkAppend3->isChecked() ? TNameMode::Sequential2
                                          : TNameMode::DateTime;
    job->SoundAfter = ChkSound3->isChecked();
    RtOcr->Recognize(language, job.get(), 0, 0, 0, 0);
    job.release(); // the completion owns it now
    // The picture is not needed once the component has its copy.
    RtOcr->SetPicture(QImage());
}

void TFrmQuorvel::BitmapToTXTFileCompleted(rtocr::TRtOcr* /*Sender*/, const rtocr::TResult& Result,
                                           void* CustomData) {
    const std::unique_ptr<TOcrJob> job(static_cast<TOcrJob*>(CustomData));
    QString failure;
    if (Result.Status != rtocr::stCompleted) {
        failure = QStringLiteral("OCR failed.");
    } else {
        try {
            std::vector<std::string> lines;
            lines.reserve(Result.Lines.size());
            for (const rtocr::TLine& line : Result.Lines)
                lines.push_back(line.Text.toStdString());
            const std::string bytes = TextFileBytes(lines);
            const std::string path =
                quorvel::NewFilename(job ? job->SavePath : std::string(),
                                     job ? job->Mode : TNameMode::DateTime, "txt", LocalTimeNow());
            WriteWholeFile(path, bytes.data(), bytes.size());
        } catch (const std::exception& e) {
            failure = QString::fromUtf8(e.what());
        }
    }
    const bool sound = job && job->SoundAfter;
    // The message box, the sound and the state belong to the user-interface thread. The
    // state is reset there after the file has been written and the message dismissed, so
    // no capture request slips in between.
    QMetaObject::invokeMethod(
        this,
        [this, failure, sound] {
            if (!failure.isEmpty())
                ShowCaptureFailed(failure);
            else if (sound)
                FSound.Play();
            FStatus = stIdle;
        },
        Qt::QueuedConnection);
}

} // namespace quorvel
