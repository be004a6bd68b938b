#pragma once

class QComboBox;
class QWidget;

namespace quorvel {

// Windows laid out by fixed positions (sizes made for another system's font) are grown so
// that every label, button and group title shows its whole text in the current language:
// a widget that needs more room grows to the right, what stands to its right on the same
// row moves along, and its parents and the window grow with it. Drop-down lists keep their
// size and widen their drop-down to the longest entry. Each run starts again from the
// window's design geometry, so it follows every change of language.
void FitTexts(QWidget* window);

// The width a widget's text needs, frame and margins included; 0 for widgets that show no
// text of their own or size themselves.
int TextNeed(const QWidget* widget);

// The width a closed list has for the text of its chosen entry.
int ListTextRoom(const QComboBox* list);

// Changes the width a widget has in its window's design, for a window that lays a row out
// anew (a list narrowed to make room for another beside it); the next FitTexts uses it.
void SetDesignWidth(QWidget* widget, int width);

} // namespace quorvel
