#include "TempFolder.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace quorvel::test {

TTempFolder::TTempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvel-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    FPath = pattern;
}

TTempFolder::~TTempFolder() {
    std::error_code ec;
    std::filesystem::permissions(FPath, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(FPath, ec);
}

std::string TTempFolder::Touch(const std::string& name, const std::string& content) const {
    const std::string path = File(name);
    std::ofstream out(path, std::ios::binary);
    out << content;
    return path;
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace quorvel::test
