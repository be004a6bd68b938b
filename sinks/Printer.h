#pragma once

#include <QImage>
#include <stdexcept>

namespace quorvel {

class EPrinterError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The whole-number factor by which each screen pixel is enlarged on the printer:
// printer dots per inch over screen pixels per inch, the remainder dropped, at least 1.
int PrintFactor(int printerDpi, int screenPpi);

// Prints the picture as one page on the default printer (the first printer when none is
// the default), each screen pixel as a PrintFactor block, from the top-left corner of the
// printable area; what lies beyond the page is cut off. Raises EPrinterError when there is
// no printer or the printer does not take the job.
void BitmapToPrinter(const QImage& Bitmap, int ScreenPixelsPerInch);

} // namespace quorvel
