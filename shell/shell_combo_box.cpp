#include "shell/shell_combo_box.h"

#include <algorithm>

#include <QDragEnterEvent>
#include <QMimeData>
#include <QPainter>
#include <QScopedValueRollback>
#include <QStyledItemDelegate>
#include <QStylePainter>

#include "platform/shell_data_object.h"
#include "platform/shell_drop_target.h"
#include "shell/shell_drag_object.h"
#include "shell/shell_drop_support.h"
#include "shell/shell_tree_view.h"

namespace {

constexpr int kTextGap = 4;


// Draws an entry: its icon at the indentation and its text after it, the
// text's rectangle alone filled when selected.
void DrawEntry(QPainter& painter, const QRect& rect, const QPalette& palette, TSHComboItem& entry, const QString& text,
               int indent, bool selected, bool focused) {
    const QIcon icon = GetSysImageList(false).Icon(selected ? entry.GetSelectedIndex() : entry.GetIconIndex());
    const int iconSize = GetSysImageList(false).IconSize();
    const QRect iconRect(rect.left() + indent, rect.top() + (rect.height() - iconSize) / 2, iconSize, iconSize);
    icon.paint(&painter, iconRect, Qt::AlignCenter, selected ? QIcon::Selected : QIcon::Normal);
    const int textLeft = iconRect.right() + 1 + kTextGap;
    const int textWidth = painter.fontMetrics().horizontalAdvance(text) + 2;
    const QRect textRect(textLeft - 1, rect.top(), textWidth, rect.height());
    if (selected) painter.fillRect(textRect, palette.highlight());
    painter.setPen(selected ? palette.highlightedText().color() : palette.text().color());
    painter.drawText(textRect, Qt::AlignVCenter | Qt::AlignHCenter, text);
    if (focused) {
        painter.setPen(QPen(palette.text().color(), 1, Qt::DotLine));
        painter.drawRect(textRect.adjusted(0, 0, -1, -1));
    }
}

// Draws the entries of the drop-down list, indented by level.
class TComboEntryDelegate : public QStyledItemDelegate {
public:
    explicit TComboEntryDelegate(TSHComboBox* combo) : QStyledItemDelegate(combo), combo_(combo) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        TSHComboItem* entry = combo_->Entry(index.row());
        if (!entry) {
            painter->fillRect(option.rect, option.palette.base());
            return;
        }
        painter->save();
        painter->fillRect(option.rect, option.palette.base());
        const bool selected = (option.state & QStyle::State_Selected) != 0;
        DrawEntry(*painter, option.rect, option.palette, *entry, entry->GetDisplayName(),
                  entry->GetLevel() * TSHComboBox::kIndentPerLevel, selected, (option.state & QStyle::State_HasFocus) != 0);
        painter->restore();
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const QSize size = QStyledItemDelegate::sizeHint(option, index);
        return QSize(size.width(), combo_->ItemHeight());
    }

private:
    TSHComboBox* combo_;
};

}  // namespace

// ---------------------------------------------------------------------------
// Entries

TSHComboItem::TSHComboItem(TSHComboBox* owner, IDList relativeID, IDList absoluteID, TSHComboItem* parent,
                           bool temporary)
    : TSHDataItem(relativeID, absoluteID), owner_(owner), parent_(parent), temporary_(temporary) {}

int TSHComboItem::GetIndex() const { return owner_->IndexOf(this); }

ConstIDList TSHComboItem::GetParentIDList() {
    if (!CachedParentID()) {
        IDList parent = GetLevel() == 1 ? nullptr : ParentIDList(AbsoluteID());
        if (!parent) GetSpecialFolderIDList(sfDesktop, parent);
        SetCachedParentID(parent);
    }
    return CachedParentID();
}

// ---------------------------------------------------------------------------
// Construction and binding

TSHComboBox::TSHComboBox(QWidget* parent) : QComboBox(parent) {
    setItemDelegate(new TComboEntryDelegate(this));
    setIconSize(QSize(GetSysImageList(false).IconSize(), GetSysImageList(false).IconSize()));
    setMaxVisibleItems(20);
    setAcceptDrops(true);
    connect(this, &QComboBox::activated, this, &TSHComboBox::EntryPicked);
    RebuildList();
}

TSHComboBox::~TSHComboBox() {
    if (tree_ && tree_->ShellComboBox() == this) tree_->SetShellComboBox(nullptr);
}

void TSHComboBox::SetShellTreeView(TSHTreeView* tree) { tree_ = tree; }

int TSHComboBox::ItemHeight() const { return std::max(fontMetrics().height(), kMinItemHeight); }

TSHComboItem* TSHComboBox::Entry(int index) const {
    return index >= 0 && index < EntryCount() ? entries_[static_cast<std::size_t>(index)].get() : nullptr;
}

int TSHComboBox::IndexOf(const TSHComboItem* entry) const {
    for (int i = 0; i < EntryCount(); ++i)
        if (entries_[static_cast<std::size_t>(i)].get() == entry) return i;
    return -1;
}

ConstIDList TSHComboBox::CurrentIDList() const {
    const TSHComboItem* entry = Entry(currentIndex());
    return entry ? entry->AbsoluteID() : nullptr;
}

QString TSHComboBox::EditText(TSHComboItem* entry) const {
    if (!entry) return QString();
    const QString path = entry->GetLevel() == 0 ? QString() : entry->GetPath();
    return path.isEmpty() ? entry->GetDisplayName() : path;
}

// ---------------------------------------------------------------------------
// The flattened tree

void TSHComboBox::InsertEntry(int index, std::unique_ptr<TSHComboItem> entry) {
    QScopedValueRollback guard(pointing_, true);
    entries_.insert(entries_.begin() + index, std::move(entry));
    insertItem(index, QString());
}

void TSHComboBox::RemoveEntry(int index) {
    QScopedValueRollback guard(pointing_, true);
    removeItem(index);
    entries_.erase(entries_.begin() + index);
}

int TSHComboBox::EndOfDescendants(int index) const {
    const int level = Entry(index)->GetLevel();
    int end = index + 1;
    while (end < EntryCount() && Entry(end)->GetLevel() > level) ++end;
    return end;
}

void TSHComboBox::RemoveDescendants(int index) {
    for (int end = EndOfDescendants(index); end > index + 1; --end) RemoveEntry(end - 1);
}

void TSHComboBox::RemoveTemporaries() {
    for (int i = EntryCount() - 1; i >= 0; --i)
        if (Entry(i)->Temporary()) RemoveEntry(i);
}

std::vector<int> TSHComboBox::ChildrenOf(int index) const {
    std::vector<int> children;
    const TSHComboItem* parent = Entry(index);
    for (int i = index + 1; i < EndOfDescendants(index); ++i)
        if (Entry(i)->Parent() == parent) children.push_back(i);
    return children;
}

bool TSHComboBox::KeepsChild(TSHComboItem* parent, TSHComboItem& child) const {
    return ShellControlsShowChild(virtuaItems_, *parent, child);
}

std::vector<std::unique_ptr<TSHComboItem>> TSHComboBox::EnumerateChildren(int index) {
    std::vector<std::unique_ptr<TSHComboItem>> items;
    TSHComboItem* parent = Entry(index);
    const ShellFolderPtr folder = BindToFolder(parent->AbsoluteID());
    const auto enumerator =
        folder ? folder->EnumObjects(SHCONTF_FOLDERS | (includeHidden_ ? SHCONTF_INCLUDEHIDDEN : 0u)) : nullptr;
    if (!enumerator) return items;
    const bool underDesktop = parent->GetLevel() == 0;
    while (platform::UniqueIDList relative = enumerator->Next()) {
        IDList absolute = underDesktop ? CopyIDList(relative.get()) : ConcatIDList(parent->AbsoluteID(), relative.get());
        auto entry = std::make_unique<TSHComboItem>(this, relative.release(), absolute, parent, ready_);
        if (KeepsChild(parent, *entry)) items.push_back(std::move(entry));
    }
    std::stable_sort(items.begin(), items.end(), [&folder](const auto& a, const auto& b) {
        return folder->CompareIDs(0, a->RelativeID(), b->RelativeID()).value_or(0) < 0;
    });
    return items;
}

void TSHComboBox::MergeChildren(int index) {
    std::vector<std::unique_ptr<TSHComboItem>> items = EnumerateChildren(index);
    const ShellFolderPtr folder = BindToFolder(Entry(index)->AbsoluteID());
    std::size_t next = 0;
    std::vector<int> children = ChildrenOf(index);
    std::size_t child = 0;
    while (child < children.size() && next < items.size()) {
        const int position = children[child];
        switch (CompareIDList(folder, Entry(position)->RelativeID(), items[next]->RelativeID())) {
            case 0:
                ++next;
                ++child;
                break;
            case 1:
                InsertEntry(position, std::move(items[next++]));
                children = ChildrenOf(index);
                ++child;
                break;
            default:
                RemoveDescendants(position);
                RemoveEntry(position);
                children = ChildrenOf(index);
                break;
        }
    }
    for (; child < children.size(); children = ChildrenOf(index)) {
        RemoveDescendants(children[child]);
        RemoveEntry(children[child]);
    }
    for (; next < items.size(); ++next) InsertEntry(EndOfDescendants(index), std::move(items[next]));
}

void TSHComboBox::RebuildList() {
    ready_ = false;
    const QSignalBlocker blocker(this);
    RemoveTemporaries();
    if (entries_.empty()) {
        IDList desktop = nullptr;
        IDList desktopDirectory = nullptr;
        GetSpecialFolderIDList(sfDesktop, desktop);
        GetSpecialFolderIDList(sfDesktopDirectory, desktopDirectory);
        InsertEntry(0, std::make_unique<TSHComboItem>(this, desktopDirectory, desktop, nullptr, false));
    }
    MergeChildren(0);
    const std::vector<int> places = ChildrenOf(0);
    if (!places.empty()) MergeChildren(places.front());
    if (currentIndex() < 0) SetCurrentQuietly(0);
    ready_ = true;
    update();
}

// ---------------------------------------------------------------------------
// Pointing

int TSHComboBox::ChildMatching(int parent, ConstIDList item) {
    const ShellFolderPtr folder = BindToFolder(Entry(parent)->AbsoluteID());
    for (const int child : ChildrenOf(parent))
        if (CompareIDList(folder, Entry(child)->RelativeID(), item) == 0) return child;
    return -1;
}

// A place missing from the list is shown by a temporary entry at its
// sorted place among its siblings.
int TSHComboBox::InsertTemporary(int parent, ConstIDList item) {
    TSHComboItem* parentEntry = Entry(parent);
    const ShellFolderPtr folder = BindToFolder(parentEntry->AbsoluteID());
    int position = EndOfDescendants(parent);
    for (const int child : ChildrenOf(parent))
        if (CompareIDList(folder, Entry(child)->RelativeID(), item) == 1) {
            position = child;
            break;
        }
    IDList absolute = parentEntry->GetLevel() == 0 ? CopyIDList(item) : ConcatIDList(parentEntry->AbsoluteID(), item);
    InsertEntry(position, std::make_unique<TSHComboItem>(this, CopyIDList(item), absolute, parentEntry, true));
    return position;
}

int TSHComboBox::Locate(ConstIDList absolute) {
    if (EntryCount() == 0) return -1;
    int entry = 0;
    for (ConstIDList rest = absolute; IDListItemSize(rest) > 0; rest = IDListNext(rest)) {
        TIDListHolder item(CopyFirstItem(rest));
        int child = ChildMatching(entry, item.get());
        // A drive mounted or a place added since the last rebuild.
        if (child < 0 && (Entry(entry)->GetLevel() == 0 || Entry(entry)->GetItemType() == itMyComputer)) {
            MergeChildren(entry);
            child = ChildMatching(entry, item.get());
        }
        entry = child >= 0 ? child : InsertTemporary(entry, item.get());
    }
    return entry;
}

void TSHComboBox::SetCurrentQuietly(int index) {
    QScopedValueRollback guard(pointing_, true);
    setCurrentIndex(index);
}

void TSHComboBox::PointAt(ConstIDList absolute) {
    const TSHComboItem* current = Entry(currentIndex());
    if (!ready_ || !absolute || !current || !current->IsValid()) return;
    if (IDListLevel(current->AbsoluteID()) == IDListLevel(absolute) &&
        CompareIDList(GetDesktopFolder(), current->AbsoluteID(), absolute) == 0)
        return;
    RemoveTemporaries();
    const int index = Locate(absolute);
    SetCurrentQuietly(index >= 0 ? index : 0);
    update();
}

void TSHComboBox::RetitleEntry(ConstIDList absolute, const QString& text) {
    for (const auto& entry : entries_)
        if (platform::SameIDList(entry->AbsoluteID(), absolute)) {
            entry->ResetIconCache();
            entry->SetCachedDisplayName(text);
        }
    update();
}

void TSHComboBox::EntryPicked(int index) {
    TSHComboItem* entry = Entry(index);
    if (pointing_ || !entry || !entry->IsValid()) return;
    const TSHComboItem* next = Entry(index + 1);
    if (entry->Temporary() && next && next->Temporary() && next->Parent() == entry)
        RemoveDescendants(index);
    else if (!entry->Temporary())
        RemoveTemporaries();
    IDList target = CopyIDList(entry->AbsoluteID());
    SetCurrentQuietly(std::max(0, IndexOf(entry)));
    if (tree_) tree_->SelectIDList(target);
    FreeIDList(target);
}

// ---------------------------------------------------------------------------
// Drawing

void TSHComboBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    option.currentText.clear();
    option.currentIcon = QIcon();
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    TSHComboItem* entry = ready_ ? Entry(currentIndex()) : nullptr;
    if (!entry) return;
    const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    painter.setClipRect(field);
    DrawEntry(painter, field, palette(), *entry, EditText(entry), 0, hasFocus(), hasFocus());
}

// ---------------------------------------------------------------------------
// Drop target: the current entry's folder

void TSHComboBox::dragEnterEvent(QDragEnterEvent* event) {
    rightButtonDrag_ = (event->buttons() & Qt::RightButton) != 0;
    dragObject_ = EnterShellDrag(this, OnShDragEnter, event);
    if (!dragObject_) return;
    event->acceptProposedAction();
}

void TSHComboBox::dragMoveEvent(QDragMoveEvent* event) {
    if (!dragObject_) {
        event->ignore();
        return;
    }
    TSHComboItem* entry = Entry(currentIndex());
    const unsigned effect = entry ? ProbeDrop(*entry, this, event->mimeData(), DropKeyState(event->modifiers(), event->buttons()),
                                              DropEffects(event->possibleActions()))
                                  : platform::kDropEffectNone;
    const QPoint pos = event->position().toPoint();
    if (OnShDragOver)
        OnShDragOver(this, dragObject_.get(), entry, ShiftStateOf(event->modifiers(), event->buttons()),
                     pos.x(), pos.y());
    if (effect == platform::kDropEffectNone) {
        event->ignore();
        return;
    }
    event->setDropAction(DropActionOf(effect));
    event->accept();
}

void TSHComboBox::dragLeaveEvent(QDragLeaveEvent* event) {
    if (OnShDragLeave) OnShDragLeave(this);
    dragObject_.reset();
    event->accept();
}

void TSHComboBox::dropEvent(QDropEvent* event) {
    std::unique_ptr<TSHDragObject> dragObject = std::move(dragObject_);
    TSHComboItem* entry = Entry(currentIndex());
    if (!dragObject || !entry) {
        event->ignore();
        return;
    }
    const QPoint pos = event->position().toPoint();
    bool defaultAction = true;
    if (OnShDragDrop)
        OnShDragDrop(this, dragObject.get(), entry, ShiftStateOf(event->modifiers(), event->buttons()), pos.x(), pos.y(),
                     defaultAction);
    unsigned effect = platform::kDropEffectNone;
    if (defaultAction) {
        const unsigned started = rightButtonDrag_ ? platform::kKeyRightButton : platform::kKeyLeftButton;
        effect = CarryDrop(*entry, this, event->mimeData(), DropKeyState(event->modifiers(), event->buttons()), started,
                           DropEffects(event->possibleActions()));
    }
    if (effect == platform::kDropEffectNone) {
        event->ignore();
        return;
    }
    event->setDropAction(DropActionOf(effect));
    event->accept();
}
