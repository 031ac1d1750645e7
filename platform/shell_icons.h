#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <QIcon>
#include <QString>

#include "platform/shell_file_info.h"

namespace platform {

// The icons of the namespace, handed out as integer indices: each theme
// icon name gets one index for the life of the program. Index 0 is the
// generic document icon, the answer when nothing better is known. Icons are
// loaded from the theme only when drawn.
class ShellIconCache {
public:
    static ShellIconCache& Instance();

    int IndexOf(const QString& iconName);
    int Count() const;
    // The icon at index (null icon outside the range).
    QIcon Icon(int index) const;

private:
    ShellIconCache();

    mutable std::mutex lock_;
    std::vector<QString> names_;
    mutable std::vector<QIcon> icons_;
    std::unordered_map<QString, int> indices_;
};

// Theme icon name and type text of a file from its name alone (never
// reading the file).
QString FileIconName(std::string_view name, FileObjectType type, bool open);
QString FileTypeName(std::string_view name, FileObjectType type);

// Type texts of the namespace's own kinds.
QString FolderTypeName();        // "ファイル フォルダ"
QString SystemFolderTypeName();  // "システム フォルダ"
QString LocalDiskTypeName();     // "ローカル ディスク"
QString RemovableDiskTypeName(); // "リムーバブル ディスク"

}  // namespace platform
