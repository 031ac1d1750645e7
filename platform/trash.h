#pragma once

#include <optional>
#include <string>
#include <vector>

#include <QDateTime>
#include <QString>

#include "platform/file_operations.h"

class QWidget;

// The desktop's trash, shared with the other programs of the session:
// the home trash $XDG_DATA_HOME/Trash (default ~/.local/share/Trash) for
// items on the home's file system, and $topdir/.Trash/$uid (when an
// administrator prepared $topdir/.Trash) or $topdir/.Trash-$uid on other
// mounted file systems. Each trash folder holds files/NAME and
// info/NAME.trashinfo with the percent-encoded original Path and the
// DeletionDate. Paths are raw file-name bytes.
namespace platform {

struct TrashItem {
    std::string trashFolder;   // the trash folder holding files/ and info/
    std::string name;          // the item's name inside files/
    std::string originalPath;  // absolute path the item was deleted from
    QDateTime deletionDate;    // local time; invalid when the info has none

    std::string FilePath() const;  // trashFolder/files/name
    std::string InfoPath() const;  // trashFolder/info/name.trashinfo
};

// The home trash folder (whether or not it exists yet).
std::string HomeTrashFolder();

// The trash folders that exist now: the home trash and those at the top
// of the mounted file systems that belong to this user.
std::vector<std::string> TrashFolders();

// Every item of every trash folder whose info and file both exist, in no
// particular order.
std::vector<TrashItem> ListTrash();

// The item called name in trashFolder, when its info and file exist.
std::optional<TrashItem> FindTrashItem(const std::string& trashFolder, const std::string& name);

// Moves one item to the trash of its file system without asking.
std::optional<TrashItem> MoveItemToTrash(const std::string& path, QString* error);

struct TrashResult {
    std::vector<TrashItem> trashed;
    std::vector<std::string> erased;  // deleted for good at the user's request
    std::vector<TransferFailure> failed;
    bool cancelled = false;  // the user declined or cancelled the progress

    bool Succeeded() const { return !cancelled && failed.empty(); }
};

// A request naming a protected place (protected_places.h) is refused as a
// whole, with a message, before any question (the places are read once
// for all items). Then asks "「name」をごみ箱に移しますか？" (or for several
// items at once) when confirm, from the count and the first path alone,
// and moves the items to the trash on a worker thread while progress (the
// dialog of MakeTransferProgressDialog when null) shows how far it got and
// may cancel; a cancel stops between two items, and each item is then
// either in place or in the trash with its info. An item that cannot go
// to a trash is offered for deleting for good, by a question that names
// its whole path; failures end in one message.
TrashResult MoveToTrash(const std::vector<std::string>& paths, QWidget* owner, bool confirm = true,
                        TransferProgress* progress = nullptr);

// Puts the item back at its original path (recreating missing parent
// folders). Fails, changing nothing, when something exists there now.
bool RestoreTrashItem(const TrashItem& item, QString* error);

// Restores several items and reports failures in one message; false
// when any failed.
bool RestoreTrashItems(const std::vector<TrashItem>& items, QWidget* owner);

// Deletes an item of the trash for good (file first, then its info).
bool EraseTrashItem(const TrashItem& item, QString* error);

// Asks "...を完全に削除しますか？" when confirm, then erases the items;
// false when declined or when any failed (reported in one message).
bool EraseTrashItems(const std::vector<TrashItem>& items, QWidget* owner, bool confirm = true);

// Erases every item of every trash folder after asking when confirm.
bool EmptyTrash(QWidget* owner, bool confirm = true);

}  // namespace platform
