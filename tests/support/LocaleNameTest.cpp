#include "support/LocaleName.h"

#include <gtest/gtest.h>

using quorvel::LanguageOfLocale;

TEST(LanguageOfLocale, TakesTheLanguagePartOfALocaleName) {
    EXPECT_EQ(LanguageOfLocale("ko_KR.UTF-8"), "ko");
    EXPECT_EQ(LanguageOfLocale("ja_JP"), "ja");
    EXPECT_EQ(LanguageOfLocale("fr"), "fr");
    EXPECT_EQ(LanguageOfLocale("sr@latin"), "sr");
    EXPECT_EQ(LanguageOfLocale("ast_ES.UTF-8"), "ast");
    EXPECT_EQ(LanguageOfLocale("de_DE.UTF-8"), "de");
}

TEST(LanguageOfLocale, NoLanguageMeansEnglish) {
    EXPECT_EQ(LanguageOfLocale(""), "en");
    EXPECT_EQ(LanguageOfLocale("C"), "en");
    EXPECT_EQ(LanguageOfLocale("C.UTF-8"), "en");
    EXPECT_EQ(LanguageOfLocale("POSIX"), "en");
    EXPECT_EQ(LanguageOfLocale("x"), "en");
    EXPECT_EQ(LanguageOfLocale("english_US"), "en");
}

TEST(UserLocaleFromEnvironment, FollowsThePosixOrder) {
    const auto keep = [](const char* name) {
        const char* v = std::getenv(name);
        return v ? std::string(v) : std::string("\x01");
    };
    const std::string all = keep("LC_ALL"), messages = keep("LC_MESSAGES"), lang = keep("LANG");
    ::setenv("LANG", "ru_RU.UTF-8", 1);
    ::setenv("LC_MESSAGES", "", 1);
    ::unsetenv("LC_ALL");
    EXPECT_EQ(quorvel::UserLocaleFromEnvironment(), "ru_RU.UTF-8");
    ::setenv("LC_MESSAGES", "it_IT", 1);
    EXPECT_EQ(quorvel::UserLocaleFromEnvironment(), "it_IT");
    ::setenv("LC_ALL", "zh_CN", 1);
    EXPECT_EQ(quorvel::UserLocaleFromEnvironment(), "zh_CN");
    const auto restore = [](const char* name, const std::string& v) {
        if (v == "\x01")
            ::unsetenv(name);
        else
            ::setenv(name, v.c_str(), 1);
    };
    restore("LC_ALL", all);
    restore("LC_MESSAGES", messages);
    restore("LANG", lang);
}
