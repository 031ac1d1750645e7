#pragma once

#include <QPointer>

#include "platform/action.h"
#include "raster/raster_types.h"

class QTreeWidgetItem;
class TRaster;
class TRasterLayer;
class TRasterTool;
class TRasterTreeView;

// Commands on a raster view. With a bound view only that view is a
// target, otherwise any raster view the action list offers; either way the
// view must be visible. The enabled rule and the check mark come from the
// target view; a check is shown only while the command is enabled.
class TCustomRasterAction : public platform::Action {
public:
    explicit TCustomRasterAction(QObject* parent = nullptr);

    // The bound view, or null; cleared when the view is destroyed.
    TRaster* Raster() const { return raster_; }
    void SetRaster(TRaster* raster) { raster_ = raster; }

    bool HandlesTarget(QObject* Target) override;
    void UpdateTarget(QObject* Target) override;
    void ExecuteTarget(QObject* Target) override;

protected:
    void SetTexts(const QString& caption, const QString& hint);
    virtual bool EnabledOn(const TRaster& raster) const;
    virtual bool CheckedOn(const TRaster& raster) const;
    virtual void ExecuteOn(TRaster& raster);

private:
    QPointer<TRaster> raster_;
};

// Enabled with an image; the owner's handler does the work.
class TRasterAction : public TCustomRasterAction {
public:
    using TCustomRasterAction::TCustomRasterAction;
};

// Makes a tool of the view's registry active; checked while it is.
class TCustomRasterToolAction : public TCustomRasterAction {
public:
    explicit TCustomRasterToolAction(QObject* parent = nullptr);

protected:
    // The view's first tool of the command's class or a descendant.
    virtual TRasterTool* FindTool(const TRaster& raster) const = 0;
    bool CheckedOn(const TRaster& raster) const override;
    void ExecuteOn(TRaster& raster) override;
};

template <class Tool>
class TRasterToolActionOf : public TCustomRasterToolAction {
public:
    using TCustomRasterToolAction::TCustomRasterToolAction;

protected:
    TRasterTool* FindTool(const TRaster& raster) const override;
};

class TRasterZoomRectTool;
class TRasterZoomInTool;
class TRasterZoomOutTool;
class TRasterScrollTool;
class TRasterCenteringTool;
class TRasterObjectSelectTool;
class TRasterObjectCreateTool;
class TRasterObjectMoveTool;

class TRasterZoomRectToolAction : public TRasterToolActionOf<TRasterZoomRectTool> {
public:
    explicit TRasterZoomRectToolAction(QObject* parent = nullptr);
};

class TRasterZoomInToolAction : public TRasterToolActionOf<TRasterZoomInTool> {
public:
    explicit TRasterZoomInToolAction(QObject* parent = nullptr);
};

class TRasterZoomOutToolAction : public TRasterToolActionOf<TRasterZoomOutTool> {
public:
    explicit TRasterZoomOutToolAction(QObject* parent = nullptr);
};

// Scrolling and centring need a part of the image out of sight.
class TRasterScrollToolAction : public TRasterToolActionOf<TRasterScrollTool> {
public:
    explicit TRasterScrollToolAction(QObject* parent = nullptr);

protected:
    bool EnabledOn(const TRaster& raster) const override;
};

class TRasterCenteringToolAction : public TRasterToolActionOf<TRasterCenteringTool> {
public:
    explicit TRasterCenteringToolAction(QObject* parent = nullptr);

protected:
    bool EnabledOn(const TRaster& raster) const override;
};

class TRasterObjectSelectToolAction : public TRasterToolActionOf<TRasterObjectSelectTool> {
public:
    explicit TRasterObjectSelectToolAction(QObject* parent = nullptr);
};

// New objects go into the active layer.
class TRasterObjectCreateToolAction : public TRasterToolActionOf<TRasterObjectCreateTool> {
public:
    explicit TRasterObjectCreateToolAction(QObject* parent = nullptr);

protected:
    bool EnabledOn(const TRaster& raster) const override;
};

// Moving needs an object in the active layer.
class TRasterObjectMoveToolAction : public TRasterToolActionOf<TRasterObjectMoveTool> {
public:
    explicit TRasterObjectMoveToolAction(QObject* parent = nullptr);

protected:
    bool EnabledOn(const TRaster& raster) const override;
};

// Deletes the active layer's selected object after asking.
class TRasterObjectDeleteAction : public TCustomRasterAction {
public:
    explicit TRasterObjectDeleteAction(QObject* parent = nullptr);

protected:
    bool EnabledOn(const TRaster& raster) const override;
    void ExecuteOn(TRaster& raster) override;
};

// Enabled as delete; the owner's handler edits the object.
class TRasterObjectEditAction : public TCustomRasterAction {
public:
    explicit TRasterObjectEditAction(QObject* parent = nullptr);

protected:
    bool EnabledOn(const TRaster& raster) const override;
};

// Shows the whole image and returns to the point (select) tool.
class TRasterViewExtentAction : public TCustomRasterAction {
public:
    explicit TRasterViewExtentAction(QObject* parent = nullptr);

protected:
    bool EnabledOn(const TRaster& raster) const override;
    void ExecuteOn(TRaster& raster) override;
};

class TRasterViewRefreshAction : public TCustomRasterAction {
public:
    explicit TRasterViewRefreshAction(QObject* parent = nullptr);

protected:
    void ExecuteOn(TRaster& raster) override;
};

// View and paint modes: enabled whenever there is a target view.
class TRasterViewModeNormalAction : public TCustomRasterAction {
public:
    explicit TRasterViewModeNormalAction(QObject* parent = nullptr);

protected:
    bool EnabledOn(const TRaster&) const override { return true; }
    bool CheckedOn(const TRaster& raster) const override;
    void ExecuteOn(TRaster& raster) override;
};

class TRasterViewModeExpandAction : public TCustomRasterAction {
public:
    explicit TRasterViewModeExpandAction(QObject* parent = nullptr);

protected:
    bool EnabledOn(const TRaster&) const override { return true; }
    bool CheckedOn(const TRaster& raster) const override;
    void ExecuteOn(TRaster& raster) override;
};

class TRasterPaintModeColorOnAction : public TCustomRasterAction {
public:
    explicit TRasterPaintModeColorOnAction(QObject* parent = nullptr);

protected:
    bool EnabledOn(const TRaster&) const override { return true; }
    bool CheckedOn(const TRaster& raster) const override;
    void ExecuteOn(TRaster& raster) override;
};

class TRasterPaintModeHalfToneAction : public TCustomRasterAction {
public:
    explicit TRasterPaintModeHalfToneAction(QObject* parent = nullptr);

protected:
    bool EnabledOn(const TRaster&) const override { return true; }
    bool CheckedOn(const TRaster& raster) const override;
    void ExecuteOn(TRaster& raster) override;
};

// Asks a running decode to stop at the plug-in's next progress report.
class TRasterLoadCancelAction : public TCustomRasterAction {
public:
    explicit TRasterLoadCancelAction(QObject* parent = nullptr);

protected:
    bool EnabledOn(const TRaster& raster) const override;
    void ExecuteOn(TRaster& raster) override;
};

// Commands on a layer tree (the bound one, or any visible one offered).
// Running one first gives the tree the keyboard focus.
class TRasterTreeViewAction : public platform::Action {
public:
    explicit TRasterTreeViewAction(QObject* parent = nullptr);

    TRasterTreeView* TreeView() const { return treeView_; }
    void SetTreeView(TRasterTreeView* treeView) { treeView_ = treeView; }

    bool HandlesTarget(QObject* Target) override;
    void UpdateTarget(QObject* Target) override;
    void ExecuteTarget(QObject* Target) override;

protected:
    void SetTexts(const QString& caption, const QString& hint);
    virtual bool EnabledOn(const TRasterTreeView& tree) const;
    virtual bool CheckedOn(const TRasterTreeView&) const { return false; }
    virtual void ExecuteOn(TRasterTreeView&) {}

    // The layer of the selected node when the view shows an image, or null.
    static TRasterLayer* SelectedLayer(const TRasterTreeView& tree);

private:
    QPointer<TRasterTreeView> treeView_;
};

class TRasterLayerCreateAction : public TRasterTreeViewAction {
public:
    explicit TRasterLayerCreateAction(QObject* parent = nullptr);

protected:
    bool EnabledOn(const TRasterTreeView& tree) const override;
    void ExecuteOn(TRasterTreeView& tree) override;
};

class TRasterLayerDeleteAction : public TRasterTreeViewAction {
public:
    explicit TRasterLayerDeleteAction(QObject* parent = nullptr);

protected:
    void ExecuteOn(TRasterTreeView& tree) override;
};

class TRasterLayerRenameAction : public TRasterTreeViewAction {
public:
    explicit TRasterLayerRenameAction(QObject* parent = nullptr);

protected:
    void ExecuteOn(TRasterTreeView& tree) override;
};

// Sets the selected layer's mode to LayerMode; checked while it has it.
class TRasterLayerModeAction : public TRasterTreeViewAction {
public:
    explicit TRasterLayerModeAction(QObject* parent = nullptr);

    TLayerMode LayerMode() const { return layerMode_; }
    // Also sets the caption and hint of the mode.
    void SetLayerMode(TLayerMode mode);

protected:
    bool CheckedOn(const TRasterTreeView& tree) const override;
    void ExecuteOn(TRasterTreeView& tree) override;

private:
    void ShowMode();

    TLayerMode layerMode_ = lmActive;
};

// Moves the selected layer one step up (drawn later) or down; the layer
// stays selected so that the command can be repeated.
class TRasterLayerOrderUpAction : public TRasterTreeViewAction {
public:
    explicit TRasterLayerOrderUpAction(QObject* parent = nullptr);

protected:
    bool EnabledOn(const TRasterTreeView& tree) const override;
    void ExecuteOn(TRasterTreeView& tree) override;
};

class TRasterLayerOrderDownAction : public TRasterTreeViewAction {
public:
    explicit TRasterLayerOrderDownAction(QObject* parent = nullptr);

protected:
    bool EnabledOn(const TRasterTreeView& tree) const override;
    void ExecuteOn(TRasterTreeView& tree) override;
};
