#pragma once

#include "ocr/LanguageTags.h"
#include "ocr/RtOcr.h"

#include <QString>
#include <string>
#include <vector>

namespace quorvel::rtocr {

// A recognition language and the trained data that recognises it.
struct TNamedLanguage {
    TLanguage Language;
    std::string TrainedData;
};

// The four names of a trained data set's language, from the locale data: the English
// name (with the script or variant in brackets where the data set is one of several forms
// of its language), the name in the language itself, the tag and the script.
TLanguage NameLanguage(const TTrainedDataLanguage& language);

// The languages of the trained data in a folder, sorted by display name, then by tag.
std::vector<TNamedLanguage> LanguagesOfFolder(const QString& folder);

} // namespace quorvel::rtocr
