#include "raster/raster_actions.h"

#include "platform/message_box.h"
#include "raster/raster.h"
#include "raster/raster_layers.h"
#include "raster/raster_object_tools.h"
#include "raster/raster_tools.h"
#include "raster/raster_tree_view.h"

namespace {

bool Confirm(QWidget* owner, const QString& question) {
    return platform::ShowMessage(owner->window(), question, platform::MessageIcon::Question,
                                 platform::MessageButtons::YesNo) == platform::MessageResult::Yes;
}

bool HasActiveObject(const TRaster& raster) {
    return raster.HasImage() && raster.ActiveLayer() && raster.ActiveLayer()->ActiveObject();
}

bool ShowsPart(const TRaster& raster) { return raster.HasImage() && !raster.IsWholeImage(); }

}  // namespace

// --- Raster view commands ----------------------------------------------

TCustomRasterAction::TCustomRasterAction(QObject* parent) : platform::Action(parent) {}

bool TCustomRasterAction::HandlesTarget(QObject* Target) {
    auto* raster = qobject_cast<TRaster*>(Target);
    if (raster_ && raster != raster_) return false;
    return raster && raster->isVisible();
}

void TCustomRasterAction::UpdateTarget(QObject* Target) {
    const auto& raster = *static_cast<TRaster*>(Target);
    const bool enabled = EnabledOn(raster);
    SetCheckedState(enabled, enabled && CheckedOn(raster));
}

void TCustomRasterAction::ExecuteTarget(QObject* Target) { ExecuteOn(*static_cast<TRaster*>(Target)); }

void TCustomRasterAction::SetTexts(const QString& caption, const QString& hint) {
    setText(caption);
    SetHint(hint);
}

bool TCustomRasterAction::EnabledOn(const TRaster& raster) const { return raster.HasImage(); }

bool TCustomRasterAction::CheckedOn(const TRaster&) const { return false; }

void TCustomRasterAction::ExecuteOn(TRaster&) {}

TCustomRasterToolAction::TCustomRasterToolAction(QObject* parent) : TCustomRasterAction(parent) {
    setCheckable(true);
}

bool TCustomRasterToolAction::CheckedOn(const TRaster& raster) const {
    const TRasterTool* tool = FindTool(raster);
    return tool && raster.ActiveTool() == tool;
}

void TCustomRasterToolAction::ExecuteOn(TRaster& raster) { raster.SetActiveTool(FindTool(raster)); }

template <class Tool>
TRasterTool* TRasterToolActionOf<Tool>::FindTool(const TRaster& raster) const {
    return const_cast<TRaster&>(raster).Tools().template Find<Tool>();
}

TRasterZoomRectToolAction::TRasterZoomRectToolAction(QObject* parent) : TRasterToolActionOf(parent) {
    SetTexts(QStringLiteral("矩形範囲を拡大(&R)"), QStringLiteral("矩形拡大ツール|矩形拡大ツールをアクティブにします。"));
}

TRasterZoomInToolAction::TRasterZoomInToolAction(QObject* parent) : TRasterToolActionOf(parent) {
    SetTexts(QStringLiteral("拡大(&I)"), QStringLiteral("拡大ツール|拡大ツールをアクティブにします。"));
}

TRasterZoomOutToolAction::TRasterZoomOutToolAction(QObject* parent) : TRasterToolActionOf(parent) {
    SetTexts(QStringLiteral("縮小(&O)"), QStringLiteral("縮小ツール|縮小ツールをアクティブにします。"));
}

TRasterScrollToolAction::TRasterScrollToolAction(QObject* parent) : TRasterToolActionOf(parent) {
    SetTexts(QStringLiteral("スクロール(&S)"), QStringLiteral("スクロール|スクロールツールをアクティブにします。"));
}

bool TRasterScrollToolAction::EnabledOn(const TRaster& raster) const { return ShowsPart(raster); }

TRasterCenteringToolAction::TRasterCenteringToolAction(QObject* parent) : TRasterToolActionOf(parent) {
    SetTexts(QStringLiteral("センターリング(&G)"),
             QStringLiteral("センターリング|センターリングツールをアクティブにします。"));
}

bool TRasterCenteringToolAction::EnabledOn(const TRaster& raster) const { return ShowsPart(raster); }

TRasterObjectSelectToolAction::TRasterObjectSelectToolAction(QObject* parent) : TRasterToolActionOf(parent) {
    SetTexts(QStringLiteral("オブジェクト選択(&S)"),
             QStringLiteral("オブジェクト選択|オブジェクトの選択ツールをアクティブにします。"));
}

TRasterObjectCreateToolAction::TRasterObjectCreateToolAction(QObject* parent) : TRasterToolActionOf(parent) {
    SetTexts(QStringLiteral("新規オブジェクト(&N)"),
             QStringLiteral("新規オブジェクト|新規オブジェクトの貼付けツールをアクティブにします。"));
}

bool TRasterObjectCreateToolAction::EnabledOn(const TRaster& raster) const {
    return raster.HasImage() && raster.ActiveLayer();
}

TRasterObjectMoveToolAction::TRasterObjectMoveToolAction(QObject* parent) : TRasterToolActionOf(parent) {
    SetTexts(QStringLiteral("オブジェクト移動(&M)"),
             QStringLiteral("オブジェクト移動|オブジェクトの移動ツールをアクティブにします。"));
}

bool TRasterObjectMoveToolAction::EnabledOn(const TRaster& raster) const {
    return raster.HasImage() && raster.ActiveLayer() && raster.ActiveLayer()->Count() > 0;
}

TRasterObjectDeleteAction::TRasterObjectDeleteAction(QObject* parent) : TCustomRasterAction(parent) {
    SetTexts(QStringLiteral("オブジェクト削除(&D)"),
             QStringLiteral("オブジェクト削除|選択されているオブジェクトを削除します。"));
}

bool TRasterObjectDeleteAction::EnabledOn(const TRaster& raster) const { return HasActiveObject(raster); }

void TRasterObjectDeleteAction::ExecuteOn(TRaster& raster) {
    if (!Confirm(&raster, QStringLiteral("選択したオブジェクトを削除しますか？"))) return;
    // The answer pumped events: the object may be gone by now.
    if (HasActiveObject(raster)) raster.ActiveLayer()->ActiveObject()->Delete();
}

TRasterObjectEditAction::TRasterObjectEditAction(QObject* parent) : TCustomRasterAction(parent) {
    SetTexts(QStringLiteral("オブジェクト編集(&E)"),
             QStringLiteral("オブジェクト編集|選択されているオブジェクトを編集します。"));
}

bool TRasterObjectEditAction::EnabledOn(const TRaster& raster) const { return HasActiveObject(raster); }

TRasterViewExtentAction::TRasterViewExtentAction(QObject* parent) : TCustomRasterAction(parent) {
    SetTexts(QStringLiteral("全体表示(&E)"), QStringLiteral("全体表示|画面の全体表示を行います。"));
    setShortcut(Qt::Key_Home);
}

bool TRasterViewExtentAction::EnabledOn(const TRaster& raster) const { return ShowsPart(raster); }

void TRasterViewExtentAction::ExecuteOn(TRaster& raster) {
    raster.ViewExtent();
    raster.SetActiveTool(raster.Tools().Find<TRasterPointTool>());
}

TRasterViewRefreshAction::TRasterViewRefreshAction(QObject* parent) : TCustomRasterAction(parent) {
    SetTexts(QStringLiteral("再描画(&U)"), QStringLiteral("再描画|画面全体の再表示を行います。"));
    setShortcut(Qt::Key_F5);
}

void TRasterViewRefreshAction::ExecuteOn(TRaster& raster) { raster.repaint(); }

TRasterViewModeNormalAction::TRasterViewModeNormalAction(QObject* parent) : TCustomRasterAction(parent) {
    SetTexts(QStringLiteral("標準モード(&N)"),
             QStringLiteral("標準モード|画像の表示ビューを標準モードに切り替えます。"));
    setCheckable(true);
}

bool TRasterViewModeNormalAction::CheckedOn(const TRaster& raster) const { return raster.ViewMode() == vmNormal; }

void TRasterViewModeNormalAction::ExecuteOn(TRaster& raster) { raster.SetViewMode(vmNormal); }

TRasterViewModeExpandAction::TRasterViewModeExpandAction(QObject* parent) : TCustomRasterAction(parent) {
    SetTexts(QStringLiteral("拡張モード(&E)"),
             QStringLiteral("拡張モード|画像の表示ビューを拡張モードに切り替えます。"));
    setCheckable(true);
}

bool TRasterViewModeExpandAction::CheckedOn(const TRaster& raster) const { return raster.ViewMode() == vmExpand; }

void TRasterViewModeExpandAction::ExecuteOn(TRaster& raster) { raster.SetViewMode(vmExpand); }

TRasterPaintModeColorOnAction::TRasterPaintModeColorOnAction(QObject* parent) : TCustomRasterAction(parent) {
    SetTexts(QStringLiteral("標準描画(&C)"),
             QStringLiteral("標準描画|画像の表示方法を標準描画モードに切り替えます。"));
    setCheckable(true);
}

bool TRasterPaintModeColorOnAction::CheckedOn(const TRaster& raster) const {
    return raster.PaintMode() == pmColorOn;
}

void TRasterPaintModeColorOnAction::ExecuteOn(TRaster& raster) { raster.SetPaintMode(pmColorOn); }

TRasterPaintModeHalfToneAction::TRasterPaintModeHalfToneAction(QObject* parent) : TCustomRasterAction(parent) {
    SetTexts(QStringLiteral("詳細描画(&H)"),
             QStringLiteral("詳細描画|画像の表示方法を詳細描画モードに切り替えます。"));
    setCheckable(true);
}

bool TRasterPaintModeHalfToneAction::CheckedOn(const TRaster& raster) const {
    return raster.PaintMode() == pmHalfTone;
}

void TRasterPaintModeHalfToneAction::ExecuteOn(TRaster& raster) { raster.SetPaintMode(pmHalfTone); }

TRasterLoadCancelAction::TRasterLoadCancelAction(QObject* parent) : TCustomRasterAction(parent) {
    SetTexts(QStringLiteral("中止(&C)"), QStringLiteral("中止|画像の読込み処理を中止します。"));
    setShortcut(Qt::Key_Escape);
}

bool TRasterLoadCancelAction::EnabledOn(const TRaster& raster) const { return raster.Loading(); }

void TRasterLoadCancelAction::ExecuteOn(TRaster& raster) { raster.SetLoadCancel(true); }

// --- Layer tree commands -------------------------------------------------

TRasterTreeViewAction::TRasterTreeViewAction(QObject* parent) : platform::Action(parent) {}

bool TRasterTreeViewAction::HandlesTarget(QObject* Target) {
    auto* tree = qobject_cast<TRasterTreeView*>(Target);
    if (treeView_ && tree != treeView_) return false;
    return tree && tree->isVisible();
}

void TRasterTreeViewAction::UpdateTarget(QObject* Target) {
    const auto& tree = *static_cast<TRasterTreeView*>(Target);
    const bool enabled = EnabledOn(tree);
    SetCheckedState(enabled, enabled && CheckedOn(tree));
}

void TRasterTreeViewAction::ExecuteTarget(QObject* Target) {
    auto& tree = *static_cast<TRasterTreeView*>(Target);
    if (tree.isEnabled() && tree.focusPolicy() != Qt::NoFocus) tree.setFocus();
    ExecuteOn(tree);
}

void TRasterTreeViewAction::SetTexts(const QString& caption, const QString& hint) {
    setText(caption);
    SetHint(hint);
}

bool TRasterTreeViewAction::EnabledOn(const TRasterTreeView& tree) const { return SelectedLayer(tree) != nullptr; }

TRasterLayer* TRasterTreeViewAction::SelectedLayer(const TRasterTreeView& tree) {
    if (!tree.Raster() || !tree.Raster()->HasImage()) return nullptr;
    return TRasterTreeView::NodeLayer(tree.SelectedNode());
}

namespace {

// Selects the layer's node again after the tree was refilled.
void SelectLayerNode(TRasterTreeView& tree, const TRasterLayer* layer) {
    for (int index = 0; index < tree.NodeCount(); ++index)
        if (QTreeWidgetItem* node = tree.NodeAt(index); TRasterTreeView::NodeLayer(node) == layer) {
            tree.setCurrentItem(node);
            return;
        }
}

}  // namespace

TRasterLayerCreateAction::TRasterLayerCreateAction(QObject* parent) : TRasterTreeViewAction(parent) {
    SetTexts(QStringLiteral("新規レイヤ(&N)"), QStringLiteral("新規レイヤ|新規のレイヤを作成します。"));
}

bool TRasterLayerCreateAction::EnabledOn(const TRasterTreeView& tree) const {
    return tree.Raster() && tree.Raster()->HasImage();
}

void TRasterLayerCreateAction::ExecuteOn(TRasterTreeView& tree) { tree.Raster()->Layers().NewLayer(); }

TRasterLayerDeleteAction::TRasterLayerDeleteAction(QObject* parent) : TRasterTreeViewAction(parent) {
    SetTexts(QStringLiteral("レイヤ削除(&E)"), QStringLiteral("レイヤ削除|選択したレイヤを削除します。"));
}

void TRasterLayerDeleteAction::ExecuteOn(TRasterTreeView& tree) {
    if (!Confirm(&tree, QStringLiteral("選択したレイヤを削除しますか？"))) return;
    // The answer pumped events: take the selection as it is now.
    if (TRasterLayer* layer = SelectedLayer(tree)) layer->Delete();
}

TRasterLayerRenameAction::TRasterLayerRenameAction(QObject* parent) : TRasterTreeViewAction(parent) {
    SetTexts(QStringLiteral("レイヤ名の変更(&R)"), QStringLiteral("レイヤ名変更|選択したレイヤの名前を変更します。"));
}

void TRasterLayerRenameAction::ExecuteOn(TRasterTreeView& tree) { tree.editItem(tree.SelectedNode()); }

TRasterLayerModeAction::TRasterLayerModeAction(QObject* parent) : TRasterTreeViewAction(parent) {
    setCheckable(true);
    ShowMode();
}

void TRasterLayerModeAction::SetLayerMode(TLayerMode mode) {
    if (mode == layerMode_) return;
    layerMode_ = mode;
    ShowMode();
}

void TRasterLayerModeAction::ShowMode() {
    switch (layerMode_) {
    case lmActive:
        SetTexts(QStringLiteral("アクティブ(&A)"), QStringLiteral("アクティブモード|選択したレイヤをアクティブに設定します。"));
        break;
    case lmVisible:
        SetTexts(QStringLiteral("表示(&V)"), QStringLiteral("表示モード|選択したレイヤを表示モードに設定します。"));
        break;
    case lmInvisible:
        SetTexts(QStringLiteral("非表示(&I)"), QStringLiteral("非表示モード|選択したレイヤを非表示モードに設定します。"));
        break;
    }
}

bool TRasterLayerModeAction::CheckedOn(const TRasterTreeView& tree) const {
    const TRasterLayer* layer = SelectedLayer(tree);
    return layer && layer->Mode() == layerMode_;
}

void TRasterLayerModeAction::ExecuteOn(TRasterTreeView& tree) {
    if (TRasterLayer* layer = SelectedLayer(tree)) layer->SetMode(layerMode_);
}

TRasterLayerOrderUpAction::TRasterLayerOrderUpAction(QObject* parent) : TRasterTreeViewAction(parent) {
    SetTexts(QStringLiteral("上層に移動(&U)"), QStringLiteral("上層に移動|選択したレイヤを上層に移動します。"));
}

bool TRasterLayerOrderUpAction::EnabledOn(const TRasterTreeView& tree) const {
    return SelectedLayer(tree) && tree.AbsoluteIndex(tree.SelectedNode()) > 1;
}

void TRasterLayerOrderUpAction::ExecuteOn(TRasterTreeView& tree) {
    TRasterLayer* layer = SelectedLayer(tree);
    if (!layer) return;
    layer->MoveOrder(loUp);
    SelectLayerNode(tree, layer);
}

TRasterLayerOrderDownAction::TRasterLayerOrderDownAction(QObject* parent) : TRasterTreeViewAction(parent) {
    SetTexts(QStringLiteral("下層に移動(&D)"), QStringLiteral("下層に移動|選択したレイヤを下層に移動します。"));
}

bool TRasterLayerOrderDownAction::EnabledOn(const TRasterTreeView& tree) const {
    return SelectedLayer(tree) && tree.AbsoluteIndex(tree.SelectedNode()) < tree.NodeCount() - 1;
}

void TRasterLayerOrderDownAction::ExecuteOn(TRasterTreeView& tree) {
    TRasterLayer* layer = SelectedLayer(tree);
    if (!layer) return;
    layer->MoveOrder(loDown);
    SelectLayerNode(tree, layer);
}
