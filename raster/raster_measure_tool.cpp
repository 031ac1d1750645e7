#include "raster/raster_measure_tool.h"

#include <cmath>
#include <cstddef>

#include <QPainter>

#include "raster/raster.h"

double SignedArea(const std::vector<QPointF>& points) {
    const std::size_t n = points.size();
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const QPointF& before = points[(i + n - 1) % n];
        const QPointF& after = points[(i + 1) % n];
        sum += points[i].y() * (after.x() - before.x());
    }
    return sum / 2;
}

double PolylineLength(const std::vector<QPointF>& points) {
    double length = 0;
    for (std::size_t i = 1; i < points.size(); ++i)
        length += std::hypot(points[i].x() - points[i - 1].x(), points[i].y() - points[i - 1].y());
    return length;
}

TCustomRasterMeasureTool::TCustomRasterMeasureTool() { cursor_ = crMeasure; }

void TCustomRasterMeasureTool::Click(TRaster& Raster) {
    TRasterTool::Click(Raster);
    if (!inImage_) return;
    if (finished_) {
        points_.clear();
        finished_ = false;
        area_ = 0;
        length_ = 0;
    }
    // The rubber line from the previous vertex becomes an edge.
    Raster.update(RubberBand::LineArea(QPoint(downX_, downY_), QPoint(lastX_, lastY_)));
    points_.emplace_back(x_, y_);
    downX_ = lastX_ = x_;
    downY_ = lastY_ = y_;
    Raster.update(RubberBand::LineArea(QPoint(downX_, downY_), QPoint(lastX_, lastY_)));
}

void TCustomRasterMeasureTool::MouseMove(TRaster& Raster, TShiftState Shift, int X, int Y) {
    TRasterTool::MouseMove(Raster, Shift, X, Y);
    if (!inImage_ || finished_) return;
    const QPoint anchor(downX_, downY_);
    Raster.update(RubberBand::LineArea(anchor, QPoint(lastX_, lastY_)));
    lastX_ = X;
    lastY_ = Y;
    Raster.update(RubberBand::LineArea(anchor, QPoint(lastX_, lastY_)));
}

void TCustomRasterMeasureTool::DblClick(TRaster& Raster) {
    TRasterTool::DblClick(Raster);
    if (!inImage_) return;
    area_ = SignedArea(points_);
    length_ = PolylineLength(points_);
    finished_ = true;
    // The figure goes with the repaint; the event still sees its vertices.
    const std::vector<QPointF> figure = std::move(points_);
    points_.clear();
    Raster.update();
    if (Raster.OnActiveToolMeasure) Raster.OnActiveToolMeasure(this, figure);
}

void TCustomRasterMeasureTool::PaintOverlay(QPainter& canvas) const {
    if (finished_ || points_.empty()) return;
    // The edges placed so far and the rubber line to the pointer.
    QPolygon figure;
    for (const QPointF& point : points_) figure << point.toPoint();
    figure << QPoint(lastX_, lastY_);
    RubberBand::PaintPolyline(canvas, figure);
}
