#include "shell/shell_list_view.h"

#include <algorithm>
#include <span>

#include <QAbstractTableModel>
#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QDir>
#include <QDrag>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QHash>
#include <QListView>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSettings>
#include <QStyledItemDelegate>
#include <QTreeView>

#include "platform/hourglass_cursor.h"
#include "platform/message_box.h"
#include "platform/path_text.h"
#include "platform/shell_context_menu.h"
#include "platform/shell_drop_target.h"
#include "platform/shell_icons.h"
#include "raster/image_list.h"
#include "shell/shell_tree_view.h"

namespace {

constexpr int kDragDistance = 5;
// The shell menu's result for "create shortcut" (its command plus one).
constexpr int kOffsetCreateLink = platform::kCommandCreateLink + 1;

unsigned KeyStateOf(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
    unsigned state = 0;
    if (buttons & Qt::LeftButton) state |= platform::kKeyLeftButton;
    if (buttons & Qt::RightButton) state |= platform::kKeyRightButton;
    if (buttons & Qt::MiddleButton) state |= platform::kKeyMiddleButton;
    if (modifiers & Qt::ShiftModifier) state |= platform::kKeyShift;
    if (modifiers & Qt::ControlModifier) state |= platform::kKeyControl;
    if (modifiers & Qt::AltModifier) state |= platform::kKeyAlt;
    return state;
}

unsigned EffectsOf(Qt::DropActions actions) {
    unsigned effects = 0;
    if (actions & Qt::CopyAction) effects |= platform::kDropEffectCopy;
    if (actions & Qt::MoveAction) effects |= platform::kDropEffectMove;
    if (actions & Qt::LinkAction) effects |= platform::kDropEffectLink;
    return effects;
}

Qt::DropActions ActionsOf(unsigned effects) {
    Qt::DropActions actions;
    if (effects & platform::kDropEffectCopy) actions |= Qt::CopyAction;
    if (effects & platform::kDropEffectMove) actions |= Qt::MoveAction;
    if (effects & platform::kDropEffectLink) actions |= Qt::LinkAction;
    return actions;
}

Qt::DropAction ActionOf(unsigned effect) {
    if (effect & platform::kDropEffectMove) return Qt::MoveAction;
    if (effect & platform::kDropEffectCopy) return Qt::CopyAction;
    if (effect & platform::kDropEffectLink) return Qt::LinkAction;
    return Qt::IgnoreAction;
}

}  // namespace

// ---------------------------------------------------------------------------
// The rows as the views ask for them: nothing is kept per row here.

class TSHListView::TModel final : public QAbstractTableModel {
public:
    explicit TModel(TSHListView* view) : QAbstractTableModel(view), view_(view) {}

    int rowCount(const QModelIndex& parent = QModelIndex()) const override { return parent.isValid() ? 0 : rows_; }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : kHeaderCaptionCount;
    }

    TSHFileItem* Entry(int row) const {
        if (row < 0 || row >= rows_ || !view_->fileList_ || view_->goingAway_) return nullptr;
        return view_->fileList_->GetItem(row);
    }

    QVariant data(const QModelIndex& index, int role) const override {
        TSHFileItem* entry = Entry(index.row());
        if (!entry) return {};
        switch (role) {
            case Qt::DisplayRole: return Text(*entry, index.column());
            case Qt::EditRole: return index.column() == hcName ? entry->GetDisplayName() : QVariant();
            case Qt::DecorationRole: return index.column() == hcName ? QVariant(Icon(*entry)) : QVariant();
            case Qt::TextAlignmentRole:
                if (index.column() == hcSize || index.column() == hcAttr)
                    return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
                return {};
            default: return {};
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        static const char* const captions[kHeaderCaptionCount] = {"名前", "サイズ", "ファイルの種類", "更新日時", "属性"};
        if (orientation != Qt::Horizontal || section < 0 || section >= kHeaderCaptionCount) return {};
        if (role == Qt::DisplayRole) return QString::fromUtf8(captions[section]);
        if (role == Qt::TextAlignmentRole && (section == hcSize || section == hcAttr))
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        return {};
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        Qt::ItemFlags flags = QAbstractTableModel::flags(index);
        if (index.column() == hcName) flags |= Qt::ItemIsEditable;
        return flags;
    }

    bool setData(const QModelIndex& index, const QVariant& value, int role) override {
        if (role != Qt::EditRole || index.column() != hcName || !Entry(index.row())) return false;
        view_->RenameEntry(index.row(), value.toString());
        return true;
    }

    void BeginReset() {
        if (resetDepth_++ == 0) beginResetModel();
    }
    void EndReset(int rows) {
        rows_ = rows;
        if (resetDepth_ > 0 && --resetDepth_ == 0) endResetModel();
    }
    void BeginReorder() { emit layoutAboutToBeChanged(); }
    void EndReorder(int rows) {
        rows_ = rows;
        emit layoutChanged();
    }
    void RowChanged(int row) { emit dataChanged(index(row, 0), index(row, kHeaderCaptionCount - 1)); }

private:
    QString Text(TSHFileItem& entry, int column) const {
        switch (column) {
            case hcName: return entry.GetDisplayName();
            case hcSize: return entry.SizeText();
            case hcType: return entry.TypeText();
            case hcLastWrite: return entry.DateText();
            case hcAttr: return view_->attributesImage_.ImageList ? QString() : entry.AttributesText();
            default: return QString();
        }
    }

    // The system icon with the entry's overlay (shared, link) drawn into
    // its lower left corner; each combination is made once.
    QIcon Icon(TSHFileItem& entry) const {
        const bool large = view_->ViewStyle() == vsIcon;
        const int index = entry.GetIconIndex();
        const int overlay = entry.OverlayIndex();
        const QIcon icon = GetSysImageList(large).Icon(index);
        if (overlay == 0) return icon;
        const qint64 key = (qint64{index} << 8) | (overlay << 1) | (large ? 1 : 0);
        if (const auto found = overlaid_.constFind(key); found != overlaid_.constEnd()) return *found;
        const int size = large ? 32 : 16;
        QPixmap pixmap = icon.pixmap(size, size);
        {
            QPainter painter(&pixmap);
            const QIcon emblem = QIcon::fromTheme(overlay == 1 ? QStringLiteral("emblem-shared")
                                                               : QStringLiteral("emblem-symbolic-link"));
            emblem.paint(&painter, QRect(0, size / 2, size / 2, size / 2));
        }
        return *overlaid_.insert(key, QIcon(pixmap));
    }

    TSHListView* view_;
    int rows_ = 0;
    int resetDepth_ = 0;
    mutable QHash<qint64, QIcon> overlaid_;
};

// Draws the drop highlight, the owner's custom drawing and the attribute
// images, and opens the in-place editor only for entries that can be
// renamed.
class TSHListView::TDelegate final : public TListViewDelegate {
public:
    explicit TDelegate(TSHListView* view) : TListViewDelegate(view), view_(view) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        TSHFileItem* entry = view_->model_->Entry(index.row());
        if (!entry || !entry->HasAttribute(saCanRename)) return nullptr;
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        editor_ = editor;
        return editor;
    }

    // Called by the views also while the list is torn down: touches only
    // the delegate's own state.
    void destroyEditor(QWidget* editor, const QModelIndex& index) const override {
        if (editor_ == editor) editor_ = nullptr;
        QStyledItemDelegate::destroyEditor(editor, index);
    }

    bool Editing() const { return editor_ != nullptr; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        TSHFileItem* entry = view_->model_->Entry(index.row());
        if (!entry) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem styled = option;
        if (index.row() == view_->dropRow_) styled.state |= QStyle::State_Selected;
        const std::uint32_t attributes = entry->Attributes();
        TListItemCanvas canvas{painter, option.rect, option.font, QColor(), QColor()};
        if (!CustomDraw(index, styled.state, attributes, canvas)) return;
        if (canvas.Font != option.font) styled.font = canvas.Font;
        if (canvas.FontColor.isValid()) styled.palette.setColor(QPalette::Text, canvas.FontColor);
        if (canvas.BrushColor.isValid()) styled.backgroundBrush = canvas.BrushColor;
        QStyledItemDelegate::paint(painter, styled, index);
        const TImageList* images = view_->attributesImage_.ImageList;
        if (!images || !(attributes & kShownAttributes)) return;
        if (index.column() == hcAttr) PaintAttributeCell(*painter, option.rect, attributes, *images);
        if (index.column() == hcName && view_->ViewStyle() == vsIcon)
            PaintAttributesOverIcon(*painter, styled, index, attributes, *images);
    }

private:
    // Read-only, hidden, system, directory, archive, temporary, compressed,
    // offline: the attributes a row shows.
    static constexpr std::uint32_t kShownAttributes = 0x1937;

    // The owner's custom drawing of one cell; false when the owner painted
    // it (or wants it left empty).
    bool CustomDraw(const QModelIndex& index, QStyle::State state, std::uint32_t attributes,
                    TListItemCanvas& canvas) const {
        bool defaultDraw = true;
        bool subItemDraw = (attributes & kShownAttributes) != 0;
        if (view_->OnCustomDrawItem) view_->OnCustomDrawItem(view_, index.row(), state, canvas, defaultDraw, subItemDraw);
        if (!defaultDraw) return false;
        if (index.column() == hcName || view_->ViewStyle() != vsReport) return true;
        if (!subItemDraw) return true;
        if (view_->OnCustomDrawSubItem)
            view_->OnCustomDrawSubItem(view_, index.row(), index.column(), state, canvas, defaultDraw);
        return defaultDraw;
    }

    void PaintAttributeCell(QPainter& painter, const QRect& cell, std::uint32_t attributes,
                            const TImageList& images) const {
        const TAttributesImage& image = view_->attributesImage_;
        const std::pair<std::uint32_t, int> order[] = {
            {platform::kAttrReadOnly, image.ReadOnly},     {platform::kAttrHidden, image.Hidden},
            {platform::kAttrSystem, image.System},         {platform::kAttrArchive, image.Archive},
            {platform::kAttrDirectory, image.Directory},   {platform::kAttrTemporary, image.Temporary},
            {platform::kAttrCompressed, image.Compressed}, {platform::kAttrOffline, image.Offline}};
        painter.save();
        painter.setClipRect(cell);
        int x = cell.left();
        for (const auto& [bit, imageIndex] : order) {
            if (!(attributes & bit) || imageIndex < 0) continue;
            images.Draw(painter, QRect(x, cell.top() + 2, images.Width(), images.Height()), imageIndex);
            x += images.Width();
        }
        painter.restore();
    }

    // In the large-icon style the attribute images stand in a column at the
    // icon's lower left corner, stacked upwards.
    void PaintAttributesOverIcon(QPainter& painter, const QStyleOptionViewItem& option, const QModelIndex& index,
                                 std::uint32_t attributes, const TImageList& images) const {
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        const QStyle* style = item.widget ? item.widget->style() : QApplication::style();
        const QRect icon = style->subElementRect(QStyle::SE_ItemViewItemDecoration, &item, item.widget);
        if (icon.isEmpty()) return;
        const TAttributesImage& image = view_->attributesImage_;
        const std::pair<std::uint32_t, int> order[] = {
            {platform::kAttrArchive, image.Archive},       {platform::kAttrSystem, image.System},
            {platform::kAttrHidden, image.Hidden},         {platform::kAttrReadOnly, image.ReadOnly},
            {platform::kAttrDirectory, image.Directory},   {platform::kAttrTemporary, image.Temporary},
            {platform::kAttrCompressed, image.Compressed}, {platform::kAttrOffline, image.Offline}};
        const int x = icon.left() + 5 - images.Width();
        int y = icon.bottom() + 1 - images.Height();
        for (const auto& [bit, imageIndex] : order) {
            if (!(attributes & bit) || imageIndex < 0) continue;
            images.Draw(painter, QRect(x, y, images.Width(), images.Height()), imageIndex);
            y -= images.Height() + 1;
        }
    }

    TSHListView* view_;
    mutable QPointer<QWidget> editor_;
};

// ---------------------------------------------------------------------------

TSHListView::TSHListView(QWidget* parent)
    : TListView(parent), model_(new TModel(this)), fileList_(std::make_unique<TSHFileList>(this)) {
    SetModel(model_);
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(ReportView()), static_cast<QAbstractItemView*>(IconView())}) {
        QAbstractItemDelegate* plain = view->itemDelegate();
        auto* delegate = new TDelegate(this);
        delegates_.push_back(delegate);
        view->setItemDelegate(delegate);
        delete plain;
        view->setDragEnabled(false);
        view->viewport()->setAcceptDrops(true);
    }
    for (int column = 0; column < kHeaderCaptionCount; ++column) SetColumnWidth(column, TypicalColumnWidth(column));
    connect(this, &TListView::RowActivated, this, [this](int row, int column, Qt::KeyboardModifiers shift) {
        ExecuteItem(row, column, shift, CurrentView()->viewport()->mapFromGlobal(QCursor::pos()));
    });
    connect(this, &TListView::ColumnClicked, this, &TSHListView::ColumnClick);
    connect(this, &TListView::SelectionChanged, this, [this] {
        RecountSelection();
        ReportSelection();
    });
    connect(this, &TListView::ContextMenuAsked, this, &TSHListView::ShowContextMenu);
    connect(QApplication::clipboard(), &QClipboard::dataChanged, this, &TSHListView::ClipboardChangedSlot);
    clipboardHasFiles_ = ClipboardOffersFiles();
}

TSHListView::~TSHListView() {
    goingAway_ = true;
    if (tree_) tree_->SetShellListView(nullptr);
    fileList_.reset();
}

TSHTreeView* TSHListView::ShellTreeView() const { return tree_; }

void TSHListView::SetShellTreeView(TSHTreeView* tree) { tree_ = tree; }

ConstIDList TSHListView::BoundTreeSelection() { return tree_ ? tree_->SelectedIDList() : nullptr; }

void TSHListView::showEvent(QShowEvent* event) {
    TListView::showEvent(event);
    if (!FolderIDList()) {
        const TIDListHolder desktop(CopyIDList(platform::MakeDesktopIDList().get()));
        SetFolderIDList(desktop.get());
    }
    ReportSelection();
}

// ---------------------------------------------------------------------------
// Navigation and the list

void TSHListView::SetFolderIDList(ConstIDList absolute) {
    if (!absolute || goingAway_) return;
    if (FolderIDList() && IDListLevel(absolute) == fileList_->FolderLevel() &&
        CompareIDList(GetDesktopFolder(), absolute, FolderIDList()) == 0)
        return;
    fileList_->SetFolder(absolute);
    // A folder read on the list's own thread becomes the current one once
    // it has answered.
    if (!fileList_->Listing() && fileList_->FolderHasAttribute(saFileSystem)) QDir::setCurrent(FolderPath());
}

void TSHListView::RefreshList() {
    if (!FolderIDList()) return;
    fileList_->Reload();
    RepaintRows();
}

void TSHListView::SetSort(THeaderCaption column, int direction) {
    sortType_ = column;
    fileList_->SetSortDirection(column, direction);
    fileList_->ApplySort(column);
    SetSortArrow(column, fileList_->SortDirection(column));
}

void TSHListView::ColumnClick(int column) {
    if (column < 0 || column >= kHeaderCaptionCount) return;
    const platform::HourglassCursor busy;
    const auto key = static_cast<THeaderCaption>(column);
    sortType_ = key;
    fileList_->SetSortDirection(key, -fileList_->SortDirection(key));
    fileList_->ApplySort(key);
    SetSortArrow(column, fileList_->SortDirection(key));
}

void TSHListView::SetLocked(bool locked) {
    if (locked == locked_) return;
    locked_ = locked;
    if (OnShFolderLock) OnShFolderLock(this, locked);
    emit FolderLockChanged(locked);
}

void TSHListView::SetIncludeHidden(bool include) {
    if (include == includeHidden_) return;
    includeHidden_ = include;
    if (tree_) tree_->SetIncludeHidden(include);
    RefreshList();
}

void TSHListView::SetShVirtuaItems(TShVirtuaItems items) {
    if (items == virtuals_) return;
    virtuals_ = items;
    if (tree_) tree_->SetShVirtuaItems(items);
    RefreshList();
}

void TSHListView::SetAttributesImage(const TAttributesImage* image) {
    if (!image) return;
    attributesImage_ = *image;
    RepaintRows();
}

std::optional<TSHFileFilter> TSHListView::ListingFilter() const {
    if (OnShFilter && filter_.Options != 0) return std::nullopt;
    return filter_;
}

bool TSHListView::AcceptItem(TSHFileItem* item) {
    if (filter_.Options == 0) return true;
    bool accept = filter_.Match(*item);
    if (OnShFilter) OnShFilter(this, item, accept);
    return accept;
}

void TSHListView::BeginRowsUpdate() { model_->BeginReset(); }

void TSHListView::EndRowsUpdate(int rowCount) {
    SetEmptyText(fileList_->ReadFailureText());
    model_->EndReset(rowCount);
    RecountSelection();
    ReportSelection();
}

void TSHListView::BeginRowsReorder() { model_->BeginReorder(); }

void TSHListView::EndRowsReorder(int rowCount) {
    model_->EndReorder(rowCount);
    // The selected entries keep their selection in their new places, and
    // their facts with it; rows may have come or gone beside them.
    if (factsState_ == TFactsState::Stale) return;
    const std::vector<int> rows = SelectedRows();
    if (static_cast<int>(rows.size()) == selectionFacts_.Count)
        selectionFacts_.FirstRow = rows.empty() ? -1 : rows.front();
    else
        ForgetSelectionFacts();
}

void TSHListView::InvalidateRows() {
    // Attributes and sizes of the entries may have changed with their texts.
    ForgetSelectionFacts();
    RepaintRows();
}

void TSHListView::ListChanged(TSHFileList* list) {
    SetEmptyText(list->ReadFailureText());
    if (OnShListChange) OnShListChange(this, list);
    emit FileListChanged(list);
}

// ---------------------------------------------------------------------------
// Selection

namespace {

// Up to this many selected entries the attributes and the sizes are read
// on the spot: the answer is there at once and costs the window little.
constexpr std::size_t kReadOnTheSpot = 2000;

constexpr std::uint32_t kFactsRequest = platform::kCapabilityMask | platform::kFileSystem | platform::kFolder;

}  // namespace

// What one pass over the selected entries finds: each entry's item, the
// sizes read already and where the entries not read yet are, and whether
// all of them are folders by what is known of them.
struct TSHListView::TSelectionWalk {
    std::vector<ConstIDList> Items;
    std::vector<std::uint32_t> Unsized;  // positions in Items
    std::int64_t KnownSize = 0;
    bool AllFolders = true;
};

TSHListView::TSelectionWalk TSHListView::WalkSelection(const std::vector<int>& rows) const {
    TSelectionWalk walk;
    walk.Items.reserve(rows.size());
    for (const int row : rows) {
        TSHFileItem* entry = model_->Entry(row);
        if (!entry) continue;
        if (entry->FindDataLoaded())
            walk.KnownSize += static_cast<std::int64_t>(entry->Size());
        else
            walk.Unsized.push_back(static_cast<std::uint32_t>(walk.Items.size()));
        walk.Items.push_back(entry->RelativeID());
        walk.AllFolders = walk.AllFolders && entry->IsDirectory();
    }
    return walk;
}

// A large selection is asked about at once, sizes and attributes in one
// pass: the idle pass that follows will want the attributes anyway.
void TSHListView::RecountSelection() {
    DropSelectionQuestion();
    const std::vector<int> rows = SelectedRows();
    if (rows.size() > kReadOnTheSpot) {
        TSelectionWalk walk = WalkSelection(rows);
        selSize_ = walk.KnownSize;
        AskAboutSelection(rows, std::move(walk));
        return;
    }
    std::int64_t total = 0;
    for (const int row : rows)
        if (TSHFileItem* entry = model_->Entry(row)) total += static_cast<std::int64_t>(entry->Size());
    selSize_ = total;
}

// The selection changed: what was asked about the old one is of no use.
void TSHListView::DropSelectionQuestion() {
    if (query_) query_->Drop();
    factsState_ = TFactsState::Stale;
    sizePending_ = false;
    askAgain_ = false;
}

// The same entries changed (their facts, or which of them are there): the
// sizes are counted and the attributes asked again, the last attributes
// standing meanwhile. An answer on its way is taken, and the question
// asked again when it comes, so that entries whose facts keep coming (a
// folder still being read) cannot hold the answer back for ever.
void TSHListView::ForgetSelectionFacts() {
    if (factsState_ == TFactsState::Pending) {
        askAgain_ = true;
        return;
    }
    const bool settled = factsState_ == TFactsState::Settled;
    const std::uint32_t attributes = selectionFacts_.Attributes;
    RecountSelection();
    if (settled && factsState_ == TFactsState::Pending) selectionFacts_.Attributes = attributes;
    ReportSelection();
}

const TSHListView::TSelectionFacts& TSHListView::SelectionFacts() {
    if (factsState_ != TFactsState::Stale) return selectionFacts_;
    const std::vector<int> rows = SelectedRows();
    if (rows.size() > kReadOnTheSpot) {
        // The sizes were counted and reported with the selection.
        TSelectionWalk walk = WalkSelection(rows);
        walk.Unsized.clear();
        AskAboutSelection(rows, std::move(walk));
        return selectionFacts_;
    }
    TSelectionFacts facts;
    facts.Count = static_cast<int>(rows.size());
    facts.FirstRow = rows.empty() ? -1 : rows.front();
    const TSHIDList& selection = fileList_->SelectedIDList();
    if (const ShellFolderPtr folder = selection.Folder(); folder && selection.Count() > 0)
        facts.Attributes =
            folder->GetAttributesOf(std::span(selection.Items(), selection.Count()), kFactsRequest).value_or(0);
    facts.HasDriveRoot = HasDriveRoot(rows);
    selectionFacts_ = facts;
    factsState_ = TFactsState::Settled;
    return selectionFacts_;
}

bool TSHListView::HasDriveRoot(const std::vector<int>& rows) const {
    // Only the drives folder lists drive roots.
    if (fileList_->FolderKind() != itMyComputer) return false;
    return std::any_of(rows.begin(), rows.end(), [this](int row) {
        TSHFileItem* entry = model_->Entry(row);
        return entry && entry->GetItemType() == itRootDrive;
    });
}

// A large selection: count and first row now, the attributes (and the
// sizes not read yet) from the worker. Meanwhile the commands see what the
// entries' kinds allow, so that a key pressed at once still finds its
// command enabled; before acting, a command waits for the answer.
void TSHListView::AskAboutSelection(const std::vector<int>& rows, TSelectionWalk walk) {
    TSelectionFacts facts;
    facts.Count = static_cast<int>(rows.size());
    facts.FirstRow = rows.empty() ? -1 : rows.front();
    facts.HasDriveRoot = HasDriveRoot(rows);
    const ShellFolderPtr folder = fileList_->GetFolder();
    if (!folder || walk.Items.empty()) {
        selectionFacts_ = facts;
        factsState_ = TFactsState::Settled;
        return;
    }
    facts.Attributes = platform::kCapabilityMask | platform::kFileSystem;
    if (walk.AllFolders) facts.Attributes |= platform::kFolder;
    if (!query_)
        query_ = std::make_unique<TSelectionQuery>(
            this, [this](const TSelectionAnswer& answer) { SelectionAnswered(answer); });
    sizePending_ = !walk.Unsized.empty();
    query_->Ask(folder, walk.Items, std::move(walk.Unsized), kFactsRequest);
    selectionFacts_ = facts;
    factsState_ = TFactsState::Pending;
}

void TSHListView::SelectionAnswered(const TSelectionAnswer& answer) {
    selectionFacts_.Attributes = answer.Attributes.value_or(0);
    factsState_ = TFactsState::Settled;
    ++answers_;
    if (sizePending_) {
        sizePending_ = false;
        selSize_ += static_cast<std::int64_t>(answer.Size);
        ReportSelection();
    }
    if (askAgain_) {
        askAgain_ = false;
        ForgetSelectionFacts();
    }
    emit SelectionFactsChanged();
}

// Any answer that comes after the wait began will do: it tells the
// attributes of the selection as it is now.
void TSHListView::SettleSelectionFacts() {
    SelectionFacts();
    const std::uint64_t answered = answers_;
    while (factsState_ == TFactsState::Pending && answers_ == answered && !goingAway_) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
        if (factsState_ == TFactsState::Stale) SelectionFacts();
    }
}

bool TSHListView::IsEditing() const {
    return std::any_of(delegates_.begin(), delegates_.end(), [](const TDelegate* delegate) { return delegate->Editing(); });
}

bool TSHListView::SelectionHolds(TShAttribute attribute) {
    const TSelectionFacts& facts = SelectionFacts();
    const std::uint32_t mask = ShAttributeMask(attribute);
    return facts.Count > 0 && (facts.Attributes & mask) == mask;
}

void TSHListView::ReportSelection() {
    if (selectionSuspended_ > 0 || sizePending_) return;
    if (OnShSelChange) OnShSelChange(this, selSize_);
    emit SelectionSizeChanged(selSize_);
}

void TSHListView::ResumeSelectionNotify() {
    if (--selectionSuspended_ > 0) return;
    selectionSuspended_ = 0;
    RecountSelection();
    ReportSelection();
}

// ---------------------------------------------------------------------------
// Opening, renaming, commands

void TSHListView::ExecuteItem(int row, int column, Qt::KeyboardModifiers shift, QPoint point) {
    TSHFileItem* entry = model_->Entry(row);
    if (!entry) return;
    if (!entry->HasAttribute(saFolder)) {
        bool defaultAction = true;
        if (OnShExecute) OnShExecute(this, entry, shift, column, point.x(), point.y(), defaultAction);
        if (defaultAction) ShellExecuteIDList(this, entry->GetAbsoluteIDList());
        return;
    }
    if (locked_) {
        platform::ShowMessage(window(), QStringLiteral("フォルダ固定により移動が制限されています。"),
                              platform::MessageIcon::Information);
        return;
    }
    const TIDListHolder folder(CopyIDList(entry->GetAbsoluteIDList()));
    SetFolderIDList(folder.get());
    if (tree_) tree_->SelectIDList(folder.get());
}

void TSHListView::RenameEntry(int row, const QString& name) {
    TSHFileItem* entry = model_->Entry(row);
    if (!entry) return;
    PauseWatching();
    entry->Rename(name);
    ResumeWatching();
    model_->RowChanged(row);
}

// After a delete, whether it went through, was cancelled part way or
// failed for some items, the rows of the items that are gone go; the
// bound tree is read again, as deleted folders may be among them.
void TSHListView::Deleted() {
    if (fileList_->DeleteSelected() > 0 && tree_) tree_->RefreshAll();
}

bool TSHListView::ExecuteShellCommand(int kind) {
    if (kind < scCut || kind > scProperties || !FolderIDList()) return false;
    PauseWatching();
    bool done = false;
    if (kind == scPaste) {
        // The target is the folder itself, named through its parent.
        IDList desktopDirectory = nullptr;
        if (fileList_->FolderLevel() == 0) GetSpecialFolderIDList(sfDesktopDirectory, desktopDirectory);
        const TIDListHolder holder(desktopDirectory);
        const TIDListHolder parent(desktopDirectory ? ::ParentIDList(desktopDirectory) : CopyIDList(fileList_->ParentIDList()));
        const TIDListHolder last(desktopDirectory ? ::LastItemIDList(desktopDirectory) : CopyIDList(fileList_->LastItemIDList()));
        TSHIDList target;
        target.SetParent(parent.get());
        target.Add(last.get());
        done = target.Count() == 1 && target.RunVerb(window(), vkPaste);
        fileList_->Reload();
    } else {
        // The verbs need the selection's attributes, which the commands'
        // states were worked out from: asked once, not again per verb.
        SettleSelectionFacts();
        const std::uint32_t attributes = SelectionFacts().Attributes;
        TSHIDList& selection = fileList_->SelectedIDList();
        if (selection.Count() > 0) {
            bool removed = false;
            done = selection.RunVerb(window(), kind, attributes, &removed);
            if (done && kind == scCreateShortcut && !FolderPath().isEmpty()) RefreshList();
            if (removed) Deleted();
        }
    }
    ResumeWatching();
    return done;
}

bool TSHListView::CreateNewFolder() {
    const QString folderPath = FolderPath();
    if (folderPath.isEmpty()) return false;
    const QString path = NewFolderName(folderPath);
    if (!MakeNewFolder(path)) return false;
    fileList_->Refresh();
    // Its name opens for editing as soon as the folder's new reading has it.
    fileList_->SelectEntryWhenListed(platform::PathBytes(QFileInfo(path).fileName()), [this](int row) { EditRow(row); });
    return true;
}

void TSHListView::ShowContextMenu(const QPoint& globalPos, int row) {
    if (row < 0 || !popup_) {
        mouseState_ = msIdle;
        return;
    }
    PauseWatching();
    TSHIDList& selection = fileList_->SelectedIDList();
    if (selection.Count() > 0 && selection.Folder()) {
        const int count = selection.Count();
        const int result = popup_->Popup(selection, globalPos);
        mouseState_ = msIdle;
        if (result == kOffsetCreateLink && !FolderPath().isEmpty()) RefreshList();
        if (result == TSHPopupMenu::kOffsetDelete) Deleted();
        if (result == TSHPopupMenu::kOffsetRename) {
            bool accept = true;
            if (OnShListRename) OnShListRename(this, count, accept);
            if (accept) EditRow(FocusedRow() >= 0 ? FocusedRow() : row);
        }
    }
    mouseState_ = msIdle;
    ResumeWatching();
}

void TSHListView::ClipboardChangedSlot() {
    if (goingAway_) return;
    const bool contented = ClipboardOffersFiles();
    clipboardHasFiles_ = contented;
    if (OnShClipboard) OnShClipboard(this, contented);
    emit ClipboardChanged(contented);
}

// ---------------------------------------------------------------------------
// Column settings

void TSHListView::LoadColumnSettings(QSettings& settings, const QString& section) {
    settings.beginGroup(section);
    const int count = std::min(settings.value("ColumnsCount", ColumnCount()).toInt(), ColumnCount());
    if (count > 0) {
        std::vector<int> order;
        for (int n = 0; n < count; ++n) order.push_back(settings.value(QStringLiteral("Columns%1").arg(n), n).toInt());
        SetColumnOrder(order);
        for (const int column : ColumnOrder())
            RestoreColumnWidth(column, settings.value(QStringLiteral("ColumnsWidth%1").arg(column)));
        SetViewStyle(static_cast<TViewStyle>(std::clamp(settings.value("ViewStyle", 0).toInt(), 0, 3)));
        for (int column = 0; column < kHeaderCaptionCount; ++column)
            fileList_->SetSortDirection(static_cast<THeaderCaption>(column),
                                        settings.value(QStringLiteral("SortOrder%1").arg(column), 1).toInt());
        const auto sortType =
            static_cast<THeaderCaption>(std::clamp(settings.value("SortType", 0).toInt(), 0, kHeaderCaptionCount - 1));
        SetSort(sortType, fileList_->SortDirection(sortType));
    }
    settings.endGroup();
}

// A long file name, a size in the gigabytes, the longest of the
// namespace's own type names, a date and time, every attribute letter.
QString TSHListView::TypicalColumnText(int column) const {
    switch (column) {
        case hcName: return QStringLiteral("IMG_20240101_123456 (2).jpeg");
        case hcSize: return SizeColumnText(std::uint64_t{9'999'999} * 1024);
        case hcType: return platform::RemovableDiskTypeName();
        case hcLastWrite: return DateColumnText(QDateTime(QDate(2000, 12, 28), QTime(23, 59)));
        case hcAttr: return QStringLiteral("RHSADTCO");
        default: return QString();
    }
}

void TSHListView::SaveColumnSettings(QSettings& settings, const QString& section) {
    settings.beginGroup(section);
    const std::vector<int> order = ColumnOrder();
    if (order.size() > 1) {
        settings.setValue("ColumnsCount", static_cast<int>(order.size()));
        for (int n = 0; n < static_cast<int>(order.size()); ++n) {
            settings.setValue(QStringLiteral("Columns%1").arg(n), order[n]);
            settings.setValue(QStringLiteral("ColumnsWidth%1").arg(order[n]), ColumnWidth(order[n]));
        }
    }
    settings.setValue("ViewStyle", static_cast<int>(ViewStyle()));
    for (int column = 0; column < kHeaderCaptionCount; ++column)
        settings.setValue(QStringLiteral("SortOrder%1").arg(column),
                          fileList_->SortDirection(static_cast<THeaderCaption>(column)));
    settings.setValue("SortType", static_cast<int>(fileList_->SortColumn()));
    settings.endGroup();
    settings.sync();
}

// ---------------------------------------------------------------------------
// Dragging out and dropping in

bool TSHListView::eventFilter(QObject* watched, QEvent* event) {
    const bool viewport = watched == ReportView()->viewport() || watched == IconView()->viewport();
    if (!viewport || goingAway_) return TListView::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseMove: return MouseEvent(watched, event) || TListView::eventFilter(watched, event);
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::DragLeave:
        case QEvent::Drop: return DragEvent(event);
        default: return TListView::eventFilter(watched, event);
    }
}

bool TSHListView::MouseEvent(QObject*, QEvent* event) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    const QPoint position = mouse->position().toPoint();
    switch (event->type()) {
        case QEvent::MouseButtonPress:
            if (RowAt(position) >= 0 && (mouse->button() == Qt::LeftButton || mouse->button() == Qt::RightButton)) {
                mouseState_ = mouse->button() == Qt::LeftButton ? msLeftPressed : msRightPressed;
                pressPoint_ = position;
            }
            return false;
        case QEvent::MouseButtonRelease:
            if (mouseState_ != msDragging) mouseState_ = msIdle;
            return false;
        case QEvent::MouseMove: {
            if (mouseState_ != msLeftPressed && mouseState_ != msRightPressed) return false;
            const Qt::MouseButton button = mouseState_ == msLeftPressed ? Qt::LeftButton : Qt::RightButton;
            if (!(mouse->buttons() & button)) {
                mouseState_ = msIdle;
                return false;
            }
            const QPoint moved = position - pressPoint_;
            if (std::abs(moved.x()) <= kDragDistance && std::abs(moved.y()) <= kDragDistance) return false;
            StartDrag(position);
            return true;
        }
        default: return false;
    }
}

std::unique_ptr<QMimeData> TSHListView::SelectionMimeData(unsigned& allowedEffects) {
    allowedEffects = 0;
    const ShellFolderPtr folder = fileList_->GetFolder();
    TSHIDList& selection = fileList_->SelectedIDList();
    if (!folder || selection.Count() == 0) return nullptr;
    allowedEffects = selection.Attributes() & (platform::kCanCopy | platform::kCanMove | platform::kCanLink);
    if (allowedEffects == 0) return nullptr;
    return folder->GetDataObject(std::span<const platform::ItemIDList* const>(selection.Items(), selection.Count()));
}

void TSHListView::StartDrag(QPoint position) {
    // The pointer went too far for a click, whether the drag happens or not.
    CancelClick();
    unsigned effects = 0;
    std::unique_ptr<QMimeData> data = SelectionMimeData(effects);
    bool canDrag = data != nullptr;
    if (canDrag && OnShBeginDrag)
        OnShBeginDrag(this, fileList_->SelectedIDList(), pressPoint_, position.x(), position.y(), canDrag);
    if (!canDrag) {
        mouseState_ = msIdle;
        return;
    }
    mouseState_ = msDragging;
    auto* drag = new QDrag(CurrentView()->viewport());
    drag->setMimeData(data.release());
    drag->exec(ActionsOf(effects), ActionOf(effects & platform::kDropEffectMove ? platform::kDropEffectMove : effects));
    mouseState_ = msIdle;
}

bool TSHListView::DragEvent(QEvent* event) {
    switch (event->type()) {
        case QEvent::DragEnter: DragEnter(static_cast<QDragEnterEvent*>(event)); break;
        case QEvent::DragMove: DragMove(static_cast<QDragMoveEvent*>(event)); break;
        case QEvent::DragLeave: DragLeave(); break;
        case QEvent::Drop: Drop(static_cast<QDropEvent*>(event)); break;
        default: return false;
    }
    return true;
}

void TSHListView::DragEnter(QDragEnterEvent* event) {
    dragObject_.reset();
    const QMimeData* data = event->mimeData();
    if (!data || !IsShellData(data)) {
        event->ignore();
        return;
    }
    dragRightButton_ = (event->buttons() & Qt::RightButton) != 0;
    auto dragObject = std::make_unique<TSHDragObject>(data);
    bool accept = true;
    if (OnShDragEnter) OnShDragEnter(this, *dragObject, event->modifiers(), event->position().toPoint(), accept);
    if (!accept) {
        event->ignore();
        return;
    }
    dragObject_ = std::move(dragObject);
    event->acceptProposedAction();
}

std::unique_ptr<platform::ShellDropTarget> TSHListView::TargetAt(QPoint position, TSHFileItem*& item, int& row) {
    row = RowAt(position);
    if (row < 0 && ViewStyle() == vsIcon) row = RowAt(position - QPoint(0, 2));
    item = model_->Entry(row);
    if (item && item->HasAttribute(saDropTarget))
        if (std::unique_ptr<platform::ShellDropTarget> target = item->GetDropTarget(this)) return target;
    row = -1;
    if (!fileList_->FolderHasAttribute(saDropTarget) && fileList_->FolderLevel() != 0) return nullptr;
    return fileList_->GetFolderDropTarget(this);
}

void TSHListView::DragMove(QDragMoveEvent* event) {
    if (!dragObject_) {
        event->ignore();
        return;
    }
    const QPoint position = event->position().toPoint();
    TSHFileItem* item = nullptr;
    int row = -1;
    std::unique_ptr<platform::ShellDropTarget> target = TargetAt(position, item, row);
    unsigned effect = 0;
    if (target) {
        const unsigned keys = KeyStateOf(event->buttons(), event->modifiers());
        effect = EffectsOf(event->possibleActions());
        target->DragEnter(event->mimeData(), keys, position, effect);
        target->DragOver(keys, position, effect);
        target->DragLeave();
    }
    SetDropRow(target ? row : -1);
    if (effect == platform::kDropEffectNone) {
        event->ignore();
    } else {
        event->setDropAction(ActionOf(effect));
        event->accept();
    }
    if (target && OnShDragOver)
        OnShDragOver(this, *dragObject_, item, event->modifiers(), position.x(), position.y());
    AutoScroll(position);
}

void TSHListView::DragLeave() {
    SetDropRow(-1);
    if (!dragObject_) return;
    dragObject_.reset();
    if (OnShDragLeave) OnShDragLeave(this);
}

void TSHListView::Drop(QDropEvent* event) {
    if (!dragObject_) {
        event->ignore();
        return;
    }
    const std::unique_ptr<TSHDragObject> dragObject = std::move(dragObject_);
    const QPoint position = event->position().toPoint();
    TSHFileItem* item = nullptr;
    int row = -1;
    std::unique_ptr<platform::ShellDropTarget> target = TargetAt(position, item, row);
    SetDropRow(-1);
    bool defaultAction = true;
    if (OnShDragDrop) OnShDragDrop(this, *dragObject, item, event->modifiers(), position.x(), position.y(), defaultAction);
    unsigned effect = EffectsOf(event->possibleActions());
    // No button is down any more: the one that carried the drag is added.
    const unsigned dropKeys = KeyStateOf(event->buttons(), event->modifiers());
    const unsigned keys = dropKeys | (dragRightButton_ ? platform::kKeyRightButton : platform::kKeyLeftButton);
    const bool handedOver = defaultAction && target && target->DragEnter(event->mimeData(), keys, position, effect) &&
                            target->DragOver(keys, position, effect) && effect != platform::kDropEffectNone;
    if (!handedOver) {
        event->ignore();
        return;
    }
    PauseWatching();
    target->Drop(event->mimeData(), dropKeys, position, effect);
    ResumeWatching();
    RefreshList();
    event->setDropAction(ActionOf(effect));
    event->accept();
}

void TSHListView::SetDropRow(int row) {
    if (row == dropRow_) return;
    dropRow_ = row;
    RepaintRows();
}

void TSHListView::AutoScroll(QPoint position) {
    const int margin = std::abs(fontMetrics().height());
    const QWidget* viewport = CurrentView()->viewport();
    QScrollBar* vertical = CurrentView()->verticalScrollBar();
    QScrollBar* horizontal = CurrentView()->horizontalScrollBar();
    if (position.y() < margin)
        vertical->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (position.y() > viewport->height() - margin)
        vertical->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    if (position.x() < margin)
        horizontal->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (position.x() > viewport->width() - margin)
        horizontal->triggerAction(QAbstractSlider::SliderSingleStepAdd);
}
