#pragma once

#include <filesystem>
#include <string>

namespace quorvel::test {

// A fresh folder under the system's temp folder, removed with everything in it when the
// object goes away.
class TTempFolder {
public:
    TTempFolder();
    ~TTempFolder();
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    const std::filesystem::path& Path() const { return FPath; }
    std::string File(const std::string& name) const { return (FPath / name).string(); }
    // Creates an empty file (or one holding `content`) and returns its path.
    std::string Touch(const std::string& name, const std::string& content = {}) const;

private:
    std::filesystem::path FPath;
};

std::string ReadFileBytes(const std::string& path);

} // namespace quorvel::test
