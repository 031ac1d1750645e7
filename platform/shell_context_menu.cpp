#include "platform/shell_context_menu.h"

#include <algorithm>

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>

#include "platform/desktop_services.h"
#include "platform/file_clipboard.h"
#include "platform/file_operations.h"
#include "platform/shell_data_object.h"
#include "platform/trash.h"
#include "platform/work_beside_events.h"

namespace platform {
namespace {

// Up to this many items are described on the calling thread.
constexpr std::size_t kItemsOnTheSpot = 2000;

ShellMenuEntry Separator() { return ShellMenuEntry{-1, QString(), true, false}; }

ShellMenuEntry Command(int command, bool enabled = true, bool isDefault = false) {
    return ShellMenuEntry{command, ShellContextMenu::CommandText(command), enabled, isDefault};
}

// Separators only between groups, never leading, trailing or doubled.
std::vector<ShellMenuEntry> Tidy(std::vector<ShellMenuEntry> entries) {
    std::vector<ShellMenuEntry> tidy;
    for (ShellMenuEntry& entry : entries) {
        const bool separator = entry.command < 0;
        if (separator && (tidy.empty() || tidy.back().command < 0)) continue;
        tidy.push_back(std::move(entry));
    }
    if (!tidy.empty() && tidy.back().command < 0) tidy.pop_back();
    return tidy;
}

bool IsFolderLike(ShellPlace place) {
    return place == ShellPlace::Home || place == ShellPlace::Drive || place == ShellPlace::FileSystem;
}

}  // namespace

// A menu may be made for 100,000 items: their bytes are copied into one
// buffer, which the worker that describes them reads, whatever happens to
// the caller's items meanwhile.
ShellContextMenu::ShellContextMenu(std::shared_ptr<const ShellFolder> folder,
                                   const std::vector<const ItemIDList*>& items)
    : folder_(std::move(folder)) {
    starts_.reserve(items.size());
    for (const ItemIDList* item : items) {
        starts_.push_back(bytes_.size());
        const std::uint8_t* first = IDListBytes(item);
        bytes_.insert(bytes_.end(), first, first + ItemSize(item));
        bytes_.insert(bytes_.end(), {0, 0});
    }
}

bool ShellContextMenu::ItemsKnown() const {
    bool known = false;
    WorkOnItems([this, &known] {
        known = std::none_of(Items().begin(), Items().end(),
                             [](const ShellItem& item) { return item.place == ShellPlace::Invalid; });
    });
    return known;
}

const std::vector<ShellItem>& ShellContextMenu::Items() const {
    if (described_.size() != Count()) {
        described_.clear();
        described_.reserve(Count());
        for (std::size_t i = 0; i < Count(); ++i) described_.push_back(folder_->Describe(Item(i)));
    }
    return described_;
}

void ShellContextMenu::WorkOnItems(const std::function<void()>& work) const {
    if (Count() > kItemsOnTheSpot)
        RunBesideEvents({work});
    else
        work();
}

const ItemIDList* ShellContextMenu::Item(std::size_t index) const { return IDListAt(bytes_.data() + starts_[index]); }

std::vector<const ItemIDList*> ShellContextMenu::ItemList() const {
    std::vector<const ItemIDList*> items;
    items.reserve(Count());
    for (std::size_t i = 0; i < Count(); ++i) items.push_back(Item(i));
    return items;
}

QString ShellContextMenu::CommandText(int command) {
    switch (command) {
        case kCommandOpen: return QStringLiteral("開く(&O)");
        case kCommandRestore: return QStringLiteral("元に戻す(&E)");
        case kCommandEmptyTrash: return QStringLiteral("ごみ箱を空にする(&B)");
        case kCommandCreateLink: return QStringLiteral("ショートカットの作成(&S)");
        case kCommandDelete: return QStringLiteral("削除(&D)");
        case kCommandRename: return QStringLiteral("名前の変更(&M)");
        case kCommandProperties: return QStringLiteral("プロパティ(&R)");
        case kCommandCut: return QStringLiteral("切り取り(&T)");
        case kCommandCopy: return QStringLiteral("コピー(&C)");
        case kCommandPaste: return QStringLiteral("貼り付け(&P)");
        default: return QString();
    }
}

QString ShellContextMenu::GetCommandString(int command) const {
    switch (command) {
        case kCommandOpen: return QStringLiteral("選択された項目を開きます。");
        case kCommandRestore: return QStringLiteral("選択された項目を元の場所に戻します。");
        case kCommandEmptyTrash: return QStringLiteral("ごみ箱の中身をすべて完全に削除します。");
        case kCommandCreateLink: return QStringLiteral("選択された項目へのショートカットを作成します。");
        case kCommandDelete: return QStringLiteral("選択された項目を削除します。");
        case kCommandRename: return QStringLiteral("選択された項目の名前を変更します。");
        case kCommandProperties: return QStringLiteral("選択された項目のプロパティを表示します。");
        case kCommandCut: return QStringLiteral("選択された項目を移動するためにクリップボードに置きます。");
        case kCommandCopy: return QStringLiteral("選択された項目をクリップボードにコピーします。");
        case kCommandPaste: return QStringLiteral("クリップボードの項目をここに貼り付けます。");
        default: return QString();
    }
}

std::vector<std::string> ShellContextMenu::Paths() const {
    std::vector<std::string> paths;
    for (const ShellItem& item : Items())
        if (!item.path.empty()) paths.push_back(item.path);
    return paths;
}

bool ShellContextMenu::AllAre(ShellPlace place) const {
    if (Count() == 0) return false;
    for (const ShellItem& item : Items())
        if (item.place != place) return false;
    return true;
}

std::uint32_t ShellContextMenu::Attributes(std::uint32_t request) const {
    return folder_->GetAttributesOf(ItemList(), request).value_or(0);
}

std::vector<ShellMenuEntry> ShellContextMenu::Entries(unsigned flags,
                                                      std::optional<std::uint32_t> knownAttributes) const {
    std::vector<ShellMenuEntry> entries;
    if (Count() == 0) return entries;
    const std::vector<ShellItem>& items = Items();
    const bool single = items.size() == 1;
    if (AllAre(ShellPlace::TrashEntry)) {
        entries = {Command(kCommandRestore, true, true), Separator(), Command(kCommandDelete),
                   Separator(), Command(kCommandProperties, single)};
    } else if (single && items[0].place == ShellPlace::Trash) {
        entries = {Command(kCommandEmptyTrash, !ListTrash().empty(), true)};
    } else {
        bool allPaths = true;
        for (const ShellItem& item : items) allPaths = allPaths && !item.path.empty();
        if (!allPaths) return entries;
        const std::uint32_t bits = knownAttributes ? *knownAttributes : Attributes(kCapabilityMask | kFolder);
        const bool pasteTarget = single && IsFolderLike(items[0].place) && (bits & kFolder);
        const bool changeable = items[0].place == ShellPlace::FileSystem;
        entries.push_back(Command(kCommandOpen, true, true));
        entries.push_back(Separator());
        if (changeable) entries.push_back(Command(kCommandCut, (bits & kCanDelete) != 0));
        entries.push_back(Command(kCommandCopy, (bits & kCanCopy) != 0));
        if (pasteTarget) entries.push_back(Command(kCommandPaste, CanPasteFiles()));
        entries.push_back(Separator());
        entries.push_back(Command(kCommandCreateLink, (bits & kCanLink) != 0));
        if (changeable) entries.push_back(Command(kCommandDelete, (bits & kCanDelete) != 0));
        if ((flags & kMenuCanRename) && changeable)
            entries.push_back(Command(kCommandRename, single && (bits & kCanRename) != 0));
        entries.push_back(Separator());
        entries.push_back(Command(kCommandProperties, (bits & kHasPropSheet) != 0));
    }
    if (flags & kMenuDefaultOnly) {
        std::vector<ShellMenuEntry> defaults;
        for (ShellMenuEntry& entry : entries)
            if (entry.isDefault) defaults.push_back(std::move(entry));
        return defaults;
    }
    return Tidy(std::move(entries));
}

int ShellContextMenu::QueryContextMenu(QMenu* menu, int position, int firstId, int lastId, unsigned flags) const {
    if (!menu) return 0;
    const QList<QAction*> existing = menu->actions();
    QAction* before = position >= 0 && position < existing.size() ? existing[position] : nullptr;
    int highest = -1;
    for (const ShellMenuEntry& entry : Entries(flags)) {
        if (entry.command < 0) {
            QAction* separator = new QAction(menu);
            separator->setSeparator(true);
            menu->insertAction(before, separator);
            continue;
        }
        const int id = firstId + entry.command;
        if (id > lastId) continue;
        QAction* action = new QAction(entry.text, menu);
        action->setData(id);
        action->setEnabled(entry.enabled);
        action->setStatusTip(GetCommandString(entry.command));
        if (entry.isDefault) {
            QFont font = action->font();
            font.setBold(true);
            action->setFont(font);
        }
        menu->insertAction(before, action);
        highest = std::max(highest, entry.command);
    }
    return highest + 1;
}

bool ShellContextMenu::PutOnClipboard(bool cut) const {
    std::vector<std::string> paths;
    QByteArray array;
    WorkOnItems([this, &paths, &array] {
        paths = Paths();
        array = EncodeIDListArray(folder_->AbsoluteIDList(), ItemList());
    });
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (paths.empty() || !clipboard) return false;
    std::unique_ptr<QMimeData> data = MakeFileMimeData(std::move(paths), cut);
    data->setData(ShellIDListArrayMime(), array);
    clipboard->setMimeData(data.release());
    return true;
}

bool ShellContextMenu::Paste(QWidget* owner) const {
    const std::vector<std::string> paths = Paths();
    if (paths.size() != 1 || !CanPasteFiles()) return false;
    return PasteFiles(paths.front(), owner).Succeeded();
}

std::vector<TrashItem> ShellContextMenu::TrashEntries() const {
    std::vector<TrashItem> entries;
    for (const ShellItem& item : Items())
        if (auto entry = TrashItemOf(item)) entries.push_back(*entry);
    return entries;
}

// Looks at the items' names only: whether each may go is judged after the
// question, while the items are moved.
bool ShellContextMenu::Delete(QWidget* owner) const {
    if (AllAre(ShellPlace::TrashEntry)) {
        const std::vector<TrashItem> entries = TrashEntries();
        if (entries.empty()) return false;
        // Erasing tells only whether every entry went: some may have.
        removedItems_ = true;
        return EraseTrashItems(entries, owner, true);
    }
    std::vector<std::string> paths;
    bool fileSystem = true;
    WorkOnItems([this, &paths, &fileSystem] {
        paths.reserve(Count());
        for (const ShellItem& item : Items()) {
            fileSystem = fileSystem && item.place == ShellPlace::FileSystem;
            if (fileSystem) paths.push_back(item.path);
        }
    });
    if (!fileSystem) return false;
    const TrashResult result = MoveToTrash(paths, owner, true);
    removedItems_ = !result.trashed.empty() || !result.erased.empty();
    return result.Succeeded();
}

bool ShellContextMenu::Restore(QWidget* owner) const {
    const std::vector<TrashItem> entries = AllAre(ShellPlace::TrashEntry) ? TrashEntries() : std::vector<TrashItem>();
    return !entries.empty() && RestoreTrashItems(entries, owner);
}

bool ShellContextMenu::InvokeCommand(QWidget* owner, int command, std::optional<std::uint32_t> knownAttributes) const {
    removedItems_ = false;
    // Offering delete means looking at every item; Delete checks what
    // it needs itself, after its question.
    bool offered = command == kCommandDelete;
    if (!offered)
        for (const ShellMenuEntry& entry : Entries(kMenuCanRename, knownAttributes))
            if (entry.command == command && entry.enabled) offered = true;
    if (!offered) return false;
    switch (command) {
        case kCommandOpen: {
            bool opened = false;
            for (const std::string& path : Paths()) opened = OpenWithDefaultApplication(path, owner) || opened;
            return opened;
        }
        case kCommandCut: return PutOnClipboard(true);
        case kCommandCopy: return PutOnClipboard(false);
        case kCommandPaste: return Paste(owner);
        case kCommandCreateLink: return !CreateShortcuts(Paths(), owner).empty();
        case kCommandDelete: return Delete(owner);
        case kCommandProperties: return ShowProperties(Paths(), owner) != nullptr;
        case kCommandRestore: return Restore(owner);
        case kCommandEmptyTrash: return EmptyTrash(owner, true);
        default: return false;
    }
}

std::unique_ptr<ShellContextMenu> ShellFolder::GetContextMenu(QWidget* /*owner*/,
                                                               std::vector<const ItemIDList*> items) const {
    if (items.empty()) return nullptr;
    auto self = std::make_shared<ShellFolder>(place_, path_, CopyItemIDList(absolute_.get()));
    auto menu = std::make_unique<ShellContextMenu>(std::move(self), items);
    return menu->ItemsKnown() ? std::move(menu) : nullptr;
}

std::unique_ptr<QMimeData> ShellFolder::GetDataObject(std::span<const ItemIDList* const> items) const {
    if (items.empty()) return nullptr;
    for (const ItemIDList* item : items)
        if (Describe(item).place == ShellPlace::Invalid) return nullptr;
    return MakeShellDataObject(absolute_.get(), items);
}

}  // namespace platform
