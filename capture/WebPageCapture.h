#pragma once

#include <QImage>

namespace quorvel {

class TWebBrowser;

// Measures the whole page of the browser control, enlarges the control to that size, has the
// engine render the document once at that size and returns the picture, less the edge and
// scroll-bar strip on the right. The caller puts the control back into its window.
// A page without a document, or one that cannot be measured, gives a null picture. Throws
// when the page is too large to render whole or the render does not arrive.
QImage CaptureWholePage(TWebBrowser& WB);

} // namespace quorvel
