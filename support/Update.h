#pragma once

#include <QString>
#include <chrono>
#include <functional>
#include <string>

namespace quorvel {

using TUpdateCallback = std::function<void(bool Accepted, const QString& Reply)>;

// Starts the update check of this run and returns at once. A thread of its own sends the
// check request (up to 60 attempts, 10 seconds apart), then hands the reply to the
// user-interface thread and waits there until it has been handled: a reply that names a
// download address shows the update dialog, and Yes opens that address in the browser.
// Callback then gets whether the user accepted, on the user-interface thread. It is not
// called when the check is stopped first (the program ends).
void CheckUpdate(const QString& URL, TUpdateCallback Callback, int DialogOffset);

// Tells the check and any hold request to stop and waits for their threads; each pause and
// each transfer notices within about 10 ms. Run when the program ends.
void StopUpdateCheck();

// The update dialog for the reply; true when the user chose Yes.
bool UpdateDialog(const QString& Reply);

// The built-in texts of the update dialog in the system's language.
QString UpdateText(int Kind);
std::string UpdateLanguage();

// The installation identifier of the maker's store, made on first use; empty when it
// cannot be read or made.
QString GetInstallationId();
QString NewInstallationId();

// For the dialog: the offset of its notice line, and the hold request, sent on a thread
// of its own and forgotten.
int UpdateDialogOffset();
void SendHoldRequest();

// The length of one of the 1,000 pauses between attempts, 10 ms. Tests shorten it.
void SetUpdatePause(std::chrono::microseconds Pause);

} // namespace quorvel
