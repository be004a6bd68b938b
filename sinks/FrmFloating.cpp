#include "sinks/FrmFloating.h"

#include "sinks/EncoderSettings.h"
#include "sinks/Save.h"
#include "sinks/WebpWriter.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace quorvel {

namespace {

// The save dialog's file types, in this order, with the extension each one supplies.
struct TFileType {
    const char* filter;
    const char* suffix;
};
constexpr TFileType kFileTypes[] = {{"PNG (*.png)", "png"},
                                    {"JPG (*.jpg *.jpeg)", "jpg"},
                                    {"GIF (*.gif)", "gif"},
                                    {"BMP (*.bmp)", "bmp"},
                                    {"WebP (*.webp)", "webp"}};

} // namespace

TFrmFloating::TFrmFloating(TPlatform& platform, THooks hooks)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      FPlatform(platform), FHooks(std::move(hooks)) {
    setObjectName(QStringLiteral("FrmFloating"));
    setWindowTitle(QStringLiteral("Quorvel"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    QPalette face = palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    setPalette(face);
    resize(311, 279);

    // The captions are the program's own and read the same in every language.
    Popup = new QMenu(this);
    Popup->setObjectName(QStringLiteral("Popup"));
    BtnSave = Popup->addAction(QString::fromUtf8("이미지 저장"));
    BtnSave->setObjectName(QStringLiteral("BtnSave"));
    Popup->addSeparator()->setObjectName(QStringLiteral("DivPop1"));
    BtnDelete = Popup->addAction(QString::fromUtf8("플로팅 삭제"));
    BtnDelete->setObjectName(QStringLiteral("BtnDelete"));
    BtnDeleteAll = Popup->addAction(QString::fromUtf8("모든 플로팅 삭제"));
    BtnDeleteAll->setObjectName(QStringLiteral("BtnDeleteAll"));
    connect(BtnSave, &QAction::triggered, this, [this] { BtnSaveClick(); });
    connect(BtnDelete, &QAction::triggered, this, [this] {
        if (FHooks.Delete)
            FHooks.Delete(this);
    });
    connect(BtnDeleteAll, &QAction::triggered, this, [this] {
        if (FHooks.DeleteAll)
            FHooks.DeleteAll();
    });
}

void TFrmFloating::SetPicture(const QImage& picture) {
    FPicture = picture.copy();
}

void TFrmFloating::ShowAt(const TRect& bounds) {
    FBounds = bounds;
    // Qt's geometry as near as logical pixels get; the window itself exactly.
    const qreal r = devicePixelRatioF();
    setGeometry(qRound(bounds.Left / r), qRound(bounds.Top / r),
                static_cast<int>(std::ceil(bounds.Width() / r)),
                static_cast<int>(std::ceil(bounds.Height() / r)));
    show();
    FPlatform.PlaceWindow(static_cast<TWindowId>(winId()), bounds);
}

void TFrmFloating::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Once the window manager has mapped it: above the others, out of the taskbar, and
    // at its exact place (a window manager may have placed it by its own rules).
    QTimer::singleShot(0, this, [this] {
        const auto id = static_cast<TWindowId>(winId());
        FPlatform.PinWindow(id);
        if (!FBounds.Empty())
            FPlatform.PlaceWindow(id, FBounds);
    });
}

void TFrmFloating::KeepPlacement() {
    if (FBounds.Empty() || !testAttribute(Qt::WA_WState_Created))
        return;
    const auto id = static_cast<TWindowId>(winId());
    const std::optional<TRect> actual = FPlatform.WindowBounds(id);
    if (!actual || actual->Empty() || *actual == FBounds)
        return;
    const TRect kept = ReconcilePlacement(*actual, FBounds, devicePixelRatioF());
    // The picture's size always; the place the user dragged it to.
    FBounds = {kept.Left, kept.Top, kept.Left + FBounds.Width(), kept.Top + FBounds.Height()};
    if (*actual != FBounds)
        FPlatform.PlaceWindow(id, FBounds);
}

void TFrmFloating::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    KeepPlacement();
}

void TFrmFloating::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    KeepPlacement();
}

void TFrmFloating::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    // One picture pixel on one screen pixel, from the top-left corner, whatever the scale.
    QImage shown = FPicture;
    shown.setDevicePixelRatio(devicePixelRatioF());
    painter.drawImage(QPointF(0, 0), shown);
}

void TFrmFloating::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    // The window manager's move, as when a title bar is dragged; without one, our own.
    if (QWindow* window = windowHandle(); window != nullptr && window->startSystemMove())
        return;
    FMoving = true;
    FMoveStart = event->globalPosition().toPoint();
    FWindowStart = pos();
}

void TFrmFloating::mouseMoveEvent(QMouseEvent* event) {
    if (FMoving)
        move(FWindowStart + event->globalPosition().toPoint() - FMoveStart);
    QWidget::mouseMoveEvent(event);
}

void TFrmFloating::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        FMoving = false;
    QWidget::mouseReleaseEvent(event);
}

void TFrmFloating::contextMenuEvent(QContextMenuEvent* event) {
    FMoving = false;
    Popup->popup(event->globalPos());
}

void TFrmFloating::SavePicture(const QString& path, int fileType) {
    switch (fileType) {
    case 1:
        BitmapToPNGFile(FPicture, path);
        break;
    case 2: {
        const QString quality = FHooks.JpegQuality ? FHooks.JpegQuality() : QString();
        BitmapToJPGFile(
            FPicture, path,
            static_cast<std::uint8_t>(std::clamp(QualityFromText(quality.toStdString()), 0, 255)));
        break;
    }
    case 3:
        BitmapToGIFFile(FPicture, path);
        break;
    case 4:
        BitmapToBMPFile(FPicture, path);
        break;
    case 5: {
        // The writer would quietly do nothing without the library: say so instead.
        if (!WebPAvailable(WebPLibraryPath()))
            throw std::runtime_error("WebP is not available: \"" + WebPLibraryPath() +
                                     "\" cannot be loaded.");
        const QString quality = FHooks.WebpQuality ? FHooks.WebpQuality() : QString();
        QImage copy = FPicture;
        BitmapToWebPFile(copy, path, QualityFromText(quality.toStdString()));
        break;
    }
    default:
        break;
    }
}

void TFrmFloating::BtnSaveClick() {
    QFileDialog SaveDialog(this);
    SaveDialog.setObjectName(QStringLiteral("SaveDialog"));
    SaveDialog.setAcceptMode(QFileDialog::AcceptSave);
    SaveDialog.setFileMode(QFileDialog::AnyFile);
    SaveDialog.setOption(QFileDialog::DontUseNativeDialog, false);
    SaveDialog.setDirectory(FHooks.SavePath ? FHooks.SavePath() : QString());
    QStringList filters;
    for (const TFileType& type : kFileTypes)
        filters << QString::fromLatin1(type.filter);
    SaveDialog.setNameFilters(filters);
    SaveDialog.setDefaultSuffix(QStringLiteral("png"));
    // The chosen type supplies the extension when the user typed none.
    connect(&SaveDialog, &QFileDialog::filterSelected, &SaveDialog,
            [&SaveDialog, filters](const QString& filter) {
                const qsizetype i = filters.indexOf(filter);
                if (i >= 0)
                    SaveDialog.setDefaultSuffix(QString::fromLatin1(kFileTypes[i].suffix));
            });
    if (SaveDialog.exec() != QDialog::Accepted || SaveDialog.selectedFiles().isEmpty())
        return;
    const int fileType = static_cast<int>(filters.indexOf(SaveDialog.selectedNameFilter())) + 1;
    try {
        SavePicture(SaveDialog.selectedFiles().constFirst(), fileType);
    } catch (const std::exception& e) {
        if (FHooks.SaveFailed)
            FHooks.SaveFailed(QString::fromUtf8(e.what()));
    }
}

} // namespace quorvel
