#include "shell/shell_data_item.h"

#include "platform/shell_drop_target.h"

TSHDataItem::TSHDataItem(IDList relativeID, IDList absoluteID)
    : relativeID_(relativeID), absoluteID_(absoluteID) {}

TSHDataItem::~TSHDataItem() {
    FreeIDList(relativeID_);
    FreeIDList(absoluteID_);
    FreeIDList(parentID_);
}

ConstIDList TSHDataItem::ItemInParent() { return GetLevel() == 0 ? absoluteID_ : relativeID_; }

ShellFolderPtr TSHDataItem::GetParentFolder() {
    if (parentFolder_) return parentFolder_;
    const int level = GetLevel();
    if (level < 0) return nullptr;
    if (level <= 1)
        parentFolder_ = GetDesktopFolder();
    else
        parentFolder_ = GetDesktopFolder()->BindToObject(GetParentIDList());
    return parentFolder_;
}

QString TSHDataItem::GetDisplayName() {
    if (displayName_.isEmpty()) StrRetToString(GetParentFolder(), ItemInParent(), SHGDN_INFOLDER, displayName_);
    return displayName_;
}

QString TSHDataItem::GetPath() {
    QString path;
    PathFromIDList(GetLevel() == 0 ? relativeID_ : GetAbsoluteIDList(), path);
    return path;
}

std::string TSHDataItem::GetNativePath() {
    std::string path;
    NativePathFromIDList(GetLevel() == 0 ? relativeID_ : GetAbsoluteIDList(), path);
    return path;
}

TShItemIDType TSHDataItem::GetItemType() { return ::GetItemType(GetAbsoluteIDList()); }

bool TSHDataItem::HasAttribute(TShAttribute attribute) {
    const ShellFolderPtr folder = GetParentFolder();
    const ConstIDList item = ItemInParent();
    if (!folder || !item) return false;
    const std::uint32_t mask = ShAttributeMask(attribute);
    const std::optional<std::uint32_t> bits = folder->GetAttributesOf(item, mask);
    return bits && (*bits & mask) == mask;
}

// The folders of this namespace offer no overlay interface of their own,
// so the overlay follows from the item's attributes.
int TSHDataItem::GetOverlayIndex() {
    if (HasAttribute(saShare)) return 0;
    if (HasAttribute(saLink)) return 1;
    return -1;
}

// Asked for the relative item also at the root, whose relative item is
// the desktop directory: drops on the desktop land there.
std::unique_ptr<platform::ShellDropTarget> TSHDataItem::GetDropTarget(QWidget* owner) {
    const ShellFolderPtr folder = GetParentFolder();
    if (!folder || !relativeID_) return nullptr;
    return folder->GetDropTarget(owner, relativeID_);
}

int TSHDataItem::GetSelectedIndex() {
    if (selectedIndex_ < 0) selectedIndex_ = GetSysIconIndex(GetAbsoluteIDList(), false, true);
    return selectedIndex_;
}

int TSHDataItem::GetIconIndex() {
    if (iconIndex_ >= 0) return iconIndex_;
    const ShellFolderPtr folder = GetParentFolder();
    if (folder && GetLevel() > 0 && relativeID_)
        iconIndex_ = folder->GetIconOf(relativeID_, false);
    if (iconIndex_ < 0 || GetLevel() == 0) iconIndex_ = GetSysIconIndex(GetAbsoluteIDList(), false, false);
    return iconIndex_;
}

void TSHDataItem::ResetIconCache() {
    iconIndex_ = -1;
    selectedIndex_ = -1;
}

void TSHDataItem::ReplaceIDLists(IDList relativeID, IDList absoluteID) {
    FreeIDList(relativeID_);
    FreeIDList(absoluteID_);
    relativeID_ = relativeID;
    absoluteID_ = absoluteID;
    displayName_.clear();
    ResetIconCache();
}

void TSHDataItem::SetAbsoluteID(IDList absoluteID) {
    if (absoluteID == absoluteID_) return;
    FreeIDList(absoluteID_);
    absoluteID_ = absoluteID;
}

void TSHDataItem::SetCachedParentID(IDList parentID) {
    FreeIDList(parentID_);
    parentID_ = parentID;
}

// ---------------------------------------------------------------------------

TSHFolderItem::TSHFolderItem(IDList relativeID, IDList absoluteID, TSHFolderNode* node)
    : TSHDataItem(relativeID, absoluteID), node_(node) {}

int TSHFolderItem::GetIndex() const { return node_ ? node_->AbsoluteIndex() : -1; }

int TSHFolderItem::GetLevel() const { return IDListLevel(AbsoluteID()); }

ConstIDList TSHFolderItem::GetParentIDList() {
    if (!CachedParentID()) {
        IDList parent = nullptr;
        if (GetLevel() == 1)
            GetSpecialFolderIDList(sfDesktop, parent);
        else
            parent = ParentIDList(AbsoluteID());
        SetCachedParentID(parent);
    }
    return CachedParentID();
}

bool TSHFolderItem::Rename(const QString& newName) {
    const ShellFolderPtr folder = GetParentFolder();
    bool renamed = false;
    if (folder && HasAttribute(saCanRename)) {
        QWidget* window = node_ ? node_->TreeWindow() : nullptr;
        platform::UniqueIDList newItem = folder->SetNameOf(window, RelativeID(), newName);
        if (newItem) {
            renamed = true;
            IDList absolute =
                GetLevel() == 1 ? CopyIDList(newItem.get()) : ConcatIDList(GetParentIDList(), newItem.get());
            ReplaceIDLists(newItem.release(), absolute);
            if (node_) {
                const bool expanded = node_->IsExpanded();
                node_->DeleteChildren();
                node_->SortSiblings();
                node_->Populate();
                if (expanded) node_->SetExpanded(true);
            }
        }
    }
    if (node_) node_->SetText(GetDisplayName());
    return renamed;
}
