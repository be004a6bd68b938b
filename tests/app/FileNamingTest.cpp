#include "app/FileNaming.h"

#include "TempFolder.h"

#include <filesystem>
#include <gtest/gtest.h>

using quorvel::MaxFileNumber;
using quorvel::NewFilename;
using quorvel::TLocalTime;
using quorvel::TNameMode;

namespace fs = std::filesystem;

namespace {

const TLocalTime kNoon{2024, 1, 31, 13, 5, 7, 45};

class FileNamingTest : public testing::Test {
protected:
    std::string Folder() const { return FTemp.Path().string(); }
    std::string Next(TNameMode mode, const std::string& ext = "png") const {
        return fs::path(NewFilename(Folder(), mode, ext, kNoon)).filename().string();
    }
    quorvel::test::TTempFolder FTemp;
};

} // namespace

TEST_F(FileNamingTest, SequentialNamesInAnEmptyFolderStartAtOne) {
    EXPECT_EQ(MaxFileNumber(Folder()), 0);
    EXPECT_EQ(Next(TNameMode::Sequential1), "Q-001.png");
    EXPECT_EQ(Next(TNameMode::Sequential2), "Q-001.png");
    EXPECT_EQ(NewFilename(Folder(), TNameMode::Sequential1, "png", kNoon), Folder() + "/Q-001.png");
}

TEST_F(FileNamingTest, SequentialOneCountsPastTheHighestOfAnyExtension) {
    FTemp.Touch("Q-001.png");
    FTemp.Touch("Q-005.png");
    EXPECT_EQ(Next(TNameMode::Sequential1), "Q-006.png");
    EXPECT_EQ(Next(TNameMode::Sequential2), "Q-002.png");
    FTemp.Touch("Q-012.jpg");
    EXPECT_EQ(Next(TNameMode::Sequential1), "Q-013.png");
    EXPECT_EQ(Next(TNameMode::Sequential2, "jpg"), "Q-001.jpg");
}

TEST_F(FileNamingTest, NamesThatAreNotCaptureNumbersDoNotCount) {
    for (const char* name : {"Q-abc.png", "QQ-5.png", "q-7.png", "Q-20240101-101010123.png", "Q-9",
                             "Q-.png", "Q-99999999999.png", "xQ-50.png"})
        FTemp.Touch(name);
    EXPECT_EQ(MaxFileNumber(Folder()), 0);
    EXPECT_EQ(Next(TNameMode::Sequential1), "Q-001.png");
    FTemp.Touch("Q-+8.tar.gz"); // the number runs to the first dot and may carry a sign
    FTemp.Touch("Q--3.png");
    EXPECT_EQ(MaxFileNumber(Folder()), 8);
}

TEST_F(FileNamingTest, FoldersAreSkippedByTheScanAndNeverHandedOut) {
    fs::create_directory(FTemp.Path() / "Q-900");
    fs::create_directory(FTemp.Path() / "Q-001.png");
    FTemp.Touch("Q-002.png");
    EXPECT_EQ(MaxFileNumber(Folder()), 2);
    EXPECT_EQ(Next(TNameMode::Sequential1), "Q-003.png");
    // A folder holding the name would make the save fail; the next free name is used.
    EXPECT_EQ(Next(TNameMode::Sequential2), "Q-003.png");
}

TEST_F(FileNamingTest, LinksCountWhenTheirTargetExists) {
    const std::string target = FTemp.Touch("target.bin");
    fs::create_symlink(target, FTemp.Path() / "Q-040.png");
    fs::create_symlink(FTemp.Path() / "missing.bin", FTemp.Path() / "Q-070.png");
    fs::create_symlink(FTemp.Path() / "missing.bin", FTemp.Path() / "Q-001.png");
    EXPECT_EQ(MaxFileNumber(Folder()), 40);
    EXPECT_EQ(Next(TNameMode::Sequential1), "Q-041.png");
    // A dangling link does not hold its name.
    EXPECT_EQ(Next(TNameMode::Sequential2), "Q-001.png");
}

TEST_F(FileNamingTest, NumbersGrowPastThreeDigits) {
    FTemp.Touch("Q-999.png");
    EXPECT_EQ(Next(TNameMode::Sequential1), "Q-1000.png");
    FTemp.Touch("Q-099.bmp");
    EXPECT_EQ(Next(TNameMode::Sequential1, "bmp"), "Q-1000.bmp");
}

TEST_F(FileNamingTest, DateAndTimeNamesCarryTheMillisecond) {
    EXPECT_EQ(Next(TNameMode::DateTime), "Q-20240131-130507045.png");
    // No existence test: the same millisecond gives the same name again.
    FTemp.Touch("Q-20240131-130507045.png");
    EXPECT_EQ(Next(TNameMode::DateTime), "Q-20240131-130507045.png");
    EXPECT_EQ(NewFilename("", TNameMode::DateTime, "txt", TLocalTime{999, 12, 1, 0, 0, 0, 0}),
              "Q-09991201-000000000.txt");
}

TEST(JoinPath, PutsOneSeparatorBetweenFolderAndName) {
    EXPECT_EQ(quorvel::JoinPath("", "Q-001.png"), "Q-001.png");
    EXPECT_EQ(quorvel::JoinPath("/tmp", "Q-001.png"), "/tmp/Q-001.png");
    EXPECT_EQ(quorvel::JoinPath("/tmp/", "Q-001.png"), "/tmp/Q-001.png");
    EXPECT_EQ(quorvel::JoinPath("/", "a"), "/a");
    EXPECT_THROW(quorvel::JoinPath(std::string("/tm\0p", 5), "a"), quorvel::EPathError);
}

TEST(MaxFileNumber, UnreadableFolderCountsAsEmpty) {
    EXPECT_EQ(MaxFileNumber("/no/such/folder/anywhere"), 0);
    EXPECT_EQ(NewFilename("/no/such/folder/anywhere", TNameMode::Sequential1, "gif", kNoon),
              "/no/such/folder/anywhere/Q-001.gif");
}

TEST(FileNaming, FolderDialogStartsInTheNearestFolderThatExists) {
    quorvel::test::TTempFolder temp;
    const std::string root = temp.Path().string();
    std::filesystem::create_directories(root + "/a/b");
    EXPECT_EQ(quorvel::NearestExistingFolder(root + "/a/b"), root + "/a/b");
    EXPECT_EQ(quorvel::NearestExistingFolder(root + "/a/b/gone/deeper"), root + "/a/b");
    temp.Touch("a/file");
    EXPECT_EQ(quorvel::NearestExistingFolder(root + "/a/file/x"), root + "/a");
    EXPECT_EQ(quorvel::NearestExistingFolder("/"), "/");
    EXPECT_EQ(quorvel::NearestExistingFolder(""), "");
}
