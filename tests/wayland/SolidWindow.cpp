// A window of one colour for the desktop tests: a plain Wayland toplevel whose every pixel,
// at any scale, is the given colour, so that a capture of it can be checked exactly.
//
//   quorvel_test_solid APP_ID RRGGBB WIDTH HEIGHT [MS]
//
// WIDTH and HEIGHT are in the compositor's layout units (what the window asks for; a tiling
// compositor decides). With MS the window changes colour every MS milliseconds instead,
// red, green, blue and white in turn, for measuring what a recording keeps of a changing
// screen.

#include <QColor>
#include <QGuiApplication>
#include <QPainter>
#include <QRasterWindow>
#include <QTimer>
#include <cstdio>

namespace {

class TSolidWindow final : public QRasterWindow {
public:
    explicit TSolidWindow(QColor colour) : FColour(colour) {}
    void Cycle(int ms) {
        FTimer.callOnTimeout(this, [this] {
            static const QColor kColours[] = {Qt::red, Qt::green, Qt::blue, Qt::white};
            FColour = kColours[FStep++ % 4];
            update();
        });
        FTimer.start(ms);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(QRect(QPoint(0, 0), size()), FColour);
    }

private:
    QColor FColour;
    QTimer FTimer;
    unsigned FStep = 0;
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 5 && argc != 6) {
        std::fprintf(stderr, "usage: %s APP_ID RRGGBB WIDTH HEIGHT [MS]\n", argv[0]);
        return 2;
    }
    QGuiApplication::setDesktopFileName(QString::fromLocal8Bit(argv[1]));
    QGuiApplication app(argc, argv);
    TSolidWindow window(QColor(QStringLiteral("#") + QString::fromLatin1(argv[2])));
    window.resize(QString::fromLatin1(argv[3]).toInt(), QString::fromLatin1(argv[4]).toInt());
    if (argc == 6)
        window.Cycle(QString::fromLatin1(argv[5]).toInt());
    window.show();
    return app.exec();
}
