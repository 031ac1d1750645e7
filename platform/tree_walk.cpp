#include "platform/tree_walk.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace platform {
namespace {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

bool IsDotOrDotDot(const char* name) { return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0; }

std::string Join(const std::string& folder, const char* name) {
    return folder.ends_with('/') ? folder + name : folder + '/' + name;
}

// The kind of an entry, from the folder listing when it says, else lstat.
unsigned char KindOf(const dirent& entry, const std::string& path) {
    if (entry.d_type != DT_UNKNOWN) return entry.d_type;
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) return DT_UNKNOWN;
    if (S_ISDIR(info.st_mode)) return DT_DIR;
    return S_ISLNK(info.st_mode) ? DT_LNK : DT_REG;
}

}  // namespace

void WalkTree(const std::string& folder, const std::function<void(const std::string& path, bool isFolder)>& visit,
              const std::function<void(const std::string& path, int error)>& unreadable) {
    std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
    if (!dir) {
        unreadable(folder, errno);
        return;
    }
    errno = 0;
    while (const dirent* entry = readdir(dir.get())) {
        if (IsDotOrDotDot(entry->d_name)) continue;
        const std::string path = Join(folder, entry->d_name);
        const unsigned char kind = KindOf(*entry, path);
        if (kind == DT_LNK || kind == DT_UNKNOWN) continue;
        if (kind == DT_DIR) WalkTree(path, visit, unreadable);
        visit(path, kind == DT_DIR);
        errno = 0;
    }
    if (errno != 0) unreadable(folder, errno);
}

}  // namespace platform
