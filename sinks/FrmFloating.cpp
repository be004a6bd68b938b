#include "sinks/FrmFloating.h"

#include "support/LayerMenu.h"
#include "support/TranslateComponent.h"

#include "sinks/FloatingSave.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QtMath>
#include <cmath>
#include <memory>

namespace quorvel {

TFrmFloating::TFrmFloating(TPlatform& platform, TFloatingOwner owner)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      FPlatform(platform), FOwner(std::move(owner)) {
    // No parent window: the window stays where it is when the main window is hidden or
    // minimised.
    setObjectName(QStringLiteral("FrmFloating"));
    setWindowTitle(QStringLiteral("Quorvel"));
    setAttribute(Qt::WA_QuitOnClose, false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setBackgroundRole(QPalette::Button);
    QFont font(QStringLiteral("Segoe UI"));
    font.setPixelSize(12);
    setFont(font);
    resize(311, 279);
    const TCapabilities can = platform.Capabilities();
    if (can.LayerSurfaces) {
        FLayer = platform.CreateLayerSurface(
            TSurfaceLayer::Top, TSurfaceKeys::None,
            {[this](const TSurfacePointer& e) { LayerPointer(e); }, {}});
        if (FLayer != nullptr)
            setAttribute(Qt::WA_DontShowOnScreen);
    }

    // The captions follow the interface language, also when it changes while the picture
    // floats: they are translated each time the menu opens.
    Popup = new QMenu(this);
    Popup->setObjectName(QStringLiteral("Popup"));
    BtnSave = Popup->addAction(QStringLiteral("이미지 저장"));
    BtnSave->setObjectName(QStringLiteral("BtnSave"));
    DivPop1 = Popup->addSeparator();
    DivPop1->setObjectName(QStringLiteral("DivPop1"));
    BtnDelete = Popup->addAction(QStringLiteral("플로팅 삭제"));
    BtnDelete->setObjectName(QStringLiteral("BtnDelete"));
    BtnDeleteAll = Popup->addAction(QStringLiteral("모든 플로팅 삭제"));
    BtnDeleteAll->setObjectName(QStringLiteral("BtnDeleteAll"));
    // A desktop that neither places nor stacks the program's windows (GNOME on Wayland)
    // shows the picture as an ordinary window: said where the user handles the picture.
    if (!can.LayerSurfaces && !(can.PlaceWindows && can.KeepOnTop)) {
        Popup->addSeparator();
        QAction* note =
            Popup->addAction(QStringLiteral("Not kept on top or in place on this desktop"));
        note->setObjectName(QStringLiteral("LblOrdinaryWindow"));
        note->setEnabled(false);
    }
    TranslateComponent(Popup);
    connect(Popup, &QMenu::aboutToShow, this, [this] { TranslateComponent(Popup); });
    connect(BtnSave, &QAction::triggered, this, [this] { BtnSaveClick(); });
    connect(BtnDelete, &QAction::triggered, this, [this] { BtnDeleteClick(); });
    connect(BtnDeleteAll, &QAction::triggered, this, [this] { BtnDeleteAllClick(); });
    if (FLayer != nullptr)
        FLayerMenu = TLayerMenu::Create(platform, Popup);
}

TFrmFloating::~TFrmFloating() = default;

void TFrmFloating::SetPicture(const QImage& picture) {
    // Its own pixels, so that the window never shares them with the capture.
    FPicture = picture.format() == QImage::Format_RGB32
                   ? picture.copy()
                   : picture.convertToFormat(QImage::Format_RGB32);
    update();
}

void TFrmFloating::ShowAt(const TRect& rect) {
    FPlace = rect;
    if (FLayer != nullptr) {
        // The surface is the picture's size, its corner at the rectangle's.
        FPlace = {rect.Left, rect.Top, rect.Left + std::max(1, FPicture.width()),
                  rect.Top + std::max(1, FPicture.height())};
        show();
        FLayer->Show(FPlace, FPicture, {{0, 0, FPlace.Width(), FPlace.Height()}});
        return;
    }
    // The toolkit's own geometry is in logical pixels and cannot hold every physical
    // position under a scale factor; it only gives the first guess, and the exact
    // rectangle is set on the window itself once it is shown.
    const qreal ratio = devicePixelRatioF();
    setGeometry(qRound(rect.Left / ratio), qRound(rect.Top / ratio),
                qMax(1, qRound(rect.Width() / ratio)), qMax(1, qRound(rect.Height() / ratio)));
    const auto window = static_cast<TWindowId>(winId());
    FDirect = FPlatform.DrawPicture(window, FPicture, {});
    setAttribute(Qt::WA_PaintOnScreen, FDirect);
    FPlatform.KeepAboveUnlisted(window);
    show();
    FPlatform.PlaceWindow(window, rect);
}

QPaintEngine* TFrmFloating::paintEngine() const {
    return FDirect ? nullptr : QWidget::paintEngine();
}

void TFrmFloating::paintEvent(QPaintEvent* event) {
    const qreal ratio = devicePixelRatioF();
    if (FDirect) {
        // The rows the exposed part covers, in the window's physical pixels; the window
        // is the picture's size, so there is nothing else to draw.
        const QRect r = event->rect();
        const int top = static_cast<int>(std::floor(r.top() * ratio));
        const int bottom = static_cast<int>(std::ceil((r.bottom() + 1) * ratio));
        FPlatform.DrawPicture(static_cast<TWindowId>(winId()), FPicture,
                              {0, top, FPicture.width(), bottom});
        return;
    }
    QPainter painter(this);
    painter.fillRect(event->rect(), palette().color(QPalette::Button));
    if (FPicture.isNull())
        return;
    // One pixel of the picture on one pixel of the screen, whatever the scale factor.
    painter.drawImage(QRectF(0, 0, FPicture.width() / ratio, FPicture.height() / ratio), FPicture,
                      QRectF(0, 0, FPicture.width(), FPicture.height()));
}

void TFrmFloating::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    FPressed = true;
    FMoving = false;
    FOwnMove = false;
    FPressAt = FPlatform.PointerPosition();
    FPressPlace = FPlatform.WindowBounds(static_cast<TWindowId>(winId())).value_or(FPlace);
}

void TFrmFloating::mouseMoveEvent(QMouseEvent* event) {
    ImageMouseMove(event);
}

// Dragging the picture moves the window as if its title bar were dragged: the window
// manager's own move where it offers one, else a move that follows the pointer here.
void TFrmFloating::ImageMouseMove(QMouseEvent* event) {
    if (!FPressed || !(event->buttons() & Qt::LeftButton))
        return;
    if (!FMoving) {
        FMoving = true;
        if (FPlatform.StartWindowMove(static_cast<TWindowId>(winId()), FPressAt)) {
            // The window manager has the pointer until the button goes up; no release
            // reaches this window.
            FPressed = false;
            return;
        }
        FOwnMove = true;
    }
    if (!FOwnMove)
        return;
    const TPoint now = FPlatform.PointerPosition();
    const int dx = now.X - FPressAt.X;
    const int dy = now.Y - FPressAt.Y;
    FPlace = {FPressPlace.Left + dx, FPressPlace.Top + dy, FPressPlace.Right + dx,
              FPressPlace.Bottom + dy};
    FPlatform.PlaceWindow(static_cast<TWindowId>(winId()), FPlace);
}

void TFrmFloating::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        FPressed = false;
        FMoving = false;
        FOwnMove = false;
    }
    QWidget::mouseReleaseEvent(event);
}

void TFrmFloating::LayerPointer(const TSurfacePointer& e) {
    if (e.Kind == TSurfacePointer::Press && FLayerMenu != nullptr)
        FLayerMenu->Close();
    if (e.Kind == TSurfacePointer::Press && e.Button == 1) {
        FPressed = true;
        FPressAt = e.Position;
        FPressPlace = FPlace;
    } else if (e.Kind == TSurfacePointer::Release && e.Button == 1) {
        FPressed = false;
    } else if (e.Kind == TSurfacePointer::Press && e.Button == 2) {
        if (FLayerMenu != nullptr)
            FLayerMenu->Popup(e.Position);
    } else if (e.Kind == TSurfacePointer::Motion && FPressed) {
        // The same picture at other bounds: the surface only moves.
        const int dx = e.Position.X - FPressAt.X;
        const int dy = e.Position.Y - FPressAt.Y;
        FPlace = {FPressPlace.Left + dx, FPressPlace.Top + dy, FPressPlace.Right + dx,
                  FPressPlace.Bottom + dy};
        FLayer->Show(FPlace, FPicture, {{0, 0, FPlace.Width(), FPlace.Height()}});
    }
}

void TFrmFloating::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (FLayer != nullptr)
        FLayer->Hide();
}

void TFrmFloating::contextMenuEvent(QContextMenuEvent* event) {
    Popup->popup(event->globalPos());
}

void TFrmFloating::closeEvent(QCloseEvent* event) {
    // Closed by the window manager (a key or a pager): the window goes for good, as if it
    // had been deleted from its menu, rather than hiding while it stays in the list. The
    // program's own closing of every window when it ends is let through, or it would keep
    // the program from ending; the main window destroys the floating windows then.
    if (!event->spontaneous()) {
        QWidget::closeEvent(event);
        return;
    }
    event->ignore();
    BtnDeleteClick();
}

void TFrmFloating::BtnSaveClick() {
    QPointer<TFrmFloating> self(this);
    // On the heap, as a child of this window: should the window be destroyed while the
    // dialog is open (the program ending), the dialog goes with it.
    QPointer<QFileDialog> dialog(new QFileDialog(this));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setDirectory(FOwner.SavePath ? FOwner.SavePath() : QString());
    dialog->setNameFilters(FloatingSaveFilters());
    dialog->setDefaultSuffix(QStringLiteral("png"));
    // A name typed without an extension takes the one of the chosen type.
    connect(dialog.data(), &QFileDialog::filterSelected, dialog.data(),
            [d = dialog.data()](const QString& filter) {
                d->setDefaultSuffix(FloatingDefaultExtension(
                    static_cast<int>(d->nameFilters().indexOf(filter)) + 1));
            });
    const int result = dialog->exec();
    if (!self || !dialog)
        return;
    const int fileType =
        static_cast<int>(dialog->nameFilters().indexOf(dialog->selectedNameFilter())) + 1;
    const QStringList files = dialog->selectedFiles();
    delete dialog.data();
    if (result != QDialog::Accepted || files.isEmpty())
        return;
    try {
        SaveFloatingPicture(fileType, FPicture, files.constFirst(),
                            FOwner.JpegQuality ? FOwner.JpegQuality() : QString(),
                            FOwner.WebpQuality ? FOwner.WebpQuality() : QString());
    } catch (const std::exception& e) {
        if (FOwner.ShowFailure)
            FOwner.ShowFailure(QString::fromUtf8(e.what()));
    }
}

void TFrmFloating::BtnDeleteClick() {
    if (FOwner.FloatDelete)
        FOwner.FloatDelete(this);
}

void TFrmFloating::BtnDeleteAllClick() {
    if (FOwner.FloatDelete)
        FOwner.FloatDelete(nullptr);
}

} // namespace quorvel
