#include "raster/raster_tree_view.h"

#include <algorithm>
#include <memory>

#include <QScopedValueRollback>
#include <QFileInfo>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QTreeWidgetItemIterator>

#include "platform/path_text.h"
#include "raster/raster.h"
#include "raster/raster_layers.h"
#include "raster/raster_list_view.h"

// The node images are compiled into this static library; the linker keeps
// them only when something refers to their registration.
static void RegisterTreeResources() { Q_INIT_RESOURCE(tree); }

namespace {

constexpr int kLayerRole = Qt::UserRole;
constexpr int kImageIndexRole = Qt::UserRole + 1;
constexpr int kNodeImageSize = 16;

TImageList LoadNodeImages() {
    RegisterTreeResources();
    TImageList images(kNodeImageSize, kNodeImageSize);
    for (const char* name : {"image", "layer-active", "layer-visible", "layer-invisible"})
        images.Add(QPixmap(QStringLiteral(":/tree/%1.png").arg(QLatin1String(name))));
    return images;
}

int LayerImage(TLayerMode mode) {
    switch (mode) {
    case lmActive: return TRasterTreeView::niActiveLayer;
    case lmVisible: return TRasterTreeView::niVisibleLayer;
    case lmInvisible: return TRasterTreeView::niInvisibleLayer;
    }
    return TRasterTreeView::niVisibleLayer;
}


// A node that keeps what it shows as plain members rather than as a
// stored value per role: a tree of many layers is filled and emptied in a
// fraction of the time. The text changes only by refilling the tree.
class TNode final : public QTreeWidgetItem {
public:
    TNode(const QString& text, int imageIndex, const QIcon& icon, TRasterLayer* layer)
        : QTreeWidgetItem(UserType), text_(text), imageIndex_(imageIndex), icon_(icon), layer_(layer) {}

    void SetIcon(const QIcon& icon) {
        icon_ = icon;
        emitDataChanged();
    }

    QVariant data(int column, int role) const override {
        if (column != 0) return QTreeWidgetItem::data(column, role);
        switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole: return text_;
        case Qt::DecorationRole: return icon_;
        case kImageIndexRole: return imageIndex_;
        case kLayerRole: return QVariant::fromValue(static_cast<void*>(layer_));
        default: return QTreeWidgetItem::data(column, role);
        }
    }

private:
    QString text_;
    int imageIndex_;
    QIcon icon_;
    TRasterLayer* layer_;
};

// Holds back repaints while the tree is refilled, on every way out.
class BulkUpdate {
public:
    explicit BulkUpdate(QWidget* widget) : widget_(widget), enabled_(widget->updatesEnabled()) {
        widget_->setUpdatesEnabled(false);
    }
    ~BulkUpdate() { widget_->setUpdatesEnabled(enabled_); }
    BulkUpdate(const BulkUpdate&) = delete;
    BulkUpdate& operator=(const BulkUpdate&) = delete;

private:
    QWidget* widget_;
    bool enabled_;
};

}  // namespace

TRasterTreeView::TRasterTreeView(QWidget* parent) : QTreeWidget(parent), images_(LoadNodeImages()) {
    for (int i = 0; i < images_.Count(); ++i) icons_.emplace_back(images_.Image(i));
    setColumnCount(1);
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setIconSize(QSize(kNodeImageSize, kNodeImageSize));
    // Like a label: F2 or a click on the selected node edits; a double-click
    // activates the layer instead.
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    // Dragging starts by itself; what a drop means is up to the owner.
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    connect(this, &QTreeWidget::itemSelectionChanged, this, &TRasterTreeView::SelectionChanged);
}

TRasterTreeView::~TRasterTreeView() {
    Unbind();
    // Freeing the nodes must not report selection changes to a tree that
    // is half gone.
    blockSignals(true);
}

TRaster* TRasterTreeView::Raster() const { return raster_.data(); }

void TRasterTreeView::SetRaster(TRaster* raster) {
    if (raster == raster_) return;
    Unbind();
    // A view has one tree: the one bound before lets go, so that it does
    // not keep nodes the view no longer refreshes.
    if (raster != nullptr && raster->TreeView() != nullptr) raster->TreeView()->SetRaster(nullptr);
    raster_ = raster;
    if (raster_ != nullptr) {
        raster_->SetTreeView(this);
        // The nodes point at the view's layers, which go with the view.
        connect(raster_, &QObject::destroyed, this, [this] {
            const QScopedValueRollback<bool> updating(updating_, true);
            clear();
        });
    }
    if (listView_) {
        listView_->SetRaster(raster_);
        if (raster_) raster_->SetListView(listView_);
    }
    Refresh();
}

TRasterListView* TRasterTreeView::RasterListView() const { return listView_; }

void TRasterTreeView::SetRasterListView(TRasterListView* list) {
    if (list == listView_) return;
    if (listView_) {
        disconnect(listView_, nullptr, this, nullptr);
        listView_->SetTree(nullptr);
        listView_->SetRaster(nullptr);
        if (raster_ && raster_->ListView() == listView_) raster_->SetListView(nullptr);
    }
    listView_ = list;
    if (listView_) {
        listView_->SetTree(this);
        listView_->SetRaster(raster_);
    }
    if (raster_) raster_->SetListView(listView_);
}

void TRasterTreeView::Unbind() {
    if (raster_ == nullptr) return;
    disconnect(raster_, nullptr, this, nullptr);
    if (raster_->TreeView() == this) raster_->SetTreeView(nullptr);
    if (listView_ && raster_->ListView() == listView_) raster_->SetListView(nullptr);
    raster_ = nullptr;
}

TRasterLayer* TRasterTreeView::NodeLayer(const QTreeWidgetItem* node) {
    return node == nullptr ? nullptr : static_cast<TRasterLayer*>(node->data(0, kLayerRole).value<void*>());
}

int TRasterTreeView::ImageIndex(const QTreeWidgetItem* node) {
    return node == nullptr ? -1 : node->data(0, kImageIndexRole).toInt();
}

QTreeWidgetItem* TRasterTreeView::NodeAt(int absoluteIndex) const {
    if (absoluteIndex < 0) return nullptr;
    QTreeWidgetItemIterator it(const_cast<TRasterTreeView*>(this));
    for (int i = 0; *it != nullptr && i < absoluteIndex; ++it) ++i;
    return *it;
}

int TRasterTreeView::AbsoluteIndex(const QTreeWidgetItem* node) const {
    int index = 0;
    for (QTreeWidgetItemIterator it(const_cast<TRasterTreeView*>(this)); *it != nullptr; ++it, ++index)
        if (*it == node) return index;
    return -1;
}

int TRasterTreeView::NodeCount() const {
    int count = 0;
    for (QTreeWidgetItemIterator it(const_cast<TRasterTreeView*>(this)); *it != nullptr; ++it) ++count;
    return count;
}

QTreeWidgetItem* TRasterTreeView::SelectedNode() const {
    const QList<QTreeWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

std::unique_ptr<QTreeWidgetItem> TRasterTreeView::MakeNode(const QString& text, int imageIndex,
                                                           TRasterLayer* layer) const {
    return std::make_unique<TNode>(text, imageIndex, icons_.at(static_cast<std::size_t>(imageIndex)), layer);
}

void TRasterTreeView::Rebuild() {
    const BulkUpdate bulk(this);
    const QScopedValueRollback<bool> updating(updating_, true);
    if (raster_ != nullptr) raster_->SetActiveLayer(nullptr);
    clear();
    if (raster_ == nullptr || !raster_->HasImage()) return;

    // The nodes are put together before they go into the tree, which then
    // reports one insertion instead of a change for every node.
    std::unique_ptr<QTreeWidgetItem> root =
        MakeNode(platform::ShownText(QFileInfo(raster_->FileName()).fileName()), niImage, nullptr);
    root->setFlags(root->flags() & ~Qt::ItemIsEditable);
    const TRasterLayers& layers = raster_->Layers();
    // The layer drawn last is on top, so it is listed first. Of several
    // active layers (possible in a hand-made file) the lowest one wins.
    for (int n = layers.Count() - 1; n >= 0; --n) {
        TRasterLayer* layer = layers.Items(n);
        std::unique_ptr<QTreeWidgetItem> node = MakeNode(layer->Name(), LayerImage(layer->Mode()), layer);
        node->setFlags(node->flags() | Qt::ItemIsEditable);
        root->addChild(node.release());
        if (layer->Mode() == lmActive) raster_->SetActiveLayer(layer);
    }
    addTopLevelItem(root.release());
}

void TRasterTreeView::Refresh() {
    const QScopedValueRollback<bool> updating(updating_, true);
    const int remembered = std::max(AbsoluteIndex(SelectedNode()), 0);
    Rebuild();
    updating_ = true;

    if (const int count = NodeCount(); count > 0) {
        QTreeWidgetItem* node = NodeAt(std::min(remembered, count - 1));
        if (node->parent() != nullptr) node->parent()->setExpanded(true);
        node->setExpanded(true);
        setCurrentItem(node);
        SelectNode(node);
    }
    if (listView_) listView_->Refresh();
}

void TRasterTreeView::SetNodeImage(TNodeImage which, const QPixmap& image) {
    const int index = static_cast<int>(which);
    if (index < 0 || index >= images_.Count()) return;
    const QPixmap picture = image.isNull() ? LoadNodeImages().Image(index) : image;
    TImageList images(kNodeImageSize, kNodeImageSize);
    for (int i = 0; i < images_.Count(); ++i) images.Add(i == index ? picture : images_.Image(i));
    images_ = std::move(images);
    icons_.at(static_cast<std::size_t>(index)) = QIcon(images_.Image(index));
    for (QTreeWidgetItemIterator it(this); *it != nullptr; ++it)
        if (ImageIndex(*it) == index) static_cast<TNode*>(*it)->SetIcon(icons_.at(static_cast<std::size_t>(index)));
}

void TRasterTreeView::SelectNode(QTreeWidgetItem* node) {
    // The node's own layer, not the first layer of the same name: a side
    // file can hold two layers of one name.
    TRasterLayer* layer = NodeLayer(node);
    if (layer != nullptr && OnRasterSelectNode) OnRasterSelectNode(this, node, layer);
}

void TRasterTreeView::SelectionChanged() {
    if (updating_) return;
    QTreeWidgetItem* node = SelectedNode();
    if (node != nullptr && node->isSelected()) SelectNode(node);
}

void TRasterTreeView::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeWidgetItem* node = itemAt(event->position().toPoint());
    TRasterLayer* layer =
        event->button() == Qt::LeftButton && node != nullptr && node->isSelected() ? NodeLayer(node) : nullptr;
    QTreeWidget::mouseDoubleClickEvent(event);
    // Activating refills the tree, so the ordinary handling goes first. A
    // handler of that may have changed the layers: check the layer is
    // still there.
    if (layer != nullptr && raster_ != nullptr && raster_->Layers().IndexOf(layer) >= 0) layer->SetMode(lmActive);
}

void TRasterTreeView::startDrag(Qt::DropActions) {
    // A drop never takes a node away: layers change only through the layer
    // model, which refreshes the tree. So a drag offers no move.
    QTreeWidget::startDrag(Qt::CopyAction);
}

bool TRasterTreeView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    const bool editing = QTreeWidget::edit(index, trigger, event);
    if (editing) editedIndex_ = index;
    return editing;
}

void TRasterTreeView::commitData(QWidget* editor) {
    // The text goes to the layer, not into the node; the refresh after the
    // rename shows whichever name the layer ends up with.
    const auto* edit = qobject_cast<QLineEdit*>(editor);
    TRasterLayer* layer = NodeLayer(itemFromIndex(editedIndex_));
    if (edit == nullptr || layer == nullptr) return;
    committedEditor_ = editor;
    committedLayer_ = layer;
    committedName_ = edit->text();
}

void TRasterTreeView::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    QTreeWidget::closeEditor(editor, hint);
    if (committedEditor_ == nullptr || committedEditor_ != editor) return;
    TRasterLayer* layer = committedLayer_;
    const QString name = committedName_;
    committedEditor_ = nullptr;
    committedLayer_ = nullptr;
    // Renaming refills the tree. The edit may end inside a change of the
    // current node, whose handling goes on with the old nodes afterwards,
    // so the rename waits until that is over.
    QMetaObject::invokeMethod(this, [this, layer, name] { RenameLayer(layer, name); }, Qt::QueuedConnection);
}

void TRasterTreeView::RenameLayer(TRasterLayer* layer, const QString& name) {
    // An empty name would have no group in the side file; an unchanged one
    // is no rename and must not mark the annotations changed.
    if (name.isEmpty() || raster_ == nullptr || raster_->Layers().IndexOf(layer) < 0 || name == layer->Name())
        return;
    layer->Rename(name);
}
