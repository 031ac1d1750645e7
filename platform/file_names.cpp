#include "platform/file_names.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

namespace platform {

int RenameWithoutReplacing(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // File systems without no-replace renames: check, then rename.
    if (ItemExists(to)) return EEXIST;
    return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

bool ItemExists(const std::string& path, bool countFolders) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) return false;
    return countFolders || !S_ISDIR(info.st_mode);
}

PathTarget TargetOf(const std::string& path) {
    struct stat info {};
    if (path.empty() || stat(path.c_str(), &info) != 0) return PathTarget::Nothing;
    if (S_ISDIR(info.st_mode)) return PathTarget::Folder;
    return S_ISREG(info.st_mode) ? PathTarget::File : PathTarget::Other;
}

std::string CurrentFolder() {
    std::unique_ptr<char, decltype(&std::free)> folder(getcwd(nullptr, 0), &std::free);
    return folder ? std::string(folder.get()) : std::string();
}

int CreateFolder(const std::string& path, bool& created) {
    created = mkdir(path.c_str(), 0777) == 0;
    if (created) return 0;
    const int error = errno;
    struct stat info {};
    return error == EEXIST && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? 0 : error;
}

}  // namespace platform
