#include "ocr/LanguageTags.h"

#include <algorithm>
#include <string_view>

namespace quorvel {

namespace {

struct TEntry {
    std::string_view Code;     // ISO 639-2 code of the trained data's base name
    std::string_view Language; // ISO 639-1 when there is one, else the 639-2 code
    std::string_view Script;   // ISO 15924 script the data set is written in
};

// The languages Tesseract publishes trained data for.
constexpr TEntry kLanguages[] = {
    {"afr", "af", "Latn"},  {"amh", "am", "Ethi"}, {"ara", "ar", "Arab"},  {"asm", "as", "Beng"},
    {"aze", "az", "Latn"},  {"bel", "be", "Cyrl"}, {"ben", "bn", "Beng"},  {"bod", "bo", "Tibt"},
    {"bos", "bs", "Latn"},  {"bre", "br", "Latn"}, {"bul", "bg", "Cyrl"},  {"cat", "ca", "Latn"},
    {"ceb", "ceb", "Latn"}, {"ces", "cs", "Latn"}, {"chi", "zh", "Hani"},  {"chr", "chr", "Cher"},
    {"cos", "co", "Latn"},  {"cym", "cy", "Latn"}, {"dan", "da", "Latn"},  {"deu", "de", "Latn"},
    {"div", "dv", "Thaa"},  {"dzo", "dz", "Tibt"}, {"ell", "el", "Grek"},  {"eng", "en", "Latn"},
    {"enm", "enm", "Latn"}, {"epo", "eo", "Latn"}, {"est", "et", "Latn"},  {"eus", "eu", "Latn"},
    {"fao", "fo", "Latn"},  {"fas", "fa", "Arab"}, {"fil", "fil", "Latn"}, {"fin", "fi", "Latn"},
    {"fra", "fr", "Latn"},  {"frk", "de", "Latf"}, {"frm", "frm", "Latn"}, {"fry", "fy", "Latn"},
    {"gla", "gd", "Latn"},  {"gle", "ga", "Latn"}, {"glg", "gl", "Latn"},  {"grc", "grc", "Grek"},
    {"guj", "gu", "Gujr"},  {"hat", "ht", "Latn"}, {"heb", "he", "Hebr"},  {"hin", "hi", "Deva"},
    {"hrv", "hr", "Latn"},  {"hun", "hu", "Latn"}, {"hye", "hy", "Armn"},  {"iku", "iu", "Cans"},
    {"ind", "id", "Latn"},  {"isl", "is", "Latn"}, {"ita", "it", "Latn"},  {"jav", "jv", "Latn"},
    {"jpn", "ja", "Jpan"},  {"kan", "kn", "Knda"}, {"kat", "ka", "Geor"},  {"kaz", "kk", "Cyrl"},
    {"khm", "km", "Khmr"},  {"kir", "ky", "Cyrl"}, {"kmr", "kmr", "Latn"}, {"kor", "ko", "Kore"},
    {"lao", "lo", "Laoo"},  {"lat", "la", "Latn"}, {"lav", "lv", "Latn"},  {"lit", "lt", "Latn"},
    {"ltz", "lb", "Latn"},  {"mal", "ml", "Mlym"}, {"mar", "mr", "Deva"},  {"mkd", "mk", "Cyrl"},
    {"mlt", "mt", "Latn"},  {"mon", "mn", "Cyrl"}, {"mri", "mi", "Latn"},  {"msa", "ms", "Latn"},
    {"mya", "my", "Mymr"},  {"nep", "ne", "Deva"}, {"nld", "nl", "Latn"},  {"nor", "no", "Latn"},
    {"oci", "oc", "Latn"},  {"ori", "or", "Orya"}, {"pan", "pa", "Guru"},  {"pol", "pl", "Latn"},
    {"por", "pt", "Latn"},  {"pus", "ps", "Arab"}, {"que", "qu", "Latn"},  {"ron", "ro", "Latn"},
    {"rus", "ru", "Cyrl"},  {"san", "sa", "Deva"}, {"sin", "si", "Sinh"},  {"slk", "sk", "Latn"},
    {"slv", "sl", "Latn"},  {"snd", "sd", "Arab"}, {"spa", "es", "Latn"},  {"sqi", "sq", "Latn"},
    {"srp", "sr", "Cyrl"},  {"sun", "su", "Latn"}, {"swa", "sw", "Latn"},  {"swe", "sv", "Latn"},
    {"syr", "syr", "Syrc"}, {"tam", "ta", "Taml"}, {"tat", "tt", "Cyrl"},  {"tel", "te", "Telu"},
    {"tgk", "tg", "Cyrl"},  {"tgl", "tl", "Latn"}, {"tha", "th", "Thai"},  {"tir", "ti", "Ethi"},
    {"ton", "to", "Latn"},  {"tur", "tr", "Latn"}, {"uig", "ug", "Arab"},  {"ukr", "uk", "Cyrl"},
    {"urd", "ur", "Arab"},  {"uzb", "uz", "Latn"}, {"vie", "vi", "Latn"},  {"yid", "yi", "Hebr"},
    {"yor", "yo", "Latn"},
};

// Suffixes of the data sets that are a second form of a language.
struct TSuffix {
    std::string_view Suffix;
    std::string_view Script;  // the script the suffix names; empty keeps the language's
    std::string_view Variant; // the variant word; empty when the script alone tells it
};

constexpr TSuffix kSuffixes[] = {
    {"sim", "Hans", ""},
    {"tra", "Hant", ""},
    {"cyrl", "Cyrl", ""},
    {"latn", "Latn", ""},
    {"vert", "", "vertical"},
    {"old", "", "old"},
    {"sim_vert", "Hans", "vertical"},
    {"tra_vert", "Hant", "vertical"},
};

// Data that comes with Tesseract but recognises no language of its own.
constexpr std::string_view kHelperData[] = {"osd", "equ"};

constexpr std::string_view kExtension = ".traineddata";

const TEntry* FindLanguage(std::string_view code) {
    for (const TEntry& entry : kLanguages)
        if (entry.Code == code)
            return &entry;
    return nullptr;
}

bool IsNameCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-';
}

// A private-use subtag from the variant word: its first four letters ("vert", "old").
std::string PrivateUseSubtag(std::string_view variant) {
    std::string subtag;
    for (char c : variant)
        if (subtag.size() < 4 && c >= 'a' && c <= 'z')
            subtag += c;
    return subtag;
}

} // namespace

std::optional<TTrainedDataLanguage> LanguageOfTrainedData(const std::string& name) {
    if (name.empty() || !std::all_of(name.begin(), name.end(), IsNameCharacter))
        return std::nullopt;
    for (std::string_view helper : kHelperData)
        if (name == helper)
            return std::nullopt;

    const std::size_t underscore = name.find('_');
    const std::string base = name.substr(0, underscore);
    const std::string suffix = underscore == std::string::npos ? "" : name.substr(underscore + 1);
    const TEntry* entry = FindLanguage(base);
    const TSuffix* form = nullptr;
    for (const TSuffix& candidate : kSuffixes)
        if (candidate.Suffix == suffix)
            form = &candidate;
    if (entry == nullptr || (!suffix.empty() && form == nullptr)) {
        // Data of the user's own training: its name is all we know.
        return TTrainedDataLanguage{name, name, name, "", ""};
    }

    TTrainedDataLanguage result;
    result.Name = name;
    result.Language = std::string(entry->Language);
    result.Script =
        std::string(form != nullptr && !form->Script.empty() ? form->Script : entry->Script);
    result.Variant = form != nullptr ? std::string(form->Variant) : "";
    result.Tag = result.Language;
    // The script goes into the tag only where it is not the language's usual one, and
    // always for Chinese, whose tag without it says neither form.
    if (form != nullptr && !form->Script.empty() &&
        (form->Script != entry->Script || entry->Language == "zh"))
        result.Tag += "-" + result.Script;
    if (base == "frk") {
        result.Tag += "-Latf";
        result.Variant = "Fraktur";
    }
    if (!result.Variant.empty() && base != "frk")
        result.Tag += "-x-" + PrivateUseSubtag(result.Variant);
    return result;
}

std::vector<std::string> TrainedDataNames(const std::vector<std::string>& fileNames) {
    std::vector<std::string> names;
    for (const std::string& file : fileNames) {
        if (file.size() <= kExtension.size() ||
            file.compare(file.size() - kExtension.size(), kExtension.size(), kExtension) != 0)
            continue;
        std::string name = file.substr(0, file.size() - kExtension.size());
        if (LanguageOfTrainedData(name))
            names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

namespace {

// The language part of a tag: "zh" of "zh-Hant", "ja" of "ja-x-vert".
std::string PrimarySubtag(const std::string& tag) {
    return tag.substr(0, tag.find('-'));
}

int FindLanguage(const std::vector<std::string>& tags, const std::string& language) {
    // The language's usual form first: the plain tag, then the simplified script for
    // Chinese, then any other form of the language.
    const std::string usual = language == "zh" ? "zh-Hans" : language;
    for (const std::string& wanted : {language, usual})
        for (std::size_t i = 0; i < tags.size(); ++i)
            if (tags[i] == wanted)
                return static_cast<int>(i);
    for (std::size_t i = 0; i < tags.size(); ++i)
        if (PrimarySubtag(tags[i]) == language)
            return static_cast<int>(i);
    return -1;
}

} // namespace

int DefaultRecognitionLanguage(const std::vector<std::string>& tags,
                               const std::string& interfaceLanguage) {
    if (tags.empty())
        return -1;
    if (!interfaceLanguage.empty())
        if (const int found = FindLanguage(tags, interfaceLanguage); found >= 0)
            return found;
    if (const int english = FindLanguage(tags, "en"); english >= 0)
        return english;
    return 0;
}

} // namespace quorvel
