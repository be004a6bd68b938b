#include "capture/WebPageCapture.h"

#include "capture/WebBrowser.h"
#include "capture/WebPageExtent.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QQuickWidget>
#include <QQuickWindow>
#include <QRandomGenerator>
#include <QTimer>
#include <QVariantMap>
#include <optional>
#include <stdexcept>
#include <string>

namespace quorvel {

namespace {

// The engine answers a measurement in milliseconds and paints even the largest page in a
// few seconds; past these the page is taken to be stuck.
constexpr int kMeasureTimeoutMs = 10000;
constexpr int kPaintTimeoutMs = 30000;

// Runs the event loop (no user input: the window must stay as it is) until done() holds or
// the time is up; false on time-out.
template <class Done> bool WaitFor(Done done, int timeoutMs) {
    if (done())
        return true;
    QEventLoop loop;
    QTimer tick;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (done() || clock.elapsed() > timeoutMs)
            loop.quit();
    });
    tick.start(5);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    return done();
}

// The measurement, run in the page: the body, the root element and every frame document
// that can be read (a frame from another site ends the scan with what was gathered).
const char* const kMeasureScript = R"JS(
(function () {
  var d = document;
  if (!d || !d.body) return null;
  var r = { bw: d.body.scrollWidth, bh: d.body.scrollHeight, fw: 0, fh: 0 };
  var e = d.documentElement;
  if (e) { r.rw = e.scrollWidth; r.rh = e.scrollHeight; }
  try {
    for (var i = 0; i < window.frames.length; i++) {
      var f = window.frames[i].document.documentElement;
      r.fw = Math.max(r.fw, f.scrollWidth);
      r.fh = Math.max(r.fh, f.scrollHeight);
    }
  } catch (x) {}
  return r;
})()
)JS";

std::optional<TPageMeasure> Measure(TWebBrowser& WB) {
    bool answered = false;
    QVariant result;
    QPointer<TWebBrowser> alive(&WB);
    WB.page()->runJavaScript(QString::fromLatin1(kMeasureScript), [&](const QVariant& v) {
        result = v;
        answered = true;
    });
    if (!WaitFor([&] { return answered || alive.isNull(); }, kMeasureTimeoutMs) || alive.isNull())
        return std::nullopt;
    const QVariantMap r = result.toMap();
    if (r.isEmpty())
        return std::nullopt;
    TPageMeasure m;
    m.BodyWidth = r.value(QStringLiteral("bw")).toInt();
    m.BodyHeight = r.value(QStringLiteral("bh")).toInt();
    if (r.contains(QStringLiteral("rw"))) {
        m.RootWidth = r.value(QStringLiteral("rw")).toInt();
        m.RootHeight = r.value(QStringLiteral("rh")).toInt();
    }
    m.FrameWidth = r.value(QStringLiteral("fw")).toInt();
    m.FrameHeight = r.value(QStringLiteral("fh")).toInt();
    return m;
}

// Waits until the engine has painted the view at its new size and the view has shown that
// frame: two animation frames in the page (the first one laid out and painted at the new
// size, with every compositor stage finished before it was drawn), then the next render of
// the view's own surface.
void WaitForPaint(TWebBrowser& WB) {
    auto* surface = qobject_cast<QQuickWidget*>(WB.focusProxy());
    if (surface == nullptr || surface->quickWindow() == nullptr)
        throw std::runtime_error("The browser view has no surface to render from.");
    const QString token =
        QStringLiteral("quorvel-painted-%1")
            .arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'));
    bool painted = false, rendered = false;
    QMetaObject::Connection afterRendering;
    WB.Page()->OnConsoleMessage = [&](const QString& message) {
        if (message != token || painted)
            return;
        painted = true;
        afterRendering = QObject::connect(
            surface->quickWindow(), &QQuickWindow::afterRendering, surface,
            [&rendered] { rendered = true; }, Qt::SingleShotConnection);
        surface->update();
    };
    WB.page()->runJavaScript(QStringLiteral("requestAnimationFrame(function () {"
                                            " requestAnimationFrame(function () {"
                                            " console.log('%1'); }); });")
                                 .arg(token));
    QPointer<QQuickWidget> alive(surface);
    const bool done = WaitFor([&] { return rendered || alive.isNull(); }, kPaintTimeoutMs);
    QObject::disconnect(afterRendering);
    if (!alive.isNull())
        WB.Page()->OnConsoleMessage = nullptr;
    if (!done || alive.isNull())
        throw std::runtime_error("The web page was not painted in time.");
}

} // namespace

QImage CaptureWholePage(TWebBrowser& WB) {
    // No document: nothing is taken.
    if (WB.url().isEmpty())
        return {};
    const std::optional<TPageMeasure> measure = Measure(WB);
    if (!measure)
        return {}; // a page that cannot be measured is left alone, silently
    const TPageExtent extent = PageExtent(*measure);
    if (extent.ViewWidth > kLargestPageSide || extent.ViewHeight > kLargestPageSide)
        throw std::runtime_error("The web page is " + std::to_string(extent.ViewWidth) + " x " +
                                 std::to_string(extent.ViewHeight) +
                                 " pixels; the largest that renders whole is " +
                                 std::to_string(kLargestPageSide) + " pixels on a side.");

    WB.resize(extent.ViewWidth, extent.ViewHeight);
    WaitForPaint(WB);
    const QImage render = WB.grab().toImage();
    if (render.isNull())
        throw std::runtime_error("Not enough memory for the picture of the whole web page.");
    // The render is in device pixels; the strip on the right is cut in the same scale.
    const qreal scale = render.devicePixelRatio();
    const int width = qRound(extent.Width * scale);
    const int height = qRound(extent.Height * scale);
    QImage bitmap = render.copy(0, 0, width, height).convertToFormat(QImage::Format_RGB32);
    if (bitmap.isNull())
        throw std::runtime_error("Not enough memory for the picture of the whole web page.");
    bitmap.setDevicePixelRatio(1);
    return bitmap;
}

} // namespace quorvel
