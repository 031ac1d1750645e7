#pragma once

#include <memory>

#include <QString>

#include "shell/shell_id_func.h"

class QWidget;

namespace platform {
class ShellDropTarget;
}

// A shell item as the shell controls hold it: its parent folder, its own
// relative item, its absolute list, and cached name and icons. Tree nodes,
// combo entries and file-list entries derive from it.
class TSHDataItem {
public:
    // Takes ownership of both lists (either may be none).
    TSHDataItem(IDList relativeID, IDList absoluteID);
    virtual ~TSHDataItem();
    TSHDataItem(const TSHDataItem&) = delete;
    TSHDataItem& operator=(const TSHDataItem&) = delete;

    // Index of the normal icon in the system image list, computed once.
    virtual int GetIconIndex();
    // Position in the owning control; -1 when none.
    virtual int GetIndex() const = 0;
    virtual int GetLevel() const = 0;
    virtual ConstIDList GetParentIDList() = 0;
    virtual ConstIDList GetAbsoluteIDList() = 0;
    // Index of the open icon, computed once.
    virtual int GetSelectedIndex();
    virtual bool IsValid() const = 0;

    // The in-folder display name, cached.
    QString GetDisplayName();
    // The file-system path ("" outside the file system); the root item
    // (level 0) gives the desktop directory's path.
    QString GetPath();
    std::string GetNativePath();
    TShItemIDType GetItemType();
    bool HasAttribute(TShAttribute attribute);
    // The overlay image: 0 shared, 1 link, -1 none.
    int GetOverlayIndex();
    // The parent's folder, bound on first use and kept; none on failure.
    virtual ShellFolderPtr GetParentFolder();
    // Hands over the parent's folder where the caller has bound it
    // already (the items of one enumeration share it).
    void SetParentFolder(ShellFolderPtr folder) { parentFolder_ = std::move(folder); }
    // The item's drop target (none for items that take no drops).
    std::unique_ptr<platform::ShellDropTarget> GetDropTarget(QWidget* owner);

    ConstIDList RelativeID() const { return relativeID_; }
    ConstIDList AbsoluteID() const { return absoluteID_; }

    // Forgets the icon indices (after the icon theme or a drive's medium
    // changed) or also the name (after a rename).
    void ResetIconCache();
    void SetCachedDisplayName(const QString& name) { displayName_ = name; }

protected:
    // The list that names the item to its parent folder: the relative
    // item, or the absolute list for the root (level 0).
    ConstIDList ItemInParent();
    // Replaces both lists (taking ownership) and clears name and icons.
    void ReplaceIDLists(IDList relativeID, IDList absoluteID);
    // Sets the absolute list of an item that builds it on first use.
    void SetAbsoluteID(IDList absoluteID);
    ConstIDList CachedParentID() const { return parentID_; }
    void SetCachedParentID(IDList parentID);

private:
    ShellFolderPtr parentFolder_;
    IDList relativeID_ = nullptr;
    IDList absoluteID_ = nullptr;
    IDList parentID_ = nullptr;
    int selectedIndex_ = -1;
    int iconIndex_ = -1;
    QString displayName_;
};

// What a folder-tree item needs of the tree node that carries it; the
// folder tree implements it.
class TSHFolderNode {
public:
    virtual ~TSHFolderNode() = default;
    virtual int AbsoluteIndex() const = 0;
    virtual QWidget* TreeWindow() const = 0;
    virtual bool IsExpanded() const = 0;
    virtual void SetExpanded(bool expanded) = 0;
    virtual void DeleteChildren() = 0;
    // Sorts the node among its siblings by the parent folder's order.
    virtual void SortSiblings() = 0;
    // Enumerates the node's children again and merges them.
    virtual void Populate() = 0;
    virtual void SetText(const QString& text) = 0;
};

// The item of one folder-tree node.
class TSHFolderItem : public TSHDataItem {
public:
    TSHFolderItem(IDList relativeID, IDList absoluteID, TSHFolderNode* node = nullptr);

    int GetIndex() const override;
    int GetLevel() const override;
    ConstIDList GetParentIDList() override;
    ConstIDList GetAbsoluteIDList() override { return AbsoluteID(); }
    bool IsValid() const override { return AbsoluteID() && RelativeID(); }

    TSHFolderNode* Node() const { return node_; }
    void SetNode(TSHFolderNode* node) { node_ = node; }

    // Renames the item on disk; on success takes the new lists and
    // rebuilds the node. The node's text is the display name afterwards in
    // every case.
    bool Rename(const QString& newName);

private:
    TSHFolderNode* node_;
};
