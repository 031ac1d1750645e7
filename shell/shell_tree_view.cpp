#include "shell/shell_tree_view.h"

#include <algorithm>
#include <map>

#include <QDir>
#include <QDrag>
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTimer>

#include "platform/inotify_watch.h"
#include "platform/file_mask_match.h"
#include "platform/shell_data_object.h"
#include "platform/shell_drop_target.h"
#include "platform/shell_icons.h"
#include "platform/path_text.h"
#include "shell/shell_combo_box.h"
#include "shell/shell_ctrl_list.h"
#include "shell/shell_drag_object.h"
#include "shell/shell_drop_support.h"
#include "shell/shell_list_view.h"
#include "shell/shell_notify.h"
#include "shell/shell_popup_menu.h"

namespace {

constexpr int kDragDistance = 5;
constexpr int kHoverExpandCount = 30;
constexpr int kChangesRetryMs = 300;
constexpr std::uint32_t kDragAttributes = platform::kCanCopy | platform::kCanMove | platform::kCanLink;
// A reading silent this long is taken for a file system that does not
// answer; how often that is looked at.
constexpr std::chrono::milliseconds kAnswerTime{1000};
constexpr std::chrono::milliseconds kAnswerCheck{250};

QString NotAnsweringText() { return QStringLiteral("応答がありません"); }

// The folder of a node as its list describes it, without asking the disk
// (which may not answer): for naming and ordering the node's children.
ShellFolderPtr FolderOfNode(const TSHTreeNode* node) {
    const ConstIDList absolute = node ? node->Item()->AbsoluteID() : nullptr;
    if (!absolute) return nullptr;
    if (platform::IsEmptyIDList(absolute)) return GetDesktopFolder();
    return GetDesktopFolder()->DescribedFolder(absolute);
}

// The folder that names a node's item: the desktop for the root and its
// children, else the parent node's folder.
ShellFolderPtr ParentFolderOfNode(const TSHTreeNode* node) {
    const TSHTreeNode* parent = node->ParentNode();
    return parent ? FolderOfNode(parent) : GetDesktopFolder();
}

ConstIDList ItemInFolder(const TSHTreeNode* node) {
    return node->ParentNode() ? node->Item()->RelativeID() : node->Item()->AbsoluteID();
}

// The order of the tree: that of the folder's first column.
int Order(const ShellFolderPtr& folder, ConstIDList a, ConstIDList b) {
    return folder->CompareIDs(0, a, b).value_or(0);
}

// The first row of node's children from row low on whose item does not
// sort before item.
int ChildPosition(const TSHTreeNode* node, const ShellFolderPtr& folder, ConstIDList item, int low = 0) {
    int high = node->childCount();
    if (!folder) return high;
    // A run of neighbours all goes to the same place: one look settles it.
    if (low < high && Order(folder, node->ChildNode(low)->Item()->RelativeID(), item) >= 0) return low;
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (Order(folder, node->ChildNode(middle)->Item()->RelativeID(), item) < 0)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

bool IsInside(const TSHTreeNode* node, const TSHTreeNode* ancestor) {
    for (const TSHTreeNode* walk = node; walk; walk = walk->ParentNode())
        if (walk == ancestor) return true;
    return false;
}

// The small icon with its overlay emblem (shared, link) drawn over its
// lower left corner; composed once per pair.
QIcon IconWithOverlay(int iconIndex, int overlay) {
    const QIcon icon = GetSysImageList(false).Icon(iconIndex);
    if (overlay < 0) return icon;
    // Kept for the whole run: icons must not outlive the application.
    static auto* composed = new std::map<std::pair<int, int>, QIcon>;
    const auto key = std::make_pair(iconIndex, overlay);
    if (const auto found = composed->find(key); found != composed->end()) return found->second;
    constexpr int kSize = 16;
    QPixmap pixmap = icon.pixmap(kSize, kSize);
    const QIcon emblem =
        QIcon::fromTheme(overlay == 0 ? QStringLiteral("emblem-shared") : QStringLiteral("emblem-symbolic-link"));
    if (!pixmap.isNull() && !emblem.isNull()) {
        QPainter painter(&pixmap);
        painter.drawPixmap(0, kSize / 2, emblem.pixmap(kSize / 2, kSize / 2));
    }
    return composed->emplace(key, QIcon(pixmap)).first->second;
}

// The icon of an item known from its list alone: a file-system entry's
// from its name and kind, without the disk; the trash's plain one (whether
// it is full is read from every mount); the other places their own.
int PlainIconIndex(TSHFolderItem& item, bool open) {
    platform::ShellItemKind kind;
    std::string_view name;
    const bool known = item.GetLevel() > 0 && platform::ReadItem(item.RelativeID(), kind, name);
    if (known && kind == platform::ShellItemKind::Trash)
        return platform::ShellIconCache::Instance().IndexOf(QStringLiteral("user-trash"));
    const bool entry = known && (kind == platform::ShellItemKind::Folder || kind == platform::ShellItemKind::File);
    if (!entry) return open ? item.GetSelectedIndex() : item.GetIconIndex();
    const platform::FileObjectType type =
        kind == platform::ShellItemKind::Folder ? platform::FileObjectType::Folder : platform::FileObjectType::Regular;
    return platform::ShellIconCache::Instance().IndexOf(platform::FileIconName(name, type, open));
}

}  // namespace

// ---------------------------------------------------------------------------
// Nodes

TSHTreeNode::TSHTreeNode(TSHTreeView* tree, std::unique_ptr<TSHFolderItem> item)
    : QTreeWidgetItem(QTreeWidgetItem::UserType), tree_(tree), item_(std::move(item)) {
    item_->SetNode(this);
}

TSHTreeNode::~TSHTreeNode() { tree_->NodeDestroyed(this); }

void TSHTreeNode::SetItem(std::unique_ptr<TSHFolderItem> item, bool withFacts) {
    item_ = std::move(item);
    item_->SetNode(this);
    factsKnown_ = withFacts;
}

void TSHTreeNode::TakeFacts(TTreeChild& facts, bool button) {
    if (!facts.known) return;
    if (!factsKnown_ && facts.item) {
        SetItem(std::move(facts.item), true);
        setText(0, item_->GetDisplayName());
    }
    factsKnown_ = true;
    overlay_ = facts.overlay;
    if (button) SetHasChildren(facts.hasChildren);
    emitDataChanged();
}

bool TSHTreeNode::HoldsAttribute(TShAttribute attribute) const {
    // The desktop's own bits are the namespace's, known without the disk.
    if (!ParentNode()) return item_->HasAttribute(attribute);
    const std::uint32_t mask = ShAttributeMask(attribute);
    return attributes_ && (*attributes_ & mask) == mask;
}

void TSHTreeNode::ForgetIcons() {
    item_->ResetIconCache();
    factsKnown_ = ParentNode() == nullptr;
}

void TSHTreeNode::SetNotAnswering(bool notAnswering) {
    if (notAnswering == notAnswering_) return;
    notAnswering_ = notAnswering;
    emitDataChanged();
}

bool TSHTreeNode::HasChildren() const {
    return childCount() > 0 || childIndicatorPolicy() == QTreeWidgetItem::ShowIndicator;
}

void TSHTreeNode::SetHasChildren(bool hasChildren) {
    setChildIndicatorPolicy(hasChildren ? QTreeWidgetItem::ShowIndicator
                                        : QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

QVariant TSHTreeNode::data(int column, int role) const {
    if (column == 0 && tree_->HotNode() == this) {
        if (role == Qt::FontRole) {
            QFont font = tree_->font();
            font.setUnderline(true);
            return font;
        }
        if (role == Qt::ForegroundRole && !isSelected()) return tree_->palette().brush(QPalette::Link);
    }
    if (column == 0 && notAnswering_) {
        if (role == Qt::DisplayRole)
            return QTreeWidgetItem::data(column, role).toString() + QStringLiteral(" (") + NotAnsweringText() +
                   QLatin1Char(')');
        if (role == Qt::ToolTipRole) return NotAnsweringText();
        if (role == Qt::ForegroundRole && !isSelected())
            return tree_->palette().brush(QPalette::Disabled, QPalette::Text);
    }
    if (column == 0 && readFailure_ != 0) {
        if (role == Qt::ToolTipRole) return FolderReadFailureText(readFailure_);
        if (role == Qt::ForegroundRole && !isSelected())
            return tree_->palette().brush(QPalette::Disabled, QPalette::Text);
    }
    if (role != Qt::DecorationRole || column != 0) return QTreeWidgetItem::data(column, role);
    const bool open = isSelected();
    if (!factsKnown_) return IconWithOverlay(PlainIconIndex(*item_, open), overlay_);
    return IconWithOverlay(open ? item_->GetSelectedIndex() : item_->GetIconIndex(), overlay_);
}

int TSHTreeNode::AbsoluteIndex() const {
    int index = 0;
    for (QTreeWidgetItemIterator it(tree_); *it; ++it, ++index)
        if (*it == this) return index;
    return -1;
}

QWidget* TSHTreeNode::TreeWindow() const { return tree_; }

void TSHTreeNode::DeleteChildren() {
    const QList<QTreeWidgetItem*> children = takeChildren();
    qDeleteAll(children);
}

void TSHTreeNode::SortSiblings() {
    QTreeWidgetItem* parent = this->parent();
    if (!parent) return;
    const ShellFolderPtr folder = FolderOfNode(ParentNode());
    const bool selected = isSelected();
    const bool expanded = isExpanded();
    QScopedValueRollback guard(tree_->restructuring_, true);
    parent->takeChild(parent->indexOfChild(this));
    int position = 0;
    while (position < parent->childCount() &&
           CompareIDList(folder, static_cast<TSHTreeNode*>(parent->child(position))->Item()->RelativeID(),
                         item_->RelativeID()) == 2)
        ++position;
    parent->insertChild(position, this);
    setExpanded(expanded);
    if (selected) tree_->setCurrentItem(this);
}

void TSHTreeNode::Populate() { tree_->Populate(this); }

// ---------------------------------------------------------------------------
// Construction

TSHTreeView::TSHTreeView(QWidget* parent, TSHTreeShows shows)
    : QTreeWidget(parent), includeHidden_(shows.IncludeHidden), virtuaItems_(shows.VirtuaItems) {
    setColumnCount(1);
    setHeaderHidden(true);
    // The column is as wide as its widest row, so that deep folders,
    // indented past the tree's width, are drawn and scrolled to sideways.
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setIconSize(QSize(GetSysImageList(false).IconSize(), GetSysImageList(false).IconSize()));
    setEditTriggers(QAbstractItemView::EditKeyPressed);
    // Drags and drops are the tree's own (shell data), not the view's.
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    connect(this, &QTreeWidget::itemExpanded, this, &TSHTreeView::NodeExpanded);
    connect(this, &QTreeWidget::itemCollapsed, this, [this] { ScheduleWatchUpdate(); });
    connect(this, &QTreeWidget::itemSelectionChanged, this, &TSHTreeView::SelectionChanged);
    inbox_ = std::make_unique<QObject>();
    answerTimer_ = new QTimer(inbox_.get());
    answerTimer_->setInterval(kAnswerCheck);
    connect(answerTimer_, &QTimer::timeout, inbox_.get(), [this] { CheckAnswering(); });

    watcher_ = std::make_unique<TShDirWatcher>(
        std::vector<std::string>{}, platform::kChangeDirName,
        [this](TShDirWatcher*, const TDeviceChangeData& data) { DeviceChanged(data); },
        [this](TShDirWatcher*, const platform::FolderChanges& changes) { DirectoryChanged(changes); }, 1);
    TSHCtrlList::Instance().Register(this, watcher_.get());
    CreateRoot();
}

TSHTreeView::~TSHTreeView() {
    SetShellListView(nullptr);
    TSHCtrlList::Instance().Unregister(this);
    watcher_->Stop();
    for (auto& [node, reading] : readings_) reading.reading->Cancel();
    readings_.clear();
    destroying_ = true;
    clear();
}

void TSHTreeView::CreateRoot() {
    IDList desktop = nullptr;
    IDList desktopDirectory = nullptr;
    GetSpecialFolderIDList(sfDesktop, desktop);
    GetSpecialFolderIDList(sfDesktopDirectory, desktopDirectory);
    TSHTreeNode* root = MakeNode(std::make_unique<TSHFolderItem>(desktopDirectory, desktop));
    // The desktop's name and icon are the namespace's own.
    TTreeChild facts;
    facts.known = true;
    facts.hasChildren = true;
    root->TakeFacts(facts, true);
    {
        QScopedValueRollback guard(restructuring_, true);
        addTopLevelItem(root);
    }
    root->setExpanded(true);
    setCurrentItem(root);
}

TSHTreeNode* TSHTreeView::MakeNode(std::unique_ptr<TSHFolderItem> item) {
    auto* node = new TSHTreeNode(this, std::move(item));
    node->setText(0, node->Item()->GetDisplayName());
    node->setFlags(node->flags() | Qt::ItemIsEditable);
    if (checkboxes_) node->setCheckState(0, Qt::Unchecked);
    return node;
}

void TSHTreeView::NodeDestroyed(TSHTreeNode* node) {
    // Also while the tree goes: the pointer may leave it meanwhile.
    if (hotNode_ == node) hotNode_ = nullptr;
    if (destroying_) return;
    if (const auto reading = readings_.find(node); reading != readings_.end()) {
        reading->second.reading->Cancel();
        readings_.erase(reading);
    }
    std::erase(backList_, node);
    std::erase(forwardList_, node);
    if (historyTarget_ == node) historyTarget_ = nullptr;
    if (highlight_ == node) highlight_ = nullptr;
    if (hoverNode_ == node) hoverNode_ = nullptr;
    if (committedNode_ == node) committedNode_ = nullptr;
    if (menuNode_ == node) menuNode_ = nullptr;
    // Only the list's own folder going takes its lock; another folder of
    // the tree vanishing leaves it.
    if (current_ != node) return;
    current_ = nullptr;
    ReleaseListLock();
}

// The list's folder may have gone with a node: its lock is released (the
// list reports that to its owner).
void TSHTreeView::ReleaseListLock() {
    if (listView_) listView_->SetLocked(false);
}

// ---------------------------------------------------------------------------
// Properties

void TSHTreeView::SetCheckboxes(bool checkboxes) {
    if (checkboxes == checkboxes_) return;
    checkboxes_ = checkboxes;
    for (QTreeWidgetItemIterator it(this); *it; ++it) {
        if (checkboxes)
            (*it)->setCheckState(0, Qt::Unchecked);
        else
            (*it)->setData(0, Qt::CheckStateRole, QVariant());
    }
}

void TSHTreeView::SetIncludeHidden(bool includeHidden) {
    if (includeHidden == includeHidden_) return;
    includeHidden_ = includeHidden;
    if (listView_) listView_->SetIncludeHidden(includeHidden);
    if (combo_) combo_->SetIncludeHidden(includeHidden);
    RefreshAll();
    RefreshCombo();
    if (listView_ && SelectedNode()) listView_->SetFolderIDList(SelectedIDList());
}

void TSHTreeView::SetShVirtuaItems(TShVirtuaItems items) {
    if (items == virtuaItems_) return;
    virtuaItems_ = items;
    if (listView_) listView_->SetShVirtuaItems(items);
    if (combo_) combo_->SetShVirtuaItems(items);
    RefreshAll();
    RefreshCombo();
}

TSHListView* TSHTreeView::ShellListView() const { return listView_; }

void TSHTreeView::SetShellListView(TSHListView* listView) {
    if (listView_ == listView) return;
    if (listView_) listView_->SetShellTreeView(nullptr);
    listView_ = listView;
    if (!listView_) return;
    if (TSHTreeView* previous = listView_->ShellTreeView()) previous->SetShellListView(nullptr);
    listView_->SetShellTreeView(this);
    listView_->SetShVirtuaItems(virtuaItems_);
    listView_->SetIncludeHidden(includeHidden_);
    listView_->SetFolderIDList(SelectedIDList());
}

TSHPopupMenu* TSHTreeView::ShellPopupMenu() const { return popupMenu_; }

void TSHTreeView::SetShellPopupMenu(TSHPopupMenu* menu) { popupMenu_ = menu; }

TSHComboBox* TSHTreeView::ShellComboBox() const { return combo_; }

void TSHTreeView::SetShellComboBox(TSHComboBox* combo) {
    if (combo_ == combo) return;
    if (combo_) combo_->SetShellTreeView(nullptr);
    combo_ = combo;
    if (!combo_) return;
    combo_->SetShellTreeView(this);
    combo_->SetShVirtuaItems(virtuaItems_);
    combo_->SetIncludeHidden(includeHidden_);
    RefreshCombo();
}

void TSHTreeView::RefreshCombo() {
    if (!combo_) return;
    combo_->RebuildList();
    combo_->PointAt(SelectedIDList());
}

// ---------------------------------------------------------------------------
// Enumeration and merging

unsigned TSHTreeView::EnumFlags() const {
    return SHCONTF_FOLDERS | (includeHidden_ ? SHCONTF_INCLUDEHIDDEN : 0u);
}

TTreeFilter TSHTreeView::Filter() const {
    TTreeFilter filter;
    filter.flags = EnumFlags();
    filter.virtuaItems = virtuaItems_;
    return filter;
}

// ---------------------------------------------------------------------------
// Readings

// Starts reading node's folder. A reading already under way for the folder
// serves, unless fresh asks for one that starts after the call (the folder
// changed): then the folder is read once more when it ends. Readings by
// name gather their names.
void TSHTreeView::StartReading(TSHTreeNode* node, TReadKind kind, bool fresh, bool userAsked,
                               std::set<std::string> names) {
    const ConstIDList absolute = node->Item()->AbsoluteID();
    if (const auto found = readings_.find(node); found != readings_.end()) {
        TReading& under = found->second;
        const TReadKind underKind = under.reading->Kind();
        if (platform::SameIDList(under.reading->Absolute(), absolute)) {
            under.userAsked = under.userAsked || userAsked;
            userAsked = under.userAsked;
            if (kind == TReadKind::Identity) return;
            if (underKind == TReadKind::Children) {
                under.again = under.again || fresh;
                return;
            }
            if (underKind == TReadKind::Names && kind == TReadKind::Names)
                names.insert(under.reading->Names().begin(), under.reading->Names().end());
        }
        under.reading->Cancel();
        readings_.erase(found);
    }
    TTreeFolderReading::TRequest request;
    request.kind = kind;
    request.relative.reset(CopyIDList(node->Item()->RelativeID()));
    request.absolute.reset(CopyIDList(absolute));
    request.filter = Filter();
    request.names = std::move(names);
    request.childFileIds = kind != TReadKind::Identity && WantsChildFileIds(node);
    const std::uint64_t number = ++readingNumber_;
    TReading& reading = readings_[node];
    reading.number = number;
    reading.userAsked = userAsked;
    QObject* inbox = inbox_.get();
    reading.reading = TTreeFolderReading::Start(
        std::move(request), [this, inbox, node, number](std::shared_ptr<TTreeFolderFacts> facts) {
            QMetaObject::invokeMethod(
                inbox, [this, node, number, facts = std::move(facts)] { TakeReading(node, number, facts); },
                Qt::QueuedConnection);
        });
    if (!answerTimer_->isActive()) answerTimer_->start();
}

// Renamed folders are followed by device and inode: worth reading for the
// children only while one of them is expanded or holds the selection.
bool TSHTreeView::WantsChildFileIds(TSHTreeNode* node) const {
    const TSHTreeNode* selected = SelectedNode();
    for (int i = 0; i < node->childCount(); ++i) {
        const TSHTreeNode* child = node->ChildNode(i);
        if (child->FileId() && (child->isExpanded() || IsInside(selected, child))) return true;
    }
    return false;
}

bool TSHTreeView::IsReading(const TSHTreeNode* node) const {
    if (!node) return !readings_.empty();
    return readings_.count(const_cast<TSHTreeNode*>(node)) > 0;
}

void TSHTreeView::TakeReading(TSHTreeNode* node, std::uint64_t number, const std::shared_ptr<TTreeFolderFacts>& facts) {
    const auto found = readings_.find(node);
    if (found == readings_.end() || found->second.number != number) return;
    node->SetNotAnswering(false);
    if (facts->fileId && node->ParentNode()) node->SetFileId(facts->fileId);
    if (facts->attributes) node->SetAttributes(*facts->attributes);
    if (facts->part == TTreeFolderFacts::TPart::Entries) {
        node->SetReadFailure(0);
        Merge(node, std::move(facts->children));
        ChildrenPlaced(node);
        return;
    }
    if (facts->part == TTreeFolderFacts::TPart::Facts) {
        PlaceChildFacts(node, facts->children);
        if (!facts->last) return;
    }
    EndReading(node, found, facts);
}

// The reading's last part has come: what it says of the folder itself
// and of its readability.
void TSHTreeView::EndReading(TSHTreeNode* node, std::map<TSHTreeNode*, TReading>::iterator found,
                             const std::shared_ptr<TTreeFolderFacts>& facts) {
    const TReading reading = std::move(found->second);
    readings_.erase(found);
    if (readings_.empty()) answerTimer_->stop();
    const TReadKind kind = reading.reading->Kind();
    // A folder gone itself is told by name by the folder holding it.
    const bool merges = facts->part == TTreeFolderFacts::TPart::Whole &&
                        (kind == TReadKind::Children || (kind == TReadKind::Names && facts->bound));
    if (merges) {
        if (facts->bound) node->SetReadFailure(facts->error);
        if (facts->byName)
            MergeNames(node, *facts);
        else
            Merge(node, std::move(facts->children));
        ChildrenPlaced(node);
    }
    ScheduleWatchUpdate();
    if (reading.again) StartReading(node, TReadKind::Children, true, false);
    if (merges && reading.userAsked && node->ReadFailure() != 0)
        emit FolderUnreadable(FolderReadFailureText(node->ReadFailure()));
}

void TSHTreeView::ChildrenPlaced(TSHTreeNode* node) {
    if (node->childCount() == 0) node->SetHasChildren(false);
    if (node == RootNode() && std::exchange(openFirstPlace_, false) && node->childCount() > 0) {
        // The tree's own doing: what it finds there is not reported.
        QScopedValueRollback guard(expandingOwn_, true);
        node->child(0)->setExpanded(true);
    }
}

// A run of facts of children placed before: each node still there takes
// its own, found by its sorted place.
void TSHTreeView::PlaceChildFacts(TSHTreeNode* node, std::vector<TTreeChild>& children) {
    const ShellFolderPtr folder = FolderOfNode(node);
    const QModelIndex parent = indexFromItem(node);
    for (TTreeChild& child : children) {
        const int row = ChildPosition(node, folder, child.item->RelativeID());
        if (row == node->childCount() || Order(folder, node->ChildNode(row)->Item()->RelativeID(), child.item->RelativeID()) != 0)
            continue;
        TSHTreeNode* kept = node->ChildNode(row);
        kept->TakeFacts(child, kept->childCount() == 0 && !IsRowExpanded(parent, row));
    }
}

// A folder whose reading stays silent says so beside its name, and in the
// status of a folder the user opened; the answer, when it comes, takes the
// words back.
void TSHTreeView::CheckAnswering() {
    bool tell = false;
    for (auto& [node, reading] : readings_) {
        const bool silent = reading.reading->Silent(kAnswerTime);
        if (silent == node->NotAnswering()) continue;
        node->SetNotAnswering(silent);
        tell = tell || (silent && (reading.userAsked || node == SelectedNode()));
    }
    if (tell) emit FolderUnreadable(NotAnsweringText());
}

// ---------------------------------------------------------------------------
// Merging

struct TSHTreeView::TMergePlan {
    std::vector<TTreeChild> children;  // the new children, sorted
    std::vector<TSHTreeNode*> nodeOf;  // per child: the existing node it keeps, or none
    std::vector<TSHTreeNode*> removed; // existing children not in the list
    std::vector<std::pair<TSHTreeNode*, std::size_t>> renamed;
};

// An expanded or selected folder that was renamed on disk keeps its node
// (and with it the expansion below it and the selection) under the new
// name: the removed node and the new child are the same folder.
void TSHTreeView::PairRenamedFolders(TSHTreeNode* /*node*/, TMergePlan& plan) {
    TSHTreeNode* selected = SelectedNode();
    std::vector<TSHTreeNode*> candidates;
    for (TSHTreeNode* gone : plan.removed)
        if (gone->FileId() && (gone->isExpanded() || IsInside(selected, gone))) candidates.push_back(gone);
    for (std::size_t i = 0; i < plan.children.size() && !candidates.empty(); ++i) {
        const std::optional<TFileId>& id = plan.children[i].fileId;
        if (plan.nodeOf[i] || !id) continue;
        const auto match = std::find_if(candidates.begin(), candidates.end(),
                                        [&id](const TSHTreeNode* gone) { return *gone->FileId() == *id; });
        if (match == candidates.end()) continue;
        plan.renamed.emplace_back(*match, i);
        std::erase(plan.removed, *match);
        candidates.erase(match);
    }
}

// The node takes the renamed folder's item; the nodes below it keep their
// folders (and their device and inode) under the new path.
void TSHTreeView::Rekey(TSHTreeNode* node, std::unique_ptr<TSHFolderItem> item, bool withFacts) {
    node->SetItem(std::move(item), withFacts);
    node->setText(0, node->Item()->GetDisplayName());
    const ShellFolderPtr folder = FolderOfNode(node);
    for (int i = 0; i < node->childCount(); ++i) {
        TSHTreeNode* child = node->ChildNode(i);
        IDList relative = CopyIDList(child->Item()->RelativeID());
        IDList absolute = ConcatIDList(node->Item()->AbsoluteID(), relative);
        auto childItem = std::make_unique<TSHFolderItem>(relative, absolute);
        childItem->SetParentFolder(folder);
        Rekey(child, std::move(childItem), false);
    }
}

void TSHTreeView::Merge(TSHTreeNode* node, std::vector<TTreeChild> children) {
    const ShellFolderPtr folder = FolderOfNode(node);
    TMergePlan plan;
    plan.children = std::move(children);
    plan.nodeOf.assign(plan.children.size(), nullptr);
    int existing = 0;
    std::size_t next = 0;
    while (existing < node->childCount() && next < plan.children.size()) {
        TSHTreeNode* child = node->ChildNode(existing);
        switch (CompareIDList(folder, child->Item()->RelativeID(), plan.children[next].item->RelativeID())) {
            case 0: plan.nodeOf[next++] = child; ++existing; break;
            case 1: ++next; break;
            default: plan.removed.push_back(child); ++existing; break;
        }
    }
    for (; existing < node->childCount(); ++existing) plan.removed.push_back(node->ChildNode(existing));
    ApplyMerge(node, folder, plan, true);
}

// A reading of some entries by name: one that is there now and not yet
// shown comes in, one shown that has gone leaves, one still there gets its
// expand button again. The time taken follows the number of names, not the
// size of the folder.
void TSHTreeView::MergeNames(TSHTreeNode* node, TTreeFolderFacts& facts) {
    const ShellFolderPtr folder = FolderOfNode(node);
    if (!folder) return;
    std::map<std::string, std::size_t> present;
    for (std::size_t i = 0; i < facts.children.size(); ++i) {
        platform::ShellItemKind kind;
        std::string_view name;
        if (platform::ReadItem(facts.children[i].item->RelativeID(), kind, name)) present.emplace(name, i);
    }
    const QModelIndex parent = indexFromItem(node);
    std::vector<bool> added(facts.children.size(), false);
    TMergePlan plan;
    for (const std::string& name : facts.names) {
        const auto found = present.find(name);
        int row = 0;
        TSHTreeNode* child = ChildNamed(node, folder, name, row);
        if (child && found != present.end())
            child->TakeFacts(facts.children[found->second], child->childCount() == 0 && !IsRowExpanded(parent, row));
        else if (child)
            plan.removed.push_back(child);
        else if (found != present.end())
            added[found->second] = true;
    }
    for (std::size_t i = 0; i < facts.children.size(); ++i)
        if (added[i]) plan.children.push_back(std::move(facts.children[i]));
    plan.nodeOf.assign(plan.children.size(), nullptr);
    ApplyMerge(node, folder, plan, false);
}

// Carries out a plan: renamed folders keep their nodes, the removed go
// (a selection inside them moves up to node first), new children come in
// at their sorted places, the kept ones take what the reading found. A
// complete plan lists every child, so the expand buttons of the collapsed
// ones are set again too.
void TSHTreeView::ApplyMerge(TSHTreeNode* node, const ShellFolderPtr& folder, TMergePlan& plan, bool complete) {
    PairRenamedFolders(node, plan);

    // A selection inside a folder that is gone moves up to this node.
    TSHTreeNode* selected = SelectedNode();
    for (TSHTreeNode* gone : plan.removed)
        if (IsInside(selected, gone)) {
            ReleaseListLock();
            ChangeSelection(node);
            break;
        }

    QScopedValueRollback guard(restructuring_, true);
    selected = SelectedNode();
    std::vector<TSHTreeNode*> reexpand;
    bool selectionRenamed = false;
    for (auto& [moved, index] : plan.renamed) {
        selectionRenamed = selectionRenamed || IsInside(selected, moved);
        for (QTreeWidgetItemIterator it(moved); *it && IsInside(static_cast<TSHTreeNode*>(*it), moved); ++it)
            if ((*it)->isExpanded()) reexpand.push_back(static_cast<TSHTreeNode*>(*it));
        node->takeChild(node->indexOfChild(moved));
        TTreeChild& facts = plan.children[index];
        Rekey(moved, std::move(facts.item), true);
        moved->TakeFacts(facts, false);
        moved->SetFileId(facts.fileId);
        plan.nodeOf[index] = moved;
    }
    for (TSHTreeNode* gone : plan.removed) delete gone;

    ReinitializeKeptChildren(node, plan, complete && node->isExpanded());
    InsertNewChildren(node, folder, plan);
    for (TSHTreeNode* expanded : reexpand) expanded->setExpanded(true);
    if (selected && SelectedNode() != selected) setCurrentItem(selected);
    // The list and the combo name the selected folder by a path that the
    // rename changed.
    if (selectionRenamed && selected == SelectedNode()) PointBoundControls(selected);
    // An expanded folder gone or renamed changes what is watched.
    if (!plan.renamed.empty() || !plan.removed.empty()) ScheduleWatchUpdate();
}

// The kept children take what the reading found; with buttons, collapsed
// ones that were never expanded also show an expand button by what their
// folders hold now. Kept nodes stand in the plan's order, so their rows are
// found walking along.
void TSHTreeView::ReinitializeKeptChildren(TSHTreeNode* node, TMergePlan& plan, bool buttons) {
    const QModelIndex parent = indexFromItem(node);
    int row = 0;
    for (std::size_t i = 0; i < plan.children.size(); ++i) {
        TSHTreeNode* kept = plan.nodeOf[i];
        // Renamed children gave their items away and are out of the node.
        if (!kept || !plan.children[i].item) continue;
        while (row < node->childCount() && node->ChildNode(row) != kept) ++row;
        if (row == node->childCount()) return;
        kept->TakeFacts(plan.children[i], buttons && kept->childCount() == 0 && !IsRowExpanded(parent, row));
        ++row;
    }
}

// The plan's children without a node of their own (and the renamed ones,
// taken out) go in at their sorted places, each run of neighbours in one
// insertion, the last run first so that the earlier places stay valid.
void TSHTreeView::InsertNewChildren(TSHTreeNode* node, const ShellFolderPtr& folder, TMergePlan& plan) {
    std::vector<bool> renamed(plan.children.size(), false);
    for (const auto& [moved, index] : plan.renamed) renamed[index] = true;
    std::vector<std::pair<int, QList<QTreeWidgetItem*>>> runs;
    for (std::size_t i = 0; i < plan.children.size(); ++i) {
        TSHTreeNode* kept = plan.nodeOf[i];
        if (kept && !renamed[i]) continue;
        TSHTreeNode* inserted = kept ? kept : MakeNode(std::move(plan.children[i].item));
        // Until its facts are read a new child offers to expand.
        if (!kept) inserted->SetHasChildren(true);
        if (!kept) inserted->TakeFacts(plan.children[i], true);
        // The children come sorted: each goes at or after the place of the one before.
        const int row = ChildPosition(node, folder, inserted->Item()->RelativeID(), runs.empty() ? 0 : runs.back().first);
        if (runs.empty() || runs.back().first != row) runs.emplace_back(row, QList<QTreeWidgetItem*>());
        runs.back().second.append(inserted);
    }
    for (auto run = runs.rbegin(); run != runs.rend(); ++run) node->insertChildren(run->first, run->second);
}

// A node for the child of parent named by relative, made from the list
// alone and put at its sorted place; parent's folder is read meanwhile for
// the rest. None when the tree does not show such a child.
TSHTreeNode* TSHTreeView::InsertPathNode(TSHTreeNode* parent, ConstIDList relative) {
    const ShellFolderPtr folder = FolderOfNode(parent);
    if (!folder) return nullptr;
    std::unique_ptr<TSHFolderItem> item =
        TreeChildItem(*parent->Item(), folder, platform::UniqueIDList(CopyIDList(relative)));
    if (!ShowsPathChild(parent, *item)) return nullptr;
    TSHTreeNode* node = MakeNode(std::move(item));
    node->SetHasChildren(true);
    {
        QScopedValueRollback guard(restructuring_, true);
        parent->insertChild(ChildPosition(parent, folder, node->Item()->RelativeID()), node);
    }
    StartReading(parent, TReadKind::Children, false, false);
    return node;
}

// What the filter says of a child known from its list alone: files only in
// a tree that shows them, dot names only with the hidden ones.
bool TSHTreeView::ShowsPathChild(TSHTreeNode* parent, TSHFolderItem& child) const {
    platform::ShellItemKind kind;
    std::string_view name;
    if (platform::ReadItem(child.RelativeID(), kind, name) &&
        (kind == platform::ShellItemKind::Folder || kind == platform::ShellItemKind::File)) {
        const unsigned flags = EnumFlags();
        if (kind == platform::ShellItemKind::File && !(flags & SHCONTF_NONFOLDERS)) return false;
        if (!(flags & SHCONTF_INCLUDEHIDDEN) && !name.empty() && name.front() == '.') return false;
    }
    return TreeKeepsChild(Filter(), *parent->Item(), child);
}

TSHTreeNode* TSHTreeView::ShowNewEntry(TSHTreeNode* node, const QString& name) {
    const ShellFolderPtr folder = node ? FolderOfNode(node) : nullptr;
    if (!folder || !folder->HoldsFileSystemEntries()) return nullptr;
    const platform::UniqueIDList relative = platform::MakeItem(platform::ShellItemKind::Folder, platform::PathBytes(name));
    if (!relative) return nullptr;
    TSHTreeNode* child = ChildMatching(node, relative.get());
    if (!child && (child = InsertPathNode(node, relative.get()))) child->SetHasChildren(false);
    Populate(node);
    return child;
}

void TSHTreeView::Populate(TSHTreeNode* node) {
    if (node) StartReading(node, TReadKind::Children, true, false);
}

bool TSHTreeView::ExpandNode(TSHTreeNode* node) {
    if (mouseState_ == TMouseState::Dragging) {
        const TShItemIDType kind = node->Item()->GetItemType();
        if (kind == itVirtual) return false;
        if (kind == itRootDrive && node->Item()->GetLevel() > 1 && !BindToFolder(node->Item()->AbsoluteID()))
            return false;
    }
    StartReading(node, TReadKind::Children, false, !expandingOwn_);
    ScheduleWatchUpdate();
    return true;
}

void TSHTreeView::NodeExpanded(QTreeWidgetItem* item) {
    if (destroying_) return;
    auto* node = static_cast<TSHTreeNode*>(item);
    if (!ExpandNode(node)) {
        QScopedValueRollback guard(restructuring_, true);
        node->setExpanded(false);
    }
}

void TSHTreeView::RefreshAll() {
    std::vector<TSHTreeNode*> pending{RootNode()};
    while (!pending.empty() && pending.back()) {
        TSHTreeNode* node = pending.back();
        pending.pop_back();
        Populate(node);
        if (!node->isExpanded()) continue;
        const QModelIndex parent = indexFromItem(node);
        for (int i = node->childCount() - 1; i >= 0; --i) {
            TSHTreeNode* child = node->ChildNode(i);
            if (child->childCount() > 0 || IsRowExpanded(parent, i)) pending.push_back(child);
        }
    }
}

// Asking a node whether it is expanded looks its row up in its parent's
// list, a search once rows have moved; here the row is known.
bool TSHTreeView::IsRowExpanded(const QModelIndex& parent, int row) const {
    return isExpanded(model()->index(row, 0, parent));
}

// ---------------------------------------------------------------------------
// Selection, search and history

TSHTreeNode* TSHTreeView::SelectedNode() const {
    const QList<QTreeWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? nullptr : static_cast<TSHTreeNode*>(selected.first());
}

ConstIDList TSHTreeView::SelectedIDList() const {
    const TSHTreeNode* node = SelectedNode() ? SelectedNode() : RootNode();
    return node ? node->Item()->AbsoluteID() : nullptr;
}

QString TSHTreeView::SelectedPath() const {
    const TSHTreeNode* node = SelectedNode();
    QString path;
    if (node) PathFromIDList(node->Item()->AbsoluteID(), path);
    return path;
}

bool TSHTreeView::MaySelect() const {
    if (mouseState_ == TMouseState::LeftPressed || mouseState_ == TMouseState::RightPressed) return false;
    return !(listView_ && listView_->Locked());
}

bool TSHTreeView::ChangeSelection(TSHTreeNode* node) {
    if (!node || !MaySelect()) return false;
    setCurrentItem(node);
    return SelectedNode() == node;
}

void TSHTreeView::SelectionChanged() {
    if (restructuring_ || destroying_) return;
    TSHTreeNode* node = SelectedNode();
    if (!node || node == current_) return;
    if (!MaySelect()) {
        QScopedValueRollback guard(restructuring_, true);
        if (current_) setCurrentItem(current_);
        return;
    }
    if (node != historyTarget_) {
        if (current_ && (backList_.empty() || backList_.back() != current_)) backList_.push_back(current_);
        if (backList_.size() > static_cast<std::size_t>(kMaxBackHistory))
            backList_.erase(backList_.begin(), backList_.end() - kMaxBackHistory);
        forwardList_.clear();
    }
    historyTarget_ = nullptr;
    current_ = node;
    if (node->ParentNode()) StartReading(node, TReadKind::Identity, false, false);
    PointBoundControls(node);
    emit SelectionFolderChanged();
}

void TSHTreeView::PointBoundControls(TSHTreeNode* node) {
    if (combo_) combo_->PointAt(node->Item()->AbsoluteID());
    if (listView_) listView_->SetFolderIDList(node->Item()->AbsoluteID());
}

bool TSHTreeView::GoHistory(std::vector<TSHTreeNode*>& from, std::vector<TSHTreeNode*>& to, int n) {
    if (from.empty() || n >= static_cast<int>(from.size()) || !MaySelect()) return false;
    TSHTreeNode* selected = SelectedNode();
    if (selected && (to.empty() || to.back() != selected)) to.push_back(selected);
    if (n >= 0)
        while (static_cast<int>(from.size()) > n + 1) {
            to.push_back(from.back());
            from.pop_back();
        }
    historyTarget_ = from.back();
    from.pop_back();
    ChangeSelection(historyTarget_);
    historyTarget_ = nullptr;
    return !from.empty();
}

bool TSHTreeView::Back(int n) { return GoHistory(backList_, forwardList_, n); }

bool TSHTreeView::Forward(int n) { return GoHistory(forwardList_, backList_, n); }

TSHTreeNode* TSHTreeView::ChildMatching(TSHTreeNode* parent, ConstIDList item) const {
    const ShellFolderPtr folder = FolderOfNode(parent);
    for (int i = 0; i < parent->childCount(); ++i)
        if (CompareIDList(folder, parent->ChildNode(i)->Item()->RelativeID(), item) == 0) return parent->ChildNode(i);
    return nullptr;
}

TSHTreeNode* TSHTreeView::FindNode(ConstIDList absolute) const {
    TSHTreeNode* node = RootNode();
    for (ConstIDList rest = absolute; node && IDListItemSize(rest) > 0; rest = IDListNext(rest)) {
        TIDListHolder first(CopyFirstItem(rest));
        node = ChildMatching(node, first.get());
    }
    return absolute ? node : nullptr;
}

bool TSHTreeView::SelectIDList(ConstIDList absolute) {
    if (!absolute || !RootNode()) return false;
    const TSHTreeNode* selected = SelectedNode();
    if (selected && IDListLevel(selected->Item()->AbsoluteID()) == IDListLevel(absolute) &&
        CompareIDList(GetDesktopFolder(), selected->Item()->AbsoluteID(), absolute) == 0)
        return true;
    TSHTreeNode* node = RootNode();
    bool complete = true;
    for (ConstIDList rest = absolute; IDListItemSize(rest) > 0; rest = IDListNext(rest)) {
        TIDListHolder first(CopyFirstItem(rest));
        TSHTreeNode* child = ChildMatching(node, first.get());
        if (!child) child = InsertPathNode(node, first.get());
        if (!child) {
            complete = false;
            break;
        }
        node = child;
    }
    for (TSHTreeNode* parent = node->ParentNode(); parent; parent = parent->ParentNode())
        if (!parent->isExpanded()) parent->setExpanded(true);
    return ChangeSelection(node) && complete;
}

bool TSHTreeView::SelectPath(const QString& path) {
    IDList list = nullptr;
    if (!IDListFromPath(path, list)) return false;
    const bool selected = SelectIDList(list);
    FreeIDList(list);
    return selected;
}

// ---------------------------------------------------------------------------
// Watching

// The folders the user sees opened: expanded nodes whose parents are
// expanded too, each with its path. With their direct subfolders watched,
// every change that shows (a child, an expand button) is seen.
std::vector<std::pair<std::string, TSHTreeNode*>> TSHTreeView::ExpandedFolders() const {
    std::vector<std::pair<std::string, TSHTreeNode*>> folders;
    std::vector<TSHTreeNode*> pending;
    if (RootNode() && RootNode()->isExpanded()) pending.push_back(RootNode());
    while (!pending.empty()) {
        TSHTreeNode* node = pending.back();
        pending.pop_back();
        if (std::string path = node->Item()->GetNativePath(); !path.empty()) folders.emplace_back(std::move(path), node);
        const QModelIndex parent = indexFromItem(node);
        for (int row = 0; row < node->childCount(); ++row)
            if (IsRowExpanded(parent, row)) pending.push_back(node->ChildNode(row));
    }
    return folders;
}

// Watching a folder asks its file system: one being read may not answer,
// and is watched once its reading has answered.
std::vector<std::string> TSHTreeView::ExpandedFolderPaths() const {
    std::vector<std::string> paths;
    for (auto& [path, node] : ExpandedFolders()) {
        const auto reading = readings_.find(node);
        const bool unanswered = reading != readings_.end() && reading->second.reading->Kind() != TReadKind::Identity;
        if (!unanswered && !node->NotAnswering()) paths.push_back(std::move(path));
    }
    return paths;
}

void TSHTreeView::ScheduleWatchUpdate() {
    if (watchUpdatePending_) return;
    watchUpdatePending_ = true;
    QTimer::singleShot(0, this, [this] {
        watchUpdatePending_ = false;
        if (watchPauses_ == 0) watcher_->SetDirectories(ExpandedFolderPaths());
    });
}

void TSHTreeView::PauseWatching() {
    if (watchPauses_++ == 0) watcher_->ClearDirectories();
}

void TSHTreeView::ResumeWatching() {
    if (--watchPauses_ == 0) watcher_->SetDirectories(ExpandedFolderPaths());
}

void TSHTreeView::DirectoryChanged(const platform::FolderChanges& changes) {
    // A press or a drag holds on to nodes: the changes wait until it is over.
    if (mouseState_ != TMouseState::Idle || !pendingChanges_.Empty()) pendingChanges_.Merge(changes);
    if (mouseState_ != TMouseState::Idle) {
        if (!changesRetryPending_) {
            changesRetryPending_ = true;
            QTimer::singleShot(kChangesRetryMs, this, [this] {
                changesRetryPending_ = false;
                DirectoryChanged(platform::FolderChanges());
            });
        }
        return;
    }
    const platform::FolderChanges waited = std::exchange(pendingChanges_, platform::FolderChanges());
    const platform::FolderChanges& todo = waited.Empty() ? changes : waited;
    if (todo.Empty()) return;
    if (todo.whole)
        RefreshAll();
    else
        RefreshFolders(todo);
    RefreshCombo();
}

// Each folder named in the changes is looked at once: an expanded one for
// the names given, a collapsed one (a child of an expanded folder) for its
// expand button, read by name in the expanded one. Deeper folders go
// first, so a node is gone only after its own changes were looked at.
void TSHTreeView::RefreshFolders(const platform::FolderChanges& changes) {
    std::multimap<std::string, TSHTreeNode*> shown;
    for (auto& [path, node] : ExpandedFolders()) shown.emplace(std::move(path), node);
    std::vector<std::pair<TSHTreeNode*, std::set<std::string>>> toRead;
    auto namesOf = [&toRead](TSHTreeNode* node) -> std::set<std::string>& {
        const auto found = std::find_if(toRead.begin(), toRead.end(), [node](const auto& entry) { return entry.first == node; });
        return found != toRead.end() ? found->second : toRead.emplace_back(node, std::set<std::string>()).second;
    };
    for (auto change = changes.names.rbegin(); change != changes.names.rend(); ++change) {
        const std::string& path = change->first;
        const auto [first, last] = shown.equal_range(path);
        if (first != last) {
            for (auto it = first; it != last; ++it) namesOf(it->second).insert(change->second.begin(), change->second.end());
            continue;
        }
        const std::size_t slash = path.rfind('/');
        if (slash == std::string::npos) continue;
        const std::string parentPath = slash == 0 ? std::string("/") : path.substr(0, slash);
        const auto [parentFirst, parentLast] = shown.equal_range(parentPath);
        for (auto it = parentFirst; it != parentLast; ++it)
            if (RefreshButton(it->second, path.substr(slash + 1))) namesOf(it->second).insert(path.substr(slash + 1));
    }
    for (const auto& [node, names] : toRead) RefreshNames(node, names);
}

// Only the named entries of an expanded node are read again (by name where
// its folder holds file-system entries).
void TSHTreeView::RefreshNames(TSHTreeNode* node, const std::set<std::string>& names) {
    const ShellFolderPtr folder = FolderOfNode(node);
    // Gone or renamed itself: the folder holding it tells that by name.
    if (!folder) return;
    const TReadKind kind = folder->HoldsFileSystemEntries() ? TReadKind::Names : TReadKind::Children;
    StartReading(node, kind, true, false, names);
}

// Something changed inside the collapsed child called name: its children
// are read again when it has been expanded before; true when instead its
// expand button is to be read, by name in node.
bool TSHTreeView::RefreshButton(TSHTreeNode* node, const std::string& name) {
    const ShellFolderPtr folder = FolderOfNode(node);
    int row = 0;
    TSHTreeNode* child = folder ? ChildNamed(node, folder, name, row) : nullptr;
    if (!child) return false;
    if (child->childCount() == 0) return true;
    Populate(child);
    return false;
}

// The child showing the entry called name, found by its sorted place; row
// is set to that place.
TSHTreeNode* TSHTreeView::ChildNamed(TSHTreeNode* node, const ShellFolderPtr& folder, const std::string& name,
                                     int& row) const {
    const bool withFiles = (EnumFlags() & SHCONTF_NONFOLDERS) != 0;
    for (const platform::ShellItemKind kind : {platform::ShellItemKind::Folder, platform::ShellItemKind::File}) {
        if (kind == platform::ShellItemKind::File && !withFiles) break;
        const platform::UniqueIDList probe = platform::MakeItem(kind, name);
        if (!probe) return nullptr;
        row = ChildPosition(node, folder, probe.get());
        if (row < node->childCount() && Order(folder, node->ChildNode(row)->Item()->RelativeID(), probe.get()) == 0)
            return node->ChildNode(row);
    }
    return nullptr;
}

void TSHTreeView::DeviceChanged(const TDeviceChangeData& data) {
    if (data.Kind != kDeviceKindMedia) {
        RefreshAll();
        RefreshCombo();
        return;
    }
    TSHTreeNode* drive = FindNode(data.DriveID.get());
    if (drive) {
        drive->Item()->ResetIconCache();
        drive->Item()->SetCachedDisplayName(data.Text);
        drive->setText(0, data.Text);
    }
    IDList drivesList = nullptr;
    GetSpecialFolderIDList(sfDrives, drivesList);
    TSHTreeNode* drives = FindNode(drivesList);
    FreeIDList(drivesList);
    if (data.Event == kDeviceRemoveComplete && drive) {
        if (IsInside(SelectedNode(), drive)) ChangeSelection(drive->ParentNode());
        drive->DeleteChildren();
        drive->SetHasChildren(true);
    }
    // Mounts come and go as drives: the drives folder lists them anew.
    if (drives && (drives->isExpanded() || drives->childCount() > 0)) Populate(drives);
    if (combo_) combo_->RetitleEntry(data.DriveID.get(), data.Text);
    RefreshCombo();
    ScheduleWatchUpdate();
}

// ---------------------------------------------------------------------------
// Verbs

bool TSHTreeView::ShellCommand(int verbKind) {
    TSHTreeNode* node = SelectedNode();
    if (!node) return false;
    TSHIDList2 items;
    if (node == RootNode()) {
        if (verbKind != vkPaste) return false;
        items.SetParent(ParentIDList(node->Item()->RelativeID()));
        items.Add(LastItemIDList(node->Item()->RelativeID()));
    } else {
        items.SetParent(CopyIDList(node->Item()->GetParentIDList()));
        items.Add(CopyIDList(node->Item()->RelativeID()));
    }
    // The folder may go: the process must not stand in it.
    if (verbKind == vkDelete) QDir::setCurrent(QDir::tempPath());
    return items.RunVerb(this, verbKind);
}

// ---------------------------------------------------------------------------
// Mouse, context menu and renaming

void TSHTreeView::SetHighlight(TSHTreeNode* node) {
    if (highlight_ == node) return;
    if (highlight_) highlight_->setData(0, Qt::BackgroundRole, QVariant());
    highlight_ = node;
    if (highlight_) highlight_->setData(0, Qt::BackgroundRole, palette().brush(QPalette::Midlight));
}

void TSHTreeView::SetHotTrack(bool hotTrack) {
    if (hotTrack == hotTrack_) return;
    hotTrack_ = hotTrack;
    viewport()->setMouseTracking(hotTrack);
    if (!hotTrack) SetHotNode(nullptr);
}

void TSHTreeView::SetHotNode(TSHTreeNode* node) {
    if (node == hotNode_) return;
    if (hotNode_) viewport()->update(visualItemRect(hotNode_));
    hotNode_ = node;
    if (hotNode_) {
        viewport()->update(visualItemRect(hotNode_));
        viewport()->setCursor(Qt::PointingHandCursor);
    } else {
        viewport()->unsetCursor();
    }
}

bool TSHTreeView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Leave) SetHotNode(nullptr);
    // Rows are never narrower than the view: a selection spans it.
    if (event->type() == QEvent::Resize) header()->setMinimumSectionSize(viewport()->width());
    return QTreeWidget::viewportEvent(event);
}

TSHTreeNode* TSHTreeView::NodeOnItemAt(QPoint pos) const {
    QTreeWidgetItem* item = itemAt(pos);
    if (!item) return nullptr;
    const QRect rect = visualItemRect(item);
    return pos.x() >= rect.left() ? static_cast<TSHTreeNode*>(item) : nullptr;
}

void TSHTreeView::mousePressEvent(QMouseEvent* event) {
    TSHTreeNode* node = NodeOnItemAt(event->position().toPoint());
    if (node && event->button() == Qt::LeftButton) {
        setFocus(Qt::MouseFocusReason);
        SetHighlight(node);
        pressPoint_ = event->position().toPoint();
        mouseState_ = TMouseState::LeftPressed;
        return;
    }
    if (node && event->button() == Qt::RightButton && node != RootNode()) {
        SetHighlight(node);
        pressPoint_ = event->position().toPoint();
        mouseState_ = TMouseState::RightPressed;
        return;
    }
    SetHighlight(nullptr);
    QTreeWidget::mousePressEvent(event);
}

void TSHTreeView::mouseMoveEvent(QMouseEvent* event) {
    const bool pressed = mouseState_ == TMouseState::LeftPressed || mouseState_ == TMouseState::RightPressed;
    if (!pressed) {
        if (hotTrack_) SetHotNode(NodeOnItemAt(event->position().toPoint()));
        QTreeWidget::mouseMoveEvent(event);
        return;
    }
    const Qt::MouseButton button = mouseState_ == TMouseState::LeftPressed ? Qt::LeftButton : Qt::RightButton;
    const QPoint moved = event->position().toPoint() - pressPoint_;
    if ((event->buttons() & button) && highlight_ &&
        (std::abs(moved.x()) > kDragDistance || std::abs(moved.y()) > kDragDistance))
        BeginDrag(event);
}

void TSHTreeView::BeginDrag(QMouseEvent* event) {
    TSHTreeNode* node = highlight_;
    const ShellFolderPtr folder = ParentFolderOfNode(node);
    const ConstIDList item = ItemInFolder(node);
    const std::uint32_t bits = folder ? folder->GetAttributesOf(item, platform::kCapabilityMask).value_or(0) : 0;
    if (!(bits & kDragAttributes)) return;
    bool canDrag = true;
    const QPoint pos = event->position().toPoint();
    if (OnShBeginDrag) OnShBeginDrag(this, node, pressPoint_, pos.x(), pos.y(), canDrag);
    if (!canDrag) return;
    const ConstIDList items[] = {item};
    std::unique_ptr<QMimeData> data = folder->GetDataObject(items);
    if (!data) return;
    mouseState_ = TMouseState::Dragging;
    auto* drag = new QDrag(this);
    drag->setMimeData(data.release());
    drag->setPixmap(node->icon(0).pixmap(iconSize()));
    Qt::DropActions allowed;
    if (bits & platform::kCanCopy) allowed |= Qt::CopyAction;
    if (bits & platform::kCanMove) allowed |= Qt::MoveAction;
    if (bits & platform::kCanLink) allowed |= Qt::LinkAction;
    drag->exec(allowed, Qt::CopyAction);
    mouseState_ = TMouseState::Idle;
    SetHighlight(nullptr);
}

void TSHTreeView::mouseReleaseEvent(QMouseEvent* event) {
    const TMouseState state = mouseState_;
    mouseState_ = TMouseState::Idle;
    TSHTreeNode* node = highlight_;
    if (state == TMouseState::LeftPressed && event->button() == Qt::LeftButton) {
        SetHighlight(nullptr);
        if (node) ChangeSelection(node);
        return;
    }
    if (state == TMouseState::RightPressed && event->button() == Qt::RightButton) {
        mouseState_ = TMouseState::RightPressed;
        if (node) ShowContextMenu(node, event->globalPosition().toPoint());
        mouseState_ = TMouseState::Idle;
        SetHighlight(nullptr);
        return;
    }
    QTreeWidget::mouseReleaseEvent(event);
}

void TSHTreeView::contextMenuEvent(QContextMenuEvent* event) {
    // A right press opens the menu when the button comes up (it may begin
    // a drag instead); the keyboard opens it for the selection.
    if (event->reason() == QContextMenuEvent::Mouse) return;
    TSHTreeNode* node = SelectedNode();
    if (node && node != RootNode()) ShowContextMenu(node, viewport()->mapToGlobal(visualItemRect(node).center()));
}

void TSHTreeView::ShowContextMenu(TSHTreeNode* node, QPoint globalPos) {
    if (!popupMenu_ || node == RootNode()) return;
    PauseWatching();
    const bool wasSelected = node == SelectedNode();
    menuItems_.Clear();
    menuItems_.SetParent(CopyIDList(node->Item()->GetParentIDList()));
    menuItems_.Add(CopyIDList(node->Item()->RelativeID()));
    menuNode_ = node;
    const int result = popupMenu_->Popup(menuItems_, globalPos);
    node = menuNode_;
    menuNode_ = nullptr;
    mouseState_ = TMouseState::Idle;
    SetHighlight(nullptr);
    if (result == TSHPopupMenu::kOffsetDelete) {
        IDList parent = CopyIDList(menuItems_.Parent());
        if (wasSelected) {
            if (listView_) listView_->PauseWatching();
            if (listView_) listView_->SetFolderIDList(parent);
            SelectIDList(parent);
            if (listView_) listView_->ResumeWatching();
        }
        FreeIDList(parent);
        RefreshAll();
        RefreshCombo();
    } else if (result == TSHPopupMenu::kOffsetRename && node) {
        editItem(node);
    }
    ResumeWatching();
}

bool TSHTreeView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    // The view offers every change of the current node for editing: only
    // a trigger that opens an editor asks the folder whether it may be
    // renamed, which a file system that does not answer would not tell.
    if (trigger != AllEditTriggers && !(editTriggers() & trigger)) return false;
    auto* node = static_cast<TSHTreeNode*>(itemFromIndex(index));
    if (!node || node == RootNode() || mouseState_ != TMouseState::Idle || !node->Item()->HasAttribute(saCanRename))
        return false;
    const bool editing = QTreeWidget::edit(index, trigger, event);
    if (editing) editedIndex_ = index;
    return editing;
}

void TSHTreeView::commitData(QWidget* editor) {
    const auto* line = qobject_cast<QLineEdit*>(editor);
    auto* node = static_cast<TSHTreeNode*>(itemFromIndex(editedIndex_));
    if (!line || !node) return;
    committedEditor_ = editor;
    committedNode_ = node;
    committedName_ = line->text();
}

void TSHTreeView::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    QTreeWidget::closeEditor(editor, hint);
    if (!committedEditor_ || committedEditor_ != editor) {
        if (auto* node = static_cast<TSHTreeNode*>(itemFromIndex(editedIndex_)))
            node->setText(0, node->Item()->GetDisplayName());
        return;
    }
    committedEditor_ = nullptr;
    // Renaming rebuilds the node; the editor's own handling goes on with
    // it afterwards, so the rename waits until that is over.
    QMetaObject::invokeMethod(this, [this] {
        TSHTreeNode* node = committedNode_;
        committedNode_ = nullptr;
        if (node) RenameNode(node, committedName_);
    }, Qt::QueuedConnection);
}

void TSHTreeView::RenameNode(TSHTreeNode* node, const QString& name) {
    if (name.isEmpty() || name == node->Item()->GetDisplayName()) {
        node->setText(0, node->Item()->GetDisplayName());
        return;
    }
    PauseWatching();
    if (listView_) listView_->PauseWatching();
    const bool selected = node == SelectedNode();
    if (node->Item()->Rename(name)) {
        if (combo_ && node->Item()->GetLevel() == 1) combo_->RebuildList();
        if (combo_) combo_->PointAt(SelectedIDList());
        if (selected && listView_) listView_->SetFolderIDList(node->Item()->AbsoluteID());
        if (selected) emit SelectionFolderChanged();
    }
    if (listView_) listView_->ResumeWatching();
    ResumeWatching();
}

// ---------------------------------------------------------------------------
// Drop target

void TSHTreeView::scrollTo(const QModelIndex& index, ScrollHint hint) {
    QTreeWidget::scrollTo(index, hint);
    if (!index.isValid()) return;
    // The column is as wide as the widest row, so the base class keeps its
    // left edge in view; a deep folder's name lies further right.
    const QRect row = visualRect(index);
    const int nameEnd = row.left() + iconSize().width() + fontMetrics().horizontalAdvance(index.data().toString());
    const int start = row.left() - indentation();
    if (start >= 0 && nameEnd <= viewport()->width()) return;
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() + start);
}

void TSHTreeView::dragEnterEvent(QDragEnterEvent* event) {
    hoverNode_ = nullptr;
    hoverCount_ = 0;
    rightButtonDrag_ = (event->buttons() & Qt::RightButton) != 0;
    dragObject_ = EnterShellDrag(this, OnShDragEnter, event);
    if (!dragObject_) return;
    if (mouseState_ == TMouseState::Idle) mouseState_ = TMouseState::Dragging;
    event->acceptProposedAction();
}

void TSHTreeView::AutoScroll(QPoint pos) {
    const int margin = fontMetrics().height();
    QScrollBar* vertical = verticalScrollBar();
    QScrollBar* horizontal = horizontalScrollBar();
    if (pos.y() < margin) vertical->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (pos.y() > viewport()->height() - margin) vertical->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    if (pos.x() < margin) horizontal->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (pos.x() > viewport()->width() - margin) horizontal->triggerAction(QAbstractSlider::SliderSingleStepAdd);
}

void TSHTreeView::dragMoveEvent(QDragMoveEvent* event) {
    if (!dragObject_) {
        event->ignore();
        return;
    }
    const QPoint pos = event->position().toPoint();
    AutoScroll(pos);
    auto* node = static_cast<TSHTreeNode*>(itemAt(pos));
    if (!node) {
        SetHighlight(nullptr);
        event->ignore();
        return;
    }
    SetHighlight(node);
    if (node == hoverNode_) {
        if (++hoverCount_ > kHoverExpandCount && node->HasChildren() && !node->isExpanded()) {
            node->setExpanded(true);
            hoverCount_ = 0;
        }
    } else {
        hoverNode_ = node;
        hoverCount_ = 0;
    }
    const unsigned effect = ProbeDrop(*node->Item(), this, event->mimeData(), DropKeyState(event->modifiers(), event->buttons()),
                                             DropEffects(event->possibleActions()));
    if (OnShDragOver)
        OnShDragOver(this, dragObject_.get(), node, ShiftStateOf(event->modifiers(), event->buttons()), pos.x(), pos.y());
    if (effect == platform::kDropEffectNone) {
        event->ignore(visualItemRect(node));
        return;
    }
    event->setDropAction(DropActionOf(effect));
    event->accept(visualItemRect(node));
}

void TSHTreeView::dragLeaveEvent(QDragLeaveEvent* event) {
    dragObject_.reset();
    if (OnShDragLeave) OnShDragLeave(this);
    SetHighlight(nullptr);
    if (mouseState_ == TMouseState::Dragging && !QWidget::mouseGrabber()) mouseState_ = TMouseState::Idle;
    event->accept();
}

void TSHTreeView::dropEvent(QDropEvent* event) {
    std::unique_ptr<TSHDragObject> dragObject = std::move(dragObject_);
    TSHTreeNode* node = static_cast<TSHTreeNode*>(itemAt(event->position().toPoint()));
    SetHighlight(nullptr);
    if (!dragObject || !node) {
        event->ignore();
        return;
    }
    const QPoint pos = event->position().toPoint();
    bool defaultAction = true;
    if (OnShDragDrop)
        OnShDragDrop(this, dragObject.get(), node, ShiftStateOf(event->modifiers(), event->buttons()), pos.x(), pos.y(),
                     defaultAction);
    unsigned effect = platform::kDropEffectNone;
    if (defaultAction) {
        const unsigned started = rightButtonDrag_ ? platform::kKeyRightButton : platform::kKeyLeftButton;
        effect = CarryDrop(*node->Item(), this, event->mimeData(), DropKeyState(event->modifiers(), event->buttons()),
                           started, DropEffects(event->possibleActions()));
    }
    if (mouseState_ == TMouseState::Dragging && !QWidget::mouseGrabber()) mouseState_ = TMouseState::Idle;
    if (effect == platform::kDropEffectNone) {
        event->ignore();
        return;
    }
    event->setDropAction(DropActionOf(effect));
    event->accept();
}

// ---------------------------------------------------------------------------
// Icon theme changes

// Looking the icons up again asks the file system: until the folders are
// read again the nodes show the plain icons of their kinds.
void TSHTreeView::ResetIconCaches() {
    for (QTreeWidgetItemIterator it(this); *it; ++it) static_cast<TSHTreeNode*>(*it)->ForgetIcons();
    viewport()->update();
}

void TSHTreeView::changeEvent(QEvent* event) {
    QTreeWidget::changeEvent(event);
    if (event->type() == QEvent::StyleChange || event->type() == QEvent::ThemeChange)
        QTimer::singleShot(0, this, [this] { ResetIconCaches(); });
}

// ---------------------------------------------------------------------------
// Folder tree with files

TSHFolderTreeView::TSHFolderTreeView(QWidget* parent) : TSHTreeView(parent) { RefreshAll(); }

void TSHFolderTreeView::SetFileMask(const QString& mask) {
    if (mask == fileMask_) return;
    fileMask_ = mask;
    RefreshAll();
}

unsigned TSHFolderTreeView::EnumFlags() const { return TSHTreeView::EnumFlags() | SHCONTF_NONFOLDERS; }

TTreeFilter TSHFolderTreeView::Filter() const {
    TTreeFilter filter = TSHTreeView::Filter();
    filter.fileMask = fileMask_;
    return filter;
}
