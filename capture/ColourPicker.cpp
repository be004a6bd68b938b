#include "capture/ColourPicker.h"

#include "capture/FrmColourPoint.h"
#include "sinks/Clipboard.h"

#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QStyledItemDelegate>
#include <cstdio>

namespace quorvel {

std::string ColourCode(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    char code[8];
    std::snprintf(code, sizeof code, "%02X%02X%02X", red, green, blue);
    return code;
}

std::optional<std::uint32_t> ColourOfCode(const std::string& code) {
    if (code.size() != 6)
        return std::nullopt;
    std::uint32_t value = 0;
    for (char c : code) {
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    return value;
}

namespace {

// An entry of the colour list: the code with a swatch of its colour before it, white on
// blue when selected.
class TColourEntryDrawer : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const QString text = index.data(Qt::DisplayRole).toString();
        const bool selected = option.state & QStyle::State_Selected;
        const QRect r = option.rect;
        painter->save();
        painter->fillRect(r, selected ? QColor(0x33, 0x99, 0xFF) : QColor(Qt::white));
        painter->setPen(selected ? Qt::white : Qt::black);
        painter->setFont(option.font);
        painter->setClipRect(r);
        painter->drawText(QRect(r.left() + 20, r.top(), r.width() - 20, r.height()),
                          Qt::AlignLeft | Qt::AlignTop, text);
        const QRect swatch(QPoint(r.left() + 2, r.top() + 2), QPoint(15, r.bottom() - 2));
        if (const auto colour = ColourOfCode(text.toStdString()))
            painter->fillRect(swatch, QColor::fromRgb(*colour));
        painter->setPen(Qt::black);
        painter->drawRect(swatch.adjusted(0, 0, -1, -1));
        painter->restore();
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), 15};
    }
};

} // namespace

TColourPicker::TColourPicker(TPlatform& platform, QLabel* LblColor, QFrame* ShpColor,
                             QListWidget* LstColor, QObject* parent)
    : QObject(parent), FPlatform(platform), FLabel(LblColor), FSwatch(ShpColor), FList(LstColor) {
    TmrColor.setInterval(100);
    connect(&TmrColor, &QTimer::timeout, this, [this] { TmrColorTimer(); });
    FList->setItemDelegate(new TColourEntryDrawer(FList));
    Pick = new QMenu(FList);
    Pick->setObjectName(QStringLiteral("Pick"));
    N5 = Pick->addAction(QString::fromUtf8("복사"));
    N5->setObjectName(QStringLiteral("N5"));
    N7 = Pick->addAction(QString::fromUtf8("삭제"));
    N7->setObjectName(QStringLiteral("N7"));
    connect(N5, &QAction::triggered, this, [this] { N5Click(); });
    connect(N7, &QAction::triggered, this, [this] { N7Click(); });
    FList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(FList, &QListWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { Pick->popup(FList->viewport()->mapToGlobal(at)); });
}

void TColourPicker::SetSampling(bool on) {
    if (on && !TmrColor.isActive())
        TmrColor.start();
    else if (!on)
        TmrColor.stop();
}

void TColourPicker::TmrColorTimer() {
    try {
        const TPoint p = FPlatform.PointerPosition();
        ShowColour(FPlatform.GrabScreen({p.X, p.Y, p.X + 1, p.Y + 1}).pixel(0, 0));
    } catch (const std::exception&) {
        // A screen that cannot be read leaves the readout as it was.
    }
}

void TColourPicker::ShowColour(QRgb pixel) {
    FLabel->setText(QString::fromStdString(ColourCode(static_cast<std::uint8_t>(qRed(pixel)),
                                                      static_cast<std::uint8_t>(qGreen(pixel)),
                                                      static_cast<std::uint8_t>(qBlue(pixel)))));
    QPalette palette = FSwatch->palette();
    palette.setColor(QPalette::Window, QColor::fromRgb(pixel));
    FSwatch->setPalette(palette);
}

void TColourPicker::CaptureColor() {
    if (!FPlatform.Capabilities().KnowPointer) {
        // No pointer to follow: the user clicks the pixel on the frozen desktop instead.
        TFrmColourPoint point(FList->window(), FPlatform);
        const std::optional<QRgb> colour = point.Run();
        if (!colour)
            return;
        ShowColour(*colour);
    }
    const QString text = FLabel->text();
    FList->insertItem(0, text);
    TextToClipboard(text);
}

void TColourPicker::N5Click() {
    if (QListWidgetItem* item = FList->currentItem(); item != nullptr && item->isSelected())
        TextToClipboard(item->text());
}

void TColourPicker::N7Click() {
    if (QListWidgetItem* item = FList->currentItem(); item != nullptr && item->isSelected())
        delete FList->takeItem(FList->row(item));
}

} // namespace quorvel
