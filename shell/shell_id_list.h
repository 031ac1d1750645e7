#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <QString>

#include "shell/shell_id_func.h"

class QWidget;

// The verbs the shell commands run on a list of items.
enum TShVerbKind {
    vkOpen,
    vkCut,
    vkCopy,
    vkPaste,
    vkCreateShortcut,
    vkDelete,
    vkProperties,
};

// Several items of one folder: relative items plus the folder's absolute
// list, none of them owned. Used for menus, clipboard verbs and drags.
class TSHIDList {
public:
    TSHIDList() = default;
    virtual ~TSHIDList();
    TSHIDList(const TSHIDList&) = delete;
    TSHIDList& operator=(const TSHIDList&) = delete;

    // The parent (absolute) and the items (relative to it).
    ConstIDList Parent() const { return parent_; }
    void SetParent(ConstIDList parent);
    void Add(ConstIDList item);
    void Clear();

    int Count() const { return static_cast<int>(items_.size()); }
    // The i-th item, none out of range.
    ConstIDList Item(int index) const;
    // The item array, none when empty.
    const ConstIDList* Items() const { return items_.empty() ? nullptr : items_.data(); }

    int ParentLevel() const { return IDListLevel(parent_); }
    // The parent's folder (the desktop at level 0); none on failure.
    ShellFolderPtr Folder() const;
    // The capability bits (0x177) that hold for all items; 0 on failure.
    std::uint32_t Attributes() const;
    bool HasAttribute(TShAttribute attribute) const;
    bool HasAttribute(int index, TShAttribute attribute) const;
    // The file-system path of item i ("" outside the file system).
    QString Path(int index) const;
    std::string NativePath(int index) const;

    // Runs a verb (TShVerbKind) on all items, after checking its
    // precondition on them; any other kind gives false. knownAttributes:
    // the capability and folder bits all items hold, when the caller knows
    // them already (the file list's selection facts), so that the items
    // are not asked again. removedItems (when given) tells whether a
    // delete took any item away, whatever else came of it.
    bool RunVerb(QWidget* owner, int verbKind, std::optional<std::uint32_t> knownAttributes = std::nullopt,
                 bool* removedItems = nullptr) const;

protected:
    explicit TSHIDList(bool owning) : owning_(owning) {}

private:
    bool owning_ = false;
    ConstIDList parent_ = nullptr;
    std::vector<ConstIDList> items_;
};

// The same list, but owning its items and its parent: they are freed on
// Clear, when replaced and on destruction.
class TSHIDList2 : public TSHIDList {
public:
    TSHIDList2() : TSHIDList(true) {}
};

// Whether a verb is running. A verb may pump events while it works (its
// progress): meanwhile no other verb starts, and the commands that would
// act on the same files or their list stay disabled.
bool ShellVerbRunning();

// Marks a verb as running while it lives.
class TShellVerbRunning {
public:
    TShellVerbRunning();
    ~TShellVerbRunning();
    TShellVerbRunning(const TShellVerbRunning&) = delete;
    TShellVerbRunning& operator=(const TShellVerbRunning&) = delete;
};

// Whether the clipboard holds files a paste could take (the item-list
// array's first, the dropped files failing that): the same test that the
// paste entry is enabled by and that the paste itself reads.
bool ClipboardOffersFiles();
