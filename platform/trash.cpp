#include "trash.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

#include "platform/file_uri.h"
#include "platform/message_box.h"
#include "platform/protected_places.h"
#include "platform/regular_file.h"
#include "platform/wait_event.h"

namespace platform {
namespace {

constexpr char kInfoSuffix[] = ".trashinfo";
// Leaves room for " (n)" and ".trashinfo" within the 255-byte name limit.
constexpr std::size_t kMaxTrashNameBytes = 230;
constexpr std::size_t kMaxInfoBytes = 64 * 1024;

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

std::string Uid() { return std::to_string(getuid()); }

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
    if (!dir) return names;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    return names;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string CanonicalPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr),
                                                         &std::free);
    return resolved ? std::string(resolved.get()) : std::string();
}

// The absolute form of path without resolving its last component, which
// may be a link that is itself to be trashed.
std::string AbsolutePath(const std::string& path) {
    const std::string parent = CanonicalPath(ParentPath(path));
    return parent.empty() ? std::string() : Join(parent, BaseName(path));
}

// The top folder of the mounted file system that holds folder.
std::string MountTop(const std::string& folder) {
    std::string current = CanonicalPath(folder);
    struct stat info {};
    if (current.empty() || stat(current.c_str(), &info) != 0) return std::string();
    while (current != "/") {
        const std::string parent = ParentPath(current);
        struct stat parentInfo {};
        if (stat(parent.c_str(), &parentInfo) != 0 || parentInfo.st_dev != info.st_dev)
            return current;
        current = parent;
    }
    return current;
}

// The device of path, or of its nearest existing ancestor.
dev_t DeviceOf(std::string path) {
    struct stat info {};
    while (stat(path.c_str(), &info) != 0 && path != "/") path = ParentPath(path);
    return info.st_dev;
}

bool IsOwnFolder(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == getuid();
}

bool MakeFolders(const std::string& path, mode_t mode) {
    if (mkdir(path.c_str(), mode) == 0 || errno == EEXIST) return true;
    if (errno != ENOENT || path == "/") return false;
    return MakeFolders(ParentPath(path), mode) &&
           (mkdir(path.c_str(), mode) == 0 || errno == EEXIST);
}

// Creates folder with files/ and info/ when missing; true when all three
// are real folders of this user (never links someone else planted).
bool PrepareTrashFolder(const std::string& folder, bool makeParents) {
    if (makeParents) MakeFolders(ParentPath(folder), 0700);
    mkdir(folder.c_str(), 0700);
    mkdir(Join(folder, "files").c_str(), 0700);
    mkdir(Join(folder, "info").c_str(), 0700);
    return IsOwnFolder(folder) && IsOwnFolder(Join(folder, "files")) &&
           IsOwnFolder(Join(folder, "info"));
}

// An administrator's shared trash: a real folder with the sticky bit.
bool IsSharedTrash(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           (info.st_mode & S_ISVTX) != 0;
}

// The trash folder at the top of a mounted file system, made when needed.
std::string TopTrashFolder(const std::string& top) {
    const std::string shared = Join(top, ".Trash");
    if (IsSharedTrash(shared) && PrepareTrashFolder(Join(shared, Uid()), false))
        return Join(shared, Uid());
    const std::string own = Join(top, ".Trash-" + Uid());
    return PrepareTrashFolder(own, false) ? own : std::string();
}

// What relative Paths in the info files of a trash folder start from.
std::string TopOfTrash(const std::string& trashFolder) {
    if (trashFolder == HomeTrashFolder()) return MountTop(trashFolder);
    const std::string parent = ParentPath(trashFolder);
    return BaseName(parent) == ".Trash" ? ParentPath(parent) : parent;
}

std::vector<std::string> MountPoints() {
    // Virtual file systems never hold a trash; autofs would mount on access.
    static const std::set<std::string> kSkipped = {
        "proc",      "sysfs",       "devpts", "cgroup",   "cgroup2",  "mqueue",    "debugfs",
        "tracefs",   "securityfs",  "pstore", "bpf",      "autofs",   "configfs",  "fusectl",
        "hugetlbfs", "binfmt_misc", "nsfs",   "efivarfs", "devtmpfs", "rpc_pipefs"};
    std::vector<std::string> points;
    std::ifstream mountinfo("/proc/self/mountinfo");
    std::string line;
    while (std::getline(mountinfo, line)) {
        // Fields: id parent major:minor root mount-point options... - type source ...
        std::vector<std::string> fields;
        std::size_t start = 0;
        while (start <= line.size()) {
            const std::size_t end = std::min(line.find(' ', start), line.size());
            fields.push_back(line.substr(start, end - start));
            start = end + 1;
        }
        std::size_t dash = 6;
        while (dash < fields.size() && fields[dash] != "-") ++dash;
        if (fields.size() < 5 || dash + 1 >= fields.size() || kSkipped.count(fields[dash + 1]) != 0)
            continue;
        // Blanks and the like are written as \ooo.
        std::string point;
        const std::string& raw = fields[4];
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == '\\' && i + 3 < raw.size()) {
                point += static_cast<char>(std::strtol(raw.substr(i + 1, 3).c_str(), nullptr, 8));
                i += 3;
            } else {
                point += raw[i];
            }
        }
        points.push_back(point);
    }
    return points;
}

// A name not yet taken in trashFolder, reserved by creating its info file.
// name is shortened when needed; the info keeps the full original path.
std::string ReserveName(const std::string& trashFolder, std::string name, const std::string& info,
                        int* error) {
    if (name.size() > kMaxTrashNameBytes) {
        std::size_t cut = kMaxTrashNameBytes;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
        name.resize(cut);
    }
    const std::size_t dot = name.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot > 0;
    const std::string stem = hasExtension ? name.substr(0, dot) : name;
    const std::string extension = hasExtension ? name.substr(dot) : std::string();
    for (int number = 1; number < 100000; ++number) {
        const std::string candidate =
            number == 1 ? name : stem + " (" + std::to_string(number) + ")" + extension;
        struct stat existing {};
        if (lstat(Join(Join(trashFolder, "files"), candidate).c_str(), &existing) == 0) continue;
        const std::string infoPath = Join(Join(trashFolder, "info"), candidate + kInfoSuffix);
        const int fd = open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            *error = errno;
            return std::string();
        }
        const bool written =
            write(fd, info.data(), info.size()) == static_cast<ssize_t>(info.size());
        const int writeError = errno;
        if (close(fd) != 0 || !written) {
            *error = written ? errno : writeError;
            unlink(infoPath.c_str());
            return std::string();
        }
        return candidate;
    }
    *error = EEXIST;
    return std::string();
}

std::string InfoText(const std::string& path, const QDateTime& when) {
    return "[Trash Info]\nPath=" + PercentEncode(path) +
           "\nDeletionDate=" + when.toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")).toStdString() +
           "\n";
}

std::optional<TrashItem> ReadInfo(const std::string& trashFolder, const std::string& name) {
    TrashItem item{trashFolder, name, {}, {}};
    // A pipe or device named like an info file must not block the listing.
    QString reason;
    std::optional<RegularFile> file = RegularFile::Open(item.InfoPath(), reason);
    if (!file) return std::nullopt;
    std::string text(kMaxInfoBytes, '\0');
    const std::int64_t got = file->Read(text.data(), std::int64_t(text.size()), reason);
    text.resize(got > 0 ? std::size_t(got) : 0);
    std::istringstream in(text);
    std::string line;
    bool inGroup = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line.front() == '[') {
            inGroup = line == "[Trash Info]";
        } else if (inGroup && line.compare(0, 5, "Path=") == 0) {
            item.originalPath = PercentDecode(line.substr(5));
        } else if (inGroup && line.compare(0, 13, "DeletionDate=") == 0) {
            item.deletionDate =
                QDateTime::fromString(QString::fromStdString(line.substr(13)), Qt::ISODate);
        }
    }
    if (item.originalPath.empty() || item.originalPath.find('\0') != std::string::npos)
        return std::nullopt;
    if (item.originalPath.front() != '/')
        item.originalPath = Join(TopOfTrash(trashFolder), item.originalPath);
    return item;
}

QString Listed(const std::vector<TransferFailure>& failures) {
    QStringList lines;
    for (const auto& failure : failures)
        lines << DisplayName(BaseName(failure.path)) + QStringLiteral(": ") + failure.reason;
    return lines.join(QLatin1Char('\n'));
}

bool Confirm(QWidget* owner, const QString& question, MessageIcon icon = MessageIcon::Question) {
    return ShowMessage(owner, question, icon, MessageButtons::YesNo) == MessageResult::Yes;
}

QString CountedQuestion(std::size_t count, const std::string& firstPath, const QString& one,
                        const QString& many) {
    return count == 1 ? one.arg(DisplayName(BaseName(firstPath))) : many.arg(count);
}

// Names in full what deleting for good would erase: the question is the
// last chance to see that it is the wrong item.
QString EraseQuestion(const std::string& path, bool folder, const QString& whyNotTrash) {
    const QString what = folder ? QStringLiteral("このフォルダとその中のすべての項目を完全に削除しますか？")
                                : QStringLiteral("このファイルを完全に削除しますか？");
    return QStringLiteral("「%1」はごみ箱に移動できません。\n%2\n\n%3\n元に戻すことはできません。")
        .arg(DisplayName(path), whyNotTrash, what);
}

// Moves items to the trash of their file system. What every item of one
// request shares (the trash folders, the protected places, where the
// items of one folder go) is found once, not once per item.
class TrashMover {
public:
    // Why path must stay where it is; empty when it may go.
    QString ProtectedReason(const std::string& path) { return judge_.ReasonFor(path); }
    std::optional<TrashItem> Move(const std::string& path, QString* error);

private:
    // Where the items of one folder go: the trash folder ("" for none) and
    // whether it is the home trash, whose info files hold absolute paths.
    struct Destination {
        std::string trashFolder;
        bool home = false;
        std::string top;  // what relative info paths start from
    };

    bool InTrash(const std::string& absolute);
    const Destination& DestinationOf(const std::string& absolute, dev_t device);

    ProtectedPlaceJudge judge_;
    std::optional<std::vector<std::string>> canonicalTrashFolders_;
    std::optional<dev_t> homeDevice_;
    std::map<std::pair<std::string, dev_t>, Destination> destinations_;
};

bool TrashMover::InTrash(const std::string& absolute) {
    if (!canonicalTrashFolders_) {
        canonicalTrashFolders_.emplace();
        for (const std::string& folder : TrashFolders())
            canonicalTrashFolders_->push_back(CanonicalPath(folder));
    }
    for (const std::string& folder : *canonicalTrashFolders_)
        if (absolute == folder || absolute.compare(0, folder.size() + 1, folder + "/") == 0) return true;
    return false;
}

const TrashMover::Destination& TrashMover::DestinationOf(const std::string& absolute, dev_t device) {
    const auto key = std::make_pair(ParentPath(absolute), device);
    if (const auto found = destinations_.find(key); found != destinations_.end()) return found->second;
    const std::string home = HomeTrashFolder();
    if (!homeDevice_) homeDevice_ = DeviceOf(home);
    Destination destination;
    destination.home = *homeDevice_ == device;
    if (destination.home) {
        if (PrepareTrashFolder(home, true)) destination.trashFolder = home;
    } else {
        destination.trashFolder = TopTrashFolder(MountTop(key.first));
        if (!destination.trashFolder.empty()) destination.top = TopOfTrash(destination.trashFolder);
    }
    return destinations_.emplace(key, destination).first->second;
}

std::optional<TrashItem> TrashMover::Move(const std::string& path, QString* error) {
    struct stat info {};
    const std::string absolute = AbsolutePath(path);
    if (absolute.empty() || lstat(absolute.c_str(), &info) != 0) {
        *error = FileErrorText(errno != 0 ? errno : ENOENT);
        return std::nullopt;
    }
    if (const QString reason = ProtectedReason(path); !reason.isEmpty()) {
        *error = reason;
        return std::nullopt;
    }
    const std::string name = BaseName(absolute);
    if (name.empty()) {
        *error = QStringLiteral("この項目はごみ箱に移動できません。");
        return std::nullopt;
    }
    if (InTrash(absolute)) {
        *error = QStringLiteral("ごみ箱の中の項目です。");
        return std::nullopt;
    }
    const Destination& destination = DestinationOf(absolute, info.st_dev);
    if (destination.trashFolder.empty()) {
        *error = QStringLiteral("この項目のドライブにはごみ箱がありません。");
        return std::nullopt;
    }
    std::string infoPath = absolute;
    if (!destination.home)
        infoPath = destination.top == "/" ? absolute.substr(1) : absolute.substr(destination.top.size() + 1);
    const QDateTime now = QDateTime::currentDateTime();
    int reserveError = 0;
    // The info is written before the move: an item is either still in
    // place or in the trash with its info, whenever the work stops.
    const std::string trashName =
        ReserveName(destination.trashFolder, name, InfoText(infoPath, now), &reserveError);
    if (trashName.empty()) {
        *error = FileErrorText(reserveError);
        return std::nullopt;
    }
    TrashItem item{destination.trashFolder, trashName, absolute, now};
    const std::string target = item.FilePath();
    if (rename(absolute.c_str(), target.c_str()) != 0) {
        const int renameError = errno;
        // The same file system seen through another mount point.
        if (renameError != EXDEV || !MoveItem(absolute, target, error)) {
            if (renameError != EXDEV) *error = FileErrorText(renameError);
            unlink(item.InfoPath().c_str());
            return std::nullopt;
        }
    }
    return item;
}

// One request's moves on a worker thread, while the calling thread keeps
// the progress (and with it the window) going. A cancel takes effect between two items, so each item is either still in
// place or completely in the trash.
class TrashJob {
public:
    explicit TrashJob(const std::vector<std::string>& paths) : paths_(paths) {}

    void RunBeside(TransferProgress& progress);
    bool Cancelled() const { return cancel_; }

    std::vector<TrashItem> trashed;
    std::vector<TransferFailure> kept;      // still there: offered for erasing
    std::vector<TransferFailure> vanished;  // gone before they could be moved

private:
    void Run();

    static constexpr std::chrono::milliseconds kProgressInterval{50};
    const std::vector<std::string>& paths_;
    std::atomic<std::size_t> done_{0};
    std::atomic<bool> cancel_{false};
};

void TrashJob::RunBeside(TransferProgress& progress) {
    progress.Begin(TransferMode::Trash, 0, std::int64_t(paths_.size()));
    {
        WaitEvent finished(WaitEvent::ResetMode::Manual);
        const std::jthread worker([this, &finished] {
            Run();
            finished.Set();
        });
        WaitEvent* events[] = {&finished};
        while (WaitForAny(events, -1, kProgressInterval) != 0) {
            const std::size_t done = done_;
            if (!progress.Advance(paths_[std::min(done, paths_.size() - 1)], 0, std::int64_t(done)))
                cancel_ = true;
        }
    }
    progress.End();
}

void TrashJob::Run() {
    TrashMover mover;
    for (const std::string& path : paths_) {
        if (cancel_) return;
        QString error;
        if (auto item = mover.Move(path, &error)) {
            trashed.push_back(std::move(*item));
        } else {
            struct stat info {};
            (lstat(path.c_str(), &info) == 0 ? kept : vanished).push_back({path, error});
        }
        ++done_;
    }
}

// An item that cannot go to a trash is offered for deleting for good.
void OfferErasing(const TransferFailure& kept, QWidget* owner, TrashResult& result,
                  std::vector<TransferFailure>& unreported) {
    struct stat info {};
    if (lstat(kept.path.c_str(), &info) != 0) {
        unreported.push_back(kept);
        return;
    }
    const MessageResult answer = ShowMessage(owner, EraseQuestion(kept.path, S_ISDIR(info.st_mode), kept.reason),
                                             MessageIcon::Warning, MessageButtons::YesNoCancel);
    if (answer == MessageResult::Yes) {
        QString error;
        if (RemoveTree(kept.path, &error))
            result.erased.push_back(kept.path);
        else
            unreported.push_back({kept.path, error});
        return;
    }
    result.failed.push_back(kept);
    if (answer != MessageResult::No) result.cancelled = true;
}

}  // namespace

std::string TrashItem::FilePath() const { return Join(Join(trashFolder, "files"), name); }

std::string TrashItem::InfoPath() const {
    return Join(Join(trashFolder, "info"), name + kInfoSuffix);
}

std::string HomeTrashFolder() {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome != nullptr && dataHome[0] == '/') return Join(dataHome, "Trash");
    const char* home = std::getenv("HOME");
    return Join(Join(home != nullptr ? home : "/", ".local/share"), "Trash");
}

std::vector<std::string> TrashFolders() {
    std::vector<std::string> folders;
    const std::string home = HomeTrashFolder();
    if (IsOwnFolder(home)) folders.push_back(home);
    std::set<std::string> seen = {home};
    for (const std::string& top : MountPoints()) {
        for (const std::string& candidate :
             {Join(Join(top, ".Trash"), Uid()), Join(top, ".Trash-" + Uid())}) {
            const bool valid =
                BaseName(ParentPath(candidate)) != ".Trash" || IsSharedTrash(ParentPath(candidate));
            if (valid && IsOwnFolder(candidate) && seen.insert(candidate).second)
                folders.push_back(candidate);
        }
    }
    return folders;
}

std::vector<TrashItem> ListTrash() {
    std::vector<TrashItem> items;
    for (const std::string& folder : TrashFolders()) {
        for (const std::string& infoName : Names(Join(folder, "info"))) {
            if (!EndsWith(infoName, kInfoSuffix) || infoName.size() == sizeof(kInfoSuffix) - 1)
                continue;
            if (auto item = FindTrashItem(
                    folder, infoName.substr(0, infoName.size() - sizeof(kInfoSuffix) + 1)))
                items.push_back(*item);
        }
    }
    return items;
}

std::optional<TrashItem> FindTrashItem(const std::string& trashFolder, const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..")
        return std::nullopt;
    struct stat info {};
    if (lstat(Join(Join(trashFolder, "files"), name).c_str(), &info) != 0) return std::nullopt;
    return ReadInfo(trashFolder, name);
}

std::optional<TrashItem> MoveItemToTrash(const std::string& path, QString* error) {
    return TrashMover().Move(path, error);
}

TrashResult MoveToTrash(const std::vector<std::string>& paths, QWidget* owner, bool confirm,
                        TransferProgress* progress) {
    TrashResult result;
    if (paths.empty()) return result;
    // One judge for all: the mount table and the namespace's folders are
    // read once, so that the refusal or the question comes at once.
    std::vector<TransferFailure> refused = ProtectedAmong(paths);
    if (!refused.empty()) {
        ShowRefusal(refused, ChangeKind::Delete, owner);
        result.failed = std::move(refused);
        return result;
    }
    // Asked from the count and the first name alone; everything else that
    // looks at the items runs afterwards, under the progress.
    if (confirm &&
        !Confirm(owner,
                 CountedQuestion(paths.size(), paths.front(),
                                 QStringLiteral("「%1」をごみ箱に移しますか？"),
                                 QStringLiteral("これらの %1 個の項目をごみ箱に移しますか？")))) {
        result.cancelled = true;
        return result;
    }
    std::unique_ptr<TransferProgress> dialog;
    if (progress == nullptr) {
        dialog = MakeTransferProgressDialog(owner);
        progress = dialog.get();
    }
    TrashJob job(paths);
    job.RunBeside(*progress);
    result.trashed = std::move(job.trashed);
    result.cancelled = job.Cancelled();
    std::vector<TransferFailure> unreported = std::move(job.vanished);
    for (const TransferFailure& kept : job.kept) {
        if (result.cancelled) {
            result.failed.push_back(kept);
            continue;
        }
        OfferErasing(kept, owner, result, unreported);
    }
    result.failed.insert(result.failed.end(), unreported.begin(), unreported.end());
    if (!unreported.empty())
        ShowMessage(owner,
                    QStringLiteral("次の項目を削除できませんでした。\n\n") + Listed(unreported),
                    MessageIcon::Error);
    return result;
}

bool RestoreTrashItem(const TrashItem& item, QString* error) {
    const std::string source = item.FilePath();
    const std::string& target = item.originalPath;
    struct stat info {};
    if (lstat(source.c_str(), &info) != 0) {
        *error = FileErrorText(errno);
        return false;
    }
    if (target.empty() || target.front() != '/') {
        *error = QStringLiteral("元の場所がわかりません。");
        return false;
    }
    if (lstat(target.c_str(), &info) == 0) {
        *error = QStringLiteral("元の場所に同じ名前の項目が既にあります。");
        return false;
    }
    if (!MakeFolders(ParentPath(target), 0777)) {
        *error = FileErrorText(errno);
        return false;
    }
    if (!MoveItem(source, target, error)) return false;
    unlink(item.InfoPath().c_str());
    return true;
}

bool RestoreTrashItems(const std::vector<TrashItem>& items, QWidget* owner) {
    std::vector<TransferFailure> failures;
    for (const TrashItem& item : items) {
        QString error;
        if (!RestoreTrashItem(item, &error)) failures.push_back({item.originalPath, error});
    }
    if (!failures.empty())
        ShowMessage(owner,
                    QStringLiteral("次の項目を元に戻せませんでした。\n\n") + Listed(failures),
                    MessageIcon::Error);
    return failures.empty();
}

bool EraseTrashItem(const TrashItem& item, QString* error) {
    // The info goes last: a half-erased item stays listed and can be retried.
    if (!RemoveTree(item.FilePath(), error)) return false;
    if (unlink(item.InfoPath().c_str()) != 0 && errno != ENOENT) {
        *error = FileErrorText(errno);
        return false;
    }
    return true;
}

bool EraseTrashItems(const std::vector<TrashItem>& items, QWidget* owner, bool confirm) {
    if (items.empty()) return true;
    if (confirm &&
        !Confirm(owner,
                 CountedQuestion(items.size(), items.front().originalPath,
                                 QStringLiteral("「%1」を完全に削除しますか？"),
                                 QStringLiteral("これらの %1 個の項目を完全に削除しますか？")),
                 MessageIcon::Warning))
        return false;
    std::vector<TransferFailure> failures;
    for (const TrashItem& item : items) {
        QString error;
        if (!EraseTrashItem(item, &error)) failures.push_back({item.originalPath, error});
    }
    if (!failures.empty())
        ShowMessage(owner,
                    QStringLiteral("次の項目を削除できませんでした。\n\n") + Listed(failures),
                    MessageIcon::Error);
    return failures.empty();
}

bool EmptyTrash(QWidget* owner, bool confirm) {
    const std::size_t count = ListTrash().size();
    if (confirm && count > 0 &&
        !Confirm(owner,
                 QStringLiteral("ごみ箱にある %1 個の項目をすべて完全に削除しますか？").arg(count),
                 MessageIcon::Warning))
        return false;
    std::vector<TransferFailure> failures;
    for (const std::string& folder : TrashFolders()) {
        // Files first: an interruption leaves stray info files, never hidden files.
        for (const char* part : {"files", "info"}) {
            for (const std::string& name : Names(Join(folder, part))) {
                QString error;
                const std::string path = Join(Join(folder, part), name);
                if (!RemoveTree(path, &error)) failures.push_back({path, error});
            }
        }
        unlink(Join(folder, "directorysizes").c_str());
    }
    if (!failures.empty())
        ShowMessage(owner,
                    QStringLiteral("次の項目を削除できませんでした。\n\n") + Listed(failures),
                    MessageIcon::Error);
    return failures.empty();
}

}  // namespace platform
