#include "support/Config.h"

#include "TempFolder.h"

#include <QFile>
#include <QSettings>
#include <filesystem>
#include <gtest/gtest.h>

using quorvel::TConfig;
namespace Settings = quorvel::Settings;

namespace {

// Points the user's configuration folder at a fresh temporary folder for one test.
class ConfigTest : public testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("XDG_CONFIG_HOME");
        FOld = old ? old : "";
        FHadOld = old != nullptr;
        ::setenv("XDG_CONFIG_HOME", FHome.Path().c_str(), 1);
    }
    void TearDown() override {
        if (FHadOld)
            ::setenv("XDG_CONFIG_HOME", FOld.c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
    }
    std::string StoreFile() const { return (FHome.Path() / "Marbask" / "Quorvel.conf").string(); }
    void WriteRaw(const std::string& text) const {
        std::filesystem::create_directories(FHome.Path() / "Marbask");
        FHome.Touch("Marbask/Quorvel.conf", text);
    }

    quorvel::test::TTempFolder FHome;
    std::string FOld;
    bool FHadOld = false;
};

} // namespace

TEST_F(ConfigTest, FreshUserReadsEveryDefault) {
    TConfig config(Settings::ProgramStore);
    EXPECT_EQ(config.FileName().toStdString(), StoreFile());
    EXPECT_EQ(config.Read(Settings::Area), 0);
    EXPECT_EQ(config.Read(Settings::SaveTo), 0);
    EXPECT_EQ(config.Read(Settings::JpegQuality), 1);
    EXPECT_EQ(config.Read(Settings::WebpQuality), 1);
    EXPECT_EQ(config.Read(Settings::OcrLanguage), 0);
    EXPECT_FALSE(config.Read(Settings::Audio));
    EXPECT_TRUE(config.Read(Settings::Mouse));
    EXPECT_FALSE(config.Read(Settings::FfmpegLog));
    EXPECT_EQ(config.Read(Settings::Append), 1);
    EXPECT_EQ(config.Read(Settings::Sound), 2);
    EXPECT_EQ(config.Read(Settings::RecordLimit), 0);
    EXPECT_EQ(config.Read(Settings::Width), 480);
    EXPECT_EQ(config.Read(Settings::Height), 360);
    EXPECT_EQ(config.Read(Settings::Width1), 320);
    EXPECT_EQ(config.Read(Settings::Height1), 240);
    EXPECT_EQ(config.Read(Settings::Width2), 640);
    EXPECT_EQ(config.Read(Settings::Height2), 480);
    EXPECT_EQ(config.Read(Settings::Width3), 720);
    EXPECT_EQ(config.Read(Settings::Height3), 480);
    EXPECT_EQ(config.Read(Settings::HotKey), 0x2C);
    EXPECT_EQ(config.ReadString(Settings::Language.Name, QStringLiteral("xx")),
              QStringLiteral("xx"));
    EXPECT_EQ(quorvel::DefaultAreaLeft(1920), 720);
    EXPECT_EQ(quorvel::DefaultAreaTop(1080), 360);
    EXPECT_EQ(quorvel::DefaultAreaLeft(479), 0); // halving truncates toward zero
    // Reading creates nothing.
    EXPECT_FALSE(std::filesystem::exists(StoreFile()));
}

TEST_F(ConfigTest, WrittenValuesReadBackInEveryKind) {
    {
        TConfig config(Settings::ProgramStore);
        EXPECT_EQ(config.WriteInteger("saveto", 9), 9);
        EXPECT_TRUE(config.WriteBoolean("audio", true));
        config.WriteBoolean("mouse", false);
        config.WriteString("path", QStringLiteral("/home/유저/사진, 2024"));
        config.WriteInteger("left", -1280);
        config.WriteInteger("hotkey", 0x6041);
    }
    TConfig config(Settings::ProgramStore);
    EXPECT_EQ(config.Read(Settings::SaveTo), 9);
    EXPECT_TRUE(config.Read(Settings::Audio));
    EXPECT_FALSE(config.Read(Settings::Mouse));
    EXPECT_EQ(config.ReadString("path", QString()), QStringLiteral("/home/유저/사진, 2024"));
    EXPECT_EQ(config.ReadInteger("left", 0), -1280);
    EXPECT_EQ(config.Read(Settings::HotKey), 0x6041);
    // Booleans are kept as the integers 1 and 0.
    QSettings raw(QString::fromStdString(StoreFile()), QSettings::IniFormat);
    EXPECT_EQ(raw.value("audio").toString(), QStringLiteral("1"));
    EXPECT_EQ(raw.value("mouse").toString(), QStringLiteral("0"));
}

TEST_F(ConfigTest, ValuesOfTheWrongKindReadAsTheirDefault) {
    WriteRaw("[General]\narea=abc\nsaveto=4x\nmouse=yes\naudio=2\nappend=\nsound= 3 \n"
             "record_limit=99999999999\nlanguage=EN\njpeg_quality=a, b\n");
    TConfig config(Settings::ProgramStore);
    EXPECT_EQ(config.Read(Settings::Area), 0);
    EXPECT_EQ(config.Read(Settings::SaveTo), 0);
    EXPECT_TRUE(config.Read(Settings::Mouse));
    EXPECT_TRUE(config.Read(Settings::Audio)); // any non-zero number is true
    EXPECT_EQ(config.Read(Settings::Append), 1);
    EXPECT_EQ(config.Read(Settings::Sound), 3);
    EXPECT_EQ(config.Read(Settings::RecordLimit), 0);
    EXPECT_EQ(config.Read(Settings::JpegQuality), 1);
    // Texts are taken as stored, letter case included.
    EXPECT_EQ(config.ReadString("language", QStringLiteral("ko")), QStringLiteral("EN"));
}

TEST_F(ConfigTest, DeletedStoreIsRecreatedByTheNextWriteWithThatValueOnly) {
    {
        TConfig config(Settings::ProgramStore);
        config.WriteInteger("saveto", 3);
        config.WriteInteger("area", 2);
    }
    ASSERT_TRUE(std::filesystem::remove(StoreFile()));
    {
        TConfig config(Settings::ProgramStore);
        config.WriteInteger("sound", 1);
    }
    ASSERT_TRUE(std::filesystem::exists(StoreFile()));
    TConfig config(Settings::ProgramStore);
    EXPECT_EQ(config.Read(Settings::Sound), 1);
    EXPECT_EQ(config.Read(Settings::SaveTo), 0);
    EXPECT_EQ(config.Read(Settings::Area), 0);
}

TEST_F(ConfigTest, WritesToAStoreThatCannotBeWrittenAreLostQuietly) {
    if (::geteuid() == 0)
        ::setenv("XDG_CONFIG_HOME", "/proc/quorvel-no-such-folder", 1); // unwritable even for root
    else
        std::filesystem::permissions(FHome.Path(), std::filesystem::perms::owner_read |
                                                       std::filesystem::perms::owner_exec);
    TConfig config(Settings::ProgramStore);
    EXPECT_EQ(config.WriteInteger("saveto", 5), 5);
    EXPECT_EQ(config.WriteString("path", QStringLiteral("/x")), QStringLiteral("/x"));
    EXPECT_FALSE(std::filesystem::exists(config.FileName().toStdString()));
}

TEST_F(ConfigTest, MakerStoreIsItsOwnFile) {
    TConfig maker(Settings::MakerStore);
    maker.WriteString(Settings::Quid.Name, QStringLiteral("abc-123"));
    EXPECT_TRUE(std::filesystem::exists(FHome.Path() / "Marbask.conf"));
    EXPECT_FALSE(std::filesystem::exists(StoreFile()));
    EXPECT_EQ(TConfig(Settings::MakerStore).ReadString("QUID", QString()),
              QStringLiteral("abc-123"));
}
