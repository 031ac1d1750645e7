#pragma once

// A folder of 100,000 empty files and 200 folders named as photo folders
// name them, made under the temporary folder for a benchmark and removed
// with it.

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class PhotoFolder {
public:
    static constexpr int kFiles = 100'000;
    static constexpr int kFolders = 200;

    PhotoFolder() {
        char pattern[] = "/tmp/kelvandor-bench-XXXXXX";
        if (!mkdtemp(pattern)) std::abort();
        path_ = pattern;
        for (int i = 0; i < kFiles; ++i) {
            const std::string file = path_ + "/" + NameOf(i);
            const int fd = open(file.c_str(), O_CREAT | O_WRONLY, 0644);
            if (fd >= 0) close(fd);
        }
        for (int i = 0; i < kFolders; ++i) std::filesystem::create_directory(path_ + "/Folder " + std::to_string(i));
    }
    ~PhotoFolder() {
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
    PhotoFolder(const PhotoFolder&) = delete;
    PhotoFolder& operator=(const PhotoFolder&) = delete;

    const std::string& Path() const { return path_; }

    // Camera numbers, numbered copies, mixed case, some Japanese names.
    static std::string NameOf(int i) {
        char name[64];
        switch (i % 10) {
            case 0: std::snprintf(name, sizeof name, "IMG_%05d.JPG", i); break;
            case 1: std::snprintf(name, sizeof name, "photo %d (copy).png", i); break;
            case 2: std::snprintf(name, sizeof name, "scan-%d-page%d.tif", i / 7, i % 7); break;
            case 3: std::snprintf(name, sizeof name, "写真%d.jpg", i); break;
            default: std::snprintf(name, sizeof name, "file%d.bmp", i); break;
        }
        return name;
    }

private:
    std::string path_;
};

// The reference listing: readdir, then a plain strcmp sort of the names.
inline std::vector<std::string> ReaddirStrcmpSorted(const std::string& folder) {
    struct DirCloser {
        void operator()(DIR* dir) const { closedir(dir); }
    };
    std::vector<std::string> names;
    const std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
    while (const dirent* entry = dir ? readdir(dir.get()) : nullptr) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        names.emplace_back(entry->d_name);
    }
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return std::strcmp(a.c_str(), b.c_str()) < 0; });
    return names;
}
