#include "shell/shell_id_list.h"

#include "platform/file_clipboard.h"
#include "platform/shell_context_menu.h"

namespace {

void FreeOwned(ConstIDList list) {
    IDList owned = const_cast<IDList>(list);
    FreeIDList(owned);
}

// The precondition attribute of each verb, or none.
std::optional<TShAttribute> RequiredAttribute(TShVerbKind kind) {
    switch (kind) {
        case vkCut: return saCanDelete;
        case vkCopy: return saCanCopy;
        case vkPaste: return saFileSystem;
        case vkCreateShortcut: return saCanLink;
        case vkDelete: return saCanDelete;
        case vkProperties: return saHasPropSheet;
        case vkOpen: break;
    }
    return std::nullopt;
}

int CommandOf(TShVerbKind kind) {
    switch (kind) {
        case vkOpen: return platform::kCommandOpen;
        case vkCut: return platform::kCommandCut;
        case vkCopy: return platform::kCommandCopy;
        case vkPaste: return platform::kCommandPaste;
        case vkCreateShortcut: return platform::kCommandCreateLink;
        case vkDelete: return platform::kCommandDelete;
        case vkProperties: return platform::kCommandProperties;
    }
    return -1;
}

bool Holds(std::uint32_t bits, TShAttribute attribute) {
    const std::uint32_t mask = ShAttributeMask(attribute);
    return (bits & mask) == mask;
}

int verbsRunning = 0;

}  // namespace

bool ShellVerbRunning() { return verbsRunning > 0; }

TShellVerbRunning::TShellVerbRunning() { ++verbsRunning; }

TShellVerbRunning::~TShellVerbRunning() { --verbsRunning; }

bool ClipboardOffersFiles() { return platform::CanPasteFiles(); }

TSHIDList::~TSHIDList() { Clear(); }

void TSHIDList::SetParent(ConstIDList parent) {
    if (owning_ && parent_ != parent) FreeOwned(parent_);
    parent_ = parent;
}

void TSHIDList::Add(ConstIDList item) {
    if (item) items_.push_back(item);
}

void TSHIDList::Clear() {
    if (owning_) {
        for (ConstIDList item : items_) FreeOwned(item);
        FreeOwned(parent_);
    }
    items_.clear();
    parent_ = nullptr;
}

ConstIDList TSHIDList::Item(int index) const {
    return index >= 0 && index < Count() ? items_[static_cast<std::size_t>(index)] : nullptr;
}

ShellFolderPtr TSHIDList::Folder() const {
    if (!parent_) return nullptr;
    return ParentLevel() == 0 ? GetDesktopFolder() : GetDesktopFolder()->BindToObject(parent_);
}

std::uint32_t TSHIDList::Attributes() const {
    const ShellFolderPtr folder = Folder();
    if (!folder || items_.empty()) return 0;
    return folder->GetAttributesOf(items_, platform::kCapabilityMask).value_or(0);
}

bool TSHIDList::HasAttribute(TShAttribute attribute) const {
    const ShellFolderPtr folder = Folder();
    if (!folder || items_.empty()) return false;
    const std::uint32_t mask = ShAttributeMask(attribute);
    const std::optional<std::uint32_t> bits = folder->GetAttributesOf(items_, mask);
    return bits && (*bits & mask) == mask;
}

bool TSHIDList::HasAttribute(int index, TShAttribute attribute) const {
    const ShellFolderPtr folder = Folder();
    const ConstIDList item = Item(index);
    if (!folder || !item) return false;
    const std::uint32_t mask = ShAttributeMask(attribute);
    const std::optional<std::uint32_t> bits = folder->GetAttributesOf(item, mask);
    return bits && (*bits & mask) == mask;
}

QString TSHIDList::Path(int index) const {
    TIDListHolder absolute(ConcatIDList(parent_, Item(index)));
    QString path;
    PathFromIDList(absolute.get(), path);
    return path;
}

std::string TSHIDList::NativePath(int index) const {
    TIDListHolder absolute(ConcatIDList(parent_, Item(index)));
    std::string path;
    NativePathFromIDList(absolute.get(), path);
    return path;
}

bool TSHIDList::RunVerb(QWidget* owner, int verbKind, std::optional<std::uint32_t> knownAttributes,
                        bool* removedItems) const {
    if (removedItems) *removedItems = false;
    if (verbKind < vkOpen || verbKind > vkProperties || items_.empty() || ShellVerbRunning()) return false;
    const auto kind = static_cast<TShVerbKind>(verbKind);
    // Delete asks first and judges each item afterwards, while it works:
    // its question comes at once, however many items there are.
    const std::optional<TShAttribute> required = kind == vkDelete ? std::nullopt : RequiredAttribute(kind);
    if (required && !(knownAttributes ? Holds(*knownAttributes, *required) : HasAttribute(*required))) return false;
    if (kind == vkPaste && !ClipboardOffersFiles()) return false;
    const ShellFolderPtr folder = Folder();
    if (!folder) return false;
    const std::unique_ptr<platform::ShellContextMenu> menu = folder->GetContextMenu(owner, items_);
    if (!menu) return false;
    const TShellVerbRunning running;
    const bool done = menu->InvokeCommand(owner, CommandOf(kind), knownAttributes);
    if (removedItems) *removedItems = menu->RemovedItems();
    return done;
}
