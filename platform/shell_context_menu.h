#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QString>

#include "platform/shell_item_id.h"
#include "platform/shell_namespace.h"
#include "platform/trash.h"

class QMenu;
class QWidget;

namespace platform {

// The commands of the namespace's context menu. A command's number is its
// menu id minus the first id handed to QueryContextMenu; deleting is 17
// and renaming 18, so that callers can tell those two apart.
enum ShellCommand : int {
    kCommandOpen = 0,
    kCommandRestore = 1,
    kCommandEmptyTrash = 2,
    kCommandCreateLink = 16,
    kCommandDelete = 17,
    kCommandRename = 18,
    kCommandProperties = 19,
    kCommandCut = 24,
    kCommandCopy = 25,
    kCommandPaste = 26,
};

// What the menu is asked for.
enum ContextMenuFlags : unsigned {
    kMenuNormal = 0x0,
    kMenuDefaultOnly = 0x1,
    kMenuExplore = 0x4,
    kMenuCanRename = 0x10,
};

struct ShellMenuEntry {
    int command = -1;  // -1 for a separator
    QString text;
    bool enabled = true;
    bool isDefault = false;
};

// The context menu of some items of one folder, and the verbs behind it.
// Every verb acts for real: open with the default application, cut and
// copy to the clipboard, paste, create shortcut (a symbolic link), delete
// (to the trash, after asking), properties, and for the trash restore,
// delete for good and empty.
class ShellContextMenu {
public:
    ShellContextMenu(std::shared_ptr<const ShellFolder> folder, std::vector<UniqueIDList> items);

    // The entries the menu offers for flags, in order.
    std::vector<ShellMenuEntry> Entries(unsigned flags) const;

    // Inserts the entries into menu before the action at position (at the
    // end when there is none), with ids firstId + command (those above
    // lastId are left out), and returns the highest command added + 1.
    int QueryContextMenu(QMenu* menu, int position, int firstId, int lastId, unsigned flags) const;

    // Runs a command; false when it does not apply, was refused or failed.
    // Renaming is the calling control's (in-place editing): false here.
    bool InvokeCommand(QWidget* owner, int command) const;

    // The status-bar help text of a command ("" for unknown ones).
    QString GetCommandString(int command) const;

    // The menu text of a command ("" for unknown ones).
    static QString CommandText(int command);

private:
    std::vector<std::string> Paths() const;
    std::vector<ShellItem> Items() const;
    bool AllAre(ShellPlace place) const;
    std::uint32_t Attributes(std::uint32_t request) const;
    bool PutOnClipboard(bool cut) const;
    bool Paste(QWidget* owner) const;
    bool Delete(QWidget* owner) const;
    bool Restore(QWidget* owner) const;
    std::vector<TrashItem> TrashEntries() const;

    std::shared_ptr<const ShellFolder> folder_;
    std::vector<UniqueIDList> items_;
};

}  // namespace platform
