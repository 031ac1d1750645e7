#include "desktop_services.h"

#include <fcntl.h>
#include <grp.h>
#include <limits.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <dirent.h>
#include <memory>

#include <QApplication>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFile>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QMimeDatabase>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>

#include "platform/file_operations.h"
#include "platform/message_box.h"
#include "platform/path_text.h"
#include "platform/protected_places.h"

namespace platform {
namespace {

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

std::string ToBytes(const QString& text) { return PathBytes(text); }

std::string CanonicalPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr),
                                                         &std::free);
    return resolved ? std::string(resolved.get()) : std::string();
}

// The absolute path of an item, resolving its folder but not the item,
// so that a link to a link stays a link to that link.
std::string AbsolutePath(const std::string& path) {
    const std::string folder = CanonicalPath(ParentPath(path));
    return folder.empty() ? std::string() : Join(folder, BaseName(path));
}

// Starts program with args in a new session, as a grandchild that init
// adopts, so it neither dies with us nor lingers as our zombie. Only
// async-signal-safe calls run between fork and exec.
bool LaunchDetached(const std::string& program, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        setsid();
        const pid_t grandchild = fork();
        if (grandchild == 0) {
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        _exit(grandchild < 0 ? 1 : 0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0)
        if (errno != EINTR) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

QString FormatTime(const timespec& time) {
    return QDateTime::fromSecsSinceEpoch(time.tv_sec)
        .toString(QStringLiteral("yyyy年M月d日 H:mm:ss"));
}

QString FormatSize(std::int64_t bytes) {
    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    const QString exact =
        QStringLiteral("%1 バイト").arg(japanese.toString(static_cast<qlonglong>(bytes)));
    if (bytes < 1024) return exact;
    return QStringLiteral("%1 (%2)").arg(
        japanese.formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat), exact);
}

QString FormatContents(std::int64_t files, std::int64_t folders) {
    return QStringLiteral("ファイル %1 個、フォルダ %2 個").arg(files).arg(folders);
}

QString FormatPermissions(mode_t mode) {
    static constexpr char kLetters[] = "rwxrwxrwx";
    QString text;
    for (int bit = 0; bit < 9; ++bit)
        text += (mode & (0400 >> bit)) != 0 ? QLatin1Char(kLetters[bit]) : QLatin1Char('-');
    return QStringLiteral("%1 (%2)").arg(text).arg(mode & 07777, 3, 8, QLatin1Char('0'));
}

QString UserName(uid_t uid) {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found);
    const QString name = found != nullptr ? QString::fromLocal8Bit(found->pw_name) : QString();
    return name.isEmpty() ? QString::number(uid) : QStringLiteral("%1 (%2)").arg(name).arg(uid);
}

QString GroupName(gid_t gid) {
    std::vector<char> buffer(16384);
    group entry{};
    group* found = nullptr;
    getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found);
    const QString name = found != nullptr ? QString::fromLocal8Bit(found->gr_name) : QString();
    return name.isEmpty() ? QString::number(gid) : QStringLiteral("%1 (%2)").arg(name).arg(gid);
}

// Type by the file system's kind; regular files by name and content, read
// through our own descriptor since the name need not be valid UTF-8.
// Never opens FIFOs or devices.
QString TypeName(const std::string& path, mode_t mode) {
    QMimeDatabase database;
    const char* kind = S_ISDIR(mode)    ? "inode/directory"
                       : S_ISLNK(mode)  ? "inode/symlink"
                       : S_ISFIFO(mode) ? "inode/fifo"
                       : S_ISCHR(mode)  ? "inode/chardevice"
                       : S_ISBLK(mode)  ? "inode/blockdevice"
                       : S_ISSOCK(mode) ? "inode/socket"
                                        : nullptr;
    if (kind != nullptr) return database.mimeTypeForName(QLatin1String(kind)).comment();
    QFile file;
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd >= 0) file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    return database.mimeTypeForFileNameAndData(DisplayName(BaseName(path)), &file).comment();
}

QString LinkTarget(const std::string& path) {
    std::vector<char> buffer(PATH_MAX);
    const ssize_t length = readlink(path.c_str(), buffer.data(), buffer.size());
    return length < 0 ? QString()
                      : DisplayName(std::string(buffer.data(), static_cast<std::size_t>(length)));
}

}  // namespace

bool OpenWithDefaultApplication(const std::string& path, QWidget* owner) {
    const QString launcher = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (!launcher.isEmpty() && LaunchDetached(ToBytes(launcher), {path})) return true;
    ShowMessage(owner,
                QStringLiteral(
                    "「%1」を開くことができません。\n既定のアプリケーションを起動できませんでした "
                    "(xdg-open)。")
                    .arg(DisplayName(BaseName(path))),
                MessageIcon::Error);
    return false;
}

std::string ShortcutName(const std::string& target) {
    const std::string name = BaseName(target);
    return (name.empty() ? std::string("/") : name) + " へのショートカット";
}

namespace {

// The link for CreateShortcut; errorNumber says why there is none.
std::string MakeShortcut(const std::string& target, const std::string& folder, int& errorNumber) {
    const std::string linkTarget = AbsolutePath(target);
    struct stat info {};
    if (linkTarget.empty() || lstat(linkTarget.c_str(), &info) != 0) {
        errorNumber = errno != 0 ? errno : ENOENT;
        return std::string();
    }
    const std::string base = ShortcutName(linkTarget);
    for (int number = 1;; ++number) {
        const std::string link =
            Join(folder, number == 1 ? base : base + " (" + std::to_string(number) + ")");
        if (symlink(linkTarget.c_str(), link.c_str()) == 0) return link;
        if (errno != EEXIST) {
            errorNumber = errno;
            return std::string();
        }
    }
}

}  // namespace

std::string CreateShortcut(const std::string& target, const std::string& folder, QString* error) {
    int errorNumber = 0;
    std::string link = MakeShortcut(target, folder, errorNumber);
    if (link.empty()) *error = FileErrorText(errorNumber);
    return link;
}

std::vector<std::string> CreateShortcuts(const std::vector<std::string>& targets, QWidget* owner) {
    std::vector<std::string> links;
    std::vector<TransferFailure> failures;
    int desktopAnswer = -1;  // asked once: -1 not yet, 0 no, 1 yes
    for (const std::string& target : targets) {
        int errorNumber = 0;
        std::string link = MakeShortcut(target, ParentPath(target), errorNumber);
        const bool refused =
            link.empty() && (errorNumber == EACCES || errorNumber == EPERM || errorNumber == EROFS);
        if (refused && desktopAnswer < 0) {
            desktopAnswer =
                ShowMessage(owner,
                            QStringLiteral("ここにショートカットを作成することはできません。\n\n"
                                           "デスクトップに作成しますか？"),
                            MessageIcon::Question, MessageButtons::YesNo) == MessageResult::Yes;
        }
        if (refused && desktopAnswer == 1)
            link = MakeShortcut(
                target, ToBytes(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation)),
                errorNumber);
        if (!link.empty()) {
            links.push_back(link);
        } else if (!refused || desktopAnswer == 1) {
            failures.push_back({target, FileErrorText(errorNumber)});
        }
    }
    if (!failures.empty()) {
        QStringList lines;
        for (const auto& failure : failures)
            lines << DisplayName(BaseName(failure.path)) + QStringLiteral(": ") + failure.reason;
        ShowMessage(owner,
                    QStringLiteral("次のショートカットを作成できませんでした。\n\n") +
                        lines.join(QLatin1Char('\n')),
                    MessageIcon::Error);
    }
    return links;
}

QString NewNameProblem(const QString& newName) {
    if (newName.isEmpty()) return QStringLiteral("ファイル名を入力してください。");
    if (newName == QLatin1String(".") || newName == QLatin1String(".."))
        return QStringLiteral("「.」と「..」は名前に使えません。");
    if (newName.contains(QLatin1Char('/')) || newName.contains(QChar(0)))
        return QStringLiteral("ファイル名に次の文字は使えません:\n/");
    if (PathBytes(newName).size() > NAME_MAX)
        return QStringLiteral("名前が長すぎます。短い名前を指定してください。");
    return QString();
}

std::string RenameItem(const std::string& path, const QString& newName, QWidget* owner) {
    if (RefuseProtectedPlaces({path}, ChangeKind::Rename, owner)) return std::string();
    // The user edited the shown name: what was left alone keeps its bytes.
    const std::string name = EditedNameBytes(BaseName(path), newName);
    const QString problem = NewNameProblem(PathText(name));
    if (!problem.isEmpty()) {
        ShowMessage(owner, problem, MessageIcon::Error);
        return std::string();
    }
    if (name == BaseName(path)) return path;
    const std::string target = Join(ParentPath(path), name);
    struct stat source {
    }, existing{};
    if (lstat(path.c_str(), &source) != 0) {
        ShowMessage(owner,
                    QStringLiteral("「%1」の名前を変更できません。\n%2")
                        .arg(DisplayName(BaseName(path)), FileErrorText(errno)),
                    MessageIcon::Error);
        return std::string();
    }
    // A change of case on a case-insensitive file system finds the item itself.
    const bool sameItem = lstat(target.c_str(), &existing) == 0 &&
                          existing.st_dev == source.st_dev && existing.st_ino == source.st_ino;
    bool renamed = sameItem ? rename(path.c_str(), target.c_str()) == 0
                            : renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, target.c_str(),
                                        RENAME_NOREPLACE) == 0;
    if (!renamed && !sameItem && (errno == EINVAL || errno == ENOSYS)) {
        // File systems without no-replace renames: check, then rename.
        errno = EEXIST;
        renamed =
            lstat(target.c_str(), &existing) != 0 && rename(path.c_str(), target.c_str()) == 0;
    }
    if (renamed) return target;
    if (errno == EEXIST || errno == ENOTEMPTY) {
        ShowMessage(owner,
                    QStringLiteral("「%"
                                   "1」という名前のファイルまたはフォルダは既に存在します。\n別の名"
                                   "前を指定してください。")
                        .arg(newName),
                    MessageIcon::Error);
    } else {
        ShowMessage(owner,
                    QStringLiteral("「%1」の名前を変更できません。\n%2")
                        .arg(DisplayName(BaseName(path)), FileErrorText(errno)),
                    MessageIcon::Error);
    }
    return std::string();
}

namespace {

struct CountState {
    std::int64_t bytes = 0, diskBytes = 0, files = 0, folders = 0;
};

// Adds the contents of folder (not the folder itself) without following
// links; stops early when asked. report is called now and then.
template <typename Report>
void CountFolder(int parentFd, const char* name, CountState& state, std::stop_token stop,
                 Report& report) {
    const int fd = openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    DIR* dir = fdopendir(fd);
    if (dir == nullptr) {
        close(fd);
        return;
    }
    while (const dirent* entry = readdir(dir)) {
        if (stop.stop_requested()) break;
        const std::string child = entry->d_name;
        if (child == "." || child == "..") continue;
        struct stat info {};
        if (fstatat(dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
        state.diskBytes += static_cast<std::int64_t>(info.st_blocks) * 512;
        if (S_ISDIR(info.st_mode)) {
            ++state.folders;
            CountFolder(dirfd(dir), entry->d_name, state, stop, report);
        } else {
            ++state.files;
            state.bytes += info.st_size;
        }
        report(state);
    }
    closedir(dir);
}

}  // namespace

PropertiesDialog::PropertiesDialog(std::vector<std::string> paths, QWidget* parent)
    : QDialog(parent), paths_(std::move(paths)) {
    auto* layout = new QVBoxLayout(this);
    form_ = new QFormLayout;
    layout->addLayout(form_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("閉じる"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    if (paths_.size() == 1) {
        setWindowTitle(QStringLiteral("%1のプロパティ").arg(DisplayName(BaseName(paths_.front()))));
        AddSingleItemRows(paths_.front());
    } else {
        setWindowTitle(QStringLiteral("プロパティ"));
        AddSeveralItemsRows();
    }
}

PropertiesDialog::~PropertiesDialog() {
    // The counter posts to this window: it must be gone before the window is.
    counter_.request_stop();
    if (counter_.joinable()) counter_.join();
}

QString PropertiesDialog::Value(const QString& label) const {
    for (int row = 0; row < form_->rowCount(); ++row) {
        auto* name = qobject_cast<QLabel*>(form_->itemAt(row, QFormLayout::LabelRole)->widget());
        auto* value = qobject_cast<QLabel*>(form_->itemAt(row, QFormLayout::FieldRole)->widget());
        if (name != nullptr && value != nullptr && name->text() == label + QLatin1Char(':'))
            return value->text();
    }
    return QString();
}

void PropertiesDialog::AddRow(const QString& label, const QString& value) {
    auto* field = new QLabel(value, this);
    field->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form_->addRow(new QLabel(label + QLatin1Char(':'), this), field);
}

void PropertiesDialog::AddSingleItemRows(const std::string& path) {
    struct statx info {};
    const bool known = statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW,
                             STATX_BASIC_STATS | STATX_BTIME, &info) == 0;
    AddRow(QStringLiteral("名前"), DisplayName(BaseName(path)));
    if (!known) {
        AddRow(QStringLiteral("場所"), DisplayName(ParentPath(path)));
        AddRow(QStringLiteral("状態"), FileErrorText(errno));
        sizeComplete_ = true;
        return;
    }
    const mode_t mode = info.stx_mode;
    AddRow(QStringLiteral("種類"), TypeName(path, mode));
    AddRow(QStringLiteral("場所"), DisplayName(ParentPath(AbsolutePath(path))));
    if (S_ISLNK(mode)) AddRow(QStringLiteral("リンク先"), LinkTarget(path));
    AddRow(QStringLiteral("サイズ"), QString());
    sizeLabel_ = qobject_cast<QLabel*>(
        form_->itemAt(form_->rowCount() - 1, QFormLayout::FieldRole)->widget());
    AddRow(QStringLiteral("ディスク上のサイズ"), QString());
    diskSizeLabel_ = qobject_cast<QLabel*>(
        form_->itemAt(form_->rowCount() - 1, QFormLayout::FieldRole)->widget());
    if (S_ISDIR(mode)) {
        AddRow(QStringLiteral("内容"), QString());
        contentsLabel_ = qobject_cast<QLabel*>(
            form_->itemAt(form_->rowCount() - 1, QFormLayout::FieldRole)->widget());
    }
    const auto time = [](const statx_timestamp& stamp) {
        return timespec{stamp.tv_sec, stamp.tv_nsec};
    };
    AddRow(QStringLiteral("作成日時"), (info.stx_mask & STATX_BTIME) != 0
                                           ? FormatTime(time(info.stx_btime))
                                           : QStringLiteral("不明"));
    AddRow(QStringLiteral("更新日時"), FormatTime(time(info.stx_mtime)));
    AddRow(QStringLiteral("アクセス日時"), FormatTime(time(info.stx_atime)));
    AddRow(QStringLiteral("アクセス権"), FormatPermissions(mode));
    AddRow(QStringLiteral("所有者"), UserName(info.stx_uid));
    AddRow(QStringLiteral("グループ"), GroupName(info.stx_gid));
    Totals totals;
    if (!S_ISDIR(mode)) {
        totals.bytes = static_cast<std::int64_t>(info.stx_size);
        totals.diskBytes = static_cast<std::int64_t>(info.stx_blocks) * 512;
        ShowTotals(totals, true);
        return;
    }
    CountInBackground(totals, {path});
}

void PropertiesDialog::AddSeveralItemsRows() {
    Totals totals;
    std::vector<std::string> folders;
    for (const std::string& path : paths_) {
        struct stat info {};
        if (lstat(path.c_str(), &info) != 0) continue;
        totals.diskBytes += static_cast<std::int64_t>(info.st_blocks) * 512;
        if (S_ISDIR(info.st_mode)) {
            ++totals.folders;
            folders.push_back(path);
        } else {
            ++totals.files;
            totals.bytes += info.st_size;
        }
    }
    AddRow(QStringLiteral("名前"), QStringLiteral("%1 個の項目").arg(paths_.size()));
    const std::string folder = ParentPath(paths_.front());
    bool sameFolder = true;
    for (const std::string& path : paths_) sameFolder = sameFolder && ParentPath(path) == folder;
    AddRow(QStringLiteral("場所"),
           sameFolder ? DisplayName(folder) : QStringLiteral("複数のフォルダ"));
    AddRow(QStringLiteral("サイズ"), QString());
    sizeLabel_ = qobject_cast<QLabel*>(
        form_->itemAt(form_->rowCount() - 1, QFormLayout::FieldRole)->widget());
    AddRow(QStringLiteral("ディスク上のサイズ"), QString());
    diskSizeLabel_ = qobject_cast<QLabel*>(
        form_->itemAt(form_->rowCount() - 1, QFormLayout::FieldRole)->widget());
    AddRow(QStringLiteral("内容"), QString());
    contentsLabel_ = qobject_cast<QLabel*>(
        form_->itemAt(form_->rowCount() - 1, QFormLayout::FieldRole)->widget());
    if (folders.empty()) {
        ShowTotals(totals, true);
        return;
    }
    CountInBackground(totals, std::move(folders));
}

void PropertiesDialog::ShowTotals(const Totals& totals, bool complete) {
    sizeComplete_ = complete;
    const QString suffix = complete ? QString() : QStringLiteral(" (計算中...)");
    sizeLabel_->setText(FormatSize(totals.bytes) + suffix);
    diskSizeLabel_->setText(FormatSize(totals.diskBytes) + suffix);
    if (contentsLabel_ != nullptr)
        contentsLabel_->setText(FormatContents(totals.files, totals.folders) + suffix);
}

void PropertiesDialog::CountInBackground(Totals start, std::vector<std::string> folders) {
    ShowTotals(start, false);
    counter_ = std::jthread([this, start, folders = std::move(folders)](std::stop_token stop) {
        CountState state{start.bytes, start.diskBytes, start.files, start.folders};
        auto lastPost = std::chrono::steady_clock::now();
        const auto post = [this](const CountState& now, bool complete) {
            const Totals totals{now.bytes, now.diskBytes, now.files, now.folders};
            QMetaObject::invokeMethod(
                this, [this, totals, complete] { ShowTotals(totals, complete); },
                Qt::QueuedConnection);
        };
        auto report = [&](const CountState& now) {
            const auto current = std::chrono::steady_clock::now();
            if (current - lastPost < std::chrono::milliseconds(200)) return;
            lastPost = current;
            post(now, false);
        };
        for (const std::string& folder : folders) {
            if (stop.stop_requested()) return;
            CountFolder(AT_FDCWD, folder.c_str(), state, stop, report);
        }
        if (!stop.stop_requested()) post(state, true);
    });
}

PropertiesDialog* ShowProperties(const std::vector<std::string>& paths, QWidget* owner) {
    if (paths.empty()) return nullptr;
    auto* dialog = new PropertiesDialog(paths, owner);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    return dialog;
}

}  // namespace platform
