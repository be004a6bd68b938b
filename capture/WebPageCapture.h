#pragma once

#include <QImage>

namespace quorvel {

class TWebBrowser;

// Where the time of one whole-page capture went, in milliseconds: waiting for the page to
// finish loading, measuring it, the engine laying out and painting the enlarged view (up
// to the page's signal that the frame at the new size is drawn), the quiet wait that shows
// no further frame is coming, taking the view's render and cutting it to the page.
struct TWebPageStageTimes {
    double LoadMs = 0;
    double MeasureMs = 0;
    double PaintMs = 0;
    double QuietMs = 0;
    double GrabMs = 0;
    double CropMs = 0;
};

// Measures the whole page of the browser control, enlarges the control to that size, has the
// engine render the document once at that size and returns the picture, less the edge and
// scroll-bar strip on the right. The caller puts the control back into its window.
// A page without a document, or one that cannot be measured, gives a null picture. Throws
// when the page is too large to render whole or the render does not arrive.
QImage CaptureWholePage(TWebBrowser& WB, TWebPageStageTimes* stages = nullptr);

} // namespace quorvel
