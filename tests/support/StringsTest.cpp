#include "support/Strings.h"

#include <gtest/gtest.h>

using quorvel::EConvertError;
using quorvel::ExtractBetween;
using quorvel::UnescapeJSONString;

TEST(ExtractBetween, EscapedQuoteDoesNotEndTheValue) {
    // ab"c\"d"e, from b" to the next unescaped quote.
    EXPECT_EQ(ExtractBetween(u"ab\"c\\\"d\"e", u"b\"", u"\"", false), u"c\\\"d");
    EXPECT_EQ(ExtractBetween(u"x='it\\'s' y", u"x='", u"'", false), u"it\\'s");
    // A member of a server reply, read the way the upload and update replies are read.
    EXPECT_EQ(
        ExtractBetween(u"{\"url\":\"http:\\/\\/h\\/a\\\"b\",\"n\":1}", u"\"url\":\"", u"\"", false),
        u"http:\\/\\/h\\/a\\\"b");
}

TEST(ExtractBetween, TagsIgnoreAsciiCaseButTheValueKeepsItsOwn) {
    EXPECT_EQ(ExtractBetween(u"x TIME=1 y", u"time=", u" ", false), u"1");
    EXPECT_EQ(ExtractBetween(u"frame= 12 FPS=Ab", u"fps=", u"", false), u"Ab");
    // Non-ASCII letters are not folded: a lower-case sharp s never matches its upper case.
    EXPECT_EQ(ExtractBetween(u"Straße=1", u"STRASSE=", u"", false), u"");
    EXPECT_EQ(ExtractBetween(u"é=1 É=2", u"É=", u"", false), u"2");
}

TEST(ExtractBetween, EmptyTagsRunToTheEnds) {
    EXPECT_EQ(ExtractBetween(u"key=value;rest", u"key=", u"", false), u"value;rest");
    EXPECT_EQ(ExtractBetween(u"key=value;rest", u"", u";", false), u"key=value");
    EXPECT_EQ(ExtractBetween(u"whole", u"", u"", false), u"whole");
}

TEST(ExtractBetween, MissingTagsGiveTheEmptyText) {
    EXPECT_EQ(ExtractBetween(u"abc", u"x", u"", false), u"");
    EXPECT_EQ(ExtractBetween(u"abc", u"a", u"x", false), u"");
    // The end tag is searched only after the start tag.
    EXPECT_EQ(ExtractBetween(u";a=1", u"a=", u";", false), u"");
    EXPECT_EQ(ExtractBetween(u"", u"a", u"b", true), u"");
}

TEST(ExtractBetween, IncludeTagsOnlyAroundAValueThatIsNotBlank) {
    EXPECT_EQ(ExtractBetween(u"<b> x </b>", u"<B>", u"</B>", true), u"<B> x </B>");
    EXPECT_EQ(ExtractBetween(u"<b> \t\r\n</b>", u"<b>", u"</b>", true), u" \t\r\n");
    EXPECT_EQ(ExtractBetween(u"<b></b>", u"<b>", u"</b>", true), u"");
}

TEST(UnescapeJSONString, ResolvesEveryEscape) {
    EXPECT_EQ(UnescapeJSONString(u"a\\u00e9\\/b"), u"a\u00e9/b");
    EXPECT_EQ(UnescapeJSONString(u"\\\"\\'\\/\\\\"), u"\"'/\\");
    EXPECT_EQ(UnescapeJSONString(u"\\b\\f\\n\\r\\t"), u"\b\f\n\r\t");
    EXPECT_EQ(UnescapeJSONString(u"\\u00C9\\u00e9"), u"\u00C9\u00e9");
    EXPECT_EQ(UnescapeJSONString(u"plain text"), u"plain text");
}

TEST(UnescapeJSONString, SurrogateHalvesFormOneCharacter) {
    const std::u16string result = UnescapeJSONString(u"\\ud83d\\ude00!");
    EXPECT_EQ(result, u"\U0001F600!");
    EXPECT_EQ(result.size(), 3u);
}

TEST(UnescapeJSONString, UnknownEscapeDropsBothCharacters) {
    EXPECT_EQ(UnescapeJSONString(u"a\\xb"), u"ab");
    EXPECT_EQ(UnescapeJSONString(u"\\q\\z"), u"");
    // A lone backslash at the very end escapes nothing and stays.
    EXPECT_EQ(UnescapeJSONString(u"end\\"), u"end\\");
}

TEST(UnescapeJSONString, MalformedUnicodeEscapeRaises) {
    EXPECT_THROW(UnescapeJSONString(u"\\u00g9"), EConvertError);
    EXPECT_THROW(UnescapeJSONString(u"\\u12"), EConvertError);
    EXPECT_THROW(UnescapeJSONString(u"x\\u"), EConvertError);
    EXPECT_THROW(UnescapeJSONString(u"\\u+123"), EConvertError);
}
