#include "inotify_watch.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

namespace platform {
namespace {

constexpr std::uint32_t kNameEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
constexpr std::uint32_t kGoneEvents = IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT;

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

std::string Join(const std::string& folder, const std::string& name) {
    return !folder.empty() && folder.back() == '/' ? folder + name : folder + "/" + name;
}

int Below(int depth) { return depth == InotifyWatch::kUnlimitedDepth ? depth : depth - 1; }

bool IsDeeper(int depth, int than) {
    if (than == InotifyWatch::kUnlimitedDepth) return false;
    return depth == InotifyWatch::kUnlimitedDepth || depth > than;
}

// The names of the real subfolders of folder; links to folders are left
// out so that a link loop cannot make the watch endless.
std::vector<std::string> SubfolderNames(const std::string& folder) {
    std::vector<std::string> names;
    std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
    if (!dir) return names;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat info {};
            isFolder = fstatat(dirfd(dir.get()), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                       S_ISDIR(info.st_mode);
        }
        if (isFolder) names.push_back(name);
    }
    return names;
}

}  // namespace

std::uint32_t InotifyMaskFor(unsigned filter) {
    std::uint32_t mask = kGoneEvents & ~IN_UNMOUNT;  // unmount is always reported
    if (filter & (kChangeFileName | kChangeDirName)) mask |= kNameEvents;
    if (filter & (kChangeAttributes | kChangeLastWrite)) mask |= IN_ATTRIB;
    if (filter & (kChangeSize | kChangeLastWrite)) mask |= IN_MODIFY;
    return mask;
}

InotifyWatch::InotifyWatch(unsigned filter)
    : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)), filter_(filter) {}

InotifyWatch::~InotifyWatch() {
    if (fd_ >= 0) close(fd_);
}

bool InotifyWatch::Add(const std::string& folder, int depth) {
    return !folder.empty() && AddOne(folder, depth, true);
}

bool InotifyWatch::AddOne(const std::string& folder, int depth, bool isRoot) {
    if (fd_ < 0) return false;
    std::uint32_t mask = InotifyMaskFor(filter_) | IN_ONLYDIR | IN_MASK_ADD;
    // New subfolders must be seen to be watched, whatever the filter.
    if (depth != 0) mask |= IN_CREATE | IN_MOVED_TO;
    // The folders handed in may be links; subfolders found by walking never.
    if (!isRoot) mask |= IN_DONT_FOLLOW;
    const int wd = inotify_add_watch(fd_, folder.c_str(), mask);
    if (wd < 0) return false;

    auto [it, inserted] = watches_.try_emplace(wd, Watched{folder, depth, isRoot});
    if (!inserted) {
        // The same folder again, by another path or after a move: the
        // newest path is the one that is valid now.
        Watched& known = it->second;
        known.path = folder;
        known.isRoot = known.isRoot || isRoot;
        if (!IsDeeper(depth, known.depth)) return true;
        known.depth = depth;
    }
    if (depth != 0) AddSubfolders(folder, Below(depth));
    return true;
}

void InotifyWatch::AddSubfolders(const std::string& folder, int depth) {
    for (const std::string& name : SubfolderNames(folder)) AddOne(Join(folder, name), depth, false);
}

bool InotifyWatch::Matters(std::uint32_t mask, const Watched& watched) const {
    if (mask & kGoneEvents) return watched.isRoot;
    if (mask & kNameEvents) return (filter_ & ((mask & IN_ISDIR) ? kChangeDirName : kChangeFileName)) != 0;
    if (mask & IN_ATTRIB) return (filter_ & (kChangeAttributes | kChangeLastWrite)) != 0;
    if (mask & IN_MODIFY) return (filter_ & (kChangeSize | kChangeLastWrite)) != 0;
    return false;
}

void InotifyWatch::FollowNewSubfolder(const Watched& parent, const std::string& name) {
    // Adding also walks the new folder: it may have got subfolders of its
    // own before its watch existed.
    AddOne(Join(parent.path, name), Below(parent.depth), false);
}

InotifyWatch::ReadResult InotifyWatch::ReadChanges() {
    if (fd_ < 0) return ReadResult::Failed;
    alignas(inotify_event) char buffer[16 * 1024];
    bool changed = false;
    for (;;) {
        const ssize_t length = read(fd_, buffer, sizeof buffer);
        if (length < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN) break;
            return ReadResult::Failed;
        }
        if (length == 0) break;
        for (ssize_t offset = 0; offset < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                changed = true;
                continue;
            }
            const auto found = watches_.find(event->wd);
            if (found == watches_.end()) continue;
            if (event->mask & IN_IGNORED) {
                watches_.erase(found);
                continue;
            }
            // A copy: following a new subfolder may grow the map.
            const Watched watched = found->second;
            changed = changed || Matters(event->mask, watched);
            const bool newSubfolder = (event->mask & (IN_CREATE | IN_MOVED_TO)) &&
                                      (event->mask & IN_ISDIR) && event->len > 0;
            if (newSubfolder && watched.depth != 0) FollowNewSubfolder(watched, event->name);
        }
    }
    return changed ? ReadResult::Changed : ReadResult::NoChange;
}

}  // namespace platform
