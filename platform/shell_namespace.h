#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include <QString>

#include "platform/shell_file_info.h"
#include "platform/shell_item_id.h"
#include "platform/trash.h"

class QMimeData;
class QWidget;

// The shell namespace of this system: the desktop at the root; below it
// the entries of the desktop directory, the home folder, the drives
// folder ("コンピュータ") with the mounted drives, the trash ("ごみ箱"),
// "ネットワーク" and "インターネット"; below drives, home and folders the
// file system. Every place is named by an absolute item identifier list
// and seen through the folder object of its parent.
namespace platform {

struct AttributeQuery;

// What to enumerate.
enum EnumFlags : unsigned {
    kEnumFolders = 0x20,
    kEnumNonFolders = 0x40,
    kEnumIncludeHidden = 0x80,
};

// Which display name to give.
enum DisplayNameFlags : unsigned {
    kNameNormal = 0,
    kNameInFolder = 0x1,
    kNameForEditing = 0x1000,
    kNameForParsing = 0x8000,
};

// Item attributes (the capability, display and contents bits).
enum ShellAttributeBits : std::uint32_t {
    kCanCopy = 0x1,
    kCanMove = 0x2,
    kCanLink = 0x4,
    kCanRename = 0x10,
    kCanDelete = 0x20,
    kHasPropSheet = 0x40,
    kDropTarget = 0x100,
    kCapabilityMask = 0x177,
    kLink = 0x10000,
    kShare = 0x20000,
    kReadOnly = 0x40000,
    kHidden = 0x80000,
    kFileSysAncestor = 0x10000000,
    kFolder = 0x20000000,
    kFileSystem = 0x40000000,
    kHasSubFolder = 0x80000000,
    kValidate = 0x1000000,
    kRemovable = 0x2000000,
    kCompressed = 0x4000000,
};

// What an item is, as seen from its parent folder.
enum class ShellPlace : std::uint8_t {
    Desktop,
    Home,
    Drives,
    Drive,
    FileSystem,
    Trash,
    TrashEntry,
    Network,
    Internet,
    Invalid,
};

struct ShellItem {
    ShellPlace place = ShellPlace::Invalid;
    ShellItemKind kind = ShellItemKind::File;
    std::string name;  // raw name bytes as the item carries them
    std::string path;  // file-system path (the trashed file for trash entries), or empty
};

// Hands out the relative items of one folder, one per call, until null.
class ShellEnumerator {
public:
    virtual ~ShellEnumerator() = default;
    virtual UniqueIDList Next() = 0;
};

class ShellContextMenu;
class ShellDropTarget;

// The facts of a file-system item that sorting by the detail columns
// needs; read once and kept for a short while by the folder.
struct ShellItemDetails {
    bool folder = false;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::uint32_t fileAttributes = 0;
    std::int64_t readAtMs = 0;  // steady-clock time of the reading
};

// One folder of the namespace. Items handed to a folder are relative to
// it; a list of several items names a place further down. The empty list
// asked of the desktop means the desktop itself.
class ShellFolder {
public:
    ShellFolder(ShellPlace place, std::string path, UniqueIDList absolute);
    ShellFolder(const ShellFolder&) = delete;
    ShellFolder& operator=(const ShellFolder&) = delete;

    ShellPlace Place() const { return place_; }
    const std::string& Path() const { return path_; }  // empty outside the file system
    const ItemIDList* AbsoluteIDList() const { return absolute_.get(); }

    // What the first item of relative is inside this folder.
    ShellItem Describe(const ItemIDList* relative) const;

    // Null when the folder cannot be read; *error (when given) then says
    // why, as an errno value. Never opens or waits on an entry: FIFOs and
    // devices are safe to list.
    std::unique_ptr<ShellEnumerator> EnumObjects(unsigned flags, int* error = nullptr) const;

    // Whether the folder's items are the entries of a file-system folder
    // (home, a drive, a folder), named by their entry names.
    bool HoldsFileSystemEntries() const;
    // The item EnumObjects(flags) hands out for the entry called name, as
    // it is now; null when there is no such entry, the flags leave it out,
    // or the folder does not hold file-system entries.
    UniqueIDList EntryItem(const std::string& name, unsigned flags) const;

    // The folder named by relative (one or more items); null when it is
    // not a folder or no longer exists.
    std::shared_ptr<ShellFolder> BindToObject(const ItemIDList* relative) const;
    // The folder named by relative as its items describe it, without asking
    // the disk whether it is there: enough to name and order its items, and
    // safe on a file system that does not answer. Null when relative does
    // not name a folder place.
    std::shared_ptr<ShellFolder> DescribedFolder(const ItemIDList* relative) const;

    // Order of two items for column 0 (name: folders first, then natural
    // order), 1 (size), 2 (type), 3 (last write) or 4 (attributes): <0, 0
    // (the same item) or >0; nothing when the items cannot be compared.
    std::optional<int> CompareIDs(int column, const ItemIDList* a, const ItemIDList* b) const;

    // The requested attribute bits that hold for every item; nothing when
    // an item is unknown (or, with kValidate, no longer exists).
    std::optional<std::uint32_t> GetAttributesOf(std::span<const ItemIDList* const> items,
                                                 std::uint32_t request) const;
    std::optional<std::uint32_t> GetAttributesOf(const ItemIDList* item, std::uint32_t request) const;

    std::optional<QString> GetDisplayNameOf(const ItemIDList* item, unsigned flags) const;

    // Renames a file-system item; the new relative item, or null after
    // telling the user why it failed.
    UniqueIDList SetNameOf(QWidget* owner, const ItemIDList* item, const QString& newName) const;

    // The relative list of a path below this folder ("a/b"); the desktop
    // takes absolute paths and file:// URIs and gives absolute lists.
    UniqueIDList ParseDisplayName(const QString& text) const;
    UniqueIDList ParseNativePath(const std::string& path) const;

    // Index in the icon cache, the type text and the file facts of an item.
    int GetIconOf(const ItemIDList* item, bool open) const;
    QString GetTypeName(const ItemIDList* item) const;
    bool GetFindData(const ItemIDList* item, FindData& data) const;

    // File-system path of an item; empty outside the file system.
    std::string PathOf(const ItemIDList* item) const;

    // The per-item objects; null when the items offer none.
    std::unique_ptr<ShellContextMenu> GetContextMenu(QWidget* owner,
                                                     std::vector<const ItemIDList*> items) const;
    std::unique_ptr<QMimeData> GetDataObject(std::span<const ItemIDList* const> items) const;
    std::unique_ptr<ShellDropTarget> GetDropTarget(QWidget* owner, const ItemIDList* item) const;

private:
    // The folder holding the last item of relative (this one for a single
    // item), built without touching the disk.
    std::shared_ptr<const ShellFolder> FolderOfLast(const ItemIDList* relative,
                                                    const ItemIDList*& last) const;
    std::shared_ptr<ShellFolder> ChildFolder(const ShellItem& item, const ItemIDList* relative) const;
    std::optional<int> CompareItems(int column, const ItemIDList* a, const ItemIDList* b) const;
    int CompareDetails(int column, const ShellItem& a, const ShellItem& b) const;
    ShellItemDetails DetailsOf(const ShellItem& item) const;
    std::optional<std::uint32_t> AttributesOfItem(const ItemIDList* item, std::uint32_t request,
                                                  AttributeQuery& query) const;
    QString DisplayNameOfItem(const ShellItem& item, unsigned flags) const;

    ShellPlace place_;
    std::string path_;
    UniqueIDList absolute_;
    mutable std::mutex detailsLock_;
    mutable std::unordered_map<std::string, ShellItemDetails> detailsCache_;
};

// The root of every binding.
std::shared_ptr<ShellFolder> DesktopFolder();

// The absolute list of an existing absolute path: through the home place
// for paths below the home, else through the drive that holds it; null
// when the path does not exist.
UniqueIDList IDListOfPath(const std::string& path);

// The special folders by their classic numbers: 0x00 desktop, 0x01
// internet, 0x05 documents, 0x0A trash, 0x10 the desktop directory, 0x11
// drives, 0x12 network, 0x14 fonts, 0x15 templates, 0x1A application
// data, 0x1C local application data, 0x20 cache; null for the others and
// for folders that do not exist.
UniqueIDList SpecialFolderIDList(int csidl);

// The file-system path of an absolute list; empty outside the file system.
std::string PathOfIDList(const ItemIDList* absolute);

// The absolute list of the drive mounted at mountPoint.
UniqueIDList DriveIDList(const std::string& mountPoint);

// The desktop directory shown as the desktop's own entries, and the home.
std::string DesktopDirectory();
std::string HomeDirectory();

// The trash's record of a trash entry; nothing for other items or when the
// entry has gone.
std::optional<TrashItem> TrashItemOf(const ShellItem& item);

// The texts of the namespace's own places.
QString ShellPlaceName(ShellPlace place);

}  // namespace platform
