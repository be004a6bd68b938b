#pragma once

#include "ocr/RtOcr.h"

#include <QImage>
#include <QString>
#include <atomic>
#include <string>

namespace quorvel::rtocr {

// Recognises a picture with one trained data set of the folder. Ends early with stCanceled
// when `canceled` becomes true; stError when Tesseract cannot load the data or read the
// picture. Runs on the caller's thread.
TResult RunTesseract(const QString& dataPath, const std::string& trainedData, const QImage& picture,
                     const std::atomic<bool>& canceled);

} // namespace quorvel::rtocr
