#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QIcon>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QTreeWidget>

#include "raster/image_list.h"

class TRaster;
class TRasterLayer;
class TRasterListView;

// The image and its layers as a tree: one root node named after the image
// file, under it one node per layer with the highest layer (drawn on top)
// first. The user picks, renames (in place) and activates (double-click)
// layers here; the layer commands act on the selected node. Bound to a
// raster view, whose layer model refreshes the tree after every change.
class TRasterTreeView : public QTreeWidget {
    Q_OBJECT

public:
    // Node images, by index.
    enum TNodeImage { niImage = 0, niActiveLayer = 1, niVisibleLayer = 2, niInvisibleLayer = 3 };

    using TRasterSelectNodeEvent =
        std::function<void(TRasterTreeView* Sender, QTreeWidgetItem* Node, TRasterLayer* ActiveLayer)>;

    explicit TRasterTreeView(QWidget* parent = nullptr);
    ~TRasterTreeView() override;

    // The bound view. Binding makes this tree the view's TreeView and shows
    // the view's current image; unbinding empties the tree.
    TRaster* Raster() const;
    void SetRaster(TRaster* raster);

    // The bound object list, which shows the active layer of this tree's
    // view; binding hands it the view, unbinding takes it away.
    TRasterListView* RasterListView() const;
    void SetRasterListView(TRasterListView* list);

    // Refills the tree from the view's layers and sets the view's
    // ActiveLayer to the layer in lmActive (null when there is none).
    void Rebuild();
    // Rebuild keeping the selected position (clamped to the last node),
    // then reports the selection and refreshes the view's object list.
    void Refresh();
    // Raises OnRasterSelectNode with the layer the node stands for; the
    // root stands for none.
    void SelectNode(QTreeWidgetItem* node);

    // The image node, or null when the view shows no image.
    QTreeWidgetItem* RootNode() const { return topLevelItem(0); }
    // The layer a node stands for; null for the root. The layer model
    // refreshes the tree whenever layers come or go, so it is always one
    // of the view's layers.
    static TRasterLayer* NodeLayer(const QTreeWidgetItem* node);
    static bool IsLayerNode(const QTreeWidgetItem* node) { return NodeLayer(node) != nullptr; }
    static int ImageIndex(const QTreeWidgetItem* node);
    // The node at the given position of a depth-first walk (root 0), or
    // null; and the position of a node, or -1.
    QTreeWidgetItem* NodeAt(int absoluteIndex) const;
    int AbsoluteIndex(const QTreeWidgetItem* node) const;
    QTreeWidgetItem* SelectedNode() const;
    int NodeCount() const;

    // The node pictures, by TNodeImage.
    const TImageList& Images() const { return images_; }
    // Replaces the picture of one kind of node, scaled to the tree's icon
    // size, and redraws the nodes that show it; a null pixmap brings back
    // the shipped picture. The owner shows the open file's own icon on
    // the image node this way.
    void SetNodeImage(TNodeImage which, const QPixmap& image);

    TRasterSelectNodeEvent OnRasterSelectNode;

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;

protected slots:
    void commitData(QWidget* editor) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    // A node not yet in the tree; layer is null for the image's node.
    std::unique_ptr<QTreeWidgetItem> MakeNode(const QString& text, int imageIndex, TRasterLayer* layer) const;
    void SelectionChanged();
    void RenameLayer(TRasterLayer* layer, const QString& name);
    void Unbind();

    QPointer<TRaster> raster_;
    QPointer<TRasterListView> listView_;
    TImageList images_;
    // The node images as icons, made once: every node shares them.
    std::vector<QIcon> icons_;
    // Set while the tree is being refilled: selection changes are then not
    // reported.
    bool updating_ = false;
    QPersistentModelIndex editedIndex_;
    // A finished in-place edit of a layer name, applied once the editor is
    // closed: renaming refills the tree, which must not happen under the
    // editor's feet.
    QPointer<QWidget> committedEditor_;
    TRasterLayer* committedLayer_ = nullptr;
    QString committedName_;
};
