#pragma once

#include <QByteArray>
#include <QString>

namespace quorvel {

// Whether the clipboard is taken through wl-copy: in a Wayland session with wl-copy
// installed. Elsewhere Qt's clipboard serves.
bool UseWlCopy();

// Puts the bytes on the clipboard as the given MIME type through wl-copy; false when it
// could not take the clipboard.
bool PutWithWlCopy(const QByteArray& data, const QString& mimeType);

} // namespace quorvel
