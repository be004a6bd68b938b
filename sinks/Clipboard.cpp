#include "sinks/Clipboard.h"

#include "support/ApplicationTitle.h"
#include "support/MessageBox.h"
#include "support/Translate.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>

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
    auto* data = new QMimeData();
    data->setImageData(Bitmap.copy());
    Put(data);
}

void TextToClipboard(const QString& Text) {
    auto* data = new QMimeData();
    data->setText(Text);
    Put(data);
}

} // namespace quorvel
