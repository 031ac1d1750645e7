#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QWidget>

#include "plugins/susie_plug.h"
#include "raster/raster_cursors.h"
#include "raster/raster_document.h"
#include "raster/raster_types.h"

class QPainter;
class QPrinter;
class QScrollBar;
class TDibPainter;
class TLayersHost;
class TRasterLayers;
class TRasterLayer;
class TRasterObject;
class TRasterTool;
class TRasterTools;
class TRasterTreeView;
class TRasterListView;
class TImageList;
class TDecodeThread;
class TReadAhead;

// The raster view: shows one decoded image, keeps which part of it is
// visible and at what scale, drives the scroll bars and forwards mouse
// input to the active tool. Owns the plug-in registry, the layers and the
// tools.
//
// Mouse input reaches the active tool after the widget's own handling:
// press -> MouseDown; move -> MouseMove (after taking the focus, so the
// wheel comes here); release -> Click, when it ends a plain left press
// inside the client area, then MouseUp; double-click -> DblClick, then
// MouseDown with ssDouble. A double-click thus runs down, click, up,
// double-click, down, up, the order of the native control this replaces:
// the second press of a double-click gives no Click.
class TRaster : public QWidget {
    Q_OBJECT

public:
    using TLoadProgressEvent = std::function<void(TRaster* Sender, int Position, bool& Cancel)>;
    using TActiveToolChangeEvent = std::function<void(TRaster* Sender)>;
    using TActiveToolClickEvent = std::function<void(TRasterTool* Sender, int X, int Y)>;
    using TActiveToolRectangleEvent =
        std::function<void(TRasterTool* Sender, int X1, int Y1, int X2, int Y2)>;
    using TActiveToolMeasureEvent =
        std::function<void(TRasterTool* Sender, const std::vector<QPointF>& Points)>;
    using TActiveToolSelectEvent =
        std::function<void(TRasterTool* Sender, int X, int Y, TRasterObject* RasterObject)>;
    using TActiveLayerChangeEvent = std::function<void(TRaster* Sender, TRasterLayer* Layer)>;
    using TActiveObjectEvent = std::function<void(TRaster* Sender, TRasterObject* RasterObject)>;

    explicit TRaster(QWidget* parent = nullptr);
    ~TRaster() override;

    // --- Image state -----------------------------------------------------
    bool HasImage() const { return document_->HasImage(); }
    bool IsWholeImage() const;
    int MaxX() const { return maxX_; }
    int MaxY() const { return maxY_; }
    // The decoded DIB: header (with colour table) and bottom-up rows.
    const SPI_BITMAPINFOHEADER* ImageHeader() const { return HasImage() ? document_->Image()->Header() : nullptr; }
    const std::uint8_t* ImageBits() const { return HasImage() ? document_->Image()->Bits() : nullptr; }

    // --- View state ------------------------------------------------------
    double ViewLeft() const { return viewLeft_; }
    double ViewTop() const { return viewTop_; }
    double ViewRight() const { return viewRight_; }
    double ViewBottom() const { return viewBottom_; }
    int DispLeft() const { return dispLeft_; }
    int DispTop() const { return dispTop_; }
    int DispRight() const { return dispRight_; }
    int DispBottom() const { return dispBottom_; }
    double ScaleX() const { return scaleX_; }
    double ScaleY() const { return scaleY_; }
    double VStep() const { return vStep_; }
    double HStep() const { return hStep_; }

    double ZoomSize() const { return zoomSize_; }
    void SetZoomSize(double value) { zoomSize_ = value; }
    TViewMode ViewMode() const { return viewMode_; }
    void SetViewMode(TViewMode mode);
    TPaintMode PaintMode() const { return paintMode_; }
    void SetPaintMode(TPaintMode mode);
    int ScrollUnit() const { return scrollUnit_; }
    void SetScrollUnit(int value);

    bool EraseBackground() const { return eraseBackground_; }
    bool Printing() const { return printing_; }
    // From the start of a LoadFromFile until its decode has ended.
    bool Loading() const;
    bool LoadCancel() const { return loadCancel_; }
    // Set during a load, ends it: at the next progress report due, when
    // OnLoadProgress (which gives the answer) is set and one is; otherwise
    // at once. The plug-in stops at its next report; one that does not
    // return is left to itself.
    void SetLoadCancel(bool value);
    // Ends the load under way, also a wait for a plug-in that has not
    // returned, without a message: the window is going.
    void AbandonLoad();
    // The file name of the plug-in the load waits for, one that has not
    // returned from a call of an earlier, abandoned decode, as shown to the
    // user; empty when the load waits for none.
    QString AwaitedPlugin() const;
    // False while a load closes the image before its decode or shows the
    // image after it, steps that may ask the user: a LoadFromFile then is
    // refused.
    bool LoadCanStart() const { return settlingLoads_ == 0; }
    bool Modified() const { return document_->Modified(); }
    void SetModified(bool value) { document_->SetModified(value); }
    const QString& FileName() const { return document_->FileName(); }
    const TRasterInfo& Info() const { return document_->Info(); }

    // --- Owned parts -----------------------------------------------------
    TSusiePlugs& Plugs() { return *plugs_; }
    TRasterLayers& Layers() { return document_->Layers(); }
    const TRasterLayers& Layers() const { return document_->Layers(); }
    // The image, its facts and its layers, as a widget-free document.
    const TRasterDocument& Document() const { return *document_; }
    TRasterLayer* ActiveLayer() const { return activeLayer_; }
    void SetActiveLayer(TRasterLayer* layer) { activeLayer_ = layer; }

    // --- Tools -------------------------------------------------------------
    TRasterTools& Tools() { return *tools_; }
    // The tool that receives mouse input; never null.
    TRasterTool* ActiveTool() const { return activeTool_; }
    // Makes a registered tool the active one; null and tools of other
    // views are ignored. Raises nothing.
    void SetActiveTool(TRasterTool* tool);
    // Registers a new tool, makes it the active one and raises
    // OnActiveToolChange.
    void SetActiveTool(std::unique_ptr<TRasterTool> tool);
    // The view's cursor as an id of the cursor table; the widget shows it
    // at once.
    TCursor Cursor() const { return cursor_; }
    void SetCursor(TCursor id);
    // The pointer in client coordinates at the mouse event being handled
    // (the latest one between events).
    QPoint PointerPos() const { return pointerPos_; }

    // Icons of annotation objects in normal and selected state: the shipped
    // markers unless the owner sets lists of its own (not owned).
    TImageList* StateImage() const { return stateImage_; }
    void SetStateImage(TImageList* images);
    TImageList* SelectImage() const { return selectImage_; }
    void SetSelectImage(TImageList* images);

    // The bound layer tree and object list, or null. The tree binds
    // itself (TRasterTreeView::SetRaster) and the list
    // (TRasterTreeView::SetRasterListView).
    TRasterTreeView* TreeView() const { return treeView_; }
    void SetTreeView(TRasterTreeView* view) { treeView_ = view; }
    TRasterListView* ListView() const { return listView_; }
    void SetListView(TRasterListView* view) { listView_ = view; }
    // Refreshes the bound object list, if any.
    void RefreshListView();
    // Repaints the bound object list's rows after objects moved.
    void UpdateListView();
    // Shows the object's row selected in the bound object list.
    void ShowInListView(TRasterObject* object);
    // Refreshes the bound tree view (keeping its selection), which also
    // sets ActiveLayer to the layer in lmActive; without a tree the view
    // sets it itself.
    void RebuildTreeView();

    QString PluginPath() const;
    void SetPluginPath(const QString& folder);
    // Appends the file pattern of every valid plug-in.
    void GetPluginFilters(QStringList& filters);

    // --- View operations -------------------------------------------------
    QPoint ScreenToImage(int X, int Y) const;
    void ViewExtent();
    void ScrollBy(int dX, int dY);
    void CenterAt(int X, int Y);
    // Shows the image area under rect; the corner one past rect's
    // bottom-right pixel maps to the view's right and bottom.
    // Neither zoom goes deeper than a view one pixel step across in its
    // longer direction, where one image pixel spans the client area.
    void ZoomToRect(const QRect& rect);
    void ZoomAt(const QPoint& point, TZoomDirection direction);
    void Layout();

    // --- Loading and saving ----------------------------------------------
    // The plug-in decodes on a thread of the view's own while the events
    // of this thread run, progress reports reaching OnLoadProgress in order
    // (the plug-in does not wait for them).
    // A LoadFromFile started meanwhile takes over: the earlier one returns
    // false without a word once the later one has returned.
    bool LoadFromFile(const QString& path);
    // Decodes path on a worker with the current plug-in folder, so that a
    // LoadFromFile of that file finds its bitmap ready, when the file is
    // still as it was read; an empty path forgets what was decoded ahead.
    // A decode ahead that fails says nothing.
    void ReadAhead(const QString& path);
    // The file being or having been decoded ahead; empty when none.
    QString ReadAheadPath() const;
    // Whether the bitmap decoded ahead is ready.
    bool ReadAheadReady() const;
    void CloseImage();
    // False (after telling the user) when the file could not be written.
    bool SaveAsBitmap(const QString& path);
    void Print();
    // The printer Print uses; the print setup dialog configures it.
    QPrinter& Printer();
    void CopyToClipboard(int mode);

    // --- Annotation side file --------------------------------------------
    // The side file of an image: its path with the extension ".grx".
    static QString AnnotationPath(const QString& imagePath);
    static constexpr std::int64_t kMaxAnnotationFileBytes = TRasterDocument::kMaxAnnotationFileBytes;
    // Reads the side file into the layers. A file that cannot be read
    // completely (too large, unreadable, cut short) is reported, and the
    // next write over it asks in words that say what would be lost.
    bool LoadAnnotations(const QString& path);
    // False when the user declined to overwrite or the write failed.
    bool SaveAnnotations(const QString& path);

    // --- Drawing ---------------------------------------------------------
    // Draws the source part (image coordinates, corners inclusive) into the
    // destination (device coordinates, right and bottom exclusive), then
    // the objects of the visible layers.
    void DrawImage(QPainter& canvas, const QRect& destination, const QRect& source);

    // --- Events ----------------------------------------------------------
    TLoadProgressEvent OnLoadProgress;
    TActiveToolChangeEvent OnActiveToolChange;
    TActiveToolClickEvent OnActiveToolClick;
    TActiveToolRectangleEvent OnActiveToolRectangle;
    TActiveToolMeasureEvent OnActiveToolMeasure;
    TActiveToolSelectEvent OnActiveToolSelect;
    TActiveLayerChangeEvent OnActiveLayerChange;
    TActiveObjectEvent OnActiveObjectChange;
    TActiveObjectEvent OnActiveObjectDelete;
    TActiveObjectEvent OnActiveObjectEdit;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    enum class TScrollRequest { LineBack, LineForward, PageBack, PageForward, ThumbReleased, Ignored };
    struct TLoadJob;
    // How the waiting for a load's decode ended.
    enum class TLoadEnd { Running, Decoded, Cancelled, Abandoned, Superseded };

    int ClientWidth() const;
    int ClientHeight() const;
    void PlaceScrollBars();
    void ClampView();
    void FitAspect();
    void UpdateScrollBars();
    void SetBar(QScrollBar* bar, bool visible, int maximum, int page, int position);
    void HandleScrollAction(Qt::Orientation orientation, int action);
    void ScrollRequest(Qt::Orientation orientation, TScrollRequest request, int trackPosition);
    void PaintMargins(QPainter& canvas);
    // Closes the image after a paint ran out of memory, and says so.
    void CloseForMemoryShortage();
    void DrawOverlay(QPainter& canvas);
    // Decodes the job's file on the decode thread and waits for the end
    // of the decode, the events running; true with the image shown.
    bool DecodeAndShow(const std::shared_ptr<TLoadJob>& job);
    // Waits for the job's end, the events running meanwhile.
    void AwaitLoadEnd(const std::shared_ptr<TLoadJob>& job);
    // Hands the progress reports of the job's plug-in to OnLoadProgress,
    // then the end of its decode to the waiting LoadFromFile.
    void DeliverLoadNews(const std::shared_ptr<TLoadJob>& job);
    // Ends the waiting for the job; only a decoded one goes on to be shown.
    void EndLoad(const std::shared_ptr<TLoadJob>& job, TLoadEnd end);
    // Shows a decoded image from its top-left corner, with its layers.
    void ShowDecodedImage(std::unique_ptr<TDecodedImage> image);
    // Frees the bitmap and what the view built on it.
    void FreeImage();
    // The side file written as the image closes. The layers go with the
    // image, so when the side file cannot be written they are kept in a
    // recovery file under the user's data folder instead, and the user
    // hears where.
    void SaveAnnotationsAtClose();

    // Declared before the document, whose layers use it until they go.
    std::unique_ptr<TLayersHost> layersHost_;
    std::unique_ptr<TRasterDocument> document_;
    int maxX_ = 0;
    int maxY_ = 0;
    double viewLeft_ = 0, viewTop_ = 0, viewRight_ = 0, viewBottom_ = 0;
    int dispLeft_ = 0, dispTop_ = 0, dispRight_ = 0, dispBottom_ = 0;
    double scaleX_ = 0, scaleY_ = 0;
    double vStep_ = 0, hStep_ = 0;
    double zoomSize_ = 0;
    TViewMode viewMode_ = vmNormal;
    TPaintMode paintMode_ = pmColorOn;
    int scrollUnit_ = 100;
    bool eraseBackground_ = true;
    bool inLayout_ = false;
    bool printing_ = false;
    bool loadCancel_ = false;
    bool destroying_ = false;
    int settlingLoads_ = 0;
    bool memoryShortagePending_ = false;
    std::unique_ptr<TSusiePlugs> plugs_;
    // The latest load whose LoadFromFile has not returned; null when none.
    std::shared_ptr<TLoadJob> load_;
    TRasterLayer* activeLayer_ = nullptr;
    std::unique_ptr<TRasterTools> tools_;
    TRasterTool* activeTool_ = nullptr;
    TCursor cursor_ = crDefault;
    QPoint pointerPos_;
    // A plain left press is down; its release is a click.
    bool clickPending_ = false;
    std::unique_ptr<TImageList> shippedStateImage_;
    std::unique_ptr<TImageList> shippedSelectImage_;
    TImageList* stateImage_ = nullptr;
    TImageList* selectImage_ = nullptr;
    TRasterTreeView* treeView_ = nullptr;
    TRasterListView* listView_ = nullptr;
    QScrollBar* horizontalBar_ = nullptr;
    QScrollBar* verticalBar_ = nullptr;
    std::unique_ptr<TDibPainter> dibPainter_;
    std::unique_ptr<TReadAhead> readAhead_;
    std::unique_ptr<TDecodeThread> decodeThread_;
    std::unique_ptr<QPrinter> printer_;
};
