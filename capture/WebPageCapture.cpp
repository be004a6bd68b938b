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
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace quorvel {

namespace {

// The engine answers a measurement in milliseconds and paints even the largest page in a
// few seconds; past these the page is taken to be stuck.
constexpr int kMeasureTimeoutMs = 10000;
constexpr int kPaintTimeoutMs = 30000;
// Frames of a settled page stop coming; one that goes on changing is taken after this.
constexpr int kQuietMs = 400;
constexpr int kLoadTimeoutMs = 10000;
constexpr int kSettleMaxMs = 5000;
// When the engine's frame came before the page's signal (the view already had its size,
// as on a second capture of the same page), the same quiet time counts from the signal.
constexpr int kNoNewFrameMs = kQuietMs;
// How often the view's size is asked for while the page's signal is awaited, and how long
// the page's own signal is given once the view has its size.
constexpr int kAskSizeMs = 250;
constexpr int kStarvedMs = 2000;

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
// size, with every compositor stage finished before it was drawn), then the frames the
// engine hands to the view until they have stopped coming for a moment. A page that keeps
// animating is taken as it stands once the longest settling time has passed.
// Gives the time until the page's signal came.
qint64 WaitForPaint(TWebBrowser& WB, int width, int height) {
    auto* surface = qobject_cast<QQuickWidget*>(WB.focusProxy());
    if (surface == nullptr || surface->quickWindow() == nullptr)
        throw std::runtime_error("The browser view has no surface to render from.");
    const QString token =
        QStringLiteral("quorvel-painted-%1")
            .arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'));
    QElapsedTimer clock;
    clock.start();
    qint64 painted = -1, lastRender = -1;
    const QMetaObject::Connection afterRendering =
        QObject::connect(surface->quickWindow(), &QQuickWindow::afterRendering, surface,
                         [&] { lastRender = clock.elapsed(); });
    WB.Page()->OnConsoleMessage = [&](const QString& message) {
        if (message == token && painted < 0)
            painted = clock.elapsed();
    };
    // The view's new size reaches the page some frames later: wait in the page until its
    // viewport has that size, then for the frame after it.
    WB.page()->runJavaScript(
        QStringLiteral("(function () {"
                       " function wait() {"
                       "  if (window.innerWidth !== %2 || window.innerHeight !== %3) {"
                       "   requestAnimationFrame(wait); return; }"
                       "  requestAnimationFrame(function () {"
                       "   requestAnimationFrame(function () { console.log('%1'); }); });"
                       " }"
                       " requestAnimationFrame(wait); })();")
            .arg(token)
            .arg(width)
            .arg(height));
    // A page that keeps animating can starve the page's animation frames while the engine
    // goes on drawing (seen with large views at scale factor 2), so the view's size is also
    // asked for directly. Once it has had the new size for a while, with frames drawn since,
    // that stands for the page's signal.
    // The answers may come after this function has given up: they share only this.
    struct TSizeProbe {
        bool Asking = false;
        qint64 Asked = -1;
        qint64 Sized = -1;
    };
    const auto probe = std::make_shared<TSizeProbe>();
    QPointer<QQuickWidget> alive(surface);
    const auto askSize = [&] {
        probe->Asking = true;
        probe->Asked = clock.elapsed();
        WB.page()->runJavaScript(QStringLiteral("[window.innerWidth, window.innerHeight]"),
                                 [probe, width, height, at = probe->Asked](const QVariant& v) {
                                     probe->Asking = false;
                                     const QVariantList size = v.toList();
                                     if (probe->Sized < 0 && size.size() == 2 &&
                                         size[0].toInt() == width && size[1].toInt() == height)
                                         probe->Sized = at;
                                 });
    };
    const auto settled = [&] {
        if (alive.isNull())
            return true;
        const qint64 now = clock.elapsed();
        const qint64 sized = probe->Sized;
        if (painted < 0 && sized < 0 && !probe->Asking && now - probe->Asked >= kAskSizeMs)
            askSize();
        if (painted < 0 && sized >= 0 && lastRender > sized && now - sized >= kStarvedMs)
            painted = sized;
        if (painted < 0)
            return false;
        if (now - painted > kSettleMaxMs)
            return true;
        // A render after the page's signal, then quiet; or, when the engine's frame came
        // before the signal, no render for a longer while after it.
        if (lastRender > painted)
            return now - lastRender >= kQuietMs;
        return lastRender >= 0 && now - painted >= kNoNewFrameMs;
    };
    const bool done = WaitFor(settled, kPaintTimeoutMs) && painted >= 0;
    QObject::disconnect(afterRendering);
    if (alive.isNull())
        throw std::runtime_error("The browser window was closed during the capture.");
    WB.Page()->OnConsoleMessage = nullptr;
    if (!done)
        throw std::runtime_error("The web page was not painted in time.");
    return painted;
}

} // namespace

QImage CaptureWholePage(TWebBrowser& WB, TWebPageStageTimes* stages) {
    // No document: nothing is taken.
    if (WB.url().isEmpty())
        return {};
    TWebPageStageTimes times;
    QElapsedTimer clock;
    clock.start();
    const auto stage = [&clock](double& ms) { ms = static_cast<double>(clock.restart()); };
    // The engine holds back painting a page that is still loading; wait for it (for a
    // while) so that the picture is not an empty one.
    QPointer<TWebBrowser> alive(&WB);
    WaitFor([&] { return alive.isNull() || !WB.Loading(); }, kLoadTimeoutMs);
    if (alive.isNull())
        return {};
    stage(times.LoadMs);
    const std::optional<TPageMeasure> measure = Measure(WB);
    stage(times.MeasureMs);
    if (!measure)
        return {}; // a page that cannot be measured is left alone, silently
    const TPageExtent extent = PageExtent(*measure);
    if (extent.ViewWidth > kLargestPageSide || extent.ViewHeight > kLargestPageSide)
        throw std::runtime_error("The web page is " + std::to_string(extent.ViewWidth) + " x " +
                                 std::to_string(extent.ViewHeight) +
                                 " pixels; the largest that renders whole is " +
                                 std::to_string(kLargestPageSide) + " pixels on a side.");

    WB.resize(extent.ViewWidth, extent.ViewHeight);
    const qint64 painted = WaitForPaint(WB, extent.ViewWidth, extent.ViewHeight);
    stage(times.QuietMs);
    times.PaintMs = static_cast<double>(painted);
    times.QuietMs -= times.PaintMs;
    const QImage render = WB.grab().toImage();
    stage(times.GrabMs);
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
    stage(times.CropMs);
    if (stages != nullptr)
        *stages = times;
    return bitmap;
}

} // namespace quorvel
