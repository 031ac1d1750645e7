#include "inotify_watch.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// The folder holding path (a path without trailing slashes).
std::string ParentOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
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

void FolderChanges::Add(const std::string& folder, const std::string& name) {
    if (whole) return;
    if (names[folder].insert(name).second && ++count_ > kMaxNames) SetWhole();
}

void FolderChanges::SetWhole() {
    whole = true;
    names.clear();
    count_ = 0;
}

void FolderChanges::Merge(const FolderChanges& other) {
    if (other.whole) SetWhole();
    for (const auto& [folder, entries] : other.names)
        for (const std::string& name : entries) Add(folder, name);
}

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

std::uint32_t InotifyWatch::MaskFor(int depth) const {
    std::uint32_t mask = InotifyMaskFor(filter_) | IN_ONLYDIR | IN_MASK_ADD;
    // Subfolders coming and going must be seen to follow them, whatever the filter.
    if (depth != 0) mask |= IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM;
    return mask;
}

bool InotifyWatch::Add(const std::string& folder, int depth) {
    if (fd_ < 0 || folder.empty()) return false;
    const int wd = AddRoot(WithoutTrailingSlashes(folder), depth);
    if (wd < 0) return false;
    // Only subfolders need the root's path later; a single folder keeps
    // its watch without it.
    if (depth == 0) return true;
    WatchHolderOf(wd);
    AddSubfolders(wd, Below(depth));
    return true;
}

// The folder handed in may be a link, which is followed.
int InotifyWatch::AddRoot(const std::string& folder, int depth) {
    const int wd = inotify_add_watch(fd_, folder.c_str(), MaskFor(depth));
    if (wd < 0) return -1;
    const auto [known, inserted] = watches_.try_emplace(wd, Watched{kNoParent, folder, depth, true});
    if (inserted) return wd;
    // Already watched as a subfolder of another root, or handed in twice:
    // from now on it is found as a root.
    Watched& watched = known->second;
    if (!watched.isRoot) watched = Watched{kNoParent, folder, watched.depth, true};
    if (IsDeeper(depth, watched.depth)) watched.depth = depth;
    return wd;
}

void InotifyWatch::WatchHolderOf(int root) {
    const std::string& path = watches_.at(root).name;
    if (path == "/") return;
    const std::string holderPath = ParentOf(path);
    const int holder = inotify_add_watch(fd_, holderPath.c_str(), IN_MOVED_FROM | IN_MOVED_TO | IN_ONLYDIR | IN_MASK_ADD);
    if (holder < 0) return;
    RootHolder& entry = holders_[holder];
    entry.path = holderPath;
    if (std::find(entry.roots.begin(), entry.roots.end(), root) == entry.roots.end()) entry.roots.push_back(root);
}

void InotifyWatch::AddChild(int parent, const std::string& name, int depth) {
    const std::string parentPath = PathOf(parent);
    if (parentPath.empty()) return;
    // Subfolders found by walking are never followed when they are links.
    const int wd = inotify_add_watch(fd_, Join(parentPath, name).c_str(), MaskFor(depth) | IN_DONT_FOLLOW);
    if (wd < 0) return;
    const auto [known, inserted] = watches_.try_emplace(wd, Watched{parent, name, depth, false});
    if (!inserted) {
        // The same folder seen again (a bind mount, or the root of another
        // tree): it keeps the place it was first found at.
        if (!IsDeeper(depth, known->second.depth)) return;
        known->second.depth = depth;
    }
    // Also walks a new folder: it may have got subfolders of its own
    // before its watch existed.
    if (depth != 0) AddSubfolders(wd, Below(depth));
}

void InotifyWatch::AddSubfolders(int wd, int depth) {
    for (const std::string& name : SubfolderNames(PathOf(wd))) AddChild(wd, name, depth);
}

std::string InotifyWatch::PathOf(int wd) const {
    std::vector<const Watched*> chain;
    for (auto found = watches_.find(wd); found != watches_.end(); found = watches_.find(found->second.parent)) {
        chain.push_back(&found->second);
        if (found->second.isRoot || chain.size() > watches_.size()) break;
    }
    if (chain.empty() || !chain.back()->isRoot) return std::string();
    std::string path = chain.back()->name;
    for (auto it = chain.rbegin() + 1; it != chain.rend(); ++it) path = Join(path, (*it)->name);
    return path;
}

// A subfolder renamed or moved away: its watches and those below it go.
// When it arrives elsewhere in the tree it is watched afresh there, at
// the depth its new place asks for.
void InotifyWatch::StopWatchingMovedAway(int parent, const std::string& name) {
    std::vector<int> gone;
    for (const auto& [wd, watched] : watches_)
        if (watched.parent == parent && watched.name == name && !watched.isRoot) gone.push_back(wd);
    for (std::size_t next = 0; next < gone.size(); ++next)
        for (const auto& [wd, watched] : watches_)
            if (watched.parent == gone[next] && !watched.isRoot) gone.push_back(wd);
    for (const int wd : gone) {
        inotify_rm_watch(fd_, wd);
        watches_.erase(wd);
    }
}

// A rename reports the name leaving one folder and arriving in another
// under one cookie; a root whose name left and arrived in folders holding
// roots is found again at its new path.
void InotifyWatch::FollowRootMoves(RootHolder& holder, const inotify_event& event) {
    if (event.len == 0 || !(event.mask & IN_ISDIR)) return;
    const std::string name = event.name;
    if (event.mask & IN_MOVED_FROM) {
        for (const int root : holder.roots)
            if (const auto found = watches_.find(root); found != watches_.end() && found->second.name == Join(holder.path, name))
                movingRoots_[event.cookie] = root;
    } else if (event.mask & IN_MOVED_TO) {
        const auto moving = movingRoots_.find(event.cookie);
        if (moving == movingRoots_.end()) return;
        const int root = moving->second;
        movingRoots_.erase(moving);
        const auto found = watches_.find(root);
        if (found == watches_.end()) return;
        for (auto& [wd, other] : holders_) std::erase(other.roots, root);
        found->second.name = Join(holder.path, name);
        WatchHolderOf(root);
    }
}

bool InotifyWatch::Matters(std::uint32_t mask, const Watched& watched) const {
    if (mask & kGoneEvents) return watched.isRoot;
    if (mask & kNameEvents) return (filter_ & ((mask & IN_ISDIR) ? kChangeDirName : kChangeFileName)) != 0;
    if (mask & IN_ATTRIB) return (filter_ & (kChangeAttributes | kChangeLastWrite)) != 0;
    if (mask & IN_MODIFY) return (filter_ & (kChangeSize | kChangeLastWrite)) != 0;
    return false;
}

bool InotifyWatch::HeldByWatchedRoot(const std::string& path) const {
    const std::string parent = ParentOf(path);
    return std::any_of(watches_.begin(), watches_.end(), [&](const auto& entry) {
        return entry.second.isRoot && entry.second.depth != 0 && entry.second.name == parent;
    });
}

// An entry's change is recorded under the folder holding it. A change of
// a watched folder itself (it went, or its own attributes changed) reaches
// the watch of the folder holding it as well, by name, when that is
// watched: for a subfolder always, for a root only when that folder is a
// root too; otherwise only a whole refresh can tell.
void InotifyWatch::Record(const inotify_event& event, int wd, FolderChanges& changes) const {
    const Watched& watched = watches_.at(wd);
    const std::string path = PathOf(wd);
    if (path.empty() || (event.mask & IN_UNMOUNT)) {
        changes.SetWhole();
    } else if (event.len > 0) {
        changes.Add(path, event.name);
    } else if (!watched.isRoot) {
        return;
    } else if (HeldByWatchedRoot(path)) {
        changes.Add(ParentOf(path), BaseNameOf(path));
    } else {
        changes.SetWhole();
    }
}

InotifyWatch::ReadResult InotifyWatch::ReadChanges(FolderChanges* changes) {
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
                if (changes) changes->SetWhole();
                continue;
            }
            if (const auto holder = holders_.find(event->wd); holder != holders_.end()) {
                if (event->mask & IN_IGNORED) {
                    holders_.erase(holder);
                } else {
                    FollowRootMoves(holder->second, *event);
                }
            }
            const auto found = watches_.find(event->wd);
            if (found == watches_.end()) continue;
            if (event->mask & IN_IGNORED) {
                watches_.erase(found);
                continue;
            }
            // A copy: following subfolders changes the map.
            const Watched watched = found->second;
            if (Matters(event->mask, watched)) {
                changed = true;
                if (changes) Record(*event, event->wd, *changes);
            }
            if (event->mask & IN_MOVE_SELF) std::erase_if(movingRoots_, [&](const auto& entry) { return entry.second == event->wd; });
            const bool folderEntry = (event->mask & IN_ISDIR) && event->len > 0;
            if (!folderEntry || watched.depth == 0) continue;
            if (event->mask & IN_MOVED_FROM) StopWatchingMovedAway(event->wd, event->name);
            if (event->mask & (IN_CREATE | IN_MOVED_TO)) AddChild(event->wd, event->name, Below(watched.depth));
        }
    }
    return changed ? ReadResult::Changed : ReadResult::NoChange;
}

}  // namespace platform
