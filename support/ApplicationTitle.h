#pragma once

#include <QString>

namespace quorvel {

// The application's title: the main window's translated caption, used as the caption of
// messages that belong to no window. Kept here rather than as Qt's application display
// name, which Qt would append to every window title on X11 ("Caption — Quorvel").
QString ApplicationTitle();
void SetApplicationTitle(const QString& title);

} // namespace quorvel
