#include "sinks/ProgressForm.h"

#include "platform/LayerSurface.h"
#include "platform/Platform.h"

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QScreen>

namespace quorvel {

namespace {

constexpr int kHeight = 30;
constexpr int kOpacity = 140; // of 255

} // namespace

TProgressForm::TProgressForm(const QString& Text)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus |
                           Qt::X11BypassWindowManagerHint) {
    setObjectName(QStringLiteral("ProgressForm"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setWindowOpacity(kOpacity / 255.0);
    if (QGuiApplication::platformName() == QLatin1String("wayland") &&
        Platform().Capabilities().LayerSurfaces) {
        FLayer = Platform().CreateLayerSurface(TSurfaceLayer::Overlay, TSurfaceKeys::None, {});
        if (FLayer != nullptr)
            setAttribute(Qt::WA_DontShowOnScreen);
    }

    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect whole = screen ? screen->geometry() : QRect(0, 0, 640, 480);
    const QRect work = screen ? screen->availableGeometry() : whole;
    int top = whole.bottom() + 1 - kHeight;
    // A panel along the bottom that spans to the right edge: stand right above it. Panels
    // on the left or at the top leave the bar at the very bottom.
    const int panel = whole.bottom() - work.bottom();
    if (panel > 0 && work.top() + work.height() / 2 > whole.top() && work.right() == whole.right())
        top -= panel;
    setGeometry(whole.left(), top, whole.width(), kHeight);

    FGauge = new QProgressBar(this);
    FGauge->setObjectName(QStringLiteral("Gauge"));
    FGauge->setGeometry(0, 0, whole.width(), kHeight);
    FGauge->setTextVisible(false);
    FGauge->setRange(0, 100);
    FGauge->setValue(0);
    FGauge->setStyleSheet(QStringLiteral("QProgressBar { background: rgb(64, 0, 0); border: none; }"
                                         "QProgressBar::chunk { background: rgb(255, 0, 0); }"));

    FLabel = new QLabel(Text, this);
    FLabel->setObjectName(QStringLiteral("Label"));
    FLabel->setGeometry(0, 8, whole.width(), kHeight - 8);
    FLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QFont font(QStringLiteral("Segoe UI"));
    font.setPixelSize(12);
    FLabel->setFont(font);
    FLabel->setStyleSheet(QStringLiteral("color: white; background: transparent;"));

    show();
    RenderLayer();
}

TProgressForm::~TProgressForm() = default;

void TProgressForm::SetProgress(std::int32_t Sent, std::int32_t Total) {
    FGauge->setMaximum(Total);
    FGauge->setValue(Sent);
    RenderLayer();
}

void TProgressForm::RenderLayer() {
    if (FLayer == nullptr)
        return;
    // The screen's physical pixels: the widget's logical geometry at the screen's scale.
    const qreal ratio = devicePixelRatioF();
    const QRect g = geometry();
    const auto px = [ratio](int v) { return static_cast<int>(v * ratio + 0.5); };
    const TRect bounds{px(g.left()), px(g.top()), px(g.left() + g.width()),
                       px(g.top() + g.height())};
    QImage picture(bounds.Width(), bounds.Height(), QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    picture.setDevicePixelRatio(ratio);
    render(&picture);
    picture.setDevicePixelRatio(1);
    {
        // Translucent as the window is elsewhere; a surface has no window opacity.
        QPainter p(&picture);
        p.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        p.fillRect(picture.rect(), QColor(0, 0, 0, kOpacity));
    }
    FLayer->Show(bounds, picture, {}); // clicks pass through
}

} // namespace quorvel
