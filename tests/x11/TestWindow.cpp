// A window for the desktop tests: a given title and client size, filled with a pattern
// that differs from pixel to pixel so that any offset or scaling shows. Usage:
//   quorvel_test_window TITLE WIDTH HEIGHT [X Y]

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QWidget>

namespace {

class TPatternWindow : public QWidget {
public:
    TPatternWindow(int width, int height) {
        setFixedSize(width, height);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        // Drawn in physical pixels whatever Qt's scale factor is.
        const qreal ratio = devicePixelRatioF();
        QImage image(qRound(width() * ratio), qRound(height() * ratio), QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                row[x] =
                    qRgb((x * 7 + y * 3) & 0xFF, (x * 13) ^ (y * 5) & 0xFF, (x + y * 11) & 0xFF);
        }
        image.setDevicePixelRatio(ratio);
        QPainter(this).drawImage(0, 0, image);
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 4)
        return 2;
    TPatternWindow window(std::atoi(argv[2]), std::atoi(argv[3]));
    window.setWindowTitle(QString::fromLocal8Bit(argv[1]));
    if (argc >= 6)
        window.move(std::atoi(argv[4]), std::atoi(argv[5]));
    window.show();
    return app.exec();
}
