#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
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
    // items: the first item of each is copied. What each is in folder is
    // worked out once, when first needed: for many items on a worker
    // thread while the calling thread goes on with its events (input held
    // back), so that 100,000 items never hold the window.
    ShellContextMenu(std::shared_ptr<const ShellFolder> folder, const std::vector<const ItemIDList*>& items);

    // Every item is one folder knows (an empty one is not).
    bool ItemsKnown() const;

    // The entries the menu offers for flags, in order. knownAttributes:
    // the capability and folder bits every item holds, when the caller
    // knows them already; else the items are asked.
    std::vector<ShellMenuEntry> Entries(unsigned flags,
                                        std::optional<std::uint32_t> knownAttributes = std::nullopt) const;

    // Inserts the entries into menu before the action at position (at the
    // end when there is none), with ids firstId + command (those above
    // lastId are left out), and returns the highest command added + 1.
    int QueryContextMenu(QMenu* menu, int position, int firstId, int lastId, unsigned flags) const;

    // Runs a command; false when it does not apply, was refused or failed.
    // Renaming is the calling control's (in-place editing): false here.
    // knownAttributes as for Entries.
    bool InvokeCommand(QWidget* owner, int command, std::optional<std::uint32_t> knownAttributes = std::nullopt) const;
    // Whether the last command may have taken items away (to the trash or
    // for good), also when it stopped part way; false when surely none
    // went, as after a declined question.
    bool RemovedItems() const { return removedItems_; }

    // The status-bar help text of a command ("" for unknown ones).
    QString GetCommandString(int command) const;

    // The menu text of a command ("" for unknown ones).
    static QString CommandText(int command);

private:
    std::vector<std::string> Paths() const;
    const std::vector<ShellItem>& Items() const;
    // Runs work, which may use Items(), beside the events when the items
    // are many, else at once.
    void WorkOnItems(const std::function<void()>& work) const;
    bool AllAre(ShellPlace place) const;
    std::uint32_t Attributes(std::uint32_t request) const;
    bool PutOnClipboard(bool cut) const;
    bool Paste(QWidget* owner) const;
    bool Delete(QWidget* owner) const;
    bool Restore(QWidget* owner) const;
    std::vector<TrashItem> TrashEntries() const;

    std::size_t Count() const { return starts_.size(); }
    const ItemIDList* Item(std::size_t index) const;
    std::vector<const ItemIDList*> ItemList() const;

    std::shared_ptr<const ShellFolder> folder_;
    // The items' bytes one after another (one allocation, not one per
    // item: a menu may be made for 100,000 items), and where each starts.
    std::vector<std::uint8_t> bytes_;
    std::vector<std::size_t> starts_;
    mutable std::vector<ShellItem> described_;
    mutable bool removedItems_ = false;
};

}  // namespace platform
