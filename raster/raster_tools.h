#pragma once

#include <cstdint>
#include <memory>
#include <type_traits>
#include <vector>

#include <QPoint>
#include <QPolygon>
#include <QRect>
#include <QRegion>
#include <Qt>

#include "raster/raster_cursors.h"

class QPainter;
class TRaster;

// Shift and button state of a mouse event, one bit each.
enum TShiftStateFlag : std::uint8_t {
    ssShift = 0x01,
    ssAlt = 0x02,
    ssCtrl = 0x04,
    ssLeft = 0x08,
    ssRight = 0x10,
    ssMiddle = 0x20,
    ssDouble = 0x40,
};
using TShiftState = std::uint8_t;

TShiftState ShiftStateOf(Qt::KeyboardModifiers keys, Qt::MouseButtons buttons, bool doubleClick = false);

// The dotted outline that follows the pointer during a gesture: black dots
// on white, so it shows on any image colour. The view paints it over the
// image; the tools ask for just the pixels it covers to be painted again.
namespace RubberBand {
// The outline of the rectangle with the two corners, both inclusive.
void PaintRect(QPainter& canvas, const QPoint& corner1, const QPoint& corner2);
// The open polyline through the points.
void PaintPolyline(QPainter& canvas, const QPolygon& points);
// The pixels PaintRect touches: its four sides.
QRegion RectArea(const QPoint& corner1, const QPoint& corner2);
// A rectangle that holds every pixel of the line between the points.
QRect LineArea(const QPoint& from, const QPoint& to);
}  // namespace RubberBand

// A mouse tool of the raster view. The view passes each mouse event of its
// client area to its active tool; coordinates are the view's client
// coordinates. The base class keeps the pointer's state and switches the
// view's cursor between the tool's own cursor over the image and the
// default cursor over the margins.
class TRasterTool {
public:
    TRasterTool() = default;
    virtual ~TRasterTool() = default;
    TRasterTool(const TRasterTool&) = delete;
    TRasterTool& operator=(const TRasterTool&) = delete;

    // Click and DblClick read the pointer position from the view.
    virtual void Click(TRaster& Raster);
    virtual void DblClick(TRaster& Raster);
    virtual void MouseDown(TRaster& Raster, Qt::MouseButton Button, TShiftState Shift, int X, int Y);
    virtual void MouseMove(TRaster& Raster, TShiftState Shift, int X, int Y);
    virtual void MouseUp(TRaster& Raster, Qt::MouseButton Button, TShiftState Shift, int X, int Y);
    // Paints what the tool shows over the image during a gesture.
    virtual void PaintOverlay(QPainter& canvas) const;

    // The position of the last click or double-click inside the image.
    int X() const { return x_; }
    int Y() const { return y_; }
    // The position of the last button-down inside the image.
    int DownX() const { return downX_; }
    int DownY() const { return downY_; }
    TCursor Cursor() const { return cursor_; }
    TCursor SavedCursor() const { return savedCursor_; }
    TShiftState Shift() const { return shift_; }
    // A button went down on the view and is not yet released.
    bool Dragging() const { return dragging_; }
    // The last pointer position lay on the image.
    bool InImage() const { return inImage_; }

protected:
    // On the shown image: inside the display rectangle, both ends included.
    static bool Inside(const TRaster& raster, int X, int Y);
    void RecordClick(TRaster& raster);

    int x_ = 0;
    int y_ = 0;
    int downX_ = 0;
    int downY_ = 0;
    TCursor cursor_ = crDefault;
    TCursor savedCursor_ = crDefault;
    TShiftState shift_ = 0;
    bool dragging_ = false;
    bool inImage_ = false;
};

// A tool that acts on a click on the image and reports it through the
// view's OnActiveToolClick.
class TCustomRasterPointTool : public TRasterTool {
public:
    void Click(TRaster& Raster) override;
};

// Drags a rubber band over the image and reports it through the view's
// OnActiveToolRectangle.
class TCustomRasterRectTool : public TRasterTool {
public:
    TCustomRasterRectTool();

    void MouseDown(TRaster& Raster, Qt::MouseButton Button, TShiftState Shift, int X, int Y) override;
    void MouseMove(TRaster& Raster, TShiftState Shift, int X, int Y) override;
    void MouseUp(TRaster& Raster, Qt::MouseButton Button, TShiftState Shift, int X, int Y) override;
    void PaintOverlay(QPainter& canvas) const override;

    // The far corner of the band.
    int CurX() const { return curX_; }
    int CurY() const { return curY_; }
    // The last gesture ended without a band on the image.
    bool Cancelled() const { return cancelled_; }

protected:
    void HideBand(TRaster& raster);

    int curX_ = 0;
    int curY_ = 0;
    bool cancelled_ = false;
    bool bandShown_ = false;
};

// Pans the view by dragging the image.
class TCustomRasterScrollTool : public TRasterTool {
public:
    TCustomRasterScrollTool();

    void MouseDown(TRaster& Raster, Qt::MouseButton Button, TShiftState Shift, int X, int Y) override;
    void MouseMove(TRaster& Raster, TShiftState Shift, int X, int Y) override;
    void MouseUp(TRaster& Raster, Qt::MouseButton Button, TShiftState Shift, int X, int Y) override;

    int LastX() const { return lastX_; }
    int LastY() const { return lastY_; }

protected:
    int lastX_ = 0;
    int lastY_ = 0;
};

// Reports clicks on the image and does nothing else.
class TRasterPointTool : public TCustomRasterPointTool {
public:
    TRasterPointTool();
};

// Pans so that the clicked point becomes the centre of the view.
class TRasterCenteringTool : public TCustomRasterPointTool {
public:
    TRasterCenteringTool();
    void Click(TRaster& Raster) override;
};

class TRasterZoomInTool : public TCustomRasterPointTool {
public:
    TRasterZoomInTool();
    void Click(TRaster& Raster) override;
};

class TRasterZoomOutTool : public TCustomRasterPointTool {
public:
    TRasterZoomOutTool();
    void Click(TRaster& Raster) override;
};

// Shows exactly the area of the band; a band without width or height
// changes nothing.
class TRasterZoomRectTool : public TCustomRasterRectTool {
public:
    void MouseUp(TRaster& Raster, Qt::MouseButton Button, TShiftState Shift, int X, int Y) override;
};

class TRasterScrollTool : public TCustomRasterScrollTool {};

// The tools of one view, in the order they were registered; owns them.
class TRasterTools {
public:
    explicit TRasterTools(TRaster* raster) : raster_(raster) {}

    TRaster* Raster() const { return raster_; }
    int Count() const { return static_cast<int>(tools_.size()); }
    TRasterTool* Items(int index) const { return tools_.at(static_cast<std::size_t>(index)).get(); }
    int IndexOf(const TRasterTool* tool) const;
    TRasterTool* Add(std::unique_ptr<TRasterTool> tool);

    // The first tool of class T or of a class derived from it, or null.
    template <class T>
    T* Find() const {
        static_assert(std::is_base_of_v<TRasterTool, T>);
        for (const auto& tool : tools_)
            if (auto* found = dynamic_cast<T*>(tool.get())) return found;
        return nullptr;
    }

private:
    TRaster* raster_;
    std::vector<std::unique_ptr<TRasterTool>> tools_;
};
