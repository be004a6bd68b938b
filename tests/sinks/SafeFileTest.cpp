#include "sinks/SafeFile.h"
#include "sinks/FileError.h"

#include "TempFolder.h"

#include <filesystem>
#include <gtest/gtest.h>

using quorvel::EFileError;
using quorvel::TSafeFile;
using quorvel::test::ReadFileBytes;

namespace fs = std::filesystem;

namespace {

std::size_t EntriesIn(const fs::path& folder) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

} // namespace

TEST(SafeFile, ReplacesAnExistingFileOnlyWhenComplete) {
    quorvel::test::TTempFolder temp;
    const std::string path = temp.Touch("Q-001.png", "old capture");
    {
        TSafeFile file(path);
        file.Write("new", 3);
        // Until the commit the old capture is still there, whole.
        EXPECT_EQ(ReadFileBytes(path), "old capture");
        file.Commit();
    }
    EXPECT_EQ(ReadFileBytes(path), "new");
    EXPECT_EQ(EntriesIn(temp.Path()), 1u);
}

TEST(SafeFile, AnAbandonedSaveLeavesTheOldFileAndNoLeftovers) {
    quorvel::test::TTempFolder temp;
    const std::string path = temp.Touch("Q-001.png", "old capture");
    {
        TSafeFile file(path);
        const std::string big(3 << 20, 'x'); // larger than the write buffer
        file.Write(big.data(), big.size());
    }
    EXPECT_EQ(ReadFileBytes(path), "old capture");
    EXPECT_EQ(EntriesIn(temp.Path()), 1u);
}

TEST(SafeFile, FailuresCarryThePathAndTheSystemReason) {
    quorvel::test::TTempFolder temp;
    try {
        TSafeFile file((temp.Path() / "missing" / "Q-001.png").string());
        FAIL() << "no error for a missing folder";
    } catch (const EFileError& e) {
        EXPECT_NE(std::string(e.what()).find("missing/Q-001.png"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("No such file or directory"), std::string::npos);
    }
    // A folder in the way of the final name: the rename fails and nothing is left behind.
    fs::create_directory(temp.Path() / "Q-002.png");
    EXPECT_THROW(quorvel::WriteWholeFile(temp.File("Q-002.png"), "x", 1), EFileError);
    EXPECT_EQ(EntriesIn(temp.Path()), 1u);
    EXPECT_THROW(TSafeFile(""), EFileError);
}
