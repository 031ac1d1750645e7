#include "platform/list_view.h"

#include <algorithm>
#include <set>

#include <QAbstractItemModel>
#include <QApplication>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMouseEvent>
#include <QStackedWidget>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

constexpr QAbstractItemView::EditTriggers kEditTriggers =
    QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked;

bool ExtendsSelection(Qt::KeyboardModifiers modifiers) {
    return (modifiers & (Qt::ControlModifier | Qt::ShiftModifier)) != 0;
}

// An in-place editor is open on the focused row (editing always starts
// there).
bool Editing(const QAbstractItemView* view) { return view->indexWidget(view->currentIndex()) != nullptr; }

// Column widths no user drags: none at all, or beyond any screen.
constexpr int kLeastSavedWidth = 1;
constexpr int kMostSavedWidth = 8000;
// Room beside a column's text: the cell's margins and the sort arrow.
constexpr int kColumnPadding = 24;

}  // namespace

// A view whose typed text finds by partial caption.
template <typename View>
class TTypedFindView final : public View {
public:
    explicit TTypedFindView(TListView* list) : list_(list) {}

    void keyboardSearch(const QString& search) override { list_->KeyboardSearch(this, search); }

private:
    TListView* list_;
};

TListViewDelegate::TListViewDelegate(TListView* list) : QStyledItemDelegate(list), list_(list) {}

void TListViewDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    if (list_ == nullptr) return;
    const THotTrackStyles styles = list_->HotTrackStyles();
    // Only the caption is a link, not the details beside it.
    if (!styles || index.column() != 0) return;
    const bool hot = index.row() == list_->HotRow();
    const bool underline = hot ? (styles & (htHandPoint | htUnderlineHot)) != 0 : (styles & htUnderlineCold) != 0;
    if (underline) option->font.setUnderline(true);
    if (hot && (styles & htHandPoint) && !(option->state & QStyle::State_Selected))
        option->palette.setColor(QPalette::Text, option->palette.color(QPalette::Link));
}

TListView::TListView(QWidget* parent)
    : QWidget(parent),
      stack_(new QStackedWidget(this)),
      report_(new TTypedFindView<QTreeView>(this)),
      icons_(new TTypedFindView<QListView>(this)),
      emptyText_(new QLabel(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(stack_);
    stack_->addWidget(icons_);
    stack_->addWidget(report_);

    report_->setRootIsDecorated(false);
    report_->setItemsExpandable(false);
    report_->setUniformRowHeights(true);  // painting then costs the same at any scroll position
    report_->setSortingEnabled(false);
    report_->setAllColumnsShowFocus(true);
    report_->header()->setSectionsMovable(true);
    report_->header()->setSectionsClickable(true);
    report_->header()->setStretchLastSection(false);
    connect(report_->header(), &QHeaderView::sectionClicked, this, &TListView::ColumnClicked);

    icons_->setUniformItemSizes(true);
    icons_->setResizeMode(QListView::Adjust);
    icons_->setWrapping(true);
    icons_->setMovement(QListView::Static);
    // One delegate per view: a delegate tells every view it serves about
    // each editor it closes, and a view warns of editors not its own.
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(report_), static_cast<QAbstractItemView*>(icons_)}) {
        SetUpView(view);
        view->setItemDelegate(new TListViewDelegate(this));
    }
    emptyText_->setWordWrap(true);
    emptyText_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    emptyText_->setForegroundRole(QPalette::PlaceholderText);
    emptyText_->setAttribute(Qt::WA_TransparentForMouseEvents);
    emptyText_->hide();
    ApplyStyle();
    hoverTimer_.setSingleShot(true);
    hoverTimer_.setInterval(kHoverSelectDelay);
    connect(&hoverTimer_, &QTimer::timeout, this, &TListView::HoverSelect);
}

TListView::~TListView() {
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(report_), static_cast<QAbstractItemView*>(icons_)})
        if (auto* delegate = dynamic_cast<TListViewDelegate*>(view->itemDelegate())) delegate->Detach();
}

void TListView::SetUpView(QAbstractItemView* view) {
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(kEditTriggers);
    view->viewport()->installEventFilter(this);
    view->installEventFilter(this);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QAbstractItemView::activated, this, [this](const QModelIndex& index) {
        emit RowActivated(index.row(), index.column(), QApplication::keyboardModifiers());
    });
    connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint& pos) {
        emit ContextMenuAsked(view->viewport()->mapToGlobal(pos), view->indexAt(pos).row());
    });
}

void TListView::SetModel(QAbstractItemModel* model) {
    model_ = model;
    report_->setModel(model);
    QItemSelectionModel* ownSelection = icons_->selectionModel();
    icons_->setModel(model);
    QItemSelectionModel* unused = icons_->selectionModel();
    icons_->setSelectionModel(report_->selectionModel());
    if (unused != ownSelection) delete unused;
    connect(report_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &TListView::SelectionChanged);
    if (model == nullptr) return;
    // The rows under the pointer are others now.
    const auto forgetRows = [this] {
        hoverTimer_.stop();
        CancelClick();
        SetHotRow(-1);
    };
    connect(model, &QAbstractItemModel::modelReset, this, forgetRows);
    connect(model, &QAbstractItemModel::layoutChanged, this, forgetRows);
    connect(model, &QAbstractItemModel::modelReset, this, &TListView::PlaceEmptyText);
    connect(model, &QAbstractItemModel::rowsInserted, this, &TListView::PlaceEmptyText);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &TListView::PlaceEmptyText);
}

QAbstractItemView* TListView::CurrentView() const {
    return style_ == vsReport ? static_cast<QAbstractItemView*>(report_) : static_cast<QAbstractItemView*>(icons_);
}

QHeaderView* TListView::Header() const { return report_->header(); }

QItemSelectionModel* TListView::SelectionModel() const { return report_->selectionModel(); }

void TListView::SetViewStyle(TViewStyle style) {
    if (style == style_) return;
    const bool hadFocus = CurrentView()->hasFocus();
    style_ = style;
    ApplyStyle();
    if (hadFocus) CurrentView()->setFocus();
}

void TListView::ApplyStyle() {
    switch (style_) {
        case vsIcon:
            icons_->setViewMode(QListView::IconMode);
            icons_->setIconSize(QSize(32, 32));
            icons_->setFlow(QListView::LeftToRight);
            icons_->setGridSize(QSize(84, 68));
            break;
        case vsSmallIcon:
            icons_->setViewMode(QListView::ListMode);
            icons_->setIconSize(QSize(16, 16));
            icons_->setFlow(QListView::LeftToRight);
            icons_->setGridSize(QSize(160, 20));
            break;
        case vsList:
            icons_->setViewMode(QListView::ListMode);
            icons_->setIconSize(QSize(16, 16));
            icons_->setFlow(QListView::TopToBottom);
            icons_->setGridSize(QSize());
            break;
        case vsReport: break;
    }
    icons_->setWrapping(true);
    stack_->setCurrentWidget(CurrentView());
    PlaceEmptyText();
}

int TListView::RowCount() const { return model_ ? model_->rowCount() : 0; }

std::vector<int> TListView::SelectedRows() const {
    std::vector<int> rows;
    if (!SelectionModel()) return rows;
    for (const QItemSelectionRange& range : SelectionModel()->selection())
        for (int row = range.top(); row <= range.bottom(); ++row) rows.push_back(row);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

int TListView::SelectedCount() const { return static_cast<int>(SelectedRows().size()); }

void TListView::SetSelectedRows(const std::vector<int>& rows) {
    if (!model_ || !SelectionModel()) return;
    QItemSelection selection;
    const int lastColumn = std::max(0, model_->columnCount() - 1);
    const int count = RowCount();
    for (std::size_t i = 0; i < rows.size();) {
        std::size_t j = i;
        while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1) ++j;
        if (rows[i] >= 0 && rows[j] < count)
            selection.append(QItemSelectionRange(model_->index(rows[i], 0), model_->index(rows[j], lastColumn)));
        i = j + 1;
    }
    SelectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

int TListView::FocusedRow() const {
    return SelectionModel() && SelectionModel()->currentIndex().isValid() ? SelectionModel()->currentIndex().row() : -1;
}

void TListView::SetFocusedRow(int row) {
    if (!model_ || !SelectionModel()) return;
    SelectionModel()->setCurrentIndex(model_->index(row, 0), QItemSelectionModel::NoUpdate);
}

int TListView::TopRow() const {
    const QModelIndex index = CurrentView()->indexAt(QPoint(4, 4));
    return index.isValid() ? index.row() : (RowCount() > 0 ? 0 : -1);
}

void TListView::ScrollToRow(int row, bool atTop) {
    if (!model_ || row < 0 || row >= RowCount()) return;
    CurrentView()->scrollTo(model_->index(row, 0),
                            atTop ? QAbstractItemView::PositionAtTop : QAbstractItemView::EnsureVisible);
}

int TListView::RowAt(const QPoint& pointInView) const { return CurrentView()->indexAt(pointInView).row(); }

void TListView::RepaintRows() { CurrentView()->viewport()->update(); }

void TListView::EditRow(int row) {
    if (!model_ || row < 0 || row >= RowCount()) return;
    const QModelIndex index = model_->index(row, 0);
    CurrentView()->scrollTo(index);
    CurrentView()->setCurrentIndex(index);
    CurrentView()->edit(index);
}

int TListView::ColumnCount() const { return model_ ? model_->columnCount() : 0; }

std::vector<int> TListView::ColumnOrder() const {
    std::vector<int> order;
    for (int position = 0; position < ColumnCount(); ++position) order.push_back(Header()->logicalIndex(position));
    return order;
}

void TListView::SetColumnOrder(const std::vector<int>& order) {
    for (int position = 0; position < static_cast<int>(order.size()) && position < ColumnCount(); ++position) {
        const int column = order[static_cast<std::size_t>(position)];
        if (column < 0 || column >= ColumnCount()) continue;
        Header()->moveSection(Header()->visualIndex(column), position);
    }
}

int TListView::ColumnWidth(int column) const { return report_->columnWidth(column); }

void TListView::SetColumnWidth(int column, int width) { report_->setColumnWidth(column, std::max(0, width)); }

void TListView::SetSortArrow(int column, int direction) {
    Header()->setSortIndicatorShown(true);
    Header()->setSortIndicator(column, direction < 0 ? Qt::DescendingOrder : Qt::AscendingOrder);
}

QString TListView::TypicalColumnText(int) const { return QString(); }

int TListView::TypicalColumnWidth(int column) const {
    const QString caption = model_ ? model_->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString() : QString();
    const int captionWidth = Header()->fontMetrics().horizontalAdvance(caption);
    int contentWidth = report_->fontMetrics().horizontalAdvance(TypicalColumnText(column));
    // The first column carries the small icon before its text.
    if (column == 0) contentWidth += 16 + report_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) * 2;
    return std::max(captionWidth, contentWidth) + kColumnPadding;
}

void TListView::RestoreColumnWidth(int column, const QVariant& saved) {
    bool valid = false;
    const int width = saved.toInt(&valid);
    if (!valid || width < kLeastSavedWidth || width > kMostSavedWidth) {
        SetColumnWidth(column, TypicalColumnWidth(column));
        return;
    }
    SetColumnWidth(column, width);
}

// ---------------------------------------------------------------------------
// Typing to find a row, and the text of an empty list

int TListView::FindRow(const QString& text, int start) const {
    const int rows = RowCount();
    if (text.isEmpty() || rows == 0) return -1;
    start = std::clamp(start, 0, rows - 1);
    for (int step = 0; step < rows; ++step) {
        const int row = (start + step) % rows;
        if (model_->index(row, 0).data(Qt::DisplayRole).toString().contains(text, Qt::CaseInsensitive)) return row;
    }
    return -1;
}

void TListView::KeyboardSearch(QAbstractItemView* view, const QString& search) {
    const int rows = RowCount();
    if (rows == 0 || search.isEmpty()) return;
    const bool continues = typedTimer_.isValid() && typedTimer_.elapsed() <= QApplication::keyboardInputInterval();
    typedTimer_.start();
    typed_ = continues ? typed_ + search : search;
    // The same key again and again steps through the rows holding it.
    const bool sameKey = typed_.size() > 1 && typed_.count(typed_.back()) == typed_.size();
    const QString text = sameKey ? QString(typed_.back()) : typed_;
    const int focused = FocusedRow();
    int start = std::max(focused, 0);
    if (focused >= 0 && (!continues || sameKey)) start = (focused + 1) % rows;
    const int row = FindRow(text, start);
    if (row >= 0) view->setCurrentIndex(model_->index(row, 0));
}

void TListView::SetEmptyText(const QString& text) {
    emptyText_->setText(text);
    PlaceEmptyText();
}

QString TListView::EmptyText() const { return emptyText_->text(); }

void TListView::PlaceEmptyText() {
    QWidget* viewport = CurrentView()->viewport();
    if (emptyText_->parentWidget() != viewport) emptyText_->setParent(viewport);
    const int margin = fontMetrics().height();
    emptyText_->setGeometry(viewport->rect().adjusted(margin, margin, -margin, -margin));
    emptyText_->setVisible(!emptyText_->text().isEmpty() && RowCount() == 0);
}

// ---------------------------------------------------------------------------
// Hot tracking

void TListView::SetHotTrack(bool hotTrack) {
    if (hotTrack == hotTrack_) return;
    hotTrack_ = hotTrack;
    ApplyTracking();
}

void TListView::SetHotTrackStyles(THotTrackStyles styles) {
    if (styles == hotTrackStyles_) return;
    hotTrackStyles_ = styles;
    ApplyTracking();
}

void TListView::ApplyTracking() {
    // A single click opens, so it cannot also start renaming: F2 does.
    const QAbstractItemView::EditTriggers triggers =
        hotTrackStyles_ & htHandPoint ? kEditTriggers & ~QAbstractItemView::SelectedClicked : kEditTriggers;
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(report_), static_cast<QAbstractItemView*>(icons_)}) {
        view->viewport()->setMouseTracking(Tracking());
        view->setEditTriggers(triggers);
        if (!(hotTrackStyles_ & htHandPoint)) view->viewport()->unsetCursor();
    }
    hoverTimer_.stop();
    CancelClick();
    if (!Tracking()) SetHotRow(-1);
    RepaintRows();
}

bool TListView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && watched == emptyText_->parentWidget()) PlaceEmptyText();
    if (auto* keyView = qobject_cast<QAbstractItemView*>(watched); keyView && event->type() == QEvent::KeyPress)
        return NavigationKey(keyView, static_cast<QKeyEvent*>(event));
    auto* view = qobject_cast<QAbstractItemView*>(watched->parent());
    if (!Tracking() || view == nullptr || watched != view->viewport()) return QWidget::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::MouseMove: PointerMoved(view, static_cast<QMouseEvent&>(*event)); break;
        case QEvent::Leave:
            hoverTimer_.stop();
            SetHotRow(-1);
            break;
        case QEvent::MouseButtonPress: ClickPressed(view, static_cast<QMouseEvent&>(*event)); break;
        case QEvent::MouseButtonRelease: ClickReleased(view, static_cast<QMouseEvent&>(*event)); break;
        case QEvent::MouseButtonDblClick:
            // The first click of it opened the row already.
            if (hotTrackStyles_ & htHandPoint && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
                return true;
            break;
        default: break;
    }
    return QWidget::eventFilter(watched, event);
}

// A plain navigation key selects the row it lands on, also when that row
// was focused already: the view moves the selection only when the focus
// moves, which left a focused first row unselected after Home.
bool TListView::NavigationKey(QAbstractItemView* view, QKeyEvent* event) {
    static const std::set<int> kNavigationKeys = {Qt::Key_Up,   Qt::Key_Down, Qt::Key_Left,   Qt::Key_Right,
                                                  Qt::Key_Home, Qt::Key_End,  Qt::Key_PageUp, Qt::Key_PageDown};
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (!plain || kNavigationKeys.count(event->key()) == 0 || Editing(view)) return false;
    static_cast<QObject*>(view)->event(event);
    const QModelIndex current = view->currentIndex();
    if (current.isValid() && !view->selectionModel()->isRowSelected(current.row(), current.parent()))
        view->selectionModel()->select(current, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    return true;
}

void TListView::PointerMoved(QAbstractItemView* view, const QMouseEvent& event) {
    if (!(event.buttons() & Qt::LeftButton)) CancelClick();
    const int row = view->indexAt(event.position().toPoint()).row();
    SetHotRow(row);
    if (hotTrackStyles_ & htHandPoint) {
        if (row >= 0)
            view->viewport()->setCursor(Qt::PointingHandCursor);
        else
            view->viewport()->unsetCursor();
    }
    // The pointer must rest on the row: every move starts the wait again.
    hoverTimer_.stop();
    if (hotTrack_ && row >= 0 && event.buttons() == Qt::NoButton && !ExtendsSelection(event.modifiers()))
        hoverTimer_.start();
}

void TListView::SetHotRow(int row) {
    if (row == hotRow_) return;
    hotRow_ = row;
    if (hotTrackStyles_) RepaintRows();
}

void TListView::HoverSelect() {
    QAbstractItemView* view = CurrentView();
    // Not under an open editor, a held button, a disabled list (a load is
    // running) or another window.
    if (!hotTrack_ || hotRow_ < 0 || hotRow_ >= RowCount() || !isEnabled() || !isActiveWindow() || Editing(view) ||
        QGuiApplication::mouseButtons() != Qt::NoButton)
        return;
    if (FocusedRow() == hotRow_ && SelectedRows() == std::vector<int>{hotRow_}) return;
    SetSelectedRows({hotRow_});
    SetFocusedRow(hotRow_);
}

void TListView::ClickPressed(QAbstractItemView* view, const QMouseEvent& event) {
    CancelClick();
    hoverTimer_.stop();
    const QModelIndex index = view->indexAt(event.position().toPoint());
    // Ctrl and Shift clicks build a selection; they open nothing.
    if (!(hotTrackStyles_ & htHandPoint) || event.button() != Qt::LeftButton || !index.isValid() ||
        ExtendsSelection(event.modifiers()))
        return;
    clickIndex_ = index;
}

void TListView::ClickReleased(QAbstractItemView* view, const QMouseEvent& event) {
    const QPersistentModelIndex pressed = clickIndex_;
    CancelClick();
    if (!pressed.isValid() || event.button() != Qt::LeftButton || ExtendsSelection(event.modifiers()) ||
        Editing(view))
        return;
    const QModelIndex released = view->indexAt(event.position().toPoint());
    if (released.row() != pressed.row()) return;
    // Opened once the view has finished with the click, so that opening
    // (which may replace every row) does not happen under its feet.
    const QPersistentModelIndex target = released;
    QMetaObject::invokeMethod(
        this,
        [this, target] {
            if (target.isValid()) emit RowActivated(target.row(), target.column(), Qt::NoModifier);
        },
        Qt::QueuedConnection);
}
