#include "file_operations.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QProgressDialog>

#include "platform/file_clipboard.h"
#include "platform/hourglass_cursor.h"
#include "platform/message_box.h"
#include "platform/path_text.h"
#include "platform/protected_places.h"

namespace platform {
namespace {

// Closes the descriptor on every path out of a scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }
    // Closes now and reports whether the close itself succeeded (delayed
    // write errors of network file systems show up here).
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return close(fd) == 0;
    }

private:
    int fd_;
};

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

constexpr std::int64_t kChunkBytes = 1 << 20;
// Staging folders in the target folder are named like this.
constexpr char kStagingPattern[] = ".kelvandor-XXXXXX";
// Past the highest errno value of the C library.
constexpr int kLastErrorNumber = 134;

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

bool Exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

// The names in a folder except "." and ".."; false with errno set when
// the folder cannot be read. Never follows a link in place of the folder.
bool ReadFolderNames(const std::string& folder, std::vector<std::string>& names) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    std::unique_ptr<DIR, DirCloser> dir(fdopendir(fd));
    if (!dir) {
        const int error = errno;
        close(fd);
        errno = error;
        return false;
    }
    errno = 0;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
        errno = 0;
    }
    return errno == 0;
}

bool SetTimes(const std::string& path, const struct stat& info) {
    const timespec times[2] = {info.st_atim, info.st_mtim};
    return utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

// Set-user/group-ID bits are dropped: the copy belongs to whoever copies.
mode_t KeptMode(const struct stat& info) { return info.st_mode & 01777; }

bool SyncFolder(const std::string& folder) {
    FileDescriptor fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd.IsOpen() && fsync(fd.Get()) == 0;
}

// Renames from to to; without replace, an existing to is never touched.
bool RenameInto(const std::string& from, const std::string& to, bool replace) {
    if (replace) return rename(from.c_str(), to.c_str()) == 0;
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // File systems without no-replace renames: check, then rename.
    if (Exists(to)) {
        errno = EEXIST;
        return false;
    }
    return rename(from.c_str(), to.c_str()) == 0;
}

bool IsInside(const std::string& path, const std::string& folder) {
    if (path == folder) return true;
    const std::string prefix = folder.back() == '/' ? folder : folder + "/";
    return path.compare(0, prefix.size(), prefix) == 0;
}

std::string CanonicalPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr),
                                                         &std::free);
    return resolved ? std::string(resolved.get()) : std::string();
}

// Where an item ends up: a copy into its own folder gets a new name.
std::string CopyNameInFolder(const std::string& folder, const std::string& name) {
    std::string candidate = Join(folder, "コピー ～ " + name);
    for (int number = 2; Exists(candidate); ++number)
        candidate = Join(folder, "コピー (" + std::to_string(number) + ") ～ " + name);
    return candidate;
}

QString Joined(const std::vector<TransferFailure>& failures) {
    constexpr std::size_t kShown = 10;
    QStringList lines;
    for (std::size_t i = 0; i < failures.size() && i < kShown; ++i)
        lines << DisplayName(BaseName(failures[i].path)) + QStringLiteral(": ") +
                     failures[i].reason;
    if (failures.size() > kShown)
        lines << QStringLiteral("ほか %1 項目").arg(failures.size() - kShown);
    return lines.join(QLatin1Char('\n'));
}

// One run of TransferFiles. Every operation below returns false on
// failure or cancellation; reason_ says what went wrong, cancelled_ tells
// a cancellation apart.
class Transfer {
public:
    Transfer(TransferMode mode, QWidget* owner, TransferProgress& progress)
        : mode_(mode), owner_(owner), progress_(progress) {}

    TransferResult Run(const std::vector<std::string>& sources, const std::string& targetFolder);
    // One item to a path that must not exist, without prompts or messages.
    bool MoveSingle(const std::string& source, const std::string& target, QString* error);

private:
    enum class Action { New, Overwrite, Merge, Skip };
    struct Item {
        std::string source;
        std::string target;
        struct stat info {};
        Action action = Action::New;
    };

    bool Plan(const std::vector<std::string>& sources, const std::string& targetFolder);
    bool PlanItem(const std::string& source, const std::string& targetFolder);
    bool ConfirmCollisions();
    void CountTotals(const std::string& path, const struct stat& info, bool byRename);
    void Execute(const Item& item);

    bool Publish(const std::string& source, const struct stat& info, const std::string& target,
                 bool replace);
    bool Merge(const std::string& sourceFolder, const std::string& targetFolder);
    bool MoveOne(const std::string& source, const struct stat& info, const std::string& target,
                 bool replace);
    bool CopyItem(const std::string& source, const struct stat& info, const std::string& target);
    bool CopyFolder(const std::string& source, const struct stat& info, const std::string& target);
    bool CopyFileData(const std::string& source, const struct stat& info,
                      const std::string& target);
    bool CopyBytes(int from, int to, const std::string& source);
    bool CopyLink(const std::string& source, const struct stat& info, const std::string& target);

    bool Fail(int error, const std::string& path);
    bool Fail(const QString& reason);
    bool Tick(const std::string& path);
    bool Durable() const { return mode_ == TransferMode::Move; }
    QString VerbText() const {
        return mode_ == TransferMode::Copy ? QStringLiteral("コピー") : QStringLiteral("移動");
    }

    TransferMode mode_;
    QWidget* owner_;
    TransferProgress& progress_;
    std::vector<Item> items_;
    TransferResult result_;
    std::string currentItem_;
    QString reason_;
    bool cancelled_ = false;
    std::int64_t totalBytes_ = 0, totalItems_ = 0, bytesDone_ = 0, itemsDone_ = 0;
};

TransferResult Transfer::Run(const std::vector<std::string>& sources,
                             const std::string& targetFolder) {
    if (mode_ == TransferMode::Move && RefuseProtectedPlaces(sources, ChangeKind::Move, owner_, &result_.failed))
        return result_;
    if (!Plan(sources, targetFolder) || !ConfirmCollisions()) return result_;
    struct stat folderInfo {};
    stat(targetFolder.c_str(), &folderInfo);
    {
        const HourglassCursor busy;  // counting a large tree takes a while
        for (const Item& item : items_)
            if (item.action != Action::Skip)
                CountTotals(item.source, item.info,
                            mode_ == TransferMode::Move && item.info.st_dev == folderInfo.st_dev);
    }
    progress_.Begin(mode_, totalBytes_, totalItems_);
    for (const Item& item : items_) {
        if (cancelled_) break;
        Execute(item);
    }
    progress_.End();
    result_.cancelled = cancelled_;
    if (!result_.failed.empty() && !cancelled_)
        ShowMessage(owner_,
                    QStringLiteral("次の項目を%1できませんでした。\n\n").arg(VerbText()) +
                        Joined(result_.failed),
                    MessageIcon::Error);
    return result_;
}

bool Transfer::MoveSingle(const std::string& source, const std::string& target, QString* error) {
    if (const QString reason = ProtectedPlaceReason(source); !reason.isEmpty()) {
        *error = reason;
        return false;
    }
    struct stat info {};
    currentItem_ = source;
    const bool moved = lstat(source.c_str(), &info) == 0 ? MoveOne(source, info, target, false)
                                                         : Fail(errno, source);
    if (!moved) *error = reason_;
    return moved;
}

bool Transfer::Plan(const std::vector<std::string>& sources, const std::string& targetFolder) {
    struct stat folderInfo {};
    const bool found = stat(targetFolder.c_str(), &folderInfo) == 0;
    if (!found || !S_ISDIR(folderInfo.st_mode)) {
        const int error = found ? ENOTDIR : errno;
        result_.failed.push_back({targetFolder, FileErrorText(error)});
        ShowMessage(owner_,
                    QStringLiteral("「%1」に%2できません。\n%3")
                        .arg(DisplayName(targetFolder), VerbText(), FileErrorText(error)),
                    MessageIcon::Error);
        return false;
    }
    for (const std::string& source : sources)
        if (!source.empty() && !PlanItem(source, targetFolder))
            result_.failed.push_back({source, reason_});
    return true;
}

bool Transfer::PlanItem(const std::string& source, const std::string& targetFolder) {
    Item item;
    item.source = source;
    if (lstat(source.c_str(), &item.info) != 0) return Fail(errno, source);
    const std::string name = BaseName(source);
    if (name.empty() || name == "." || name == "..") return Fail(EINVAL, source);
    const std::string canonicalTarget = CanonicalPath(targetFolder);
    if (S_ISDIR(item.info.st_mode) && IsInside(canonicalTarget, CanonicalPath(source)))
        return Fail(
            QStringLiteral("%1先のフォルダは、%1元のフォルダのサブフォルダです。").arg(VerbText()));
    item.target = Join(targetFolder, name);
    struct stat existing {};
    const bool sameFolder = CanonicalPath(ParentPath(source)) == canonicalTarget;
    const bool targetExists = lstat(item.target.c_str(), &existing) == 0;
    if (sameFolder || (targetExists && existing.st_dev == item.info.st_dev &&
                       existing.st_ino == item.info.st_ino)) {
        if (mode_ == TransferMode::Move) {
            item.action = Action::Skip;
            result_.skipped.push_back(source);
        } else {
            item.target = CopyNameInFolder(targetFolder, name);
        }
    } else if (targetExists) {
        if (S_ISDIR(item.info.st_mode) != S_ISDIR(existing.st_mode))
            return Fail(S_ISDIR(existing.st_mode)
                            ? QStringLiteral("同じ名前のフォルダがあるため置き換えられません。")
                            : QStringLiteral("同じ名前のファイルがあるため置き換えられません。"));
        item.action = S_ISDIR(existing.st_mode) ? Action::Merge : Action::Overwrite;
    }
    items_.push_back(item);
    return true;
}

// Asks before anything is done, so that Cancel leaves everything as it was.
bool Transfer::ConfirmCollisions() {
    std::vector<Item*> collisions;
    for (Item& item : items_)
        if (item.action == Action::Overwrite || item.action == Action::Merge)
            collisions.push_back(&item);
    if (collisions.size() > 1) {
        const MessageResult all = ShowMessage(
            owner_,
            QStringLiteral("%1先には同じ名前の項目が %2 個あります。\n\nすべて上書きしますか？"
                           "[いいえ] を選ぶと項目ごとに確認します。")
                .arg(VerbText())
                .arg(collisions.size()),
            MessageIcon::Question, MessageButtons::YesNoCancel);
        if (all == MessageResult::Yes) return true;
        if (all != MessageResult::No) {
            result_.cancelled = true;
            return false;
        }
    }
    for (Item* item : collisions) {
        const QString name = DisplayName(BaseName(item->target));
        const QString question =
            item->action == Action::Merge
                ? QStringLiteral(
                      "「%1」という名前のフォルダは既に存在します。\n\n"
                      "フォルダの内容をまとめ、同じ名前のファイルは上書きします。よろしいですか？")
                      .arg(name)
                : QStringLiteral(
                      "「%1」という名前のファイルは既に存在します。\n\n"
                      "既存のファイルを上書きしますか？")
                      .arg(name);
        const MessageResult answer =
            ShowMessage(owner_, question, MessageIcon::Question, MessageButtons::YesNoCancel);
        if (answer == MessageResult::No) {
            item->action = Action::Skip;
            result_.skipped.push_back(item->source);
        } else if (answer != MessageResult::Yes) {
            result_.cancelled = true;
            return false;
        }
    }
    return true;
}

void Transfer::CountTotals(const std::string& path, const struct stat& info, bool byRename) {
    ++totalItems_;
    if (byRename) return;
    if (S_ISREG(info.st_mode)) totalBytes_ += info.st_size;
    if (!S_ISDIR(info.st_mode)) return;
    std::vector<std::string> names;
    ReadFolderNames(path, names);
    for (const std::string& name : names) {
        const std::string child = Join(path, name);
        struct stat childInfo {};
        if (lstat(child.c_str(), &childInfo) == 0) CountTotals(child, childInfo, false);
    }
}

void Transfer::Execute(const Item& item) {
    currentItem_ = item.source;
    bool done = false;
    switch (item.action) {
        case Action::Skip:
            return;
        case Action::Merge:
            done = Merge(item.source, item.target);
            break;
        case Action::New:
        case Action::Overwrite:
            const bool replace = item.action == Action::Overwrite;
            done = mode_ == TransferMode::Move
                       ? MoveOne(item.source, item.info, item.target, replace)
                       : Publish(item.source, item.info, item.target, replace);
            break;
    }
    if (done) {
        result_.transferred.push_back(item.target);
    } else if (!cancelled_) {
        result_.failed.push_back({item.source, reason_});
    }
}

// Builds a copy of source in a staging folder beside target and renames it
// into place once complete; the staging folder goes on every path.
bool Transfer::Publish(const std::string& source, const struct stat& info,
                       const std::string& target, bool replace) {
    std::string staging = Join(ParentPath(target), kStagingPattern);
    if (mkdtemp(staging.data()) == nullptr) return Fail(errno, ParentPath(target));
    const std::string staged = Join(staging, BaseName(target));
    bool done = CopyItem(source, info, staged);
    if (done && !RenameInto(staged, target, replace)) done = Fail(errno, target);
    if (done && Durable() && !SyncFolder(ParentPath(target)))
        done = Fail(errno, ParentPath(target));
    QString ignored;
    RemoveTree(staging, &ignored);
    return done;
}

bool Transfer::Merge(const std::string& sourceFolder, const std::string& targetFolder) {
    std::vector<std::string> names;
    if (!ReadFolderNames(sourceFolder, names)) return Fail(errno, sourceFolder);
    bool allDone = true;
    for (const std::string& name : names) {
        if (cancelled_) return false;
        const std::string source = Join(sourceFolder, name);
        const std::string target = Join(targetFolder, name);
        struct stat info {
        }, existing{};
        if (lstat(source.c_str(), &info) != 0) {
            allDone = Fail(errno, source);
            continue;
        }
        const bool targetExists = lstat(target.c_str(), &existing) == 0;
        bool done = false;
        if (targetExists && S_ISDIR(info.st_mode) && S_ISDIR(existing.st_mode)) {
            done = Merge(source, target);
        } else if (targetExists && S_ISDIR(info.st_mode) != S_ISDIR(existing.st_mode)) {
            done = Fail(
                QStringLiteral("「%1」: 種類の異なる同じ名前の項目があるため置き換えられません。")
                    .arg(DisplayName(target)));
        } else {
            done = mode_ == TransferMode::Move ? MoveOne(source, info, target, targetExists)
                                               : Publish(source, info, target, targetExists);
        }
        allDone = allDone && done;
    }
    if (!allDone) return false;
    if (mode_ == TransferMode::Move && rmdir(sourceFolder.c_str()) != 0)
        return Fail(errno, sourceFolder);
    Tick(targetFolder);
    return true;
}

bool Transfer::MoveOne(const std::string& source, const struct stat& info,
                       const std::string& target, bool replace) {
    if (RenameInto(source, target, replace)) {
        Tick(target);  // a cancel here stops the next items; this one is done
        return true;
    }
    if (errno != EXDEV) return Fail(errno, source);
    if (!Publish(source, info, target, replace)) return false;
    QString error;
    if (!RemoveTree(source, &error))
        return Fail(QStringLiteral("%1先にコピーしましたが、元の項目を削除できませんでした: %2")
                        .arg(VerbText(), error));
    return true;
}

bool Transfer::CopyItem(const std::string& source, const struct stat& info,
                        const std::string& target) {
    if (S_ISREG(info.st_mode)) return CopyFileData(source, info, target);
    if (S_ISDIR(info.st_mode)) return CopyFolder(source, info, target);
    if (S_ISLNK(info.st_mode)) return CopyLink(source, info, target);
    if (S_ISFIFO(info.st_mode)) {
        if (mkfifo(target.c_str(), KeptMode(info)) != 0) return Fail(errno, target);
        SetTimes(target, info);
        return Tick(source);
    }
    return Fail(QStringLiteral("「%1」: この種類の項目は%2できません。")
                    .arg(DisplayName(source), VerbText()));
}

bool Transfer::CopyFolder(const std::string& source, const struct stat& info,
                          const std::string& target) {
    // Owner-only until complete; the real mode may forbid writing into it.
    if (mkdir(target.c_str(), 0700) != 0) return Fail(errno, target);
    std::vector<std::string> names;
    if (!ReadFolderNames(source, names)) return Fail(errno, source);
    for (const std::string& name : names) {
        const std::string child = Join(source, name);
        struct stat childInfo {};
        if (lstat(child.c_str(), &childInfo) != 0) return Fail(errno, child);
        if (!CopyItem(child, childInfo, Join(target, name))) return false;
    }
    if (chmod(target.c_str(), KeptMode(info)) != 0) return Fail(errno, target);
    SetTimes(target, info);
    return Tick(source);
}

bool Transfer::CopyFileData(const std::string& source, const struct stat& info,
                            const std::string& target) {
    // O_NONBLOCK: a file swapped for a FIFO since it was listed must not hang us.
    FileDescriptor from(
        open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!from.IsOpen()) return Fail(errno, source);
    struct stat before {};
    if (fstat(from.Get(), &before) != 0) return Fail(errno, source);
    if (!S_ISREG(before.st_mode) || before.st_ino != info.st_ino || before.st_dev != info.st_dev)
        return Fail(
            QStringLiteral("「%1」は一覧の取得後に置き換えられました。").arg(DisplayName(source)));
    FileDescriptor to(open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!to.IsOpen()) return Fail(errno, target);
    if (!CopyBytes(from.Get(), to.Get(), source)) return false;
    struct stat after {};
    if (fstat(from.Get(), &after) != 0) return Fail(errno, source);
    if (after.st_size != before.st_size || after.st_mtim.tv_sec != before.st_mtim.tv_sec ||
        after.st_mtim.tv_nsec != before.st_mtim.tv_nsec)
        return Fail(
            QStringLiteral("「%1」は%2中に変更されました。").arg(DisplayName(source), VerbText()));
    const timespec times[2] = {before.st_atim, before.st_mtim};
    if (fchmod(to.Get(), KeptMode(before)) != 0 || futimens(to.Get(), times) != 0)
        return Fail(errno, target);
    if (Durable() && fdatasync(to.Get()) != 0) return Fail(errno, target);
    if (!to.Close()) return Fail(errno, target);
    return Tick(source);
}

bool Transfer::CopyBytes(int from, int to, const std::string& source) {
    bool kernelCopy = true;
    std::vector<char> buffer;
    for (;;) {
        ssize_t count = -1;
        if (kernelCopy) {
            count = copy_file_range(from, nullptr, to, nullptr, kChunkBytes, 0);
            if (count < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS ||
                              errno == EOPNOTSUPP || errno == EPERM)) {
                kernelCopy = false;
                continue;
            }
        } else {
            buffer.resize(kChunkBytes);
            count = read(from, buffer.data(), buffer.size());
            for (ssize_t written = 0; count > 0 && written < count;) {
                const ssize_t step = write(to, buffer.data() + written, count - written);
                if (step < 0) {
                    if (errno == EINTR) continue;
                    return Fail(errno, source);
                }
                written += step;
            }
        }
        if (count < 0) {
            if (errno == EINTR) continue;
            return Fail(errno, source);
        }
        if (count == 0) return true;
        bytesDone_ += count;
        if (!Tick(source)) return false;
    }
}

bool Transfer::CopyLink(const std::string& source, const struct stat& info,
                        const std::string& target) {
    std::string linkTarget(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 255) + 1,
                           '\0');
    for (;;) {
        const ssize_t length = readlink(source.c_str(), linkTarget.data(), linkTarget.size());
        if (length < 0) return Fail(errno, source);
        if (static_cast<std::size_t>(length) < linkTarget.size()) {
            linkTarget.resize(static_cast<std::size_t>(length));
            break;
        }
        linkTarget.resize(linkTarget.size() * 2);
    }
    if (symlink(linkTarget.c_str(), target.c_str()) != 0) return Fail(errno, target);
    SetTimes(target, info);
    return Tick(source);
}

bool Transfer::Fail(int error, const std::string& path) {
    if (path == currentItem_ || currentItem_.empty()) return Fail(FileErrorText(error));
    return Fail(QStringLiteral("「%1」: %2").arg(DisplayName(path), FileErrorText(error)));
}

bool Transfer::Fail(const QString& reason) {
    reason_ = reason;
    return false;
}

bool Transfer::Tick(const std::string& path) {
    if (!progress_.Advance(path, bytesDone_, ++itemsDone_)) cancelled_ = true;
    if (cancelled_) reason_ = QStringLiteral("キャンセルされました。");
    return !cancelled_;
}

QString VerbInProgress(TransferMode mode) {
    switch (mode) {
        case TransferMode::Copy: return QStringLiteral("コピーしています...");
        case TransferMode::Move: return QStringLiteral("移動しています...");
        case TransferMode::Trash: return QStringLiteral("ごみ箱に移動しています...");
    }
    return QString();
}

class DialogTransferProgress final : public TransferProgress {
public:
    explicit DialogTransferProgress(QWidget* owner) : owner_(owner) {}

    void Begin(TransferMode mode, std::int64_t totalBytes, std::int64_t totalItems) override {
        verb_ = VerbInProgress(mode);
        // Items weigh as much as a small file, so many empty files still move the bar.
        total_ = totalBytes + totalItems * kItemWeight;
        dialog_ = std::make_unique<QProgressDialog>(verb_, QStringLiteral("キャンセル"), 0, kSteps,
                                                    owner_);
        dialog_->setWindowTitle(QApplication::applicationDisplayName());
        dialog_->setWindowModality(Qt::WindowModal);
        dialog_->setMinimumDuration(800);
        dialog_->setAutoClose(false);
        dialog_->setAutoReset(false);
        dialog_->setValue(0);
        sinceEvents_.start();
    }

    bool Advance(const std::string& currentPath, std::int64_t bytesDone,
                 std::int64_t itemsDone) override {
        if (!dialog_) return true;
        const std::int64_t done = bytesDone + itemsDone * kItemWeight;
        const int step =
            total_ > 0 ? static_cast<int>(std::min<std::int64_t>(done * kSteps / total_, kSteps))
                       : 0;
        if (step != dialog_->value() || sinceEvents_.elapsed() >= 100) {
            dialog_->setLabelText(verb_ + QLatin1Char('\n') + DisplayName(BaseName(currentPath)));
            dialog_->setValue(step);
            // Until the dialog shows, clicks would reach a window that the
            // transfer is still working for.
            QCoreApplication::processEvents(
                dialog_->isVisible() ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
            sinceEvents_.restart();
        }
        return !dialog_->wasCanceled();
    }

    void End() override { dialog_.reset(); }

private:
    static constexpr int kSteps = 1000;
    static constexpr std::int64_t kItemWeight = 4096;
    QWidget* owner_;
    QString verb_;
    std::int64_t total_ = 0;
    std::unique_ptr<QProgressDialog> dialog_;
    QElapsedTimer sinceEvents_;
};

// Deletes without asking whether path may go: RemoveTree has asked once
// for the whole tree.
bool RemoveTreeBelow(const std::string& path, QString* error) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) {
        if (errno == ENOENT) return true;
        *error = QStringLiteral("「%1」: %2").arg(DisplayName(path), FileErrorText(errno));
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        std::vector<std::string> names;
        if (!ReadFolderNames(path, names)) {
            *error = QStringLiteral("「%1」: %2").arg(DisplayName(path), FileErrorText(errno));
            return false;
        }
        bool allRemoved = true;
        for (const std::string& name : names)
            allRemoved = RemoveTreeBelow(Join(path, name), error) && allRemoved;
        if (!allRemoved) return false;
    }
    if (remove(path.c_str()) != 0 && errno != ENOENT) {
        *error = QStringLiteral("「%1」: %2").arg(DisplayName(path), FileErrorText(errno));
        return false;
    }
    return true;
}

}  // namespace

std::unique_ptr<TransferProgress> MakeTransferProgressDialog(QWidget* owner) {
    return std::make_unique<DialogTransferProgress>(owner);
}

TransferResult TransferFiles(TransferMode mode, const std::vector<std::string>& sources,
                             const std::string& targetFolder, QWidget* owner,
                             TransferProgress* progress) {
    std::unique_ptr<TransferProgress> dialog;
    if (progress == nullptr) {
        dialog = MakeTransferProgressDialog(owner);
        progress = dialog.get();
    }
    return Transfer(mode, owner, *progress).Run(sources, targetFolder);
}

TransferResult PasteFiles(const std::string& targetFolder, QWidget* owner,
                          TransferProgress* progress) {
    const ClipboardFiles files = ReadFilesFromClipboard();
    if (files.paths.empty()) return TransferResult{};
    const TransferMode mode = files.cut ? TransferMode::Move : TransferMode::Copy;
    TransferResult result = TransferFiles(mode, files.paths, targetFolder, owner, progress);
    if (files.cut && result.Succeeded()) QApplication::clipboard()->clear();
    return result;
}

bool MoveItem(const std::string& source, const std::string& target, QString* error) {
    class Silent final : public TransferProgress {
        void Begin(TransferMode, std::int64_t, std::int64_t) override {}
        bool Advance(const std::string&, std::int64_t, std::int64_t) override { return true; }
        void End() override {}
    } silent;
    return Transfer(TransferMode::Move, nullptr, silent).MoveSingle(source, target, error);
}

bool RemoveTree(const std::string& path, QString* error) {
    if (const QString reason = ProtectedPlaceReason(path); !reason.isEmpty()) {
        *error = QStringLiteral("「%1」: %2").arg(DisplayName(path), reason);
        return false;
    }
    return RemoveTreeBelow(path, error);
}

QString FileErrorText(int errorNumber) {
    switch (errorNumber) {
        case ENOENT:
            return QStringLiteral("ファイルまたはフォルダが見つかりません。");
        case EACCES:
        case EPERM:
            return QStringLiteral("アクセスが拒否されました。");
        case EEXIST:
        case ENOTEMPTY:
            return QStringLiteral("同じ名前の項目が既に存在します。");
        case ENOSPC:
            return QStringLiteral("ディスクの空き領域が不足しています。");
        case EDQUOT:
            return QStringLiteral("ディスク クォータを超えました。");
        case EROFS:
            return QStringLiteral("読み取り専用のファイル システムです。");
        case ENAMETOOLONG:
            return QStringLiteral("名前またはパスが長すぎます。");
        case ENOTDIR:
            return QStringLiteral("フォルダではありません。");
        case EISDIR:
            return QStringLiteral("フォルダです。");
        case EBUSY:
        case ETXTBSY:
            return QStringLiteral("使用中です。");
        case EIO:
            return QStringLiteral("入出力エラーが発生しました。");
        case EINVAL:
            return QStringLiteral("名前が正しくありません。");
        case ELOOP:
            return QStringLiteral("シンボリック リンクが多すぎます。");
        case ENXIO:
        case ENODEV:
            return QStringLiteral("デバイスまたはソケットなど、開くことのできない種類の項目です。");
        case ENOMEDIUM:
            return QStringLiteral("ドライブにメディアがありません。");
        case EXDEV:
            return QStringLiteral("別のファイル システムへは移動できません。");
        case EFBIG:
        case EOVERFLOW:
            return QStringLiteral("ファイルが大きすぎます。");
        case ENOMEM:
            return QStringLiteral("メモリが不足しています。");
        case EMFILE:
        case ENFILE:
            return QStringLiteral("開いているファイルが多すぎます。");
        case EAGAIN:
            return QStringLiteral("一時的に利用できません。しばらくしてからやり直してください。");
        case EINTR:
            return QStringLiteral("操作が中断されました。");
        case ENOTSUP:
            return QStringLiteral("このファイル システムではこの操作はできません。");
        case ETIMEDOUT:
            return QStringLiteral("応答がないため時間切れになりました。");
        case ESTALE:
        case ENOTCONN:
        case EHOSTDOWN:
        case EHOSTUNREACH:
        case ENETDOWN:
        case ENETUNREACH:
        case ECONNREFUSED:
        case ECONNRESET:
            return QStringLiteral("ネットワーク上の項目に接続できません。");
        case EMLINK:
            return QStringLiteral("リンクの数が多すぎます。");
        case ENOEXEC:
            return QStringLiteral("実行できる形式のファイルではありません。");
        case EILSEQ:
            return QStringLiteral("名前に使えない文字が含まれています。");
        case EUCLEAN:
            return QStringLiteral("ファイル システムが壊れています。");
        case ECANCELED:
            return QStringLiteral("操作が取り消されました。");
        case EPIPE:
            return QStringLiteral("相手のプログラムが終了しています。");
        default:
            return QStringLiteral("システム エラーが発生しました (エラー番号 %1)。").arg(errorNumber);
    }
}

QString FileDeviceErrorText(const QFileDevice& file) {
    // The toolkit words a system failure as the C library does.
    const QString reason = file.errorString();
    for (int errorNumber = 1; errorNumber < kLastErrorNumber; ++errorNumber)
        if (reason == QString::fromLocal8Bit(strerrordesc_np(errorNumber)) ||
            reason == QString::fromLocal8Bit(std::strerror(errorNumber)))
            return FileErrorText(errorNumber);
    switch (file.error()) {
        case QFileDevice::ReadError:
            return QStringLiteral("ファイルを読み込めません。");
        case QFileDevice::OpenError:
            return QStringLiteral("ファイルを開けません。");
        case QFileDevice::PermissionsError:
            return QStringLiteral("アクセスが拒否されました。");
        case QFileDevice::ResourceError:
            return QStringLiteral("メモリまたはディスクの空き領域が不足しています。");
        case QFileDevice::AbortError:
            return QStringLiteral("操作が取り消されました。");
        case QFileDevice::RenameError:
            return QStringLiteral("書き込んだファイルを元の名前にできません。");
        default:
            return QStringLiteral("ファイルに書き込めません。");
    }
}

std::string BaseName(const std::string& path) {
    std::size_t end = path.size();
    while (end > 0 && path[end - 1] == '/') --end;
    const std::size_t slash = path.rfind('/', end == 0 ? 0 : end - 1);
    const std::size_t begin = slash == std::string::npos ? 0 : slash + 1;
    return end > begin ? path.substr(begin, end - begin) : std::string();
}

std::string ParentPath(const std::string& path) {
    std::size_t end = path.size();
    while (end > 0 && path[end - 1] == '/') --end;
    const std::size_t slash = end == 0 ? std::string::npos : path.rfind('/', end - 1);
    if (slash == std::string::npos) return end == 0 && !path.empty() ? "/" : ".";
    std::size_t parentEnd = slash;
    while (parentEnd > 0 && path[parentEnd - 1] == '/') --parentEnd;
    return parentEnd == 0 ? "/" : path.substr(0, parentEnd);
}

QString DisplayName(const std::string& path) { return ShownText(PathText(path)); }

}  // namespace platform
