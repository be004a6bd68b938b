#pragma once

#include <QStyledItemDelegate>

class QComboBox;

namespace quorvel {

// How the drop-down lists draw their entries: the entry's rectangle filled with the list's
// normal or selected colour, the text one pixel in from the left and top, and a focus
// rectangle around the entry that has the focus.
class TListItemDrawer : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};

// Lets the drawer draw the entries of a list.
void UseListItemDrawer(QComboBox* list);

} // namespace quorvel
