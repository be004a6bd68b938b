#include "support/TranslationTable.h"
#include "support/Translate.h"

#include <QString>
#include <gtest/gtest.h>

using quorvel::TranslateText;
using quorvel::TTranslationTable;

namespace {

QString Q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

} // namespace

// The table carried in the program's resources: the 66 blocks of the original texts, then
// the blocks of texts this build adds, all in the same layout.
TEST(TranslationResource, HasBlocksOfSevenLinesInTheFileLayout) {
    const TTranslationTable& table = quorvel::TranslationLines();
    ASSERT_EQ(table.LineCount() % 8, 0u);
    const std::size_t blocks = table.LineCount() / 8;
    ASSERT_GE(blocks, 66u);
    const char* order[] = {"ko", "en", "ja", "ru", "zh", "it", "fr"};
    const char* firstOrder[] = {"ko", "en", "ja", "zh", "ru", "it", "fr"};
    for (std::size_t block = 0; block < blocks; ++block) {
        for (std::size_t i = 0; i < 7; ++i) {
            const std::string& line = table.Line(block * 8 + i);
            const char* code = block == 0 ? firstOrder[i] : order[i];
            ASSERT_EQ(line.substr(0, 3), std::string(code) + "=")
                << "block " << block + 1 << " line " << i;
            ASSERT_GT(line.size(), 3u) << "block " << block + 1 << " has an empty text";
        }
        ASSERT_TRUE(table.Line(block * 8 + 7).empty()) << "block " << block + 1;
    }
}

TEST(TranslationResource, EveryKoreanKeyIsFoundFromEveryLanguage) {
    const TTranslationTable& table = quorvel::TranslationLines();
    for (std::size_t block = 1; block < table.LineCount() / 8; ++block) {
        const std::string key = table.Line(block * 8).substr(3);
        for (std::size_t i = 1; i < 7; ++i) {
            const std::string text = table.Line(block * 8 + i).substr(3);
            // Shared wordings (blocks 15/17, 34/37, 42/46) resolve to the earlier block.
            const std::string back = table.Translate(text, "ko");
            const std::string expected = quorvel::TurnEscapes(key);
            if (back != expected) {
                const bool sharedWording =
                    key == "저장폴더 열기" || key == "선택" || key == "설정하기";
                EXPECT_TRUE(sharedWording)
                    << "block " << block + 1 << ": " << text << " -> " << back;
            }
        }
    }
}

TEST(TranslateText, LooksUpFromAnyLanguage) {
    EXPECT_EQ(TranslateText(Q(""), Q("ja")), Q(""));
    EXPECT_EQ(TranslateText(Q("종료하기"), Q("ja")), Q("終了"));
    EXPECT_EQ(TranslateText(Q("Quit"), Q("ja")), Q("終了"));
    EXPECT_EQ(TranslateText(Q("Quit"), Q("ko")), Q("종료하기"));
    EXPECT_EQ(TranslateText(Q("終了"), Q("fr")), Q("Quitter"));
    EXPECT_EQ(TranslateText(Q("확인"), Q("zh")), Q("确定"));
    EXPECT_EQ(TranslateText(Q("Quorvel"), Q("ru")), Q("Quorvel"));
}

TEST(TranslateText, SharedWordingResolvesToTheFirstBlock) {
    EXPECT_EQ(TranslateText(Q("Open Folder"), Q("ru")), Q("Открыть папку"));
    EXPECT_EQ(TranslateText(Q("저장폴더 열기"), Q("ru")), Q("Открыть папку сохранения"));
    EXPECT_EQ(TranslateText(Q("OK"), Q("ko")), Q("확인"));
    EXPECT_EQ(TranslateText(Q("Setting"), Q("ko")), Q("설정"));
}

TEST(TranslateText, EscapesBecomeCarriageReturns) {
    const QString key = Q("알수없는 프로그램이 단축키를 사용중입니다.\\n\\n단축키를 변경해주세요.");
    EXPECT_EQ(
        TranslateText(key, Q("en")),
        Q("An unknown program is using the shortcut key.\r\rPlease change the shortcut key."));
    // With real line breaks the message has no block and comes back as it was.
    const QString withBreaks =
        Q("알수없는 프로그램이 단축키를 사용중입니다.\n\n단축키를 변경해주세요.");
    EXPECT_EQ(TranslateText(withBreaks, Q("en")), withBreaks);
    // Unknown texts come back with their escapes turned.
    EXPECT_EQ(TranslateText(Q("no such\\ntext"), Q("en")), Q("no such\rtext"));
}

TEST(TranslateText, MissingLanguageFallsBackToEnglish) {
    EXPECT_EQ(TranslateText(Q("종료하기"), Q("de")), Q("Quit"));
    EXPECT_EQ(TranslateText(Q("종료하기"), Q("en")), Q("Quit"));
    EXPECT_EQ(TranslateText(Q("녹화중입니다."), Q("de")), Q("A recording is in progress."));
    EXPECT_EQ(TranslateText(Q("없는 문장입니다."), Q("en")), Q("없는 문장입니다."));
    EXPECT_EQ(TranslateText(Q("\"%s\" 파일이 없습니다."), Q("en")).arg(Q("ffmpeg")),
              Q("\"%s\" file not found.").arg(Q("ffmpeg")));
}

TEST(TranslationTableParse, ReadsEveryLineEndAndCodeLayout) {
    // CR LF, lone CR and lone LF all end lines; a byte-order mark is not part of the text;
    // a line without '=' has neither code nor text.
    const TTranslationTable table =
        TTranslationTable::Parse("\xEF\xBB\xBFko=가\r\nen=A=B\rxx\nfr=\r\n\r\nko=나\nen=Bee\n\n");
    ASSERT_EQ(table.LineCount(), 8u);
    EXPECT_EQ(table.Line(0), "ko=가");
    EXPECT_EQ(table.Translate("A=B", "ko"), "가");
    EXPECT_EQ(table.Translate("가", "en"), "A=B");
    // "fr=" is a line for French whose text is empty, and that is the answer.
    EXPECT_EQ(table.Translate("가", "fr"), "");
    EXPECT_EQ(table.Translate("Bee", "ko"), "나");
    EXPECT_EQ(table.Translate("xx", "ko"), "xx");
    // Block start is found by stepping back to the empty line, not by the first code.
    EXPECT_EQ(table.Translate("Bee", "fr"), "Bee");
}

TEST(TranslationTableParse, EmptyOrBrokenTablesTranslateNothing) {
    EXPECT_EQ(TTranslationTable::Parse("").Translate("a\\nb", "en"), "a\rb");
    EXPECT_EQ(TTranslationTable::Parse("\r\n\r\n\n").Translate("x", "en"), "x");
    const TTranslationTable noEnglish = TTranslationTable::Parse("ko=하나\r\nja=一\r\n");
    EXPECT_EQ(noEnglish.Translate("一", "ru"), "一");
    EXPECT_EQ(noEnglish.Translate("一", "ko"), "하나");
}
