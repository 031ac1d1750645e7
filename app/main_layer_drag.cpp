// Dragging between the layer tree and the object list: a layer onto
// another takes its place in the drawing order, an object onto a layer
// moves into that layer.
#include <QApplication>
#include <QListView>
#include <QTreeView>
#include <QDrag>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>

#include "app/main_commands.h"
#include "app/main_form.h"
#include "raster/raster.h"
#include "raster/raster_layers.h"
#include "raster/raster_list_view.h"
#include "raster/raster_tree_view.h"

namespace {

// What an object drag carries: it only travels inside this window.
const QString kObjectMime = QStringLiteral("application/x-kelvandor-raster-object");

bool Within(const QObject* source, const QWidget* control) {
    const auto* widget = qobject_cast<const QWidget*>(source);
    return widget && (widget == control || control->isAncestorOf(widget));
}

}  // namespace

void TMainCommands::BindLayerDragging() {
    TRasterTreeView* tree = form_.RasterTreeView();
    tree->setAcceptDrops(true);
    tree->viewport()->setAcceptDrops(true);
    tree->viewport()->installEventFilter(this);
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(form_.RasterListView()->ReportView()),
                                    static_cast<QAbstractItemView*>(form_.RasterListView()->IconView())}) {
        view->viewport()->setAcceptDrops(true);
        view->viewport()->installEventFilter(this);
    }
}

void TMainCommands::RasterTreeViewStartDrag() { draggedLayer_ = TRasterTreeView::NodeLayer(form_.RasterTreeView()->SelectedNode()); }

void TMainCommands::RasterListViewStartDrag() {
    const std::vector<TRasterObject*>& selection = form_.RasterListView()->Selection();
    draggedObject_ = selection.empty() ? nullptr : selection.front();
}

bool TMainCommands::RasterTreeViewDragOver(QObject* source, QTreeWidgetItem* node) const {
    const bool known = Within(source, form_.RasterTreeView()) || Within(source, form_.RasterListView());
    // The image's own node is no layer to drop on.
    return known && node != nullptr && node->parent() != nullptr;
}

bool TMainCommands::RasterListViewDragOver(QObject* source) const { return Within(source, form_.RasterListView()); }

void TMainCommands::RasterTreeViewDragDrop(QObject* source, QTreeWidgetItem* node) {
    if (!RasterTreeViewDragOver(source, node)) return;
    TRasterLayer* target = TRasterTreeView::NodeLayer(node);
    TRaster& raster = *form_.Raster();
    if (Within(source, form_.RasterTreeView())) {
        TRasterLayer* layer = draggedLayer_;
        if (layer == nullptr || layer == target) return;
        TRasterLayers& layers = raster.Layers();
        const int to = layers.IndexOf(target);
        // One step at a time through the layer's own order operation, which
        // rebuilds the tree and marks the annotations changed.
        while (layers.IndexOf(layer) < to) layer->MoveOrder(loUp);
        while (layers.IndexOf(layer) > to) layer->MoveOrder(loDown);
    } else {
        TRasterObject* object = draggedObject_;
        if (object == nullptr || object->Layer() == target) return;
        // The object goes over unselected: a copy of its record joins the
        // target layer (refreshing the list, marking the change), the
        // original leaves its layer.
        auto moved = std::make_unique<TRasterObject>(target);
        moved->Record() = object->Record();
        draggedObject_ = nullptr;
        object->Delete();
        target->AddObject(std::move(moved));
    }
    raster.update();
}

bool TMainCommands::LayerDragEvent(QObject* watched, QEvent* event) {
    TRasterTreeView* tree = form_.RasterTreeView();
    const bool overTree = watched == tree->viewport();
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        if (overTree) return false;
        auto* press = static_cast<QMouseEvent*>(event);
        if (press->button() == Qt::LeftButton) objectPress_ = press->position().toPoint();
        return false;
    }
    case QEvent::MouseMove: {
        if (overTree) return false;
        auto* move = static_cast<QMouseEvent*>(event);
        if (!(move->buttons() & Qt::LeftButton) ||
            (move->position().toPoint() - objectPress_).manhattanLength() < QApplication::startDragDistance())
            return false;
        RasterListViewStartDrag();
        if (draggedObject_ == nullptr) return false;
        auto* drag = new QDrag(watched);
        auto* data = new QMimeData;
        data->setData(kObjectMime, QByteArray());
        drag->setMimeData(data);
        drag->exec(Qt::MoveAction);
        return true;
    }
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* over = static_cast<QDragMoveEvent*>(event);
        if (overTree && event->type() == QEvent::DragEnter && Within(over->source(), tree)) RasterTreeViewStartDrag();
        const bool accept = overTree ? RasterTreeViewDragOver(over->source(), tree->itemAt(over->position().toPoint()))
                                     : RasterListViewDragOver(over->source());
        accept ? over->acceptProposedAction() : over->ignore();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        if (overTree) RasterTreeViewDragDrop(drop->source(), tree->itemAt(drop->position().toPoint()));
        drop->acceptProposedAction();
        return true;
    }
    default:
        return false;
    }
}
