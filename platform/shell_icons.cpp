#include "platform/shell_icons.h"

#include <QMimeDatabase>
#include <QMimeType>

#include "platform/shell_collation.h"

namespace platform {
namespace {

QString MimeNameOf(FileObjectType type) {
    switch (type) {
        case FileObjectType::Folder: return QStringLiteral("inode/directory");
        case FileObjectType::Fifo: return QStringLiteral("inode/fifo");
        case FileObjectType::CharDevice: return QStringLiteral("inode/chardevice");
        case FileObjectType::BlockDevice: return QStringLiteral("inode/blockdevice");
        case FileObjectType::Socket: return QStringLiteral("inode/socket");
        case FileObjectType::Regular:
        case FileObjectType::Missing: break;
    }
    return QString();
}

// Looked up by the file name only: MatchExtension never opens the file.
QMimeType MimeTypeOf(std::string_view name, FileObjectType type) {
    thread_local QMimeDatabase database;
    const QString special = MimeNameOf(type);
    if (!special.isEmpty()) return database.mimeTypeForName(special);
    return database.mimeTypeForFile(DisplayTextOfName(name), QMimeDatabase::MatchExtension);
}

// Whether the icon theme has an icon of that name. The theme is searched
// folder by folder at every question, and the files of one type all ask
// the same one, so the answers are kept per theme.
bool ThemeHasIcon(const QString& iconName) {
    static std::mutex lock;
    static std::unordered_map<QString, bool> known;
    const QString key = QIcon::themeName() + QLatin1Char('\n') + iconName;
    std::lock_guard guard(lock);
    const auto found = known.find(key);
    if (found != known.end()) return found->second;
    return known.emplace(key, QIcon::hasThemeIcon(iconName)).first->second;
}

QString Extension(std::string_view name) {
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size()) return QString();
    return DisplayTextOfName(name.substr(dot + 1));
}

}  // namespace

// Never destroyed: threads reading folders may still ask for an icon while
// the program's statics are torn down at exit.
ShellIconCache& ShellIconCache::Instance() {
    static ShellIconCache* const cache = new ShellIconCache;
    return *cache;
}

ShellIconCache::ShellIconCache() { IndexOf(QStringLiteral("text-x-generic")); }

int ShellIconCache::IndexOf(const QString& iconName) {
    std::lock_guard guard(lock_);
    const auto found = indices_.find(iconName);
    if (found != indices_.end()) return found->second;
    const int index = static_cast<int>(names_.size());
    names_.push_back(iconName);
    icons_.emplace_back();
    indices_.emplace(iconName, index);
    return index;
}

int ShellIconCache::Count() const {
    std::lock_guard guard(lock_);
    return static_cast<int>(names_.size());
}

QIcon ShellIconCache::Icon(int index) const {
    std::lock_guard guard(lock_);
    if (index < 0 || index >= static_cast<int>(names_.size())) return QIcon();
    if (icons_[index].isNull()) {
        const QIcon fallback = QIcon::fromTheme(names_[0]);
        icons_[index] = QIcon::fromTheme(names_[index], fallback);
    }
    return icons_[index];
}

QString FileIconName(std::string_view name, FileObjectType type, bool open) {
    if (type == FileObjectType::Folder) return open ? QStringLiteral("folder-open") : QStringLiteral("folder");
    if (type == FileObjectType::Missing) return QStringLiteral("text-x-generic");
    const QMimeType mime = MimeTypeOf(name, type);
    if (!mime.isValid() || mime.isDefault()) return QStringLiteral("text-x-generic");
    return ThemeHasIcon(mime.iconName()) ? mime.iconName() : mime.genericIconName();
}

QString FileTypeName(std::string_view name, FileObjectType type) {
    if (type == FileObjectType::Folder) return FolderTypeName();
    const QMimeType mime = MimeTypeOf(name, type);
    if (mime.isValid() && !mime.isDefault() && !mime.comment().isEmpty()) return mime.comment();
    const QString extension = Extension(name);
    return extension.isEmpty() ? QStringLiteral("ファイル") : extension.toUpper() + QStringLiteral(" ファイル");
}

QString FolderTypeName() { return QStringLiteral("ファイル フォルダ"); }
QString SystemFolderTypeName() { return QStringLiteral("システム フォルダ"); }
QString LocalDiskTypeName() { return QStringLiteral("ローカル ディスク"); }
QString RemovableDiskTypeName() { return QStringLiteral("リムーバブル ディスク"); }

}  // namespace platform
