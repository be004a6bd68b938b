#pragma once

#include <QString>

class QWidget;

namespace quorvel {

enum class TMessageIcon { Information, Error };

// A message box above every other window, brought to the front, owned by no window of
// ours so that it shows even while the main window is hidden. Texts are shown as given;
// callers translate them. Safe to call from any thread: the box always opens on the
// user-interface thread, and the caller waits until it is dismissed. Every message is
// also written to the standard error stream, for the log of a session.
// `Topmost` false gives a plain box that does not push itself in front.
void ShowMessage(const QString& Caption, const QString& Text, TMessageIcon Icon,
                 bool Topmost = true);

// Gives a message box the window role "quorvel-message", which tells the program's
// messages apart from its other windows of the same title, for the window manager's rules
// and for scripts.
void MarkAsMessage(QWidget& box);

// A Yes/No question with No as the default; true for Yes.
bool AskYesNo(const QString& Caption, const QString& Text);

} // namespace quorvel
