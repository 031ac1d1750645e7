#include "raster/raster.h"

#include <algorithm>
#include <cmath>
#include <new>

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>
#include <QScrollBar>
#include <QSignalBlocker>

#include "platform/application_paths.h"
#include "raster/decode_thread.h"
#include "raster/dib_painter.h"
#include "raster/dib_view.h"
#include "raster/read_ahead.h"
#include "raster/image_list.h"
#include "raster/raster_layers.h"
#include "raster/raster_list_view.h"
#include "raster/raster_measure_tool.h"
#include "raster/raster_object_tools.h"
#include "raster/raster_tools.h"
#include "raster/raster_tree_view.h"

namespace {

// Real to integer: nearest, halves to the even neighbour (the default
// floating-point rounding mode).
int Round(double value) { return static_cast<int>(std::nearbyint(value)); }

// An extent used as a divisor: a one-pixel image (or a zero-sized zoom
// rectangle) has extent 0 and is shown as if it were one pixel across.
double Divisor(double extent) { return extent > 0 ? extent : 1.0; }

// Zooming in stops when the view is one pixel step across in its longer
// direction: one image pixel then spans the client area, and there is
// nothing more to see. Without a limit the scale shrinks towards zero and
// the screen coordinates of the image run out of range.
constexpr double kSmallestViewExtent = 1.0;

// Lets the wheel pass through a scroll bar to the view, whose owner
// decides what the wheel does; the bar itself reacts only to clicks and
// drags.
class TWheelPassThrough : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Wheel) {
            event->ignore();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

QScrollBar* MakeScrollBar(Qt::Orientation orientation, QWidget* parent, QObject* filter) {
    auto* bar = new QScrollBar(orientation, parent);
    // A dragged thumb takes effect only when it is released.
    bar->setTracking(false);
    bar->setContextMenuPolicy(Qt::PreventContextMenu);
    bar->setFocusPolicy(Qt::NoFocus);
    bar->installEventFilter(filter);
    bar->hide();
    return bar;
}

// What the layers need of the view, passed on to it.
class TViewOfLayers : public TLayersHost {
public:
    explicit TViewOfLayers(TRaster& view) : view_(view) {}

    TImageList* StateImage() const override { return view_.StateImage(); }
    TImageList* SelectImage() const override { return view_.SelectImage(); }
    double ViewLeft() const override { return view_.ViewLeft(); }
    double ViewTop() const override { return view_.ViewTop(); }
    double ScaleX() const override { return view_.ScaleX(); }
    double ScaleY() const override { return view_.ScaleY(); }
    int DispLeft() const override { return view_.DispLeft(); }
    int DispTop() const override { return view_.DispTop(); }

    TRasterLayer* ActiveLayer() const override { return view_.ActiveLayer(); }
    void SetActiveLayer(TRasterLayer* layer) override { view_.SetActiveLayer(layer); }
    void ActiveLayerChanged(TRasterLayer* layer) override {
        if (view_.OnActiveLayerChange) view_.OnActiveLayerChange(&view_, layer);
    }
    void ActiveObjectChanged(TRasterObject* object) override {
        if (view_.OnActiveObjectChange) view_.OnActiveObjectChange(&view_, object);
    }

    void SetModified(bool value) override { view_.SetModified(value); }
    void RebuildTreeView() override { view_.RebuildTreeView(); }
    void RefreshListView() override { view_.RefreshListView(); }
    void Repaint() override { view_.update(); }
    void Repaint(const QRect& area) override { view_.update(area); }

private:
    TRaster& view_;
};

}  // namespace

TRaster::TRaster(QWidget* parent)
    : QWidget(parent),
      layersHost_(std::make_unique<TViewOfLayers>(*this)),
      document_(std::make_unique<TRasterDocument>(layersHost_.get())) {
    resize(100, 100);
    setAutoFillBackground(true);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);

    auto* wheelFilter = new TWheelPassThrough(this);
    horizontalBar_ = MakeScrollBar(Qt::Horizontal, this, wheelFilter);
    verticalBar_ = MakeScrollBar(Qt::Vertical, this, wheelFilter);
    connect(horizontalBar_, &QAbstractSlider::actionTriggered, this,
            [this](int action) { HandleScrollAction(Qt::Horizontal, action); });
    connect(verticalBar_, &QAbstractSlider::actionTriggered, this,
            [this](int action) { HandleScrollAction(Qt::Vertical, action); });

    shippedStateImage_ = std::make_unique<TImageList>(DefaultStateImages());
    shippedSelectImage_ = std::make_unique<TImageList>(DefaultSelectImages());
    stateImage_ = shippedStateImage_.get();
    selectImage_ = shippedSelectImage_.get();

    plugs_ = std::make_unique<TSusiePlugs>();
    readAhead_ = std::make_unique<TReadAhead>();
    decodeThread_ = std::make_unique<TDecodeThread>();
    // Scanned when first needed: the window names its own folder first.
    plugs_->SetPathForNextRefresh(platform::ExecutableFolder());

    tools_ = std::make_unique<TRasterTools>(this);
    tools_->Add(std::make_unique<TRasterZoomRectTool>());
    tools_->Add(std::make_unique<TRasterZoomInTool>());
    tools_->Add(std::make_unique<TRasterZoomOutTool>());
    tools_->Add(std::make_unique<TRasterScrollTool>());
    tools_->Add(std::make_unique<TRasterCenteringTool>());
    tools_->Add(std::make_unique<TRasterObjectCreateTool>());
    tools_->Add(std::make_unique<TRasterObjectSelectTool>());
    tools_->Add(std::make_unique<TRasterObjectMoveTool>());
    tools_->Add(std::make_unique<TCustomRasterMeasureTool>());
    activeTool_ = tools_->Find<TRasterObjectSelectTool>();
}

TRaster::~TRaster() {
    destroying_ = true;
    // Its thread must not report to a view that is gone.
    AbandonLoad();
    CloseImage();
}

bool TRaster::IsWholeImage() const {
    return Round(viewRight_ - viewLeft_) == maxX_ && Round(viewBottom_ - viewTop_) == maxY_;
}

void TRaster::SetViewMode(TViewMode mode) {
    if (mode == viewMode_) return;
    viewMode_ = mode;
    if (!HasImage()) return;
    FitAspect();
    Layout();
}

void TRaster::SetPaintMode(TPaintMode mode) {
    if (mode == paintMode_) return;
    paintMode_ = mode;
    update();
}

void TRaster::SetScrollUnit(int value) {
    // It divides the image size into scroll lines.
    if (value > 0) scrollUnit_ = value;
}

void TRaster::SetStateImage(TImageList* images) {
    stateImage_ = images;
    update();
}

void TRaster::SetSelectImage(TImageList* images) {
    selectImage_ = images;
    update();
}

void TRaster::RebuildTreeView() {
    if (treeView_ != nullptr) {
        treeView_->Refresh();
        return;
    }
    TRasterLayer* active = nullptr;
    for (int i = 0; i < Layers().Count() && active == nullptr; ++i)
        if (Layers().Items(i)->Mode() == lmActive) active = Layers().Items(i);
    activeLayer_ = active;
}

void TRaster::RefreshListView() {
    if (listView_) listView_->Refresh();
}

void TRaster::UpdateListView() {
    if (listView_) listView_->UpdateRows();
}

void TRaster::ShowInListView(TRasterObject* object) {
    if (listView_) listView_->ShowObject(object);
}

void TRaster::SetActiveTool(TRasterTool* tool) {
    if (tool != nullptr && tools_->IndexOf(tool) >= 0) activeTool_ = tool;
}

void TRaster::SetActiveTool(std::unique_ptr<TRasterTool> tool) {
    if (tool == nullptr) return;
    activeTool_ = tools_->Add(std::move(tool));
    if (OnActiveToolChange) OnActiveToolChange(this);
}

void TRaster::SetCursor(TCursor id) {
    cursor_ = id;
    if (id == crDefault)
        unsetCursor();
    else
        setCursor(RasterCursor(id));
}

QString TRaster::PluginPath() const { return QString::fromStdString(plugs_->Path()); }

void TRaster::SetPluginPath(const QString& folder) {
    // A bitmap decoded ahead with other plug-ins is not what a decode
    // would give now.
    if (plugs_->Path() != folder.toStdString()) readAhead_->Drop();
    // Scanned before the next decode or listing of the patterns, which
    // also waits for a decode under way to let go of its plug-in.
    plugs_->SetPathForNextRefresh(folder.toStdString());
}

void TRaster::GetPluginFilters(QStringList& filters) {
    std::vector<std::string> patterns;
    plugs_->AppendPatterns(patterns);
    for (const auto& pattern : patterns) filters.append(QString::fromStdString(pattern));
}

// --- Geometry -----------------------------------------------------------

int TRaster::ClientWidth() const {
    return width() - (verticalBar_->isVisibleTo(this) ? verticalBar_->sizeHint().width() : 0);
}

int TRaster::ClientHeight() const {
    return height() - (horizontalBar_->isVisibleTo(this) ? horizontalBar_->sizeHint().height() : 0);
}

void TRaster::PlaceScrollBars() {
    const int barWidth = verticalBar_->sizeHint().width();
    const int barHeight = horizontalBar_->sizeHint().height();
    const int cw = ClientWidth();
    const int ch = ClientHeight();
    verticalBar_->setGeometry(width() - barWidth, 0, barWidth, ch);
    horizontalBar_->setGeometry(0, height() - barHeight, cw, barHeight);
}

QPoint TRaster::ScreenToImage(int X, int Y) const {
    return QPoint(Round((X - dispLeft_) * scaleX_ + viewLeft_), Round((Y - dispTop_) * scaleY_ + viewTop_));
}

void TRaster::ClampView() {
    if (viewLeft_ < 0) {
        viewRight_ = std::min(viewRight_ - viewLeft_, double(maxX_));
        viewLeft_ = 0;
    }
    if (viewRight_ > maxX_) {
        viewLeft_ = std::max(viewLeft_ - (viewRight_ - maxX_), 0.0);
        viewRight_ = maxX_;
    }
    if (viewTop_ < 0) {
        viewBottom_ = std::min(viewBottom_ - viewTop_, double(maxY_));
        viewTop_ = 0;
    }
    if (viewBottom_ > maxY_) {
        viewTop_ = std::max(viewTop_ - (viewBottom_ - maxY_), 0.0);
        viewBottom_ = maxY_;
    }
}

void TRaster::FitAspect() {
    if (viewMode_ != vmExpand) return;
    ClampView();
    const double w = viewRight_ - viewLeft_;
    const double h = viewBottom_ - viewTop_;
    const double cw = std::max(ClientWidth(), 1);
    const double ch = std::max(ClientHeight(), 1);
    if (w > h) {
        const double cy = viewTop_ + h / 2;
        viewTop_ = std::max(cy - w * (ch / cw) / 2, 0.0);
        viewBottom_ = std::min(cy + w * (ch / cw) / 2, double(maxY_));
    } else {
        const double cx = viewLeft_ + w / 2;
        viewLeft_ = std::max(cx - h * (cw / ch) / 2, 0.0);
        viewRight_ = std::min(cx + h * (cw / ch) / 2, double(maxX_));
    }
}

void TRaster::Layout() {
    if (!HasImage()) return;
    ClampView();
    if (!IsWholeImage()) FitAspect();
    inLayout_ = true;
    UpdateScrollBars();
    inLayout_ = false;
    if (!IsWholeImage()) FitAspect();

    const double w = viewRight_ - viewLeft_;
    const double h = viewBottom_ - viewTop_;
    const double cw = ClientWidth();
    const double ch = ClientHeight();
    const double wd = Divisor(w);
    const double hd = Divisor(h);
    double dw = 0;
    double dh = 0;
    if (w > h) {
        dh = std::min(hd * (cw / wd), ch);
        dw = std::min(wd / hd * dh, cw);
    } else {
        dw = std::min(wd * (ch / hd), cw);
        dh = std::min(hd / wd * dw, ch);
    }
    dispLeft_ = Round(cw / 2 - dw / 2);
    dispRight_ = Round(dw / 2 + cw / 2);
    dispTop_ = Round(ch / 2 - dh / 2);
    dispBottom_ = Round(dh / 2 + ch / 2);
    scaleX_ = w / std::max(dispRight_ - dispLeft_, 1);
    scaleY_ = h / std::max(dispBottom_ - dispTop_, 1);
    update();
}

void TRaster::SetBar(QScrollBar* bar, bool visible, int maximum, int page, int position) {
    const QSignalBlocker blocker(bar);
    // Positions run from 0 to the last one that still shows a full page.
    bar->setRange(0, std::max(maximum - page + 1, 0));
    bar->setPageStep(std::max(page, 1));
    bar->setValue(position);
    if (bar->isVisibleTo(this) != visible) bar->setVisible(visible);
}

void TRaster::UpdateScrollBars() {
    if (IsWholeImage()) {
        SetBar(verticalBar_, false, 0, 0, 0);
        SetBar(horizontalBar_, false, 0, 0, 0);
    } else {
        // A bar whose page covers its whole range has nothing to scroll and
        // is hidden.
        const int vPage = Round(viewBottom_ - viewTop_ + 1);
        const int hPage = Round(viewRight_ - viewLeft_ + 1);
        SetBar(verticalBar_, vPage <= maxY_, maxY_, vPage, Round(viewTop_));
        SetBar(horizontalBar_, hPage <= maxX_, maxX_, hPage, Round(viewLeft_));
    }
    PlaceScrollBars();
}

void TRaster::HandleScrollAction(Qt::Orientation orientation, int action) {
    QScrollBar* bar = orientation == Qt::Vertical ? verticalBar_ : horizontalBar_;
    TScrollRequest request = TScrollRequest::Ignored;
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub: request = TScrollRequest::LineBack; break;
    case QAbstractSlider::SliderSingleStepAdd: request = TScrollRequest::LineForward; break;
    case QAbstractSlider::SliderPageStepSub: request = TScrollRequest::PageBack; break;
    case QAbstractSlider::SliderPageStepAdd: request = TScrollRequest::PageForward; break;
    case QAbstractSlider::SliderMove:
        // A move while the thumb is held is tracking; the move that follows
        // the release carries the final position.
        if (!bar->isSliderDown()) request = TScrollRequest::ThumbReleased;
        break;
    default: break;
    }
    if (request == TScrollRequest::Ignored && action == QAbstractSlider::SliderMove) return;
    ScrollRequest(orientation, request, bar->sliderPosition());
}

void TRaster::ScrollRequest(Qt::Orientation orientation, TScrollRequest request, int trackPosition) {
    const bool vertical = orientation == Qt::Vertical;
    QScrollBar* bar = vertical ? verticalBar_ : horizontalBar_;
    double& first = vertical ? viewTop_ : viewLeft_;
    double& last = vertical ? viewBottom_ : viewRight_;
    const double maximum = vertical ? maxY_ : maxX_;
    const double step = vertical ? vStep_ : hStep_;
    const double extent = last - first;

    double start = first;
    switch (request) {
    case TScrollRequest::LineBack: start = std::max(first - step, 0.0); break;
    case TScrollRequest::LineForward: start = std::min(first + step, maximum - extent); break;
    case TScrollRequest::PageBack: start = std::max(first - 2 * step, 0.0); break;
    case TScrollRequest::PageForward: start = std::min(first + 2 * step, maximum - extent); break;
    case TScrollRequest::ThumbReleased:
        // The last thumb position can leave less than the extent below it
        // once the page was rounded down; keep the view inside the image.
        start = std::clamp(double(trackPosition), 0.0, std::max(maximum - extent, 0.0));
        break;
    case TScrollRequest::Ignored: break;
    }
    if (!HasImage() || request == TScrollRequest::Ignored) {
        bar->setSliderPosition(Round(first));
        return;
    }
    first = start;
    last = start + extent;
    bar->setSliderPosition(request == TScrollRequest::ThumbReleased ? trackPosition : Round(first));
    update();
}

// --- View operations ----------------------------------------------------

void TRaster::ViewExtent() {
    if (!HasImage()) return;
    viewLeft_ = 0;
    viewTop_ = 0;
    viewRight_ = maxX_;
    viewBottom_ = maxY_;
    dispLeft_ = dispTop_ = dispRight_ = dispBottom_ = 0;
    Layout();
}

void TRaster::ScrollBy(int dX, int dY) {
    if (!HasImage()) return;
    viewLeft_ += dX * scaleX_;
    viewRight_ += dX * scaleX_;
    viewTop_ += dY * scaleY_;
    viewBottom_ += dY * scaleY_;
    Layout();
}

void TRaster::CenterAt(int X, int Y) {
    if (!HasImage()) return;
    const QPoint at = ScreenToImage(X, Y);
    const double dx = at.x() - (viewLeft_ + viewRight_) / 2;
    const double dy = at.y() - (viewTop_ + viewBottom_) / 2;
    viewLeft_ += dx;
    viewRight_ += dx;
    viewTop_ += dy;
    viewBottom_ += dy;
    Layout();
}

void TRaster::ZoomToRect(const QRect& rect) {
    if (!HasImage()) return;
    // QRect's right and bottom are one less than the exclusive corner.
    const QPoint topLeft = ScreenToImage(rect.left(), rect.top());
    const QPoint bottomRight = ScreenToImage(rect.left() + rect.width(), rect.top() + rect.height());
    viewLeft_ = topLeft.x();
    viewTop_ = topLeft.y();
    viewRight_ = bottomRight.x();
    viewBottom_ = bottomRight.y();
    if (std::max(viewRight_ - viewLeft_, viewBottom_ - viewTop_) < kSmallestViewExtent) {
        const double centreX = (viewLeft_ + viewRight_) / 2;
        const double centreY = (viewTop_ + viewBottom_) / 2;
        viewLeft_ = centreX - kSmallestViewExtent / 2;
        viewRight_ = centreX + kSmallestViewExtent / 2;
        viewTop_ = centreY - kSmallestViewExtent / 2;
        viewBottom_ = centreY + kSmallestViewExtent / 2;
    }
    FitAspect();
    Layout();
}

void TRaster::ZoomAt(const QPoint& point, TZoomDirection direction) {
    if (!HasImage()) return;
    double factor = direction == zdZoomIn ? 1 - zoomSize_ : 1 + zoomSize_;
    const double extent = std::max(viewRight_ - viewLeft_, viewBottom_ - viewTop_);
    if (direction == zdZoomIn && extent * factor < kSmallestViewExtent) {
        if (extent <= kSmallestViewExtent) return;
        factor = kSmallestViewExtent / extent;
    }
    const QPoint at = ScreenToImage(point.x(), point.y());
    const double hw = (viewRight_ - viewLeft_) * factor / 2;
    const double hh = (viewBottom_ - viewTop_) * factor / 2;
    viewLeft_ = at.x() - hw;
    viewTop_ = at.y() - hh;
    viewRight_ = at.x() + hw;
    viewBottom_ = at.y() + hh;
    FitAspect();
    Layout();
}

void TRaster::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    PlaceScrollBars();
    if (inLayout_ || !HasImage()) return;
    if (!IsWholeImage()) FitAspect();
    Layout();
}

// --- Mouse input --------------------------------------------------------

namespace {

QPoint ClientPosition(const QMouseEvent* event) { return event->position().toPoint(); }

}  // namespace

void TRaster::mousePressEvent(QMouseEvent* event) {
    QWidget::mousePressEvent(event);
    pointerPos_ = ClientPosition(event);
    // Another button joining in makes the release no click.
    clickPending_ = event->button() == Qt::LeftButton && event->buttons() == Qt::LeftButton;
    activeTool_->MouseDown(*this, event->button(), ShiftStateOf(event->modifiers(), event->buttons()),
                           pointerPos_.x(), pointerPos_.y());
}

void TRaster::mouseMoveEvent(QMouseEvent* event) {
    QWidget::mouseMoveEvent(event);
    pointerPos_ = ClientPosition(event);
    // With the focus the view also receives the wheel.
    setFocus(Qt::MouseFocusReason);
    activeTool_->MouseMove(*this, ShiftStateOf(event->modifiers(), event->buttons()), pointerPos_.x(),
                           pointerPos_.y());
}

void TRaster::mouseReleaseEvent(QMouseEvent* event) {
    QWidget::mouseReleaseEvent(event);
    pointerPos_ = ClientPosition(event);
    const bool click = clickPending_ && event->button() == Qt::LeftButton &&
                       QRect(0, 0, ClientWidth(), ClientHeight()).contains(pointerPos_);
    clickPending_ = false;
    if (click) activeTool_->Click(*this);
    // The click may have switched the tool; the release goes to the one
    // active now, as every event does.
    activeTool_->MouseUp(*this, event->button(), ShiftStateOf(event->modifiers(), event->buttons()),
                         pointerPos_.x(), pointerPos_.y());
}

void TRaster::mouseDoubleClickEvent(QMouseEvent* event) {
    // Not the widget's own handling: it would pass the event on as a
    // second press.
    pointerPos_ = ClientPosition(event);
    clickPending_ = false;
    if (event->button() == Qt::LeftButton) activeTool_->DblClick(*this);
    activeTool_->MouseDown(*this, event->button(), ShiftStateOf(event->modifiers(), event->buttons(), true),
                           pointerPos_.x(), pointerPos_.y());
}

// --- Painting -----------------------------------------------------------

void TRaster::paintEvent(QPaintEvent*) {
    QPainter canvas(this);
    const QColor face = palette().color(QPalette::Button);
    if (verticalBar_->isVisibleTo(this) && horizontalBar_->isVisibleTo(this))
        canvas.fillRect(QRect(ClientWidth(), ClientHeight(), width() - ClientWidth(),
                              height() - ClientHeight()),
                        face);
    if (!HasImage()) return;
    try {
        const QRect source(QPoint(Round(viewLeft_), Round(viewTop_)),
                           QPoint(Round(viewRight_), Round(viewBottom_)));
        const QRect destination(dispLeft_, dispTop_, dispRight_ - dispLeft_, dispBottom_ - dispTop_);
        DrawImage(canvas, destination, source);
        PaintMargins(canvas);
        // The rubber band or outline of a gesture in progress.
        activeTool_->PaintOverlay(canvas);
    } catch (const std::bad_alloc&) {
        // Nothing may be thrown into the toolkit's paint handling; the
        // image goes once this paint is over.
        if (!memoryShortagePending_) {
            memoryShortagePending_ = true;
            QMetaObject::invokeMethod(this, [this] { CloseForMemoryShortage(); }, Qt::QueuedConnection);
        }
    }
}


void TRaster::PaintMargins(QPainter& canvas) {
    const int cw = ClientWidth();
    const int ch = ClientHeight();
    // Rectangles as left, top, right, bottom with right and bottom exclusive.
    auto fill = [&](int left, int top, int right, int bottom, const QColor& color) {
        if (right > left && bottom > top) canvas.fillRect(left, top, right - left, bottom - top, color);
    };
    const QColor face = palette().color(QPalette::Button);
    fill(0, 0, cw, dispTop_ - 1, face);
    fill(0, dispBottom_ + 1, cw, ch, face);
    fill(0, 0, dispLeft_ - 1, ch, face);
    fill(dispRight_ + 1, dispTop_, cw, ch, face);
    // The column and the row between the image and the frame's right and
    // bottom sides belong to neither; paint them so nothing stale shows.
    fill(dispRight_, dispTop_, dispRight_ + 1, dispBottom_ + 1, face);
    fill(dispLeft_, dispBottom_, dispRight_ + 1, dispBottom_ + 1, face);

    // The sunken frame one pixel outside the display rectangle, drawn as
    // lines that leave out their end points.
    const QColor shadow = palette().color(QPalette::Dark);
    const QColor highlight = palette().color(QPalette::Light);
    fill(dispLeft_ - 1, dispTop_, dispLeft_, dispBottom_ + 2, shadow);
    fill(dispLeft_ - 1, dispTop_ - 1, dispRight_ + 1, dispTop_, shadow);
    fill(dispRight_ + 1, dispTop_ - 1, dispRight_ + 2, dispBottom_ + 1, highlight);
    fill(dispLeft_, dispBottom_ + 1, dispRight_ + 2, dispBottom_ + 2, highlight);
}

void TRaster::DrawImage(QPainter& canvas, const QRect& destination, const QRect& source) {
    if (HasImage() && dibPainter_ != nullptr) {
        canvas.save();
        // Paper gets the plain stretch whatever the screen shows.
        if (printing_)
            dibPainter_->DrawForPrinter(canvas, destination, source);
        else if (paintMode_ == pmHalfTone)
            dibPainter_->DrawAveraged(canvas, destination, source);
        else
            dibPainter_->DrawNearest(canvas, destination, source);
        canvas.restore();
    }
    DrawOverlay(canvas);
}

void TRaster::DrawOverlay(QPainter& canvas) {
    // Index 0 first, so the last layer ends up on top; active and visible
    // layers look alike.
    for (int i = 0; i < Layers().Count(); ++i) {
        TRasterLayer* layer = Layers().Items(i);
        if (layer->Mode() == lmInvisible) continue;
        for (int j = 0; j < layer->Count(); ++j) {
            canvas.save();
            layer->Objects(j)->Draw(canvas);
            canvas.restore();
        }
    }
}
