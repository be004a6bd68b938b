#pragma once

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

} // namespace quorvel
