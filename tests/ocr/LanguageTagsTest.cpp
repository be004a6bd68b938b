// Trained-data names to language tags and scripts, and the picking of data files.

#include "ocr/LanguageTags.h"
#include "ocr/TextFileBytes.h"

#include <gtest/gtest.h>

namespace quorvel::test {

namespace {

std::string Tag(const std::string& name) {
    const auto language = LanguageOfTrainedData(name);
    return language ? language->Tag : "<none>";
}

std::string Script(const std::string& name) {
    const auto language = LanguageOfTrainedData(name);
    return language ? language->Script : "<none>";
}

} // namespace

TEST(LanguageTags, InterfaceLanguagesGetTheirTwoLetterTagsAndScripts) {
    const std::pair<const char*, std::pair<const char*, const char*>> expected[] = {
        {"eng", {"en", "Latn"}},          {"jpn", {"ja", "Jpan"}},          {"kor", {"ko", "Kore"}},
        {"rus", {"ru", "Cyrl"}},          {"ita", {"it", "Latn"}},          {"fra", {"fr", "Latn"}},
        {"chi_sim", {"zh-Hans", "Hans"}}, {"chi_tra", {"zh-Hant", "Hant"}},
    };
    for (const auto& [name, tagAndScript] : expected) {
        EXPECT_EQ(Tag(name), tagAndScript.first) << name;
        EXPECT_EQ(Script(name), tagAndScript.second) << name;
    }
}

TEST(LanguageTags, OtherFormsCarryTheirScriptOrAPrivateVariant) {
    EXPECT_EQ(Tag("deu"), "de");
    EXPECT_EQ(Tag("ukr"), "uk");
    EXPECT_EQ(Script("ara"), "Arab");
    // Only a script other than the language's usual one goes into the tag.
    EXPECT_EQ(Tag("srp"), "sr");
    EXPECT_EQ(Script("srp"), "Cyrl");
    EXPECT_EQ(Tag("srp_latn"), "sr-Latn");
    EXPECT_EQ(Script("srp_latn"), "Latn");
    EXPECT_EQ(Tag("uzb_cyrl"), "uz-Cyrl");
    EXPECT_EQ(Tag("aze_cyrl"), "az-Cyrl");
    // Vertical and old forms stay apart from the plain data set.
    EXPECT_EQ(Tag("jpn_vert"), "ja-x-vert");
    EXPECT_EQ(LanguageOfTrainedData("jpn_vert")->Variant, "vertical");
    EXPECT_EQ(Tag("chi_sim_vert"), "zh-Hans-x-vert");
    EXPECT_EQ(Tag("ita_old"), "it-x-old");
    EXPECT_EQ(Tag("frk"), "de-Latf");
    // Languages without a two-letter code keep their three letters.
    EXPECT_EQ(Tag("fil"), "fil");
    EXPECT_EQ(Tag("enm"), "enm");
}

// With no stored choice, recognition starts in the interface language, else English: never
// in whichever language sorts first.
TEST(LanguageTags, RecognitionStartsInTheInterfaceLanguageElseEnglish) {
    const std::vector<std::string> installed = {"zh-Hans",   "zh-Hant", "en", "fr", "it",
                                                "ja-x-vert", "ja",      "ko", "ru"};
    EXPECT_EQ(DefaultRecognitionLanguage(installed, "en"), 2);
    EXPECT_EQ(DefaultRecognitionLanguage(installed, "ja"), 6);
    EXPECT_EQ(DefaultRecognitionLanguage(installed, "zh"), 0);
    EXPECT_EQ(DefaultRecognitionLanguage({"zh-Hant", "en"}, "zh"), 0);
    EXPECT_EQ(DefaultRecognitionLanguage({"ja-x-vert", "en"}, "ja"), 0);
    EXPECT_EQ(DefaultRecognitionLanguage(installed, "de"), 2);
    EXPECT_EQ(DefaultRecognitionLanguage({"ko", "ru"}, "de"), 0);
    EXPECT_EQ(DefaultRecognitionLanguage({}, "en"), -1);
}

TEST(LanguageTags, HelperDataAndOddNamesAreNoLanguage) {
    EXPECT_FALSE(LanguageOfTrainedData("osd"));
    EXPECT_FALSE(LanguageOfTrainedData("equ"));
    EXPECT_FALSE(LanguageOfTrainedData(""));
    EXPECT_FALSE(LanguageOfTrainedData("../eng"));
    EXPECT_FALSE(LanguageOfTrainedData("e ng"));
    // Data of one's own training is listed under its own name, without a script.
    const auto own = LanguageOfTrainedData("mycodes");
    ASSERT_TRUE(own);
    EXPECT_EQ(own->Tag, "mycodes");
    EXPECT_EQ(own->Script, "");
    EXPECT_EQ(Tag("eng_custom"), "eng_custom");
}

TEST(LanguageTags, DataFilesArePickedByTheirExtension) {
    EXPECT_EQ(TrainedDataNames({"pdf.ttf", "osd.traineddata", "kor.traineddata", "configs",
                                "eng.traineddata", ".traineddata", "eng.traineddata.bak",
                                "equ.traineddata", "chi_sim.traineddata"}),
              (std::vector<std::string>{"chi_sim", "eng", "kor"}));
    EXPECT_TRUE(TrainedDataNames({}).empty());
}

TEST(TextFile, LinesEndInCarriageReturnLineFeedWithoutByteOrderMark) {
    EXPECT_EQ(TextFileBytes({}), "");
    EXPECT_EQ(TextFileBytes({"Hello world", "\xed\x95\x9c\xea\xb8\x80"}),
              "Hello world\r\n\xed\x95\x9c\xea\xb8\x80\r\n");
}

} // namespace quorvel::test
