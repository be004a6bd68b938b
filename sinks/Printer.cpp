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
    // The default printer only: a page never goes to a printer the user did not choose.
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        throw EPrinterError(QPrinterInfo::availablePrinters().isEmpty()
                                ? "No printer is installed."
                                : "No default printer is set.");
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
