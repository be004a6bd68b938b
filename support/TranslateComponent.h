#pragma once

#include <QString>

class QObject;
class QAction;
class QMenu;

namespace quorvel {

// Translates the caption of a menu item and of all its sub-items into the current language.
void TranslateMenuItem(QAction* Item);
void TranslateMenuItem(QMenu* Menu);

// Translates a window or anything a window owns, and everything it owns in turn: window
// titles (English in every language but Korean), labels, buttons, check boxes, group
// boxes, menus and their items, and the items of combo boxes (whose selection is kept).
// A non-empty Language first becomes the current language, even for a null Component.
void TranslateComponent(QObject* Component, const QString& Language = QString());

} // namespace quorvel
