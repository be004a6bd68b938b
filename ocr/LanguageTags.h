#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quorvel {

// What a Tesseract trained-data name ("eng", "chi_sim", "uzb_cyrl", "jpn_vert") stands for:
// its BCP-47 tag ("en", "zh-Hans", "uz-Cyrl", "ja-x-vert"), the ISO 639 language part of
// the tag ("en", "zh", "uz", "ja"), its ISO 15924 script ("Latn", "Hans", "Cyrl", "Jpan")
// and a variant word for the data sets that share a language with another one ("vertical",
// "old", "Fraktur"); empty when there is none.
struct TTrainedDataLanguage {
    std::string Name;
    std::string Tag;
    std::string Language;
    std::string Script;
    std::string Variant;
};

// The language of one trained-data name; none for the helper data that is not a language
// of its own (orientation and script detection "osd", the equation data "equ") and for
// names that cannot be a language file. A name the table does not know keeps itself as
// its tag, with no script.
std::optional<TTrainedDataLanguage> LanguageOfTrainedData(const std::string& name);

// The trained-data names among the file names of a data folder ("eng.traineddata" gives
// "eng"), sorted, helper data and other files left out.
std::vector<std::string> TrainedDataNames(const std::vector<std::string>& fileNames);

// Which of the listed languages (BCP-47 tags, in list order) text recognition starts with when
// the user has not chosen one: the interface language ("ko", "zh", ...), in its usual script
// and without a variant when there is such an entry, else English, else the first entry.
// -1 for an empty list.
int DefaultRecognitionLanguage(const std::vector<std::string>& tags,
                               const std::string& interfaceLanguage);

} // namespace quorvel
