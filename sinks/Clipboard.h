#pragma once

#include <QImage>
#include <QString>

namespace quorvel {

// Put a copy of the picture, or the text, on the clipboard in place of what it held.
// When the clipboard cannot be taken, they tell the user in a message box and return; they
// never raise.
void BitmapToClipboard(const QImage& Bitmap);
void TextToClipboard(const QString& Text);

} // namespace quorvel
