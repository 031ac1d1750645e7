#include "raster/raster_list_view.h"

#include <algorithm>

#include <QAbstractTableModel>
#include <QMenu>
#include <QSettings>
#include <QTimer>

#include "platform/hourglass_cursor.h"
#include "raster/image_list.h"
#include "raster/raster.h"
#include "raster/raster_layers.h"

// The rows as the control asks for them; the row count changes only
// through Refresh, like a list in owner-data mode.
class TRasterListView::TModel final : public QAbstractTableModel {
public:
    explicit TModel(TRasterListView* list) : QAbstractTableModel(list), list_(list) {}

    int rowCount(const QModelIndex& parent = QModelIndex()) const override { return parent.isValid() ? 0 : rows_; }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : kColumnCount;
    }

    QVariant data(const QModelIndex& index, int role) const override {
        const TRasterObject* object = list_->ObjectAt(index.row());
        if (!object) return {};
        if (role == Qt::DisplayRole || role == Qt::EditRole) return Text(*object, index.column());
        if (role == Qt::DecorationRole && index.column() == 0 && list_->smallImages_)
            return list_->smallImages_->Image(2);
        return {};
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        static const char* const captions[kColumnCount] = {"オブジェクト名", "種別", "主項目", "属項目"};
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumnCount) return {};
        return QString::fromUtf8(captions[section]);
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        Qt::ItemFlags flags = QAbstractTableModel::flags(index);
        if (index.column() == 0 && list_->ObjectAt(index.row())) flags |= Qt::ItemIsEditable;
        return flags;
    }

    bool setData(const QModelIndex& index, const QVariant& value, int role) override {
        if (role != Qt::EditRole || index.column() != 0 || !list_->ObjectAt(index.row())) return false;
        list_->RenameObject(index.row(), value.toString());
        return true;
    }

    void Reset(int rows) {
        beginResetModel();
        rows_ = rows;
        endResetModel();
    }
    void Reorder(const std::function<void()>& change) {
        emit layoutAboutToBeChanged();
        change();
        emit layoutChanged();
    }

private:
    static QString Text(const TRasterObject& object, int column) {
        switch (column) {
            case 0: return object.Name();
            case 1: return QStringLiteral("%1 / %2").arg(object.X()).arg(object.Y());
            case 2: return object.MainText();
            case 3: return object.AttributeText();
            default: return QString();
        }
    }

    TRasterListView* list_;
    int rows_ = 0;
};

TRasterListView::TRasterListView(QWidget* parent) : TListView(parent), model_(new TModel(this)) {
    SetModel(model_);
    for (int column = 0; column < kColumnCount; ++column) SetColumnWidth(column, TypicalColumnWidth(column));
    connect(this, &TListView::RowActivated, this, [this](int row) { ActivateRow(row); });
    connect(this, &TListView::ColumnClicked, this, &TRasterListView::ColumnClick);
    connect(this, &TListView::SelectionChanged, this, [this] { TrackSelection(); });
    connect(this, &TListView::ContextMenuAsked, this, [this](const QPoint& pos) { ShowPopup(pos); });
    SetSortArrow(Index(sortType_), SortArray());
}

TRasterListView::~TRasterListView() {
    // The base destructor hides the control, and the hidden rows are measured
    // once more; by then this part of the object is gone, so the rows go first.
    model_->Reset(0);
    if (raster_ && raster_->ListView() == this) raster_->SetListView(nullptr);
}

TRaster* TRasterListView::Raster() const { return raster_; }

void TRasterListView::SetRaster(TRaster* raster) {
    if (raster_ == raster) return;
    raster_ = raster;
    Refresh();
}

void TRasterListView::SetSmallImages(const TImageList* images) {
    smallImages_ = images;
    RepaintRows();
}

TRasterLayer* TRasterListView::Layer() const { return raster_ ? raster_->ActiveLayer() : nullptr; }

TRasterObject* TRasterListView::ObjectAt(int row) const {
    const TRasterLayer* layer = Layer();
    if (!layer || row < 0 || row >= layer->Count() || row >= model_->rowCount()) return nullptr;
    return layer->Objects(row);
}

void TRasterListView::Refresh() {
    TRasterLayer* layer = Layer();
    const int top = TopRow();
    BeginSelectUpdate();
    model_->Reset(0);
    selection_.clear();
    if (layer && layer->Count() > 0) {
        layer->SortObjects(SortArray());
        model_->Reset(layer->Count());
        if (top >= 0) ScrollToRow(std::min(top, layer->Count() - 1), true);
    }
    EndSelectUpdate();
    RepaintRows();
}

void TRasterListView::Sort(TRasterHeaderCaption column, int direction) {
    TRasterLayer* layer = Layer();
    if (!layer || layer->Count() == 0) return;
    BeginSelectUpdate();
    TRasterObject* focused = ObjectAt(FocusedRow());
    const std::vector<TRasterObject*> selected = selection_;
    sortOrder_[Index(column)] = direction < 0 ? -1 : 1;
    model_->Reorder([&] { layer->SortObjects(direction < 0 ? -1 : 1); });
    std::vector<int> rows;
    for (TRasterObject* object : selected)
        if (const int row = layer->IndexOf(object); row >= 0) rows.push_back(row);
    std::sort(rows.begin(), rows.end());
    SetSelectedRows(rows);
    if (focused) SetFocusedRow(layer->IndexOf(focused));
    EndSelectUpdate();
    RepaintRows();
}

void TRasterListView::ColumnClick(int column) {
    if (column < 0 || column >= kColumnCount) return;
    const platform::HourglassCursor busy;
    sortType_ = static_cast<TRasterHeaderCaption>(column);
    sortOrder_[column] = -sortOrder_[column];
    Sort(sortType_, sortOrder_[column]);
    SetSortArrow(column, sortOrder_[column]);
}

bool TRasterListView::ShowObject(TRasterObject* object) {
    const TRasterLayer* layer = Layer();
    const int row = layer ? layer->IndexOf(object) : -1;
    if (row < 0 || row >= model_->rowCount()) return false;
    ScrollToRow(row, false);
    SetSelectedRows({row});
    SetFocusedRow(row);
    return true;
}

void TRasterListView::UpdateRows() {
    if (model_->rowCount() > 0)
        emit model_->dataChanged(model_->index(0, 0), model_->index(model_->rowCount() - 1, kColumnCount - 1));
}

void TRasterListView::ActivateRow(int row) {
    TRasterLayer* layer = Layer();
    TRasterObject* object = ObjectAt(row);
    if (!layer || !object) return;
    if (TRasterObject* previous = layer->ActiveObject()) previous->SetState(0);
    layer->SetActiveObject(object);
    object->SetState(1);
    raster_->ZoomToRect(object->Bounds());
    if (OnRasterActiveItem) OnRasterActiveItem(this, row);
}

// Keeps the order in which objects were selected: objects still selected
// stay where they were, newly selected ones follow in row order.
void TRasterListView::TrackSelection() {
    const std::vector<int> rows = SelectedRows();
    std::vector<TRasterObject*> now;
    for (const int row : rows)
        if (TRasterObject* object = ObjectAt(row)) now.push_back(object);
    std::vector<TRasterObject*> kept;
    for (TRasterObject* object : selection_)
        if (std::find(now.begin(), now.end(), object) != now.end()) kept.push_back(object);
    for (TRasterObject* object : now)
        if (std::find(kept.begin(), kept.end(), object) == kept.end()) kept.push_back(object);
    selection_ = std::move(kept);
    ReportSelection();
}

void TRasterListView::ReportSelection() {
    if (selectUpdateCount_ > 0) return;
    if (OnRasterSelectItem) OnRasterSelectItem(this, selection_);
    emit ObjectsSelected(selection_);
}

void TRasterListView::BeginSelectUpdate() { ++selectUpdateCount_; }

void TRasterListView::EndSelectUpdate() {
    if (--selectUpdateCount_ > 0) return;
    selectUpdateCount_ = 0;
    ReportSelection();
}

// The model is refilled once the editor has closed: refilling it while the
// editor commits would pull the row from under it.
void TRasterListView::RenameObject(int row, const QString& name) {
    TRasterObject* object = ObjectAt(row);
    if (!object) return;
    object->SetName(name);
    if (raster_) raster_->SetModified(true);
    QTimer::singleShot(0, this, [this] { Refresh(); });
}

void TRasterListView::ShowPopup(const QPoint& globalPos) {
    if (!popup_ || SelectedRows().empty()) return;
    popup_->popup(globalPos);
}

void TRasterListView::LoadColumnSettings(QSettings& settings, const QString& section) {
    settings.beginGroup(section);
    SetViewStyle(static_cast<TViewStyle>(std::clamp(settings.value("ViewStyle", 3).toInt(), 0, 3)));
    const int count = settings.value("ColumnsCount", ColumnCount()).toInt();
    if (count != 0) {
        std::vector<int> order;
        for (int n = 0; n < std::min(count, ColumnCount()); ++n)
            order.push_back(settings.value(QStringLiteral("Columns%1").arg(n), n).toInt());
        SetColumnOrder(order);
        for (int column = 0; column < ColumnCount(); ++column)
            RestoreColumnWidth(column, settings.value(QStringLiteral("ColumnsWidth%1").arg(column)));
        sortType_ = static_cast<TRasterHeaderCaption>(std::clamp(settings.value("SortType", 2).toInt(), 0, kColumnCount - 1));
        for (int column = 0; column < kColumnCount; ++column)
            sortOrder_[column] = settings.value(QStringLiteral("SortOrder%1").arg(column), 1).toInt() < 0 ? -1 : 1;
        SetSortArrow(Index(sortType_), SortArray());
    }
    settings.endGroup();
}

// A name of a dozen characters, a position in five-digit coordinates and
// texts of a short phrase.
QString TRasterListView::TypicalColumnText(int column) const {
    switch (column) {
        case 0: return QStringLiteral("マーカー オブジェクト");
        case 1: return QStringLiteral("12345 / 12345");
        default: return QStringLiteral("項目のテキスト");
    }
}

void TRasterListView::SaveColumnSettings(QSettings& settings, const QString& section) {
    settings.beginGroup(section);
    settings.setValue("ColumnsCount", ColumnCount());
    const std::vector<int> order = ColumnOrder();
    for (int n = 0; n < static_cast<int>(order.size()); ++n) {
        settings.setValue(QStringLiteral("Columns%1").arg(n), order[n]);
        settings.setValue(QStringLiteral("ColumnsWidth%1").arg(order[n]), ColumnWidth(order[n]));
    }
    settings.setValue("ViewStyle", static_cast<int>(ViewStyle()));
    settings.setValue("SortType", Index(sortType_));
    for (int column = 0; column < kColumnCount; ++column)
        settings.setValue(QStringLiteral("SortOrder%1").arg(column), sortOrder_[column]);
    settings.endGroup();
    settings.sync();
}
