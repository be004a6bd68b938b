// A full-screen window of known text for the text-recognition tests: black lines on white,
// each in the given font family and pixel size, one under the other from the top left.
// Usage: quorvel_test_text_window TITLE FAMILY [SIZE LINE]...
// With no lines the screen is plain white.

#include <QApplication>
#include <QPainter>
#include <QScreen>
#include <QWidget>
#include <vector>

namespace {

struct TTextLine {
    int Size;
    QString Text;
};

class TTextWindow : public QWidget {
public:
    TTextWindow(QString family, std::vector<TTextLine> lines)
        : FFamily(std::move(family)), FLines(std::move(lines)) {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        painter.setPen(Qt::black);
        // Sizes are physical pixels whatever Qt's scale factor is.
        const qreal ratio = devicePixelRatioF();
        int y = qRound(40 / ratio);
        for (const TTextLine& line : FLines) {
            QFont font(FFamily);
            font.setPixelSize(std::max(1, qRound(line.Size / ratio)));
            painter.setFont(font);
            const QFontMetrics metrics(font);
            painter.drawText(qRound(40 / ratio), y + metrics.ascent(), line.Text);
            y += metrics.height() * 2;
        }
    }

private:
    QString FFamily;
    std::vector<TTextLine> FLines;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3 || (argc - 3) % 2 != 0)
        return 2;
    std::vector<TTextLine> lines;
    for (int i = 3; i + 1 < argc; i += 2)
        lines.push_back({std::atoi(argv[i]), QString::fromUtf8(argv[i + 1])});
    TTextWindow window(QString::fromUtf8(argv[2]), std::move(lines));
    window.setWindowTitle(QString::fromUtf8(argv[1]));
    window.setWindowFlag(Qt::FramelessWindowHint);
    // The screen's size from the start, so that the window covers it even when the window
    // manager is slow to apply the full-screen state.
    window.setGeometry(app.primaryScreen()->geometry());
    window.showFullScreen();
    return app.exec();
}
