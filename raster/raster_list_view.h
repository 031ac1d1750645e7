#pragma once

#include <array>
#include <functional>
#include <vector>

#include <QMenu>
#include <QPointer>

#include "platform/list_view.h"
#include "raster/raster_layers.h"
#include "raster/raster_types.h"

class QSettings;
class TImageList;
class TRaster;
class TRasterTreeView;

// The objects of the raster view's active layer, one row each in the
// layer's order: name, position, main and attribute texts. Objects are
// renamed in place; activating a row zooms the view onto the object;
// the selected objects are reported to the owner. Bound to its view by
// the layer tree.
class TRasterListView : public TListView {
    Q_OBJECT

public:
    using TRasterActiveItemEvent = std::function<void(TRasterListView* Sender, int Item)>;
    using TRasterSelectItemEvent =
        std::function<void(TRasterListView* Sender, const std::vector<TRasterObject*>& SelRaster)>;
    using TRasterNotifyEvent = std::function<void(TRasterListView* Sender)>;

    static constexpr int kColumnCount = 4;

    explicit TRasterListView(QWidget* parent = nullptr);
    ~TRasterListView() override;

    // Set by the layer tree's binding.
    TRaster* Raster() const;
    void SetRaster(TRaster* raster);
    TRasterTreeView* Tree() const { return tree_; }
    void SetTree(TRasterTreeView* tree) { tree_ = tree; }

    // Every row shows image 2 of this list (not owned).
    void SetSmallImages(const TImageList* images);
    const TImageList* SmallImages() const { return smallImages_; }

    // Shown on a right-click while rows are selected (not owned).
    QMenu* RasterPopup() const { return popup_; }
    void SetRasterPopup(QMenu* menu) { popup_ = menu; }

    TRasterHeaderCaption SortType() const { return sortType_; }
    void SetSortType(TRasterHeaderCaption column) { sortType_ = column; }
    // The direction of the SortType column.
    int SortArray() const { return sortOrder_[Index(sortType_)]; }
    int SortOrder(TRasterHeaderCaption column) const { return sortOrder_[Index(column)]; }

    // Reads the active layer's object count again (sorting the layer by
    // the current direction) and keeps the scroll position.
    void Refresh();
    // Sorts the layer by name keeping the selected and focused objects.
    void Sort(TRasterHeaderCaption column, int direction);
    // The select tool's lookup: shows the object's row selected.
    bool ShowObject(TRasterObject* object);
    // The objects' texts changed, not their number or order.
    void UpdateRows();

    void BeginSelectUpdate();
    void EndSelectUpdate();
    const std::vector<TRasterObject*>& Selection() const { return selection_; }
    TRasterObject* ObjectAt(int row) const;

    void LoadColumnSettings(QSettings& settings, const QString& section);
    void SaveColumnSettings(QSettings& settings, const QString& section);

    TRasterActiveItemEvent OnRasterActiveItem;
    TRasterSelectItemEvent OnRasterSelectItem;
    TRasterNotifyEvent OnRasterDelete;
    TRasterNotifyEvent OnRasterReplace;

signals:
    // The selected objects changed (besides OnRasterSelectItem).
    void ObjectsSelected(const std::vector<TRasterObject*>& objects);

protected:
    QString TypicalColumnText(int column) const override;

private:
    class TModel;
    friend class TModel;
    static int Index(TRasterHeaderCaption column) { return static_cast<int>(column); }

    TRasterLayer* Layer() const;
    void ActivateRow(int row);
    void ColumnClick(int column);
    void TrackSelection();
    void ReportSelection();
    void RenameObject(int row, const QString& name);
    void ShowPopup(const QPoint& globalPos);

    TModel* model_;
    QPointer<TRaster> raster_;
    TRasterTreeView* tree_ = nullptr;
    const TImageList* smallImages_ = nullptr;
    QPointer<QMenu> popup_;
    TRasterHeaderCaption sortType_ = TRasterHeaderCaption::hcName;
    std::array<int, kColumnCount> sortOrder_{1, 1, 1, 1};
    std::vector<TRasterObject*> selection_;
    int selectUpdateCount_ = 0;
};
