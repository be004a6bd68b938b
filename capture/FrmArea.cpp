#include "capture/FrmArea.h"

#include "capture/FrmSize.h"
#include "support/Config.h"
#include "support/LayerMenu.h"
#include "support/Settings.h"
#include "support/TranslateComponent.h"
#include "ui_FrmSize.h"

#include <QAction>
#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>
#include <QtMath>
#include <cmath>
#include <cstdlib>

namespace quorvel {

namespace {

QColor FromColorRef(TColorRef c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

QFrame* Panel(QWidget* parent, const char* name, const QColor& colour) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(QString::fromLatin1(name));
    panel->setAutoFillBackground(true);
    QPalette p = panel->palette();
    p.setColor(QPalette::Window, colour);
    panel->setPalette(p);
    return panel;
}

} // namespace

TFrmArea::TFrmArea(TFrmSize* size, TPlatform& platform, THooks hooks)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      FSize(size), FPlatform(platform), FHooks(std::move(hooks)) {
    setObjectName(QStringLiteral("TFrmArea"));
    setWindowTitle(QString::fromUtf8("영역지정 - Quorvel"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    if (platform.Capabilities().LayerSurfaces) {
        FLayer = platform.CreateLayerSurface(TSurfaceLayer::Top, TSurfaceKeys::OnClick,
                                             {[this](const TSurfacePointer& e) { LayerPointer(e); },
                                              [this](const TSurfaceKey& k) { LayerKey(k); }});
        if (FLayer != nullptr)
            setAttribute(Qt::WA_DontShowOnScreen);
    }

    const QColor darkRed(64, 0, 0);
    PnlHead = Panel(this, "PnlHead", darkRed);
    PnlSize = Panel(PnlHead, "PnlSize", darkRed);
    PnlRec = Panel(PnlHead, "PnlRec", darkRed);
    PnlClose = Panel(PnlHead, "PnlClose", darkRed);
    LblSize = new QLabel(QStringLiteral("1024x768"), PnlSize);
    LblSize->setObjectName(QStringLiteral("LblSize"));
    LblSize->setStyleSheet(QStringLiteral("color: white;"));
    LvlRecTime = new QLabel(QStringLiteral("[REC] 00:00:00"), PnlRec);
    LvlRecTime->setObjectName(QStringLiteral("LvlRecTime"));
    LvlRecTime->setAlignment(Qt::AlignCenter);
    LvlRecTime->setStyleSheet(QStringLiteral("color: #800000;"));
    BtnClose = new QLabel(PnlClose);
    BtnClose->setObjectName(QStringLiteral("BtnClose"));
    BtnClose->setCursor(Qt::PointingHandCursor);
    for (QWidget* w : std::initializer_list<QWidget*>{PnlHead, PnlSize, PnlRec, PnlClose, LblSize,
                                                      LvlRecTime, BtnClose})
        w->installEventFilter(this);

    PopSize = new QMenu(this);
    PopSize->setObjectName(QStringLiteral("PopSize"));
    PopSize_1 = PopSize->addAction(QString());
    PopSize_2 = PopSize->addAction(QString());
    PopSize_3 = PopSize->addAction(QString());
    PopSize->addSeparator();
    PopConfig = PopSize->addAction(QString::fromUtf8("설정하기"));
    PopClose = PopSize->addAction(QString::fromUtf8("감추기"));
    PopSize_1->setObjectName(QStringLiteral("PopSize_1"));
    PopSize_2->setObjectName(QStringLiteral("PopSize_2"));
    PopSize_3->setObjectName(QStringLiteral("PopSize_3"));
    PopConfig->setObjectName(QStringLiteral("PopConfig"));
    PopClose->setObjectName(QStringLiteral("PopClose"));
    Ui::TFrmSize& d = *FSize->Controls();
    connect(PopSize_1, &QAction::triggered, this,
            [this, &d] { SetSize(d.EditWidth_1->value(), d.EditHeight_1->value(), 0); });
    connect(PopSize_2, &QAction::triggered, this,
            [this, &d] { SetSize(d.EditWidth_2->value(), d.EditHeight_2->value(), 0); });
    connect(PopSize_3, &QAction::triggered, this,
            [this, &d] { SetSize(d.EditWidth_3->value(), d.EditHeight_3->value(), 0); });
    connect(PopConfig, &QAction::triggered, this, [this] {
        // A frame on a layer of the desktop that holds the keyboard would keep the keys
        // from the dialog: it lets go of them while the dialog is open.
        if (FLayer != nullptr)
            FLayer->SetKeys(TSurfaceKeys::None);
        FSize->show();
        FSize->raise();
        FSize->activateWindow();
    });
    connect(FSize, &TFrmSize::Hidden, this, [this] {
        if (FLayer != nullptr)
            FLayer->SetKeys(TSurfaceKeys::OnClick);
    });
    connect(PopClose, &QAction::triggered, this, [this] { close(); });
    if (FLayer != nullptr)
        FLayerMenu = TLayerMenu::Create(platform, PopSize);

    setMinimumSize(qRound((2 + 2 * Border) / devicePixelRatioF()),
                   HeaderHeight + qRound((2 + 2 * Border) / devicePixelRatioF()));
    TmrColor.setInterval(100);
    connect(&TmrColor, &QTimer::timeout, this, [this] { TmrColorTimer(); });

    // Creation: translate, the stored bounds, the close icon, one resize pass.
    TranslateComponent(this);
    FSize->SetArea(this);
    LoadBounds();
    LoadCloseIcon();
    LayOutHeader();
}

TFrmArea::~TFrmArea() = default;

qreal TFrmArea::Ratio() const {
    return devicePixelRatioF();
}
int TFrmArea::HeaderPixels() const {
    return qRound(HeaderHeight * Ratio());
}

TRect TFrmArea::GetRect() const {
    const int left = OuterLeft() + Border;
    const int top = OuterTop() + HeaderPixels() + Border;
    return {left, top, left + OuterWidth() - 2 * Border,
            top + OuterHeight() - HeaderPixels() - 2 * Border};
}

void TFrmArea::NameEntry(QAction* entry, int width, int height) {
    entry->setText(QStringLiteral("%1x%2").arg(width).arg(height));
}

void TFrmArea::SetSize(int AWidth, int AHeight, int SizeNo) {
    // The inner area is never smaller than 2 x 2.
    AWidth = std::max(AWidth, 2);
    AHeight = std::max(AHeight, 2);
    FBounds.Right = FBounds.Left + AWidth + 2 * Border;
    FBounds.Bottom = FBounds.Top + AHeight + HeaderPixels() + 2 * Border;
    ApplyBounds();
    if (SizeNo == 1)
        NameEntry(PopSize_1, AWidth, AHeight);
    else if (SizeNo == 2)
        NameEntry(PopSize_2, AWidth, AHeight);
    else if (SizeNo == 3)
        NameEntry(PopSize_3, AWidth, AHeight);
}

void TFrmArea::SetMove(int ALeft, int ATop) {
    FBounds = {ALeft, ATop, ALeft + FBounds.Width(), ATop + FBounds.Height()};
    ApplyBounds();
}

void TFrmArea::ApplyBounds() {
    if (FLayer != nullptr) {
        // The widget only lays out and paints the picture; the surface stands at the bounds.
        FApplying = true;
        const qreal r = Ratio();
        resize(static_cast<int>(std::ceil(FBounds.Width() / r)),
               static_cast<int>(std::ceil(FBounds.Height() / r)));
        FApplying = false;
        FormResize();
        return;
    }
    FApplying = true;
    // Qt's own idea of the geometry, as near as logical pixels get (the size rounded up, so
    // that what Qt paints covers the whole window)…
    const qreal r = Ratio();
    setGeometry(qRound(FBounds.Left / r), qRound(FBounds.Top / r),
                static_cast<int>(std::ceil(FBounds.Width() / r)),
                static_cast<int>(std::ceil(FBounds.Height() / r)));
    // …and the window itself exactly where it belongs.
    if (testAttribute(Qt::WA_WState_Created))
        FPlatform.PlaceWindow(static_cast<TWindowId>(winId()), FBounds);
    FApplying = false;
    FormResize();
}

void TFrmArea::AdoptWindowGeometry() {
    if (FLayer != nullptr || FApplying || FLoading || !testAttribute(Qt::WA_WState_Created))
        return;
    const std::optional<TRect> actual = FPlatform.WindowBounds(static_cast<TWindowId>(winId()));
    if (!actual || actual->Empty() || *actual == FBounds)
        return;
    // Qt's own rounded placement is given back; a move or resize by the user is taken,
    // the inner area never smaller than 2 x 2.
    const TRect kept = ReconcilePlacement(*actual, FBounds, Ratio());
    const int left = kept.Left;
    const int top = kept.Top;
    const int width = std::max(kept.Width(), 2 + 2 * Border);
    const int height = std::max(kept.Height(), HeaderPixels() + 2 + 2 * Border);
    const TRect wanted{left, top, left + width, top + height};
    if (wanted != *actual)
        FPlatform.PlaceWindow(static_cast<TWindowId>(winId()), wanted);
    if (wanted == FBounds)
        return;
    FBounds = wanted;
    FormResize();
}

void TFrmArea::LoadBounds() {
    FLoading = true;
    const TConfig config(QString::fromLatin1(Settings::ProgramStore));
    const QScreen* primary = QGuiApplication::primaryScreen();
    const QSize primarySize = primary != nullptr
                                  ? primary->geometry().size() * primary->devicePixelRatio()
                                  : QSize(1920, 1080);
    int left = config.ReadInteger(QString::fromLatin1(Settings::Left.Name),
                                  DefaultAreaLeft(primarySize.width()));
    int top = config.ReadInteger(QString::fromLatin1(Settings::Top.Name),
                                 DefaultAreaTop(primarySize.height()));
    int width = config.Read(Settings::Width);
    int height = config.Read(Settings::Height);
    NameEntry(PopSize_1, config.Read(Settings::Width1), config.Read(Settings::Height1));
    NameEntry(PopSize_2, config.Read(Settings::Width2), config.Read(Settings::Height2));
    NameEntry(PopSize_3, config.Read(Settings::Width3), config.Read(Settings::Height3));
    // A frame not strictly inside the desktop (a monitor was removed, say) starts over.
    const TRect desktop = FPlatform.ScreenRect();
    const bool inside = left > desktop.Left && left + width < desktop.Right && top > desktop.Top &&
                        top + height < desktop.Bottom;
    if (!inside) {
        left = DefaultAreaLeft(primarySize.width());
        top = DefaultAreaTop(primarySize.height());
        width = Settings::Width.Default;
        height = Settings::Height.Default;
    }
    SetMove(left, top);
    SetSize(width, height, 0);
    FLoading = false;
    if (!inside)
        SaveBounds();
}

void TFrmArea::SaveBounds() {
    if (FLoading)
        return;
    TConfig config(QString::fromLatin1(Settings::ProgramStore));
    config.WriteInteger(QString::fromLatin1(Settings::Width.Name), OuterWidth() - 2 * Border);
    config.WriteInteger(QString::fromLatin1(Settings::Height.Name),
                        OuterHeight() - HeaderPixels() - 2 * Border);
    config.WriteInteger(QString::fromLatin1(Settings::Left.Name), OuterLeft());
    config.WriteInteger(QString::fromLatin1(Settings::Top.Name), OuterTop());
}

// A white X on the header, drawn at the screen's pixel density.
void TFrmArea::LoadCloseIcon() {
    const qreal r = Ratio();
    QPixmap icon(qRound(16 * r), qRound(16 * r));
    icon.setDevicePixelRatio(r);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::white, 2));
    painter.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
    painter.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
    painter.end();
    BtnClose->setPixmap(icon);
}

void TFrmArea::LayOutHeader() {
    const int w = width();
    PnlHead->setGeometry(0, 0, w, HeaderHeight);
    PnlSize->setGeometry(0, 0, 80, HeaderHeight);
    PnlClose->setGeometry(w - 80, 0, 80, HeaderHeight);
    PnlRec->setGeometry(80, 0, std::max(0, w - 160), HeaderHeight);
    LblSize->setGeometry(6, 0, 74, HeaderHeight);
    LvlRecTime->setGeometry(0, 0, PnlRec->width(), HeaderHeight);
    BtnClose->setGeometry(58, 5, 16, 16);
}

void TFrmArea::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOutHeader();
    AdoptWindowGeometry();
}

void TFrmArea::FormResize() {
    const int W = OuterWidth();
    const int H = OuterHeight();
    Ui::TFrmSize& d = *FSize->Controls();
    d.EditWidth->setValue(W - 2 * Border); // held between 64 and 9999 by the field
    d.EditHeight->setValue(H - HeaderPixels() - 2 * Border);
    LayOutHeader();
    LblSize->setText(QStringLiteral("%1x%2").arg(d.EditWidth->value()).arg(d.EditHeight->value()));
    // The recording time shows only where it fits whole (at a scale factor the header's
    // side panels take more of the frame's width).
    PnlRec->setVisible(W > 292 &&
                       PnlRec->width() >=
                           LvlRecTime->fontMetrics().horizontalAdvance(LvlRecTime->text()) + 2);
    PnlClose->setVisible(W > 112);
    LblSize->setVisible(W > 64);
    // Only the header and the border belong to the window; the hole is the screen below.
    const int Hh = HeaderPixels();
    if (FLayer != nullptr)
        RenderLayer();
    else if (testAttribute(Qt::WA_WState_Created) || isVisible())
        FPlatform.ShapeWindow(static_cast<TWindowId>(winId()),
                              {{0, 0, W, Hh + Border},
                               {0, Hh + Border, Border, H - Border},
                               {W - Border, Hh + Border, W, H - Border},
                               {0, H - Border, W, H}});
    SaveBounds();
}

void TFrmArea::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    AdoptWindowGeometry();
}

void TFrmArea::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(
        rect(), FromColorRef(DarkenColor(AreaColor, static_cast<std::uint8_t>(AreaColor_Percent))));
}

void TFrmArea::TmrColorTimer() {
    if (FLayer != nullptr)
        RenderLayer();
    else
        update();
    if (AreaColor_Percent > 40)
        AreaColor_Inc = false;
    if (AreaColor_Percent == 0)
        AreaColor_Inc = true;
    AreaColor_Percent += AreaColor_Inc ? 5 : -5;
}

void TFrmArea::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The native window exists now: give it its exact place and shape.
    if (FLayer == nullptr)
        FPlatform.PlaceWindow(static_cast<TWindowId>(winId()), FBounds);
    FormResize();
    TmrColor.start();
}

void TFrmArea::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (FLayerMenu != nullptr)
        FLayerMenu->Close();
    if (FLayer != nullptr)
        FLayer->Hide();
}

void TFrmArea::closeEvent(QCloseEvent* event) {
    // The window manager's close (Alt+F4, a taskbar's close) does nothing: the frame is
    // put away by its own close button, its popup or another capture area.
    if (event->spontaneous()) {
        event->ignore();
        return;
    }
    // Closing only hides the frame; it keeps its place for the next time.
    TmrColor.stop();
    if (FHooks.IsRecording && FHooks.IsRecording() && FHooks.RecordStop)
        FHooks.RecordStop();
    SaveBounds();
    event->accept();
}

void TFrmArea::mousePressEvent(QMouseEvent* event) {
    // The border band: resize, except while recording.
    if (FHooks.IsRecording && FHooks.IsRecording())
        return;
    const QPoint p = event->position().toPoint();
    const qreal r = Ratio();
    const int b = qRound(Border / r);
    Qt::Edges edges;
    if (p.y() < HeaderHeight + b)
        edges |= Qt::TopEdge;
    else if (p.y() > height() - b)
        edges |= Qt::BottomEdge;
    if (p.x() < b)
        edges |= Qt::LeftEdge;
    else if (p.x() > width() - b)
        edges |= Qt::RightEdge;
    // The resize follows the pointer while the button is held: a click (a touchpad tap
    // sends press and release back to back) never leaves a resize running.
    FPendingEdges = edges;
    FPressAt = event->globalPosition();
    FPressBounds = FBounds;
}

// The pointer's way since the press, in physical pixels.
TPoint TFrmArea::WaySincePress(const QPointF& now) const {
    const QPointF way = (now - FPressAt) * Ratio();
    return {qRound(way.x()), qRound(way.y())};
}

void TFrmArea::mouseMoveEvent(QMouseEvent* event) {
    // The border: the frame's own resize loop, in physical pixels, while the button is held.
    if (FPendingEdges != Qt::Edges() && event->buttons() != Qt::NoButton)
        ResizeBy(WaySincePress(event->globalPosition()));
    QWidget::mouseMoveEvent(event);
}

void TFrmArea::DragBy(TPoint way) {
    if (FPendingMove)
        SetMove(FPressBounds.Left + way.X, FPressBounds.Top + way.Y);
    else
        ResizeBy(way);
}

void TFrmArea::ResizeBy(TPoint way) {
    if (FPendingEdges != Qt::Edges()) {
        TRect bounds = FPressBounds;
        if (FPendingEdges & Qt::LeftEdge)
            bounds.Left = std::min(bounds.Left + way.X, bounds.Right - 2 - 2 * Border);
        if (FPendingEdges & Qt::RightEdge)
            bounds.Right = std::max(bounds.Right + way.X, bounds.Left + 2 + 2 * Border);
        if (FPendingEdges & Qt::TopEdge)
            bounds.Top =
                std::min(bounds.Top + way.Y, bounds.Bottom - HeaderPixels() - 2 - 2 * Border);
        if (FPendingEdges & Qt::BottomEdge)
            bounds.Bottom =
                std::max(bounds.Bottom + way.Y, bounds.Top + HeaderPixels() + 2 + 2 * Border);
        if (bounds != FBounds) {
            FBounds = bounds;
            ApplyBounds();
        }
    }
}

void TFrmArea::mouseReleaseEvent(QMouseEvent* event) {
    FPendingEdges = {};
    QWidget::mouseReleaseEvent(event);
}

bool TFrmArea::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove) {
        // The header: the frame follows the pointer while the button is held.
        if (FPendingMove && static_cast<QMouseEvent*>(event)->buttons() != Qt::NoButton) {
            const TPoint way = WaySincePress(static_cast<QMouseEvent*>(event)->globalPosition());
            SetMove(FPressBounds.Left + way.X, FPressBounds.Top + way.Y);
        }
        return QWidget::eventFilter(watched, event);
    }
    if (event->type() == QEvent::MouseButtonRelease) {
        FPendingMove = false;
        return QWidget::eventFilter(watched, event);
    }
    if (event->type() != QEvent::MouseButtonPress)
        return QWidget::eventFilter(watched, event);
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (watched == BtnClose && mouse->button() == Qt::LeftButton) {
        BtnCloseClick();
        return true;
    }
    if (mouse->button() == Qt::RightButton) {
        PopSize->popup(mouse->globalPosition().toPoint());
        return true;
    }
    // Any other button on the header moves the frame while it is held.
    FPendingMove = true;
    FPressAt = mouse->globalPosition();
    FPressBounds = FBounds;
    return true;
}

void TFrmArea::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_F4 && (event->modifiers() & Qt::AltModifier)) {
        event->accept(); // the frame is not closed from the keyboard
        return;
    }
    int dx = 0, dy = 0;
    switch (key) {
    case Qt::Key_Up:
        dy = -1;
        break;
    case Qt::Key_Down:
        dy = 1;
        break;
    case Qt::Key_Left:
        dx = -1;
        break;
    case Qt::Key_Right:
        dx = 1;
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    // Steps are physical pixels, whatever the scale factor.
    const TRect inner = GetRect();
    if (shift || ctrl) {
        const int step = shift ? 1 : 10;
        SetSize(inner.Width() + dx * step, inner.Height() + dy * step, 0);
    } else {
        SetMove(OuterLeft() + dx, OuterTop() + dy);
    }
    event->accept();
}

void TFrmArea::BtnCloseClick() {
    if (FHooks.CloseButton)
        FHooks.CloseButton();
    close();
}

void TFrmArea::RenderLayer() {
    if (FLayer == nullptr || !isVisible())
        return;
    const int W = OuterWidth();
    const int H = OuterHeight();
    const int Hh = HeaderPixels();
    QImage picture(W, H, QImage::Format_ARGB32_Premultiplied);
    picture.setDevicePixelRatio(Ratio());
    picture.fill(Qt::transparent);
    render(&picture);
    // The hole shows the screen below and lets clicks through.
    picture.setDevicePixelRatio(1);
    {
        QPainter p(&picture);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.fillRect(QRect(Border, Hh + Border, W - 2 * Border, H - Hh - 2 * Border),
                   Qt::transparent);
    }
    FLayer->Show(FBounds, picture,
                 {{0, 0, W, Hh + Border},
                  {0, Hh + Border, Border, H - Border},
                  {W - Border, Hh + Border, W, H - Border},
                  {0, H - Border, W, H}});
}

void TFrmArea::LayerPointer(const TSurfacePointer& e) {
    const TPoint local{e.Position.X - OuterLeft(), e.Position.Y - OuterTop()};
    switch (e.Kind) {
    case TSurfacePointer::Motion:
        if (FPendingMove || FPendingEdges != Qt::Edges())
            DragBy({e.Position.X - FLayerPressAt.X, e.Position.Y - FLayerPressAt.Y});
        return;
    case TSurfacePointer::Release:
        FPendingMove = false;
        FPendingEdges = {};
        SaveBounds();
        return;
    case TSurfacePointer::Press:
        if (FLayerMenu != nullptr)
            FLayerMenu->Close();
        break;
    default:
        return;
    }
    const qreal r = Ratio();
    const QPoint at(qFloor(local.X / r), qFloor(local.Y / r));
    QWidget* child = childAt(at);
    if (child == BtnClose && e.Button == 1) {
        BtnCloseClick();
        return;
    }
    FLayerPressAt = e.Position;
    FPressBounds = FBounds;
    if (local.Y < HeaderPixels()) {
        if (e.Button == 2) {
            if (FLayerMenu != nullptr)
                FLayerMenu->Popup(e.Position);
            return;
        }
        FPendingMove = true; // any other button on the header moves the frame
        return;
    }
    // The border band: resize, except while recording.
    if (FHooks.IsRecording && FHooks.IsRecording())
        return;
    Qt::Edges edges;
    if (local.Y < HeaderPixels() + Border)
        edges |= Qt::TopEdge;
    else if (local.Y >= OuterHeight() - Border)
        edges |= Qt::BottomEdge;
    if (local.X < Border)
        edges |= Qt::LeftEdge;
    else if (local.X >= OuterWidth() - Border)
        edges |= Qt::RightEdge;
    FPendingEdges = edges;
}

void TFrmArea::LayerKey(const TSurfaceKey& k) {
    // The surface has the keyboard only after a click on it: Enter captures the region,
    // Escape puts the frame away as "Hide" does; the rest as on the window.
    if (k.Key == TSurfaceKey::Enter) {
        if (FHooks.Capture)
            FHooks.Capture();
        return;
    }
    if (k.Key == TSurfaceKey::Escape) {
        close();
        return;
    }
    Qt::Key key = Qt::Key_unknown;
    switch (k.Key) {
    case TSurfaceKey::Up:
        key = Qt::Key_Up;
        break;
    case TSurfaceKey::Down:
        key = Qt::Key_Down;
        break;
    case TSurfaceKey::Left:
        key = Qt::Key_Left;
        break;
    case TSurfaceKey::Right:
        key = Qt::Key_Right;
        break;
    case TSurfaceKey::F4:
        key = Qt::Key_F4;
        break;
    default:
        return;
    }
    Qt::KeyboardModifiers mods;
    if (k.Shift)
        mods |= Qt::ShiftModifier;
    if (k.Ctrl)
        mods |= Qt::ControlModifier;
    if (k.Alt)
        mods |= Qt::AltModifier;
    QKeyEvent event(QEvent::KeyPress, key, mods);
    keyPressEvent(&event);
}

} // namespace quorvel
