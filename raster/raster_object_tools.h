#pragma once

#include "raster/raster_tools.h"

class TRasterObject;

// Object tools work on the view's active layer only: objects of other
// layers are neither hit nor changed. An object is hit by a point strictly
// inside the rectangle where it was last drawn; the first hit in the
// layer's order wins.

// A click on the image puts a new object named "xxx" there and selects it.
class TRasterObjectCreateTool : public TRasterTool {
public:
    TRasterObjectCreateTool();
    void Click(TRaster& Raster) override;
};

// A click selects the object under the pointer, or none; a double-click
// also shows the object in the bound object list. The view's default tool.
class TRasterObjectSelectTool : public TRasterPointTool {
public:
    void Click(TRaster& Raster) override;
    void DblClick(TRaster& Raster) override;

private:
    // Deselects every object of the active layer and selects the first one
    // hit by (X, Y); returns it, or null.
    TRasterObject* SelectAt(TRaster& raster);
};

// Drags an object of the active layer to a new position. While dragging,
// an outline of the object's icon follows the pointer.
class TRasterObjectMoveTool : public TRasterTool {
public:
    TRasterObjectMoveTool();

    void MouseDown(TRaster& Raster, Qt::MouseButton Button, TShiftState Shift, int X, int Y) override;
    void MouseMove(TRaster& Raster, TShiftState Shift, int X, int Y) override;
    void MouseUp(TRaster& Raster, Qt::MouseButton Button, TShiftState Shift, int X, int Y) override;
    void PaintOverlay(QPainter& canvas) const override;

    // The object being dragged, or null.
    TRasterObject* Target() const { return target_; }
    int LastX() const { return lastX_; }
    int LastY() const { return lastY_; }

private:
    void HideOutline(TRaster& raster);

    TRasterObject* target_ = nullptr;
    int lastX_ = 0;
    int lastY_ = 0;
    // Half the icon's size on screen, fixed when the outline is shown.
    QPoint halfSize_;
    bool outlineShown_ = false;
};
