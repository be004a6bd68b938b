// The browser window of the web page area, in a process of its own: the program starts it
// when the area is chosen, and the browser engine, its renderer and all their memory go
// with it when the window closes. Requests come as lines on standard input; answers go
// to standard output (the engine's own messages are sent to standard error instead).

#include "capture/FrmIExplorer.h"
#include "capture/WebPageCapture.h"
#include "capture/WebPageProtocol.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QQuickWindow>
#include <QSocketNotifier>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

using namespace quorvel;

namespace {

int gAnswers = -1;
// Set by the benchmarks: each capture's stages are printed on standard error.
const bool gPrintStages = std::getenv("QUORVEL_STAGE_TIMES") != nullptr;

void Answer(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(gAnswers, bytes, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // the program has gone; the window closes when its input ends
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
}

void AnswerLine(const std::string& line) {
    const std::string text = line + "\n";
    Answer(text.data(), text.size());
}

void Capture(TFrmIExplorer& window) {
    QImage picture;
    TWebPageStageTimes stages;
    try {
        picture = window.CaptureWebPage(&stages);
    } catch (const std::exception& e) {
        std::string message = e.what();
        for (char& c : message)
            if (c == '\n' || c == '\r')
                c = ' ';
        AnswerLine(kWebPageError + message);
        return;
    }
    if (picture.isNull()) {
        AnswerLine(kWebPageNone);
        return;
    }
    QElapsedTimer clock;
    clock.start();
    picture = picture.convertToFormat(QImage::Format_RGB32);
    const qint64 converted = clock.restart();
    AnswerLine(kWebPagePicture + std::to_string(picture.width()) + " " +
               std::to_string(picture.height()));
    for (int y = 0; y < picture.height(); ++y)
        Answer(picture.constScanLine(y), static_cast<std::size_t>(picture.width()) * 4);
    if (gPrintStages)
        std::fprintf(stderr,
                     "web page stages (ms): load %.0f, measure %.0f, paint %.0f, quiet %.0f, "
                     "grab %.0f, crop %.0f, conversion %lld, transfer %lld\n",
                     stages.LoadMs, stages.MeasureMs, stages.PaintMs, stages.QuietMs, stages.GrabMs,
                     stages.CropMs, static_cast<long long>(converted),
                     static_cast<long long>(clock.elapsed()));
}

} // namespace

int main(int argc, char** argv) {
    // Answers keep the original standard output; anything else printed there goes to
    // standard error.
    gAnswers = ::dup(STDOUT_FILENO);
    ::dup2(STDERR_FILENO, STDOUT_FILENO);

    // A capture renders the page in software, with every compositor stage finished before
    // a frame is drawn, so that the frame after a resize holds the whole page rather than
    // tiles still to come. The engine shows its frames through shared OpenGL contexts.
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    for (const char* flag : {"--disable-gpu", "--run-all-compositor-stages-before-draw"})
        if (!flags.contains(flag))
            flags += QByteArray(" ") + flag;
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed());
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QQuickWindow::setGraphicsApi(QSGRendererInterface::OpenGL);
    QApplication app(argc, argv);

    TWebPageHost host;
    host.ApplicationTitle = argc > 1 ? QString::fromUtf8(argv[1]) : QStringLiteral("Quorvel");
    host.Closed = [] { AnswerLine(kWebPageClosed); };
    auto* window = new TFrmIExplorer(host);
    window->show();

    std::string pending;
    QSocketNotifier requests(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&requests, &QSocketNotifier::activated, &app, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            // The program has gone: so does its window.
            requests.setEnabled(false);
            if (window != nullptr)
                window->close();
            return;
        }
        pending.append(buffer, static_cast<std::size_t>(n));
        std::size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (line == kWebPageCapture && window != nullptr) {
                // No further request is read while the page renders.
                requests.setEnabled(false);
                Capture(*window);
                requests.setEnabled(true);
            } else if (line == kWebPageClose && window != nullptr)
                window->close();
        }
    });
    QObject::connect(window, &QObject::destroyed, &app, [&] { window = nullptr; });
    return app.exec();
}
