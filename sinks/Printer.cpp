#include "sinks/Printer.h"

#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

namespace quorvel {

int PrintFactor(int printerDpi, int screenPpi) {
    if (screenPpi <= 0)
        screenPpi = 96;
    const int factor = printerDpi / screenPpi;
    return factor < 1 ? 1 : factor;
}

void BitmapToPrinter(const QImage& Bitmap, int ScreenPixelsPerInch) {
    QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) {
        const QList<QPrinterInfo> printers = QPrinterInfo::availablePrinters();
        if (printers.isEmpty())
            throw EPrinterError("No printer is installed.");
        info = printers.first();
    }
    QPrinter printer(info, QPrinter::HighResolution);
    printer.setFullPage(false);
    printer.setDocName(QStringLiteral("Quorvel"));
    if (!printer.isValid())
        throw EPrinterError("The printer \"" + info.printerName().toStdString() +
                            "\" cannot be used.");

    QPainter painter;
    if (!painter.begin(&printer))
        throw EPrinterError("The printer \"" + info.printerName().toStdString() +
                            "\" did not start the job.");
    const int fx = PrintFactor(printer.logicalDpiX(), ScreenPixelsPerInch);
    const int fy = PrintFactor(printer.logicalDpiY(), ScreenPixelsPerInch);
    painter.drawImage(QRect(0, 0, Bitmap.width() * fx, Bitmap.height() * fy), Bitmap);
    const bool ended = painter.end();
    if (!ended || printer.printerState() == QPrinter::Error ||
        printer.printerState() == QPrinter::Aborted)
        throw EPrinterError("The printer \"" + info.printerName().toStdString() +
                            "\" did not take the job.");
}

} // namespace quorvel
