#include "sinks/Clipboard.h"

#include "sinks/PngWriter.h"
#include "sinks/WaylandClipboard.h"

#include "support/ApplicationTitle.h"
#include "support/MessageBox.h"
#include "support/Translate.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <cstdint>
#include <vector>

namespace quorvel {

namespace {

void ReportBusyClipboard() {
    ShowMessage(TranslateText(ApplicationTitle()),
                TranslateText(QStringLiteral("클립보드 사용을 방지하는 프로그램이 실행중입니다.")),
                TMessageIcon::Information);
}

// Hands the data to the clipboard and checks that this program now owns it.
void Put(QMimeData* data) {
    try {
        QClipboard* clipboard = QGuiApplication::clipboard();
        if (clipboard == nullptr) {
            delete data;
            ReportBusyClipboard();
            return;
        }
        clipboard->setMimeData(data, QClipboard::Clipboard);
        if (!clipboard->ownsClipboard())
            ReportBusyClipboard();
    } catch (...) {
        ReportBusyClipboard();
    }
}

} // namespace

void BitmapToClipboard(const QImage& Bitmap) {
    if (UseWlCopy()) {
        try {
            const QImage rgb = Bitmap.convertToFormat(QImage::Format_RGB32);
            const std::vector<std::uint8_t> png =
                EncodePNG({rgb.constBits(), rgb.width(), rgb.height(), rgb.bytesPerLine()});
            if (PutWithWlCopy(QByteArray(reinterpret_cast<const char*>(png.data()),
                                         static_cast<qsizetype>(png.size())),
                              QStringLiteral("image/png")))
                return;
        } catch (...) {
        }
        ReportBusyClipboard();
        return;
    }
    auto* data = new QMimeData();
    data->setImageData(Bitmap.copy());
    Put(data);
}

void TextToClipboard(const QString& Text) {
    if (UseWlCopy()) {
        if (!PutWithWlCopy(Text.toUtf8(), QStringLiteral("text/plain;charset=utf-8")))
            ReportBusyClipboard();
        return;
    }
    auto* data = new QMimeData();
    data->setText(Text);
    Put(data);
}

} // namespace quorvel
