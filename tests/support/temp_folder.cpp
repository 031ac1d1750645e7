#include "temp_folder.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <gtest/gtest.h>

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kelvandor-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code error;
    // Folders a test made unreadable must become removable again.
    for (auto it = std::filesystem::recursive_directory_iterator(
             path_, std::filesystem::directory_options::skip_permission_denied, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_directory(error) && !it->is_symlink(error))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, error);
    }
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, error);
    std::filesystem::remove_all(path_, error);
}

std::string TempFolder::Write(const std::string& name, const std::vector<unsigned char>& bytes) const {
    const std::string path = File(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::string TempFolder::Write(const std::string& name, const std::string& text) const {
    return Write(name, std::vector<unsigned char>(text.begin(), text.end()));
}

std::vector<unsigned char> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

void MakeFolders(const TempFolder& temp, std::initializer_list<std::string> names) {
    for (const std::string& name : names) ASSERT_EQ(mkdir(temp.File(name).c_str(), 0755), 0) << name;
}

void WriteBytes(const std::string& path, std::size_t count) { std::ofstream(path) << std::string(count, 'x'); }

bool RunCommand(const std::string& commandLine) { return std::system(commandLine.c_str()) == 0; }

std::string TempFolder::File(const std::string& prefix, int number) const {
    return std::string(path_).append("/").append(prefix).append(std::to_string(number));
}
