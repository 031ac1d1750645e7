#pragma once

#include <vector>

#include <QPointF>

#include "raster/raster_tools.h"

// Measures a figure drawn with clicks: each click on the image adds a
// vertex, a rubber line follows the pointer from the last vertex, and a
// double-click ends the figure with its length and area. Both are in
// screen pixels of the moment of each click.
class TCustomRasterMeasureTool : public TRasterTool {
public:
    TCustomRasterMeasureTool();

    void Click(TRaster& Raster) override;
    void DblClick(TRaster& Raster) override;
    void MouseMove(TRaster& Raster, TShiftState Shift, int X, int Y) override;
    void PaintOverlay(QPainter& canvas) const override;

    // Signed area of the last finished polygon: its sign follows the
    // direction in which the vertices were placed.
    double Area() const { return area_; }
    // Length of the last finished polyline, without the closing edge.
    double Length() const { return length_; }
    int LastX() const { return lastX_; }
    int LastY() const { return lastY_; }
    // No figure is in progress.
    bool Finished() const { return finished_; }
    // The vertices of the figure in progress.
    const std::vector<QPointF>& Points() const { return points_; }

private:
    double area_ = 0;
    double length_ = 0;
    int lastX_ = 0;
    int lastY_ = 0;
    bool finished_ = true;
    std::vector<QPointF> points_;
};

// The signed area of the polygon through the points (shoelace formula).
double SignedArea(const std::vector<QPointF>& points);
// The length of the open polyline through the points.
double PolylineLength(const std::vector<QPointF>& points);
