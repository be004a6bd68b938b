#include "support/FitTexts.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QVariant>
#include <algorithm>
#include <vector>

namespace quorvel {

namespace {

const char* const kDesign = "quorvelDesignGeometry";

// Room a push button's frame and margins take beside its text.
int ButtonPadding(const QWidget* button) {
    const QStyle* style = button->style();
    return 2 * style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) +
           2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button) + 4;
}

// The children that the fixed layout places: widgets of their own, not windows or menus.
std::vector<QWidget*> PlacedChildren(QWidget* parent) {
    std::vector<QWidget*> children;
    for (QObject* o : parent->children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (w != nullptr && !w->isWindow() && qobject_cast<QMenu*>(w) == nullptr &&
            w->parentWidget() == parent)
            children.push_back(w);
    }
    return children;
}

QRect Design(QWidget* w) {
    const QVariant stored = w->property(kDesign);
    if (!stored.isValid()) {
        w->setProperty(kDesign, w->geometry());
        return w->geometry();
    }
    return stored.toRect();
}

// Widgets that hold other widgets at fixed places: plain panels, frames, group boxes and
// stacks of pages. Composite controls (spin boxes, lists) arrange their own insides.
bool IsContainer(const QWidget* w) {
    const char* name = w->metaObject()->className();
    return qobject_cast<const QGroupBox*>(w) != nullptr ||
           qobject_cast<const QStackedWidget*>(w) != nullptr || qstrcmp(name, "QWidget") == 0 ||
           qstrcmp(name, "QFrame") == 0;
}

bool Rows(const QRect& a, const QRect& b) {
    return a.top() < b.bottom() && b.top() < a.bottom();
}

// Where the rightmost of the children ends in the design.
int DesignRight(const std::vector<QWidget*>& children) {
    int right = 0;
    for (QWidget* w : children)
        right = std::max(right, Design(w).right() + 1);
    return right;
}

// The room the design leaves right of the children. A stack's page is as wide as the stack,
// whatever Qt has sized it to so far.
int RightMargin(QWidget* parent, int designRight) {
    QWidget* frame = parent;
    if (auto* stack = qobject_cast<QStackedWidget*>(parent->parentWidget()))
        frame = stack;
    return std::max(0, Design(frame).width() - designRight);
}

// Back to the design geometry, all the way down (layouts keep their own).
void Restore(QWidget* parent) {
    if (parent->layout() != nullptr && qobject_cast<QStackedWidget*>(parent) == nullptr)
        return;
    for (QWidget* w : PlacedChildren(parent)) {
        const QRect design = Design(w);
        if (!qobject_cast<QStackedWidget*>(parent))
            w->setGeometry(design);
        if (IsContainer(w))
            Restore(w);
    }
}

// Widgets whose design reaches the right edge of their parent's design (give or take the
// odd pixel of a hand-made layout) keep reaching it when the parent grows, so that a grown
// window keeps its straight right edge. Runs once the sizes are known, from the top down.
void Stretch(QWidget* parent) {
    if (parent->layout() != nullptr && qobject_cast<QStackedWidget*>(parent) == nullptr)
        return;
    const std::vector<QWidget*> children = PlacedChildren(parent);
    if (auto* stack = qobject_cast<QStackedWidget*>(parent)) {
        for (QWidget* page : children) {
            page->resize(stack->size());
            Stretch(page);
        }
        return;
    }
    const int designRight = DesignRight(children);
    const int right = parent->width() - RightMargin(parent, designRight);
    for (QWidget* w : children) {
        if (Design(w).right() + 1 >= designRight - 2 && w->geometry().right() + 1 < right)
            w->resize(right - w->x(), w->height());
        if (IsContainer(w))
            Stretch(w);
    }
}

// Widens the drop-down of a list to its longest entry.
void FitList(QComboBox* list) {
    const QFontMetrics fm(list->view()->font());
    int widest = 0;
    for (int i = 0; i < list->count(); ++i)
        widest = std::max(widest, fm.horizontalAdvance(list->itemText(i)));
    list->view()->setMinimumWidth(widest + 12 +
                                  list->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
}

// Grows the children of a fixed layout to their texts; returns the width the parent needs.
int Grow(QWidget* parent) {
    std::vector<QWidget*> children = PlacedChildren(parent);
    if (auto* stack = qobject_cast<QStackedWidget*>(parent)) {
        // The pages fill the stack: it needs what its widest page needs.
        int need = stack->width();
        for (QWidget* page : children)
            need = std::max(need, Grow(page));
        return need;
    }
    if (parent->layout() != nullptr)
        return parent->sizeHint().width();
    std::sort(children.begin(), children.end(),
              [](QWidget* a, QWidget* b) { return a->x() < b->x(); });
    const int designRight = DesignRight(children);
    const int margin = RightMargin(parent, designRight);

    for (QWidget* w : children) {
        if (auto* list = qobject_cast<QComboBox*>(w))
            FitList(list);
        if (w->isHidden())
            continue; // shows nothing now: it neither grows nor pushes the others along
        int need = TextNeed(w);
        if (IsContainer(w) && !PlacedChildren(w).empty())
            need = std::max(need, Grow(w));
        const int extra = need - w->width();
        if (extra <= 0)
            continue;
        const QRect old = w->geometry();
        w->resize(w->width() + extra, w->height());
        for (QWidget* other : children)
            if (other != w && other->x() >= old.right() - 1 && Rows(other->geometry(), old))
                other->move(other->x() + extra, other->y());
    }
    int right = 0;
    for (QWidget* w : children)
        right = std::max(right, w->geometry().right() + 1);
    return right + margin;
}

} // namespace

int TextNeed(const QWidget* widget) {
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        if (label->wordWrap() || label->text().isEmpty() || !label->pixmap().isNull())
            return 0;
        return label->sizeHint().width();
    }
    if (qobject_cast<const QCheckBox*>(widget) != nullptr ||
        qobject_cast<const QRadioButton*>(widget) != nullptr)
        return widget->sizeHint().width();
    if (const auto* button = qobject_cast<const QPushButton*>(widget)) {
        if (button->text().isEmpty())
            return 0;
        QString text = button->text();
        text.remove(QLatin1Char('&'));
        return button->fontMetrics().horizontalAdvance(text) + ButtonPadding(button);
    }
    if (const auto* group = qobject_cast<const QGroupBox*>(widget))
        return group->fontMetrics().horizontalAdvance(group->title()) + 24;
    if (const auto* list = qobject_cast<const QComboBox*>(widget)) {
        // The closed list shows its chosen entry in its edit field: room for the widest
        // entry, whichever is chosen.
        int widest = 0;
        for (int i = 0; i < list->count(); ++i)
            widest = std::max(widest, list->fontMetrics().horizontalAdvance(list->itemText(i)));
        return list->width() - ListTextRoom(list) + widest;
    }
    return 0;
}

int ListTextRoom(const QComboBox* list) {
    QStyleOptionComboBox option;
    option.initFrom(list);
    option.editable = list->isEditable();
    option.frame = list->hasFrame();
    option.subControls = QStyle::SC_All;
    const QRect field = list->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                      QStyle::SC_ComboBoxEditField, list);
    // The label is drawn one pixel in from each side of the field.
    return field.width() - 2;
}

void SetDesignWidth(QWidget* widget, int width) {
    QRect design = Design(widget);
    design.setWidth(width);
    widget->setProperty(kDesign, design);
}

void FitTexts(QWidget* window) {
    if (window == nullptr)
        return;
    if (!window->property(kDesign).isValid())
        window->setProperty(kDesign, QRect(QPoint(), window->size()));
    const QSize design = window->property(kDesign).toRect().size();
    Restore(window);
    const int need = Grow(window);
    const QSize size(std::max(design.width(), need), design.height());
    if (window->minimumSize() == window->maximumSize())
        window->setFixedSize(size);
    else
        window->resize(size);
    Stretch(window);
}

} // namespace quorvel
