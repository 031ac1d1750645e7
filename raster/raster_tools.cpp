#include "raster/raster_tools.h"

#include <algorithm>
#include <utility>

#include <QPainter>
#include <QPen>

#include "raster/raster.h"

TShiftState ShiftStateOf(Qt::KeyboardModifiers keys, Qt::MouseButtons buttons, bool doubleClick) {
    TShiftState state = 0;
    if (keys & Qt::ShiftModifier) state |= ssShift;
    if (keys & Qt::AltModifier) state |= ssAlt;
    if (keys & Qt::ControlModifier) state |= ssCtrl;
    if (buttons & Qt::LeftButton) state |= ssLeft;
    if (buttons & Qt::RightButton) state |= ssRight;
    if (buttons & Qt::MiddleButton) state |= ssMiddle;
    if (doubleClick) state |= ssDouble;
    return state;
}

// --- Rubber band ------------------------------------------------------------

namespace RubberBand {

namespace {

// White under black dots: one of the two always differs from the image.
template <class Draw>
void PaintDotted(QPainter& canvas, Draw draw) {
    canvas.save();
    canvas.setRenderHint(QPainter::Antialiasing, false);
    canvas.setBrush(Qt::NoBrush);
    canvas.setPen(QPen(Qt::white, 0, Qt::SolidLine));
    draw();
    QPen dots(Qt::black, 0, Qt::CustomDashLine);
    dots.setDashPattern({1, 1});
    canvas.setPen(dots);
    draw();
    canvas.restore();
}

QRect Normalized(const QPoint& corner1, const QPoint& corner2) {
    return QRect(QPoint(std::min(corner1.x(), corner2.x()), std::min(corner1.y(), corner2.y())),
                 QPoint(std::max(corner1.x(), corner2.x()), std::max(corner1.y(), corner2.y())));
}

}  // namespace

void PaintRect(QPainter& canvas, const QPoint& corner1, const QPoint& corner2) {
    const QRect band = Normalized(corner1, corner2);
    const QPolygon outline({band.topLeft(), band.topRight(), band.bottomRight(), band.bottomLeft(), band.topLeft()});
    PaintDotted(canvas, [&] { canvas.drawPolyline(outline); });
}

void PaintPolyline(QPainter& canvas, const QPolygon& points) {
    if (points.isEmpty()) return;
    PaintDotted(canvas, [&] { canvas.drawPolyline(points); });
}

QRegion RectArea(const QPoint& corner1, const QPoint& corner2) {
    // One pixel of slack on each side of every edge.
    const QRect band = Normalized(corner1, corner2).adjusted(-1, -1, 1, 1);
    QRegion area;
    area += QRect(band.left(), band.top(), band.width(), 3);
    area += QRect(band.left(), band.bottom() - 2, band.width(), 3);
    area += QRect(band.left(), band.top(), 3, band.height());
    area += QRect(band.right() - 2, band.top(), 3, band.height());
    return area;
}

QRect LineArea(const QPoint& from, const QPoint& to) { return Normalized(from, to).adjusted(-1, -1, 1, 1); }

}  // namespace RubberBand

// --- TRasterTool --------------------------------------------------------------

bool TRasterTool::Inside(const TRaster& raster, int X, int Y) {
    // An empty view's display rectangle is the point (0, 0), which is no
    // image either.
    return raster.HasImage() && raster.DispLeft() <= X && X <= raster.DispRight() && raster.DispTop() <= Y && Y <= raster.DispBottom();
}

void TRasterTool::RecordClick(TRaster& raster) {
    const QPoint at = raster.PointerPos();
    inImage_ = Inside(raster, at.x(), at.y());
    if (!inImage_) return;
    x_ = at.x();
    y_ = at.y();
}

void TRasterTool::Click(TRaster& Raster) { RecordClick(Raster); }

void TRasterTool::DblClick(TRaster& Raster) { RecordClick(Raster); }

void TRasterTool::MouseDown(TRaster& Raster, Qt::MouseButton, TShiftState Shift, int X, int Y) {
    inImage_ = Inside(Raster, X, Y);
    dragging_ = true;
    shift_ = Shift;
    savedCursor_ = Raster.Cursor();
    if (inImage_) {
        downX_ = X;
        downY_ = Y;
        Raster.SetCursor(cursor_);
    } else {
        Raster.SetCursor(crDefault);
    }
}

void TRasterTool::MouseMove(TRaster& Raster, TShiftState Shift, int X, int Y) {
    inImage_ = Inside(Raster, X, Y);
    shift_ = Shift;
    // The widget's cursor changes at once, so this is also the pointer's.
    Raster.SetCursor(inImage_ ? cursor_ : crDefault);
}

void TRasterTool::MouseUp(TRaster& Raster, Qt::MouseButton, TShiftState Shift, int X, int Y) {
    inImage_ = Inside(Raster, X, Y);
    dragging_ = false;
    shift_ = Shift;
    Raster.SetCursor(savedCursor_);
}

void TRasterTool::PaintOverlay(QPainter&) const {}

// --- Point tools ----------------------------------------------------------------

void TCustomRasterPointTool::Click(TRaster& Raster) {
    TRasterTool::Click(Raster);
    if (Raster.OnActiveToolClick && inImage_) Raster.OnActiveToolClick(this, x_, y_);
}

TRasterPointTool::TRasterPointTool() { cursor_ = crHandPoint; }

TRasterCenteringTool::TRasterCenteringTool() { cursor_ = crCentering; }

void TRasterCenteringTool::Click(TRaster& Raster) {
    TCustomRasterPointTool::Click(Raster);
    if (inImage_) Raster.CenterAt(x_, y_);
}

TRasterZoomInTool::TRasterZoomInTool() { cursor_ = crZoomIn; }

void TRasterZoomInTool::Click(TRaster& Raster) {
    TCustomRasterPointTool::Click(Raster);
    if (inImage_) Raster.ZoomAt(QPoint(x_, y_), zdZoomIn);
}

TRasterZoomOutTool::TRasterZoomOutTool() { cursor_ = crZoomOut; }

void TRasterZoomOutTool::Click(TRaster& Raster) {
    TCustomRasterPointTool::Click(Raster);
    if (inImage_) Raster.ZoomAt(QPoint(x_, y_), zdZoomOut);
}

// --- Rectangle tools ------------------------------------------------------------

TCustomRasterRectTool::TCustomRasterRectTool() { cursor_ = crZoomRect; }

void TCustomRasterRectTool::MouseDown(TRaster& Raster, Qt::MouseButton Button, TShiftState Shift, int X, int Y) {
    // A band left over from a gesture that another tool ended.
    HideBand(Raster);
    TRasterTool::MouseDown(Raster, Button, Shift, X, Y);
    if (inImage_) {
        curX_ = X;
        curY_ = Y;
    } else {
        dragging_ = false;
    }
}

void TCustomRasterRectTool::MouseMove(TRaster& Raster, TShiftState Shift, int X, int Y) {
    TRasterTool::MouseMove(Raster, Shift, X, Y);
    if (!inImage_ || !dragging_) return;
    const QPoint down(downX_, downY_);
    if (bandShown_) Raster.update(RubberBand::RectArea(down, QPoint(curX_, curY_)));
    curX_ = X;
    curY_ = Y;
    bandShown_ = true;
    Raster.update(RubberBand::RectArea(down, QPoint(curX_, curY_)));
}

void TCustomRasterRectTool::HideBand(TRaster& raster) {
    if (!bandShown_) return;
    bandShown_ = false;
    raster.update(RubberBand::RectArea(QPoint(downX_, downY_), QPoint(curX_, curY_)));
}

void TCustomRasterRectTool::MouseUp(TRaster& Raster, Qt::MouseButton Button, TShiftState Shift, int X, int Y) {
    cancelled_ = true;
    HideBand(Raster);
    if (Inside(Raster, X, Y) && dragging_) {
        cancelled_ = false;
        curX_ = X;
        curY_ = Y;
        if (downX_ > curX_) std::swap(downX_, curX_);
        if (downY_ > curY_) std::swap(downY_, curY_);
        if (Raster.OnActiveToolRectangle && inImage_)
            Raster.OnActiveToolRectangle(this, downX_, downY_, curX_, curY_);
    }
    TRasterTool::MouseUp(Raster, Button, Shift, X, Y);
}

void TCustomRasterRectTool::PaintOverlay(QPainter& canvas) const {
    if (bandShown_) RubberBand::PaintRect(canvas, QPoint(downX_, downY_), QPoint(curX_, curY_));
}

void TRasterZoomRectTool::MouseUp(TRaster& Raster, Qt::MouseButton Button, TShiftState Shift, int X, int Y) {
    TCustomRasterRectTool::MouseUp(Raster, Button, Shift, X, Y);
    if (cancelled_ || curX_ == downX_ || curY_ == downY_) return;
    // The far corner is the rectangle's exclusive corner.
    Raster.ZoomToRect(QRect(downX_, downY_, curX_ - downX_, curY_ - downY_));
}

// --- Scroll tools ---------------------------------------------------------------

TCustomRasterScrollTool::TCustomRasterScrollTool() { cursor_ = crOpenHand; }

void TCustomRasterScrollTool::MouseDown(TRaster& Raster, Qt::MouseButton Button, TShiftState Shift, int X,
                                        int Y) {
    // The base shows the tool's cursor at once (the widget's cursor is the
    // pointer's) and keeps the one shown before for the release.
    cursor_ = crCloseHand;
    TRasterTool::MouseDown(Raster, Button, Shift, X, Y);
    if (inImage_) {
        lastX_ = X;
        lastY_ = Y;
    } else {
        dragging_ = false;
    }
}

void TCustomRasterScrollTool::MouseMove(TRaster& Raster, TShiftState Shift, int X, int Y) {
    TRasterTool::MouseMove(Raster, Shift, X, Y);
    if (!inImage_) return;
    // Moves outside the image are not counted: the image follows the
    // pointer only while it is over the image.
    const int dX = lastX_ - X;
    const int dY = lastY_ - Y;
    lastX_ = X;
    lastY_ = Y;
    if (dragging_) Raster.ScrollBy(dX, dY);
}

void TCustomRasterScrollTool::MouseUp(TRaster& Raster, Qt::MouseButton Button, TShiftState Shift, int X, int Y) {
    cursor_ = crOpenHand;
    TRasterTool::MouseUp(Raster, Button, Shift, X, Y);
}

// --- TRasterTools -----------------------------------------------------------------

int TRasterTools::IndexOf(const TRasterTool* tool) const {
    const auto found =
        std::find_if(tools_.begin(), tools_.end(), [tool](const auto& item) { return item.get() == tool; });
    return found == tools_.end() ? -1 : static_cast<int>(found - tools_.begin());
}

TRasterTool* TRasterTools::Add(std::unique_ptr<TRasterTool> tool) {
    tools_.push_back(std::move(tool));
    return tools_.back().get();
}
