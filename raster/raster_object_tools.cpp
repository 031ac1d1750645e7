#include "raster/raster_object_tools.h"

#include <cmath>
#include <memory>

#include "raster/image_list.h"
#include "raster/raster.h"
#include "raster/raster_layers.h"

namespace {

int Round(double value) { return static_cast<int>(std::nearbyint(value)); }

TRasterObject* FirstHit(const TRasterLayer& layer, int X, int Y) {
    for (int i = 0; i < layer.Count(); ++i)
        if (layer.Objects(i)->HitTest(X, Y)) return layer.Objects(i);
    return nullptr;
}

}  // namespace

// --- TRasterObjectCreateTool ----------------------------------------------------

TRasterObjectCreateTool::TRasterObjectCreateTool() { cursor_ = crPostIt; }

void TRasterObjectCreateTool::Click(TRaster& Raster) {
    TRasterTool::Click(Raster);
    TRasterLayer* layer = Raster.ActiveLayer();
    if (!inImage_ || layer == nullptr) return;
    for (int i = 0; i < layer->Count(); ++i) layer->Objects(i)->SetState(0);
    const QPoint at = Raster.ScreenToImage(x_, y_);
    auto object = std::make_unique<TRasterObject>(layer);
    layer->SetActiveObject(object.get());
    object->SetName(QStringLiteral("xxx"));
    object->SetX(at.x());
    object->SetY(at.y());
    object->SetImageIndex(0);
    object->SetState(1);
    layer->AddObject(std::move(object));
    Raster.update();
}

// --- TRasterObjectSelectTool ----------------------------------------------------

TRasterObject* TRasterObjectSelectTool::SelectAt(TRaster& raster) {
    TRasterLayer* layer = raster.ActiveLayer();
    layer->SetActiveObject(nullptr);
    for (int i = 0; i < layer->Count(); ++i) {
        TRasterObject* object = layer->Objects(i);
        object->SetState(0);
        if (layer->ActiveObject() == nullptr && object->HitTest(x_, y_)) {
            layer->SetActiveObject(object);
            object->SetState(1);
        }
    }
    return layer->ActiveObject();
}

void TRasterObjectSelectTool::Click(TRaster& Raster) {
    TRasterPointTool::Click(Raster);
    if (Raster.ActiveLayer() == nullptr || !inImage_) return;
    TRasterObject* selected = SelectAt(Raster);
    if (selected != nullptr && Raster.OnActiveToolSelect) Raster.OnActiveToolSelect(this, x_, y_, selected);
    Raster.update();
}

void TRasterObjectSelectTool::DblClick(TRaster& Raster) {
    TRasterTool::DblClick(Raster);
    // A double-click on a margin has no position on the image to report.
    if (!inImage_) return;
    if (Raster.OnActiveToolClick) Raster.OnActiveToolClick(this, x_, y_);
    if (Raster.ActiveLayer() == nullptr) return;
    if (TRasterObject* selected = SelectAt(Raster)) Raster.ShowInListView(selected);
    Raster.update();
}

// --- TRasterObjectMoveTool ------------------------------------------------------

TRasterObjectMoveTool::TRasterObjectMoveTool() { cursor_ = crMoving; }

void TRasterObjectMoveTool::MouseDown(TRaster& Raster, Qt::MouseButton Button, TShiftState Shift, int X, int Y) {
    HideOutline(Raster);
    cursor_ = crMoving;
    TRasterTool::MouseDown(Raster, Button, Shift, X, Y);
    dragging_ = false;
    target_ = nullptr;
    const TRasterLayer* layer = Raster.ActiveLayer();
    if (!inImage_ || layer == nullptr) return;
    target_ = FirstHit(*layer, X, Y);
    if (target_ == nullptr) return;
    dragging_ = true;
    lastX_ = X;
    lastY_ = Y;
}

void TRasterObjectMoveTool::MouseMove(TRaster& Raster, TShiftState Shift, int X, int Y) {
    TRasterTool::MouseMove(Raster, Shift, X, Y);
    if (!inImage_ || !dragging_) return;
    HideOutline(Raster);
    // The outline has the size of the object's icon on screen.
    const TImageList* icons = Raster.StateImage();
    if (icons != nullptr && Raster.ScaleX() > 0 && Raster.ScaleY() > 0)
        halfSize_ = QPoint(Round(icons->Width() / 2.0 / Raster.ScaleX()), Round(icons->Height() / 2.0 / Raster.ScaleY()));
    lastX_ = X;
    lastY_ = Y;
    outlineShown_ = true;
    Raster.update(RubberBand::RectArea(QPoint(lastX_, lastY_) - halfSize_, QPoint(lastX_, lastY_) + halfSize_));
}

void TRasterObjectMoveTool::HideOutline(TRaster& raster) {
    if (!outlineShown_) return;
    outlineShown_ = false;
    raster.update(RubberBand::RectArea(QPoint(lastX_, lastY_) - halfSize_, QPoint(lastX_, lastY_) + halfSize_));
}

void TRasterObjectMoveTool::MouseUp(TRaster& Raster, Qt::MouseButton Button, TShiftState Shift, int X, int Y) {
    HideOutline(Raster);
    // The target may have gone while the button was down (its layer closed
    // or deleted); only an object still in the active layer is moved.
    const TRasterLayer* layer = Raster.ActiveLayer();
    const bool targetLives = layer != nullptr && layer->IndexOf(target_) >= 0;
    if (dragging_ && inImage_ && targetLives) {
        const QPoint at = Raster.ScreenToImage(X, Y);
        target_->SetX(at.x());
        target_->SetY(at.y());
        Raster.SetModified(true);
        Raster.UpdateListView();
        Raster.update();
    }
    target_ = nullptr;
    TRasterTool::MouseUp(Raster, Button, Shift, X, Y);
}

void TRasterObjectMoveTool::PaintOverlay(QPainter& canvas) const {
    if (outlineShown_)
        RubberBand::PaintRect(canvas, QPoint(lastX_, lastY_) - halfSize_, QPoint(lastX_, lastY_) + halfSize_);
}
