#pragma once

#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/file_operations.h"

// A description of a folder tree (names, kinds, modes, sizes, contents,
// link targets) to compare a tree before and after an operation.
inline std::vector<std::string> Snapshot(const std::string& folder) {
    namespace fs = std::filesystem;
    std::vector<std::string> lines;
    for (auto it = fs::recursive_directory_iterator(folder);
         it != fs::recursive_directory_iterator(); ++it) {
        const std::string path = it->path().string();
        struct stat info {};
        lstat(path.c_str(), &info);
        std::string line = path.substr(folder.size()) + " mode=" + std::to_string(info.st_mode);
        if (S_ISREG(info.st_mode)) {
            std::ifstream in(path, std::ios::binary);
            line += " data=" + std::string(std::istreambuf_iterator<char>(in), {});
        } else if (S_ISLNK(info.st_mode)) {
            line += " link=" + fs::read_symlink(path).string();
        }
        lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

inline std::vector<std::string> NamesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A folder on /dev/shm (a separate file system from the temporary folder
// on most machines), removed with its contents.
class SharedMemoryFolder {
public:
    SharedMemoryFolder() {
        std::string pattern = "/dev/shm/kelvandor-test-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~SharedMemoryFolder() {
        QString ignored;
        if (!path_.empty()) platform::RemoveTree(path_, &ignored);
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

inline bool OnDifferentFileSystems(const std::string& a, const std::string& b) {
    struct stat first {
    }, second{};
    return !a.empty() && !b.empty() && stat(a.c_str(), &first) == 0 &&
           stat(b.c_str(), &second) == 0 && first.st_dev != second.st_dev;
}

// Progress that records what it saw and can act or stop at a given step.
class ScriptedProgress final : public platform::TransferProgress {
public:
    std::function<bool(int step, const std::string& path)> onAdvance;
    std::int64_t totalBytes = -1, totalItems = -1;
    int steps = 0;
    bool begun = false, ended = false;

    void Begin(platform::TransferMode, std::int64_t bytes, std::int64_t items) override {
        begun = true;
        totalBytes = bytes;
        totalItems = items;
    }
    bool Advance(const std::string& path, std::int64_t, std::int64_t) override {
        ++steps;
        return !onAdvance || onAdvance(steps, path);
    }
    void End() override { ended = true; }
};
