#pragma once

#include <cstddef>
#include <string>

namespace quorvel {

// Writes a file beside its final name and renames it into place on Commit, so that a
// failed or interrupted save never leaves a half-written file where an earlier one stood.
// An uncommitted file is removed when the object goes away. Every failure raises
// EFileError with the final path and the system's reason.
class TSafeFile {
public:
    explicit TSafeFile(std::string path);
    ~TSafeFile();
    TSafeFile(const TSafeFile&) = delete;
    TSafeFile& operator=(const TSafeFile&) = delete;

    void Write(const void* data, std::size_t size);
    // Hands the buffered bytes to the system now.
    void Flush();
    // Flushes the buffered bytes, closes the file and moves it to its final name.
    void Commit();

    const std::string& Path() const { return FPath; }

private:
    void Discard() noexcept;

    std::string FPath;
    std::string FTempPath;
    int FFd = -1;
    std::string FBuffer;
    bool FCommitted = false;
};

// Writes a whole buffer as the file at path, through TSafeFile.
void WriteWholeFile(const std::string& path, const void* data, std::size_t size);

} // namespace quorvel
