#include "platform/shell_namespace.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include <QStandardPaths>

#include "platform/desktop_services.h"
#include "platform/file_operations.h"
#include "platform/file_uri.h"
#include "platform/message_box.h"
#include "platform/path_text.h"
#include "platform/protected_places.h"
#include "platform/shell_collation.h"
#include "platform/shell_icons.h"
#include "platform/shell_mounts.h"
#include "platform/trash.h"

namespace platform {
namespace {

constexpr std::int64_t kDetailsLifetimeMs = 2000;

std::string Join(const std::string& folder, std::string_view name) {
    if (folder.empty() || folder.back() == '/') return folder + std::string(name);
    return folder + "/" + std::string(name);
}

std::int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool IsDotName(std::string_view name) { return !name.empty() && name.front() == '.'; }

// A name that stays inside its folder: lists from other programs (the
// clipboard, a drop) must not lead out of it with "..".
bool IsEntryName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

// An absolute path without "." or ".." parts.
bool IsPlainAbsolutePath(std::string_view path) {
    if (path.empty() || path.front() != '/') return false;
    std::size_t start = 1;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        const std::string_view part = path.substr(start, end - start);
        if (part == "." || part == "..") return false;
        start = end + 1;
    }
    return path.find('\0') == std::string_view::npos;
}

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool Exists(const std::string& path) {
    struct stat info {};
    return !path.empty() && lstat(path.c_str(), &info) == 0;
}

std::string NativeOf(const QString& text) { return PathBytes(text); }

// Trash entries carry the full path of the trashed file: its trash folder
// and its name inside files/.
bool SplitTrashEntry(const std::string& filePath, std::string& trashFolder, std::string& name) {
    const auto slash = filePath.rfind('/');
    if (slash == std::string::npos) return false;
    const std::string filesFolder = filePath.substr(0, slash);
    name = filePath.substr(slash + 1);
    constexpr std::string_view suffix = "/files";
    if (filesFolder.size() < suffix.size() || filesFolder.compare(filesFolder.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    trashFolder = filesFolder.substr(0, filesFolder.size() - suffix.size());
    return !name.empty();
}

// Hands out prepared items, then those of an optional second enumerator.
class ListEnumerator final : public ShellEnumerator {
public:
    ListEnumerator(std::vector<UniqueIDList> items, std::unique_ptr<ShellEnumerator> then)
        : items_(std::move(items)), then_(std::move(then)) {}

    UniqueIDList Next() override {
        if (next_ < items_.size()) return std::move(items_[next_++]);
        return then_ ? then_->Next() : nullptr;
    }

private:
    std::vector<UniqueIDList> items_;
    std::size_t next_ = 0;
    std::unique_ptr<ShellEnumerator> then_;
};

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

// Reads a directory lazily. The entry type comes from the directory
// itself; only links and file systems that do not report types cost a
// stat, which never opens the entry.
class FolderEnumerator final : public ShellEnumerator {
public:
    FolderEnumerator(DIR* dir, unsigned flags) : dir_(dir), flags_(flags) {}

    UniqueIDList Next() override {
        while (const dirent* entry = readdir(dir_.get())) {
            const std::string_view name = entry->d_name;
            if (name == "." || name == "..") continue;
            if (!(flags_ & kEnumIncludeHidden) && IsDotName(name)) continue;
            if (UniqueIDList item = EntryItemOf(name, IsFolderEntry(*entry), flags_)) return item;
        }
        return nullptr;
    }

    // The item of an entry that is not hidden by the flags, when the
    // flags ask for its kind.
    static UniqueIDList EntryItemOf(std::string_view name, bool folder, unsigned flags) {
        if (!(flags & (folder ? kEnumFolders : kEnumNonFolders))) return nullptr;
        return MakeItem(folder ? ShellItemKind::Folder : ShellItemKind::File, name);
    }

private:
    bool IsFolderEntry(const dirent& entry) const {
        if (entry.d_type == DT_DIR) return true;
        if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN) return false;
        struct stat info {};
        return fstatat(dirfd(dir_.get()), entry.d_name, &info, 0) == 0 && S_ISDIR(info.st_mode);
    }

    std::unique_ptr<DIR, DirCloser> dir_;
    unsigned flags_;
};

std::unique_ptr<ShellEnumerator> EnumerateDirectory(const std::string& path, unsigned flags, int* error = nullptr) {
    DIR* dir = opendir(path.c_str());
    if (!dir) {
        if (error) *error = errno;
        return nullptr;
    }
    return std::make_unique<FolderEnumerator>(dir, flags);
}

// Desktop places in their fixed order, before the desktop directory's own
// entries.
constexpr ShellItemKind kDesktopPlaces[] = {ShellItemKind::Home, ShellItemKind::Drives, ShellItemKind::Network,
                                            ShellItemKind::Trash, ShellItemKind::Internet};

int DesktopRank(ShellItemKind kind) {
    for (int i = 0; i < static_cast<int>(std::size(kDesktopPlaces)); ++i)
        if (kDesktopPlaces[i] == kind) return i;
    return static_cast<int>(std::size(kDesktopPlaces));
}

bool IsFolderPlace(ShellPlace place) {
    return place == ShellPlace::Home || place == ShellPlace::Drives || place == ShellPlace::Drive ||
           place == ShellPlace::FileSystem || place == ShellPlace::Trash || place == ShellPlace::Network ||
           place == ShellPlace::Internet;
}

FileObjectType ObjectTypeOf(const std::string& path) {
    struct stat info {};
    if (path.empty() || stat(path.c_str(), &info) != 0) {
        return Exists(path) ? FileObjectType::Regular : FileObjectType::Missing;
    }
    if (S_ISDIR(info.st_mode)) return FileObjectType::Folder;
    if (S_ISFIFO(info.st_mode)) return FileObjectType::Fifo;
    if (S_ISCHR(info.st_mode)) return FileObjectType::CharDevice;
    if (S_ISBLK(info.st_mode)) return FileObjectType::BlockDevice;
    if (S_ISSOCK(info.st_mode)) return FileObjectType::Socket;
    return FileObjectType::Regular;
}

// File systems whose directory link count is 2 + the number of
// subfolders; elsewhere (btrfs, overlays, network and FUSE file systems)
// the count says nothing and only reading the directory tells.
bool KeepsFolderLinkCount(dev_t device, const std::string& path) {
    static std::mutex lock;
    static std::unordered_map<dev_t, bool> known;
    {
        std::lock_guard guard(lock);
        if (const auto found = known.find(device); found != known.end()) return found->second;
    }
    struct statfs info {};
    if (statfs(path.c_str(), &info) != 0) return false;
    constexpr unsigned long kCounting[] = {0xEF53 /* ext2-4 */, 0x58465342 /* xfs */, 0x01021994 /* tmpfs */,
                                           0xF2F52010 /* f2fs */, 0x3153464A /* jfs */, 0x52654973 /* reiserfs */};
    const auto type = static_cast<unsigned long>(info.f_type);
    const bool counting = std::find(std::begin(kCounting), std::end(kCounting), type) != std::end(kCounting);
    std::lock_guard guard(lock);
    known[device] = counting;
    return counting;
}

bool ReadsSubfolder(const std::string& path) {
    std::unique_ptr<DIR, DirCloser> dir(opendir(path.c_str()));
    if (!dir) return false;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (entry->d_type == DT_DIR) return true;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat info {};
            if (fstatat(dirfd(dir.get()), entry->d_name, &info, 0) == 0 && S_ISDIR(info.st_mode)) return true;
        }
    }
    return false;
}

// info: the folder's own (followed) status. The link count answers
// without reading the folder where the file system keeps it; links to
// folders inside it are found only by reading, as on any file system.
bool HasSubfolder(const std::string& path, const struct stat& info) {
    if (info.st_nlink > 2 && KeepsFolderLinkCount(info.st_dev, path)) return true;
    if (info.st_nlink == 2 && KeepsFolderLinkCount(info.st_dev, path)) return false;
    return ReadsSubfolder(path);
}

bool HasSubfolder(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && HasSubfolder(path, info);
}

}  // namespace

// What the items of one attribute query share, worked out once: one
// reading of the protected places, and the permissions of the folder that
// holds the items while it stays the same.
struct AttributeQuery {
    ProtectedPlaceJudge judge;
    std::string folder;
    bool folderWritable = false;
    struct stat folderInfo {};
};

namespace {

// Whether the user may remove or rename entries of folder, honouring the
// sticky bit (only the owner of the entry or of the folder may then).
bool MayChangeEntries(AttributeQuery& query, const std::string& folder, const struct stat& entry) {
    if (folder != query.folder || query.folder.empty()) {
        query.folder = folder;
        query.folderWritable =
            access(folder.c_str(), W_OK | X_OK) == 0 && stat(folder.c_str(), &query.folderInfo) == 0;
    }
    if (!query.folderWritable) return false;
    if (!(query.folderInfo.st_mode & S_ISVTX)) return true;
    const uid_t user = geteuid();
    return user == 0 || entry.st_uid == user || query.folderInfo.st_uid == user;
}

std::string ParentOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::uint32_t FileSystemAttributes(const ShellItem& item, std::uint32_t request, AttributeQuery& query,
                                   bool& known) {
    known = true;
    struct stat linkInfo {};
    if (lstat(item.path.c_str(), &linkInfo) != 0) {
        known = !(request & kValidate);
        std::uint32_t bits = kFileSystem;
        if (item.kind == ShellItemKind::Folder) bits |= kFolder | kFileSysAncestor;
        return bits;
    }
    struct stat info = linkInfo;
    const bool isLink = S_ISLNK(linkInfo.st_mode);
    if (isLink && stat(item.path.c_str(), &info) != 0) info = linkInfo;
    const bool folder = S_ISDIR(info.st_mode);
    std::uint32_t bits = kFileSystem | kCanLink | kHasPropSheet;
    if (folder) bits |= kFolder | kFileSysAncestor | kDropTarget;
    if (isLink) bits |= kLink;
    if (!(info.st_mode & S_IWUSR)) bits |= kReadOnly;
    if ((request & kCanCopy) && access(item.path.c_str(), folder ? (R_OK | X_OK) : R_OK) == 0) bits |= kCanCopy;
    if ((request & (kCanMove | kCanDelete | kCanRename)) && MayChangeEntries(query, ParentOf(item.path), linkInfo) &&
        query.judge.ReasonFor(item.path).isEmpty())
        bits |= kCanMove | kCanDelete | kCanRename;
    if (request & (kHidden | kCompressed)) {
        const std::uint32_t fileAttributes = FileAttributesOf(item.path);
        if (fileAttributes & kAttrHidden) bits |= kHidden;
        if (fileAttributes & kAttrCompressed) bits |= kCompressed;
    } else if (IsDotName(item.name)) {
        bits |= kHidden;
    }
    if (folder && (request & kHasSubFolder) && HasSubfolder(item.path, info)) bits |= kHasSubFolder;
    return bits;
}

QString DriveDisplayName(const std::string& mountPoint) {
    const QString label = RawVolumeLabel(mountPoint);
    const QString title =
        !label.isEmpty() ? label : (IsRemovableMountPoint(mountPoint) ? RemovableDiskTypeName() : LocalDiskTypeName());
    return title + QStringLiteral(" (") + DisplayTextOfName(mountPoint) + QStringLiteral(")");
}

int Sign(std::int64_t value) { return value < 0 ? -1 : (value > 0 ? 1 : 0); }

// Escapes in a file URI may stand for bytes that are not UTF-8; they are
// decoded to exactly those bytes.
std::string LocalPathOfText(const QString& text) {
    if (text.startsWith(QLatin1String("file:"))) return PathFromFileUri(text.toStdString()).value_or(std::string());
    return NativeOf(text);
}

// Removes "." parts, repeated and trailing slashes, without resolving
// links; only for paths without "..".
std::string CleanAbsolutePath(const std::string& path) {
    std::string clean;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const std::string part = path.substr(start, end - start);
        if (!part.empty() && part != ".") clean += "/" + part;
        start = end + 1;
    }
    return clean.empty() ? std::string("/") : clean;
}

std::string CanonicalPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr), &std::free);
    return resolved ? std::string(resolved.get()) : std::string();
}

// The absolute path the file system means. ".." steps back from wherever
// the links before it lead, so everything up to the last ".." is resolved
// by the system itself; the parts after it are kept as written, so links
// there stay items of their own. Empty when the resolved part is missing.
std::string ResolvedAbsolutePath(const std::string& path) {
    std::size_t endOfDots = std::string::npos;
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (path.compare(start, end - start, "..") == 0) endOfDots = end;
        start = end + 1;
    }
    if (endOfDots == std::string::npos) return CleanAbsolutePath(path);
    const std::string resolved = CanonicalPath(path.substr(0, endOfDots));
    if (resolved.empty()) return std::string();
    return CleanAbsolutePath(resolved + "/" + path.substr(endOfDots));
}

bool IsUnder(const std::string& path, const std::string& folder) {
    if (folder == "/") return true;
    return path.compare(0, folder.size(), folder) == 0 && (path.size() == folder.size() || path[folder.size()] == '/');
}

// path as a path below folder's own spelling, also when path was resolved
// through links that folder's spelling goes through; empty when it does
// not lie below folder.
std::string SpelledUnder(const std::string& path, const std::string& folder) {
    if (IsUnder(path, folder)) return path;
    const std::string real = CanonicalPath(folder);
    if (real.empty() || real == folder || !IsUnder(path, real)) return std::string();
    if (real == "/") return folder + path;
    return folder + path.substr(real.size());
}

// The items below folder that lead to path (which lies under it).
UniqueIDList AppendPathItems(UniqueIDList list, const std::string& folder, const std::string& path) {
    std::string current = folder;
    std::size_t start = folder == "/" ? 1 : folder.size() + 1;
    while (list && start < path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const std::string name = path.substr(start, end - start);
        current = Join(current, name);
        const ShellItemKind kind = IsDirectory(current) ? ShellItemKind::Folder : ShellItemKind::File;
        UniqueIDList item = MakeItem(kind, name);
        if (!item) return nullptr;
        list = JoinIDLists(list.get(), item.get());
        start = end + 1;
    }
    return list;
}

}  // namespace

// ---------------------------------------------------------------------------

std::string HomeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* entry = getpwuid(getuid())) return entry->pw_dir;
    return "/";
}

// Read once: the location comes from a settings file that would
// otherwise be read for every desktop entry described.
std::string DesktopDirectory() {
    static const std::string desktop = [] {
        const std::string location = NativeOf(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
        return location.empty() ? HomeDirectory() : location;
    }();
    return desktop;
}

std::optional<TrashItem> TrashItemOf(const ShellItem& item) {
    std::string folder;
    std::string name;
    if (item.place != ShellPlace::TrashEntry || !SplitTrashEntry(item.path, folder, name)) return std::nullopt;
    return FindTrashItem(folder, name);
}

QString ShellPlaceName(ShellPlace place) {
    switch (place) {
        case ShellPlace::Desktop: return QStringLiteral("デスクトップ");
        case ShellPlace::Home: return QStringLiteral("ホーム");
        case ShellPlace::Drives: return QStringLiteral("コンピュータ");
        case ShellPlace::Trash: return QStringLiteral("ごみ箱");
        case ShellPlace::Network: return QStringLiteral("ネットワーク");
        case ShellPlace::Internet: return QStringLiteral("インターネット");
        default: return QString();
    }
}

ShellFolder::ShellFolder(ShellPlace place, std::string path, UniqueIDList absolute)
    : place_(place), path_(std::move(path)), absolute_(std::move(absolute)) {}

std::shared_ptr<ShellFolder> DesktopFolder() {
    return std::make_shared<ShellFolder>(ShellPlace::Desktop, std::string(), MakeDesktopIDList());
}

ShellItem ShellFolder::Describe(const ItemIDList* relative) const {
    ShellItem item;
    std::string_view name;
    if (!ReadItem(relative, item.kind, name)) return item;
    item.name = std::string(name);
    const bool fileSystemEntry = item.kind == ShellItemKind::Folder || item.kind == ShellItemKind::File;
    switch (place_) {
        case ShellPlace::Desktop:
            switch (item.kind) {
                case ShellItemKind::Home:
                    item.place = ShellPlace::Home;
                    item.path = HomeDirectory();
                    break;
                case ShellItemKind::Drives: item.place = ShellPlace::Drives; break;
                case ShellItemKind::Trash: item.place = ShellPlace::Trash; break;
                case ShellItemKind::Network: item.place = ShellPlace::Network; break;
                case ShellItemKind::Internet: item.place = ShellPlace::Internet; break;
                case ShellItemKind::Folder:
                case ShellItemKind::File:
                    if (IsEntryName(item.name)) {
                        item.place = ShellPlace::FileSystem;
                        item.path = Join(DesktopDirectory(), item.name);
                    }
                    break;
                default: break;
            }
            break;
        case ShellPlace::Drives:
            if (item.kind == ShellItemKind::Drive && IsPlainAbsolutePath(item.name)) {
                item.place = ShellPlace::Drive;
                item.path = item.name;
            }
            break;
        case ShellPlace::Home:
        case ShellPlace::Drive:
        case ShellPlace::FileSystem:
            if (fileSystemEntry && IsEntryName(item.name)) {
                item.place = ShellPlace::FileSystem;
                item.path = Join(path_, item.name);
            }
            break;
        case ShellPlace::Trash:
            if (item.kind == ShellItemKind::TrashEntry && IsPlainAbsolutePath(item.name)) {
                item.place = ShellPlace::TrashEntry;
                item.path = item.name;
            }
            break;
        default: break;
    }
    return item;
}

std::unique_ptr<ShellEnumerator> ShellFolder::EnumObjects(unsigned flags, int* error) const {
    std::vector<UniqueIDList> items;
    switch (place_) {
        case ShellPlace::Desktop: {
            if (flags & kEnumFolders)
                for (const ShellItemKind kind : kDesktopPlaces) items.push_back(MakeItem(kind));
            const std::string desktop = DesktopDirectory();
            std::unique_ptr<ShellEnumerator> entries;
            if (desktop != HomeDirectory()) entries = EnumerateDirectory(desktop, flags);
            return std::make_unique<ListEnumerator>(std::move(items), std::move(entries));
        }
        case ShellPlace::Drives:
            if (flags & kEnumFolders)
                for (const MountedDrive& drive : MountedDrives())
                    if (UniqueIDList item = MakeItem(ShellItemKind::Drive, drive.mountPoint)) items.push_back(std::move(item));
            return std::make_unique<ListEnumerator>(std::move(items), nullptr);
        case ShellPlace::Trash:
            if (flags & kEnumNonFolders)
                for (const TrashItem& entry : ListTrash())
                    if (UniqueIDList item = MakeItem(ShellItemKind::TrashEntry, entry.FilePath())) items.push_back(std::move(item));
            return std::make_unique<ListEnumerator>(std::move(items), nullptr);
        case ShellPlace::Network:
        case ShellPlace::Internet:
            return std::make_unique<ListEnumerator>(std::move(items), nullptr);
        case ShellPlace::Home:
        case ShellPlace::Drive:
        case ShellPlace::FileSystem:
            return EnumerateDirectory(path_, flags, error);
        default:
            if (error) *error = ENOTDIR;
            return nullptr;
    }
}

std::shared_ptr<ShellFolder> ShellFolder::ChildFolder(const ShellItem& item, const ItemIDList* relative) const {
    if (!IsFolderPlace(item.place)) return nullptr;
    UniqueIDList first = CopyFirstItemOnly(relative);
    UniqueIDList absolute = JoinIDLists(absolute_.get(), first.get());
    if (!absolute) return nullptr;
    return std::make_shared<ShellFolder>(item.place, item.path, std::move(absolute));
}

std::shared_ptr<ShellFolder> ShellFolder::BindToObject(const ItemIDList* relative) const {
    if (IsEmptyIDList(relative)) return nullptr;
    const ShellItem item = Describe(relative);
    if (item.place == ShellPlace::FileSystem && !IsDirectory(item.path)) return nullptr;
    if ((item.place == ShellPlace::Home || item.place == ShellPlace::Drive) && !IsDirectory(item.path)) return nullptr;
    std::shared_ptr<ShellFolder> child = ChildFolder(item, relative);
    const ItemIDList* rest = NextItem(relative);
    if (!child || IsEmptyIDList(rest)) return child;
    return child->BindToObject(rest);
}

std::shared_ptr<ShellFolder> ShellFolder::DescribedFolder(const ItemIDList* relative) const {
    if (IsEmptyIDList(relative)) return nullptr;
    std::shared_ptr<ShellFolder> child = ChildFolder(Describe(relative), relative);
    const ItemIDList* rest = NextItem(relative);
    if (!child || IsEmptyIDList(rest)) return child;
    return child->DescribedFolder(rest);
}

std::shared_ptr<const ShellFolder> ShellFolder::FolderOfLast(const ItemIDList* relative,
                                                             const ItemIDList*& last) const {
    std::shared_ptr<const ShellFolder> folder(this, [](const ShellFolder*) {});
    last = relative;
    std::shared_ptr<ShellFolder> owned;
    while (!IsEmptyIDList(last) && !IsEmptyIDList(NextItem(last))) {
        owned = folder->ChildFolder(folder->Describe(last), last);
        if (!owned) return nullptr;
        folder = owned;
        last = NextItem(last);
    }
    return folder;
}

// ---------------------------------------------------------------------------
// Comparing

ShellItemDetails ShellFolder::DetailsOf(const ShellItem& item) const {
    const std::int64_t now = SteadyMs();
    {
        std::lock_guard guard(detailsLock_);
        const auto found = detailsCache_.find(item.name);
        if (found != detailsCache_.end() && now - found->second.readAtMs < kDetailsLifetimeMs) return found->second;
    }
    ShellItemDetails details;
    FindData data;
    if (!item.path.empty() && ReadFindData(item.path, data)) {
        details.folder = (data.Attributes & kAttrDirectory) != 0;
        details.size = data.Size;
        details.modifiedNs = UnixNsFromFileTime(data.LastWriteTime);
        details.fileAttributes = data.Attributes;
    } else {
        details.folder = item.kind == ShellItemKind::Folder;
    }
    details.readAtMs = now;
    std::lock_guard guard(detailsLock_);
    if (detailsCache_.size() > 200000) detailsCache_.clear();
    detailsCache_[item.name] = details;
    return details;
}

int ShellFolder::CompareDetails(int column, const ShellItem& a, const ShellItem& b) const {
    const ShellItemDetails x = DetailsOf(a);
    const ShellItemDetails y = DetailsOf(b);
    if (x.folder != y.folder) return x.folder ? -1 : 1;
    int order = 0;
    switch (column) {
        case 1: order = x.folder ? 0 : Sign(static_cast<std::int64_t>(x.size > y.size) - static_cast<std::int64_t>(x.size < y.size)); break;
        case 2:
            order = NaturalCompareText(FileTypeName(a.name, x.folder ? FileObjectType::Folder : FileObjectType::Regular),
                                   FileTypeName(b.name, y.folder ? FileObjectType::Folder : FileObjectType::Regular));
            break;
        case 3: order = Sign(x.modifiedNs - y.modifiedNs); break;
        case 4: order = NaturalCompareText(AttributeLetters(x.fileAttributes), AttributeLetters(y.fileAttributes)); break;
        default: break;
    }
    return order != 0 ? order : NaturalCompare(a.name, b.name);
}

UniqueIDList ShellFolder::EntryItem(const std::string& name, unsigned flags) const {
    if (!HoldsFileSystemEntries() || name.empty() || name == "." || name == ".." ||
        name.find('/') != std::string::npos)
        return nullptr;
    if (!(flags & kEnumIncludeHidden) && IsDotName(name)) return nullptr;
    // Followed like the enumerator follows links: a link to a folder lists as a folder.
    struct stat info {};
    const std::string path = Join(path_, name);
    if (stat(path.c_str(), &info) != 0 && lstat(path.c_str(), &info) != 0) return nullptr;
    return FolderEnumerator::EntryItemOf(name, S_ISDIR(info.st_mode), flags);
}

bool ShellFolder::HoldsFileSystemEntries() const {
    return place_ == ShellPlace::Home || place_ == ShellPlace::Drive || place_ == ShellPlace::FileSystem;
}

// Column 0 of two file-system entries needs only the kind tags and the
// names the items carry, so a sort never touches the disk.
static std::optional<int> CompareEntryNames(const ItemIDList* a, const ItemIDList* b) {
    ShellItemKind kindA;
    ShellItemKind kindB;
    std::string_view nameA;
    std::string_view nameB;
    if (!ReadItem(a, kindA, nameA) || !ReadItem(b, kindB, nameB)) return std::nullopt;
    const bool entryA = kindA == ShellItemKind::Folder || kindA == ShellItemKind::File;
    const bool entryB = kindB == ShellItemKind::Folder || kindB == ShellItemKind::File;
    if (!entryA || !entryB || nameA.empty() || nameB.empty()) return std::nullopt;
    // The same name is the same item even when it changed between file
    // and folder since the lists were made.
    if (kindA != kindB) return nameA == nameB ? 0 : (kindA == ShellItemKind::Folder ? -1 : 1);
    return NaturalCompare(nameA, nameB);
}

std::optional<int> ShellFolder::CompareItems(int column, const ItemIDList* a, const ItemIDList* b) const {
    if (column == 0 && HoldsFileSystemEntries())
        if (const std::optional<int> order = CompareEntryNames(a, b)) return order;
    const ShellItem x = Describe(a);
    const ShellItem y = Describe(b);
    if (x.place == ShellPlace::Invalid || y.place == ShellPlace::Invalid) return std::nullopt;
    if (x.kind == y.kind && x.name == y.name) return 0;
    switch (place_) {
        case ShellPlace::Desktop: {
            const int rankX = DesktopRank(x.kind);
            const int rankY = DesktopRank(y.kind);
            if (rankX != rankY) return rankX < rankY ? -1 : 1;
            break;
        }
        case ShellPlace::Drives: return NaturalCompare(x.name, y.name);
        case ShellPlace::Trash: {
            const int order = NaturalCompareText(DisplayNameOfItem(x, kNameInFolder), DisplayNameOfItem(y, kNameInFolder));
            return order != 0 ? order : NaturalCompare(x.name, y.name);
        }
        default: break;
    }
    if (column >= 1 && column <= 4) return CompareDetails(column, x, y);
    if (x.name == y.name) return 0;
    const bool folderX = x.kind == ShellItemKind::Folder;
    const bool folderY = y.kind == ShellItemKind::Folder;
    if (folderX != folderY) return folderX ? -1 : 1;
    return NaturalCompare(x.name, y.name);
}

std::optional<int> ShellFolder::CompareIDs(int column, const ItemIDList* a, const ItemIDList* b) const {
    if (!a || !b || column < 0 || column > 4) return std::nullopt;
    if (IsEmptyIDList(a) || IsEmptyIDList(b)) {
        if (place_ != ShellPlace::Desktop) return std::nullopt;
        if (IsEmptyIDList(a) && IsEmptyIDList(b)) return 0;
        return IsEmptyIDList(a) ? -1 : 1;
    }
    const std::optional<int> first = CompareItems(column, a, b);
    if (!first || *first != 0) return first;
    const ItemIDList* restA = NextItem(a);
    const ItemIDList* restB = NextItem(b);
    if (IsEmptyIDList(restA) || IsEmptyIDList(restB)) {
        if (IsEmptyIDList(restA) && IsEmptyIDList(restB)) return 0;
        return IsEmptyIDList(restA) ? -1 : 1;
    }
    const std::shared_ptr<ShellFolder> child = ChildFolder(Describe(a), a);
    if (!child) return std::nullopt;
    return child->CompareIDs(column, restA, restB);
}

// ---------------------------------------------------------------------------
// Attributes

std::optional<std::uint32_t> ShellFolder::AttributesOfItem(const ItemIDList* item, std::uint32_t request,
                                                          AttributeQuery& query) const {
    if (IsEmptyIDList(item)) {
        if (place_ != ShellPlace::Desktop) return std::nullopt;
        return kFolder | kFileSysAncestor | kHasSubFolder | kDropTarget;
    }
    const ItemIDList* last = nullptr;
    const auto folder = FolderOfLast(item, last);
    if (!folder) return std::nullopt;
    const ShellItem facts = folder->Describe(last);
    switch (facts.place) {
        case ShellPlace::Home: {
            std::uint32_t bits = kFolder | kFileSystem | kFileSysAncestor | kDropTarget | kHasPropSheet | kCanLink | kCanCopy;
            if ((request & kHasSubFolder) && HasSubfolder(facts.path)) bits |= kHasSubFolder;
            return bits;
        }
        case ShellPlace::Drives: return kFolder | kFileSysAncestor | kHasSubFolder;
        case ShellPlace::Drive: {
            std::uint32_t bits = kFolder | kFileSystem | kFileSysAncestor | kDropTarget | kHasPropSheet | kCanLink;
            if (IsRemovableMountPoint(facts.path)) bits |= kRemovable;
            if ((request & kHasSubFolder) && HasSubfolder(facts.path)) bits |= kHasSubFolder;
            if ((request & kValidate) && !IsDirectory(facts.path)) return std::nullopt;
            return bits;
        }
        case ShellPlace::Trash: return kFolder | kDropTarget;
        case ShellPlace::Network:
        case ShellPlace::Internet: return kFolder;
        case ShellPlace::TrashEntry:
            if ((request & kValidate) && !Exists(facts.path)) return std::nullopt;
            return kCanDelete | kHasPropSheet;
        case ShellPlace::FileSystem: {
            bool known = true;
            const std::uint32_t bits = FileSystemAttributes(facts, request, query, known);
            if (!known) return std::nullopt;
            return bits;
        }
        default: return std::nullopt;
    }
}

std::optional<std::uint32_t> ShellFolder::GetAttributesOf(std::span<const ItemIDList* const> items,
                                                          std::uint32_t request) const {
    if (items.empty()) return std::nullopt;
    AttributeQuery query;
    std::uint32_t common = ~std::uint32_t{0};
    for (const ItemIDList* item : items) {
        const std::optional<std::uint32_t> bits = AttributesOfItem(item, request, query);
        if (!bits) return std::nullopt;
        common &= *bits;
    }
    return common & request;
}

std::optional<std::uint32_t> ShellFolder::GetAttributesOf(const ItemIDList* item, std::uint32_t request) const {
    const ItemIDList* items[] = {item};
    return GetAttributesOf(items, request);
}

// ---------------------------------------------------------------------------
// Names

QString ShellFolder::DisplayNameOfItem(const ShellItem& item, unsigned flags) const {
    const bool forParsing = (flags & kNameForParsing) != 0;
    switch (item.place) {
        case ShellPlace::Home:
            return forParsing ? PathText(item.path) : ShellPlaceName(ShellPlace::Home);
        case ShellPlace::Drives:
        case ShellPlace::Trash:
        case ShellPlace::Network:
        case ShellPlace::Internet: return ShellPlaceName(item.place);
        case ShellPlace::Drive: return forParsing ? PathText(item.path) : DriveDisplayName(item.path);
        case ShellPlace::TrashEntry: {
            if (forParsing) return PathText(item.path);
            const std::optional<TrashItem> entry = TrashItemOf(item);
            const std::string original = entry ? BaseName(entry->originalPath) : std::string();
            return DisplayTextOfName(original.empty() ? BaseName(item.path) : original);
        }
        case ShellPlace::FileSystem:
            // Renaming maps an edited name back to bytes (EditedNameBytes),
            // so the shown text is also the text to edit.
            if (forParsing) return PathText(item.path);
            return DisplayTextOfName(item.name);
        default: return QString();
    }
}

std::optional<QString> ShellFolder::GetDisplayNameOf(const ItemIDList* item, unsigned flags) const {
    if (!item) return std::nullopt;
    if (IsEmptyIDList(item)) {
        if (place_ != ShellPlace::Desktop) return std::nullopt;
        return (flags & kNameForParsing) ? PathText(DesktopDirectory()) : ShellPlaceName(ShellPlace::Desktop);
    }
    const ItemIDList* last = nullptr;
    const auto folder = FolderOfLast(item, last);
    if (!folder) return std::nullopt;
    const ShellItem facts = folder->Describe(last);
    if (facts.place == ShellPlace::Invalid) return std::nullopt;
    return folder->DisplayNameOfItem(facts, flags);
}

UniqueIDList ShellFolder::SetNameOf(QWidget* owner, const ItemIDList* item, const QString& newName) const {
    const ItemIDList* last = nullptr;
    const auto folder = FolderOfLast(item, last);
    if (!folder || IsEmptyIDList(last)) return nullptr;
    const ShellItem facts = folder->Describe(last);
    if (facts.place == ShellPlace::Invalid) return nullptr;
    if (facts.place == ShellPlace::TrashEntry) {
        ShowMessage(owner, QStringLiteral("ごみ箱の中の項目の名前は変更できません。"), MessageIcon::Error);
        return nullptr;
    }
    if (facts.place != ShellPlace::FileSystem) {
        // The namespace's own places keep their names.
        const QString name = folder->DisplayNameOfItem(facts, kNameInFolder);
        ShowRefusal({{name.toStdString(), QStringLiteral("この場所の名前は変更できません。")}}, ChangeKind::Rename, owner);
        return nullptr;
    }
    const std::string renamedPath = RenameItem(facts.path, newName, owner);
    if (renamedPath.empty()) return nullptr;
    const std::string name = BaseName(renamedPath);
    const std::string target = Join(ParentOf(facts.path), name);
    const ShellItemKind kind = IsDirectory(target) ? ShellItemKind::Folder : ShellItemKind::File;
    UniqueIDList renamed = MakeItem(kind, name);
    UniqueIDList front = CopyAllButLast(item);
    return JoinIDLists(front.get(), renamed.get());
}

// ---------------------------------------------------------------------------
// Parsing

UniqueIDList ShellFolder::ParseNativePath(const std::string& path) const {
    if (path.empty()) return nullptr;
    if (place_ == ShellPlace::Desktop) {
        if (path.front() != '/') return nullptr;
        return IDListOfPath(path);
    }
    if (path_.empty() || path.front() == '/') return nullptr;
    const std::string absolute = SpelledUnder(ResolvedAbsolutePath(Join(path_, path)), path_);
    if (absolute.empty() || !Exists(absolute)) return nullptr;
    return AppendPathItems(MakeDesktopIDList(), path_, absolute);
}

UniqueIDList ShellFolder::ParseDisplayName(const QString& text) const {
    return ParseNativePath(LocalPathOfText(text.trimmed()));
}

UniqueIDList IDListOfPath(const std::string& rawPath) {
    if (rawPath.empty() || rawPath.front() != '/') return nullptr;
    const std::string path = ResolvedAbsolutePath(rawPath);
    if (!Exists(path)) return nullptr;
    const std::string home = ResolvedAbsolutePath(HomeDirectory());
    if (const std::string belowHome = home != "/" ? SpelledUnder(path, home) : std::string(); !belowHome.empty())
        return AppendPathItems(MakeItem(ShellItemKind::Home), home, belowHome);
    std::string mountPoint = "/";
    for (const MountedDrive& drive : MountedDrives())
        if (IsUnder(path, drive.mountPoint) && drive.mountPoint.size() > mountPoint.size()) mountPoint = drive.mountPoint;
    return AppendPathItems(DriveIDList(mountPoint), mountPoint, path);
}

UniqueIDList DriveIDList(const std::string& mountPoint) {
    if (mountPoint.empty() || mountPoint.front() != '/') return nullptr;
    UniqueIDList drives = MakeItem(ShellItemKind::Drives);
    UniqueIDList drive = MakeItem(ShellItemKind::Drive, mountPoint);
    return JoinIDLists(drives.get(), drive.get());
}

UniqueIDList SpecialFolderIDList(int csidl) {
    auto pathList = [](const QString& path) {
        const std::string native = NativeOf(path);
        return IsDirectory(native) ? IDListOfPath(native) : nullptr;
    };
    auto standard = [&](QStandardPaths::StandardLocation location) {
        return pathList(QStandardPaths::writableLocation(location));
    };
    switch (csidl) {
        case 0x00: return MakeDesktopIDList();
        case 0x01: return MakeItem(ShellItemKind::Internet);
        case 0x05: return standard(QStandardPaths::DocumentsLocation);
        case 0x0A: return MakeItem(ShellItemKind::Trash);
        case 0x10: {
            UniqueIDList desktop = pathList(PathText(DesktopDirectory()));
            return desktop ? std::move(desktop) : IDListOfPath(HomeDirectory());
        }
        case 0x11: return MakeItem(ShellItemKind::Drives);
        case 0x12: return MakeItem(ShellItemKind::Network);
        case 0x14: return standard(QStandardPaths::FontsLocation);
        case 0x15: return pathList(QStandardPaths::writableLocation(QStandardPaths::HomeLocation) +
                                   QStringLiteral("/Templates"));
        case 0x1A: return standard(QStandardPaths::GenericConfigLocation);
        case 0x1C: return standard(QStandardPaths::GenericDataLocation);
        case 0x20: return standard(QStandardPaths::GenericCacheLocation);
        default: return nullptr;
    }
}

// ---------------------------------------------------------------------------
// Icons, types, facts and paths

std::string ShellFolder::PathOf(const ItemIDList* item) const {
    if (IsEmptyIDList(item)) return place_ == ShellPlace::Desktop ? std::string() : path_;
    const ItemIDList* last = nullptr;
    const auto folder = FolderOfLast(item, last);
    if (!folder) return std::string();
    const ShellItem facts = folder->Describe(last);
    return facts.place == ShellPlace::TrashEntry ? std::string() : facts.path;
}

int ShellFolder::GetIconOf(const ItemIDList* item, bool open) const {
    ShellIconCache& cache = ShellIconCache::Instance();
    if (IsEmptyIDList(item)) return cache.IndexOf(QStringLiteral("user-desktop"));
    const ItemIDList* last = nullptr;
    const auto folder = FolderOfLast(item, last);
    if (!folder) return 0;
    const ShellItem facts = folder->Describe(last);
    switch (facts.place) {
        case ShellPlace::Home: return cache.IndexOf(QStringLiteral("user-home"));
        case ShellPlace::Drives: return cache.IndexOf(QStringLiteral("computer"));
        case ShellPlace::Drive:
            return cache.IndexOf(IsRemovableMountPoint(facts.path) ? QStringLiteral("drive-removable-media")
                                                                   : QStringLiteral("drive-harddisk"));
        case ShellPlace::Trash: {
            const bool empty = ListTrash().empty();
            return cache.IndexOf(empty ? QStringLiteral("user-trash") : QStringLiteral("user-trash-full"));
        }
        case ShellPlace::Network: return cache.IndexOf(QStringLiteral("network-workgroup"));
        case ShellPlace::Internet: return cache.IndexOf(QStringLiteral("applications-internet"));
        case ShellPlace::TrashEntry: {
            const QString name = DisplayNameOfItem(facts, kNameInFolder);
            return cache.IndexOf(FileIconName(name.toStdString(), ObjectTypeOf(facts.path), false));
        }
        case ShellPlace::FileSystem: return cache.IndexOf(FileIconName(facts.name, ObjectTypeOf(facts.path), open));
        default: return 0;
    }
}

QString ShellFolder::GetTypeName(const ItemIDList* item) const {
    if (IsEmptyIDList(item)) return SystemFolderTypeName();
    const ItemIDList* last = nullptr;
    const auto folder = FolderOfLast(item, last);
    if (!folder) return QString();
    const ShellItem facts = folder->Describe(last);
    switch (facts.place) {
        case ShellPlace::Home:
        case ShellPlace::Drives:
        case ShellPlace::Trash:
        case ShellPlace::Network:
        case ShellPlace::Internet: return SystemFolderTypeName();
        case ShellPlace::Drive:
            return IsRemovableMountPoint(facts.path) ? RemovableDiskTypeName() : LocalDiskTypeName();
        case ShellPlace::TrashEntry: {
            const QString name = DisplayNameOfItem(facts, kNameInFolder);
            return FileTypeName(name.toStdString(), ObjectTypeOf(facts.path));
        }
        case ShellPlace::FileSystem: return FileTypeName(facts.name, ObjectTypeOf(facts.path));
        default: return QString();
    }
}

bool ShellFolder::GetFindData(const ItemIDList* item, FindData& data) const {
    if (IsEmptyIDList(item)) return false;
    const ItemIDList* last = nullptr;
    const auto folder = FolderOfLast(item, last);
    if (!folder) return false;
    const ShellItem facts = folder->Describe(last);
    if (facts.path.empty() || !ReadFindData(facts.path, data)) return false;
    if (facts.place == ShellPlace::TrashEntry)
        data.FileName = folder->DisplayNameOfItem(facts, kNameInFolder).toStdString();
    return true;
}

std::string PathOfIDList(const ItemIDList* absolute) {
    if (!absolute || IsEmptyIDList(absolute)) return std::string();
    return DesktopFolder()->PathOf(absolute);
}

}  // namespace platform
