#include "platform/protected_places.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <span>
#include <string_view>

#include <QStringList>

#include "platform/message_box.h"
#include "platform/mount_monitor.h"
#include "platform/shell_mounts.h"
#include "platform/shell_namespace.h"
#include "platform/trash.h"
#include "platform/work_beside_events.h"

namespace platform {
namespace {

// Up to this many paths are judged on the calling thread: a few
// milliseconds at most, with no events handled in between.
constexpr std::size_t kJudgedOnTheSpot = 2000;

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

std::string CanonicalPath(const std::string& path) {
    if (path.empty()) return std::string();
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr), &std::free);
    return resolved ? std::string(resolved.get()) : std::string();
}

// Where path is, with links before its last part resolved and the last
// part itself kept: removing a link removes the link, not its target.
std::string ItemLocation(const std::string& path) {
    const std::string name = BaseName(path);
    if (name.empty() || name == "." || name == "..") return CanonicalPath(path);
    const std::string parent = CanonicalPath(ParentPath(path));
    return parent.empty() ? std::string() : Join(parent, name);
}

// folder lies strictly above path.
bool IsAbove(const std::string& folder, const std::string& path) {
    if (folder == path) return false;
    if (folder == "/") return true;
    return path.compare(0, folder.size(), folder) == 0 && path.size() > folder.size() && path[folder.size()] == '/';
}

void AddPlace(std::vector<ProtectedPlace>& places, const std::string& path, const QString& what) {
    const std::string canonical = CanonicalPath(path);
    if (!canonical.empty()) places.push_back({canonical, what});
}

// The home the account database names, whatever $HOME says; read once.
const std::string& AccountHome() {
    static const std::string home = [] {
        const passwd* entry = getpwuid(getuid());
        return entry != nullptr && entry->pw_dir != nullptr ? std::string(entry->pw_dir) : std::string();
    }();
    return home;
}

// Top-of-drive trash folders are named .Trash-UID, or UID inside .Trash;
// only such places need the drives scanned for them. location is as
// ItemLocation gives it: absolute, without trailing slashes.
bool MayBeTopTrash(std::string_view location) {
    const std::size_t slash = location.rfind('/');
    if (slash == std::string_view::npos) return false;
    if (location.substr(slash + 1).starts_with(".Trash")) return true;
    const std::string_view parent = location.substr(0, slash);
    const std::size_t parentSlash = parent.rfind('/');
    return parentSlash != std::string_view::npos && parent.substr(parentSlash + 1) == ".Trash";
}

std::vector<ProtectedPlace> CommonProtectedPlaces() {
    std::vector<ProtectedPlace> places;
    for (const MountEntry& mount : ParseMountInfo(ReadMountInfo()))
        places.push_back({mount.mountPoint, QStringLiteral("ドライブ (マウント ポイント)")});
    const QString home = QStringLiteral("ホーム フォルダ");
    AddPlace(places, HomeDirectory(), home);
    AddPlace(places, AccountHome(), home);
    AddPlace(places, DesktopDirectory(), QStringLiteral("デスクトップのフォルダ"));
    const QString trash = QStringLiteral("ごみ箱のフォルダ");
    AddPlace(places, HomeTrashFolder(), trash);
    return places;
}

void AddTopTrashFolders(std::vector<ProtectedPlace>& places) {
    for (const std::string& folder : TrashFolders()) AddPlace(places, folder, QStringLiteral("ごみ箱のフォルダ"));
}

std::vector<ProtectedPlace> ProtectedPlacesFor(const std::string& location) {
    std::vector<ProtectedPlace> places = CommonProtectedPlaces();
    if (MayBeTopTrash(location)) AddTopTrashFolders(places);
    return places;
}

// A folder on another device than its parent is mounted there, whether or
// not the mount table could be read.
bool IsMountedHere(const std::string& location, const struct stat& info) {
    struct stat parent {};
    return S_ISDIR(info.st_mode) && stat(ParentPath(location).c_str(), &parent) == 0 &&
           parent.st_dev != info.st_dev;
}

QString VerbText(ChangeKind kind) {
    switch (kind) {
        case ChangeKind::Delete: return QStringLiteral("削除");
        case ChangeKind::Move: return QStringLiteral("移動");
        case ChangeKind::Rename: return QStringLiteral("名前を変更");
    }
    return QString();
}

// Why the item at location (as ItemLocation gives it) must stay; the
// places are read only when location needs them.
template <class PlacesOf>
QString ReasonAt(const std::string& location, PlacesOf placesOf) {
    if (location.empty()) return QString();
    if (location == "/") return QStringLiteral("ファイル システムのルートです。");
    struct stat info {};
    if (lstat(location.c_str(), &info) != 0) return QString();
    const std::vector<ProtectedPlace>& places = placesOf(location);
    for (const ProtectedPlace& place : places)
        if (place.path == location) return QStringLiteral("%1です。").arg(place.what);
    if (IsMountedHere(location, info)) return QStringLiteral("ドライブ (マウント ポイント) です。");
    for (const ProtectedPlace& place : places)
        if (IsAbove(location, place.path))
            return QStringLiteral("%1「%2」を含むフォルダです。").arg(place.what, DisplayName(place.path));
    return QString();
}

}  // namespace

QString ProtectedPlaceReason(const std::string& path) {
    std::vector<ProtectedPlace> places;
    return ReasonAt(ItemLocation(path), [&places](const std::string& location) -> const std::vector<ProtectedPlace>& {
        places = ProtectedPlacesFor(location);
        return places;
    });
}

QString ProtectedPlaceJudge::ReasonFor(const std::string& path) {
    return ReasonAt(LocationOf(path), [this](const std::string& location) -> const std::vector<ProtectedPlace>& {
        return PlacesFor(location);
    });
}

// The paths of one query mostly share their folder, as "folder/name":
// those are taken apart without copies.
std::string ProtectedPlaceJudge::LocationOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const bool plain = slash != std::string::npos && slash > 0 && path[slash - 1] != '/' && slash + 1 < path.size();
    const std::string_view name = plain ? std::string_view(path).substr(slash + 1) : std::string_view();
    if (!plain || name == "." || name == "..") return LocationOfAny(path);
    if (std::string_view(path).substr(0, slash) != parent_ || canonicalParent_.empty()) {
        parent_ = path.substr(0, slash);
        canonicalParent_ = CanonicalPath(parent_);
    }
    return canonicalParent_.empty() ? std::string() : Join(canonicalParent_, std::string(name));
}

std::string ProtectedPlaceJudge::LocationOfAny(const std::string& path) {
    const std::string name = BaseName(path);
    if (name.empty() || name == "." || name == "..") return ItemLocation(path);
    const std::string parent = ParentPath(path);
    if (parent != parent_ || canonicalParent_.empty()) {
        parent_ = parent;
        canonicalParent_ = CanonicalPath(parent);
    }
    return canonicalParent_.empty() ? std::string() : Join(canonicalParent_, name);
}

const std::vector<ProtectedPlace>& ProtectedPlaceJudge::PlacesFor(const std::string& location) {
    if (!commonRead_) {
        common_ = CommonProtectedPlaces();
        commonRead_ = true;
    }
    if (!MayBeTopTrash(location)) return common_;
    if (!trashRead_) {
        withTrash_ = common_;
        AddTopTrashFolders(withTrash_);
        trashRead_ = true;
    }
    return withTrash_;
}

namespace {

std::vector<TransferFailure> JudgeAll(std::span<const std::string> paths) {
    ProtectedPlaceJudge judge;
    std::vector<TransferFailure> found;
    for (const std::string& path : paths)
        if (const QString reason = judge.ReasonFor(path); !reason.isEmpty()) found.push_back({path, reason});
    return found;
}

}  // namespace

void ShowRefusal(const std::vector<TransferFailure>& refused, ChangeKind kind, QWidget* owner) {
    QStringList lines;
    for (const TransferFailure& failure : refused)
        lines << QStringLiteral("「%1」: %2").arg(DisplayName(failure.path), failure.reason);
    ShowMessage(owner,
                QStringLiteral("次の項目は%1できません。システムに欠かせない場所です。\n\n").arg(VerbText(kind)) +
                    lines.join(QLatin1Char('\n')),
                MessageIcon::Error);
}

std::vector<TransferFailure> ProtectedAmong(const std::vector<std::string>& paths) {
    if (paths.size() <= kJudgedOnTheSpot) return JudgeAll(paths);
    // Two halves on two workers, each with a judge of its own: the
    // question waits for the slower one.
    const std::span<const std::string> all(paths);
    const std::size_t half = paths.size() / 2;
    std::vector<TransferFailure> first;
    std::vector<TransferFailure> second;
    RunBesideEvents({[&] { first = JudgeAll(all.first(half)); }, [&] { second = JudgeAll(all.subspan(half)); }});
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

bool RefuseProtectedPlaces(const std::vector<std::string>& paths, ChangeKind kind, QWidget* owner,
                           std::vector<TransferFailure>* refused) {
    const std::vector<TransferFailure> found = ProtectedAmong(paths);
    if (found.empty()) return false;
    ShowRefusal(found, kind, owner);
    if (refused) refused->insert(refused->end(), found.begin(), found.end());
    return true;
}

}  // namespace platform
