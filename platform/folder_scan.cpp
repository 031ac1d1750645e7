#include "folder_scan.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <strings.h>

namespace platform {
namespace {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

std::int64_t Nanoseconds(const timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

}  // namespace

FileIdentity IdentityOf(const struct stat& info) {
    return FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                        static_cast<std::uint64_t>(info.st_ino),
                        static_cast<std::int64_t>(info.st_size), Nanoseconds(info.st_mtim),
                        Nanoseconds(info.st_ctim)};
}

std::vector<FolderEntry> ListFolder(const std::string& folder) {
    std::vector<FolderEntry> entries;
    std::unique_ptr<DIR, DirCloser> dir(opendir(folder.empty() ? "." : folder.c_str()));
    if (!dir) return entries;
    const int dirFd = dirfd(dir.get());
    while (const dirent* entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        struct stat info {};
        // Follows links, never opens the entry: FIFOs and devices are safe.
        if (fstatat(dirFd, entry->d_name, &info, 0) != 0) continue;
        entries.push_back(FolderEntry{name, S_ISDIR(info.st_mode), name.front() == '.',
                                      IdentityOf(info)});
    }
    return entries;
}

std::string FindFolderEntry(const std::string& folder, std::uint64_t device, std::uint64_t inode) {
    std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
    if (!dir) return std::string();
    while (const dirent* entry = readdir(dir.get())) {
        // Only folders need a look (the entry's inode number is not always
        // the one stat gives, as on overlays).
        if (entry->d_type != DT_DIR && entry->d_type != DT_UNKNOWN) continue;
        struct stat info {};
        if (fstatat(dirfd(dir.get()), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISDIR(info.st_mode) && static_cast<std::uint64_t>(info.st_dev) == device &&
            static_cast<std::uint64_t>(info.st_ino) == inode)
            return entry->d_name;
    }
    return std::string();
}

std::optional<FileIdentity> IdentityOfPath(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return std::nullopt;
    return IdentityOf(info);
}

bool HasExtensionIgnoringCase(const std::string& name, const std::string& extension) {
    return name.size() >= extension.size() &&
           strcasecmp(name.c_str() + name.size() - extension.size(), extension.c_str()) == 0;
}

}  // namespace platform
