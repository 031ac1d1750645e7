#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

#include "platform/action_list.h"
#include "raster/raster_actions.h"
#include "raster/raster_layers.h"
#include "raster/raster_object_tools.h"
#include "raster/raster_tools.h"
#include "raster/raster_tree_view.h"
#include "raster_view_fixture.h"

using platform::MessageResult;

namespace {

class RasterActionsTest : public ::testing::Test, public RasterViewFixture {
protected:
    RasterActionsTest() {
        raster.resize(200, 150);
        raster.SetZoomSize(0.1);
        raster.show();
        for (platform::Action* action : std::vector<platform::Action*>{
                 &zoomRect, &zoomIn, &zoomOut, &scroll, &centering, &select, &create, &move, &deleteObject,
                 &editObject, &extent, &refresh, &normal, &expand, &colorOn, &halfTone, &cancel})
            list.Add(action);
        list.AddTarget(&raster);
    }

    void Update() { list.UpdateActions(); }

    // An active layer with one selected object at the image's centre.
    TRasterObject* SelectedObject() {
        TRasterLayer* layer = raster.Layers().NewLayer();
        layer->SetMode(lmActive);
        raster.SetActiveLayer(layer);
        auto object = std::make_unique<TRasterObject>(layer);
        object->SetX(50);
        object->SetY(40);
        TRasterObject* added = layer->AddObject(std::move(object));
        layer->SetActiveObject(added);
        return added;
    }

    platform::ActionList list;
    TRasterZoomRectToolAction zoomRect;
    TRasterZoomInToolAction zoomIn;
    TRasterZoomOutToolAction zoomOut;
    TRasterScrollToolAction scroll;
    TRasterCenteringToolAction centering;
    TRasterObjectSelectToolAction select;
    TRasterObjectCreateToolAction create;
    TRasterObjectMoveToolAction move;
    TRasterObjectDeleteAction deleteObject;
    TRasterObjectEditAction editObject;
    TRasterViewExtentAction extent;
    TRasterViewRefreshAction refresh;
    TRasterViewModeNormalAction normal;
    TRasterViewModeExpandAction expand;
    TRasterPaintModeColorOnAction colorOn;
    TRasterPaintModeHalfToneAction halfTone;
    TRasterLoadCancelAction cancel;
};

TEST_F(RasterActionsTest, ToolCommandsFollowTheImageAndTheZoom) {
    Update();
    for (QAction* action : std::vector<QAction*>{&zoomRect, &zoomIn, &zoomOut, &scroll, &centering, &select,
                                                 &create, &move, &extent, &refresh})
        EXPECT_FALSE(action->isEnabled()) << action->text().toStdString();
    EXPECT_FALSE(select.isChecked());  // the select tool is active, but no check while disabled
    // The modes need a view only.
    EXPECT_TRUE(normal.isEnabled() && normal.isChecked());
    EXPECT_TRUE(colorOn.isEnabled() && colorOn.isChecked());

    ASSERT_TRUE(Load(400, 300));
    Update();
    EXPECT_TRUE(zoomIn.isEnabled() && zoomRect.isEnabled() && zoomOut.isEnabled() && refresh.isEnabled());
    EXPECT_TRUE(select.isChecked());
    // The whole image is shown: nothing to scroll or centre, no extent.
    EXPECT_FALSE(scroll.isEnabled() || centering.isEnabled() || extent.isEnabled());

    zoomIn.trigger();
    EXPECT_EQ(raster.ActiveTool(), raster.Tools().Find<TRasterZoomInTool>());
    EXPECT_TRUE(zoomIn.isChecked());
    EXPECT_FALSE(select.isChecked());

    // A click of the zoom-in tool shows a part: the view moved.
    const double widthBefore = raster.ViewRight() - raster.ViewLeft();
    QTest::mouseClick(&raster, Qt::LeftButton, {}, QPoint(100, 75));
    EXPECT_LT(raster.ViewRight() - raster.ViewLeft(), widthBefore);
    Update();
    EXPECT_TRUE(scroll.isEnabled() && centering.isEnabled() && extent.isEnabled());
    scroll.trigger();
    EXPECT_EQ(raster.ActiveTool(), raster.Tools().Find<TRasterScrollTool>());

    // The extent shows all again and hands the mouse back to the select tool.
    extent.trigger();
    EXPECT_TRUE(raster.IsWholeImage());
    EXPECT_EQ(raster.ActiveTool(), raster.Tools().Find<TRasterObjectSelectTool>());
    EXPECT_TRUE(select.isChecked());
    EXPECT_FALSE(scroll.isEnabled() || extent.isEnabled());

    zoomOut.trigger();
    raster.CloseImage();
    Update();
    EXPECT_FALSE(zoomOut.isEnabled() || zoomOut.isChecked());
    EXPECT_EQ(raster.ActiveTool(), raster.Tools().Find<TRasterObjectSelectTool>());
}

TEST_F(RasterActionsTest, ObjectCommandsNeedAnActiveLayerAndItsSelectedObject) {
    ASSERT_TRUE(Load(100, 80));
    raster.SetActiveLayer(nullptr);
    Update();
    EXPECT_FALSE(create.isEnabled() || move.isEnabled() || deleteObject.isEnabled() || editObject.isEnabled());

    TRasterObject* object = SelectedObject();
    TRasterLayer* layer = object->Layer();
    Update();
    EXPECT_TRUE(create.isEnabled() && move.isEnabled() && deleteObject.isEnabled() && editObject.isEnabled());

    // Declining keeps the object; Yes deletes exactly it.
    messages.Answer(MessageResult::No);
    deleteObject.trigger();
    EXPECT_EQ(layer->Count(), 1);
    messages.Answer(MessageResult::Yes);
    deleteObject.trigger();
    EXPECT_EQ(layer->Count(), 0);
    EXPECT_EQ(messages.Texts(), QStringList(2, QStringLiteral("選択したオブジェクトを削除しますか？")));
    EXPECT_EQ(messages.Messages().back().buttons, platform::MessageButtons::YesNo);

    // An empty active layer: objects can be placed, not moved or deleted.
    EXPECT_TRUE(create.isEnabled());
    EXPECT_FALSE(move.isEnabled() || deleteObject.isEnabled() || editObject.isEnabled());

    // The owner's handler does the editing.
    int edits = 0;
    editObject.OnExecute = [&](platform::Action*) { ++edits; };
    SelectedObject();
    Update();
    editObject.trigger();
    EXPECT_EQ(edits, 1);
}

TEST_F(RasterActionsTest, ModeCommandsSwitchTheViewAndShowOneCheckEach) {
    ASSERT_TRUE(Load(100, 80));
    expand.trigger();
    EXPECT_EQ(raster.ViewMode(), vmExpand);
    EXPECT_TRUE(expand.isChecked());
    EXPECT_FALSE(normal.isChecked());
    halfTone.trigger();
    EXPECT_EQ(raster.PaintMode(), pmHalfTone);
    EXPECT_TRUE(halfTone.isChecked());
    EXPECT_FALSE(colorOn.isChecked());
    normal.trigger();
    colorOn.trigger();
    EXPECT_EQ(raster.ViewMode(), vmNormal);
    EXPECT_EQ(raster.PaintMode(), pmColorOn);
    EXPECT_FALSE(expand.isChecked() || halfTone.isChecked());

    // A hidden view is no target.
    raster.hide();
    Update();
    EXPECT_FALSE(normal.isEnabled() || normal.isChecked());
}

TEST_F(RasterActionsTest, EscapeDuringADecodeStopsItAtTheNextReport) {
    raster.window()->addAction(&cancel);
    raster.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&raster));
    Update();
    EXPECT_FALSE(cancel.isEnabled());
    EXPECT_EQ(cancel.shortcut(), QKeySequence(Qt::Key_Escape));

    std::vector<int> positions;
    bool enabledWhileLoading = false;
    raster.OnLoadProgress = [&](TRaster*, int position, bool& stop) {
        positions.push_back(position);
        stop = raster.LoadCancel();
        if (position == 25) {
            Update();
            enabledWhileLoading = cancel.isEnabled();
            QTest::keyClick(&raster, Qt::Key_Escape);
        }
    };
    EXPECT_FALSE(raster.LoadFromFile(TestImage("slow.ktest", "steps=4")));
    EXPECT_TRUE(enabledWhileLoading);
    EXPECT_EQ(positions, (std::vector<int>{0, 25, 50}));
    Update();
    EXPECT_FALSE(cancel.isEnabled());
}

TEST_F(RasterActionsTest, ABoundViewIsTheOnlyTargetAndIsForgottenWhenDestroyed) {
    ASSERT_TRUE(Load(100, 80));
    auto other = std::make_unique<TRaster>();
    other->show();
    refresh.SetRaster(other.get());
    list.AddTarget(other.get());
    Update();
    EXPECT_FALSE(refresh.isEnabled());  // the bound view has no image
    other.reset();
    EXPECT_EQ(refresh.Raster(), nullptr);
    Update();
    EXPECT_TRUE(refresh.isEnabled());
}

class RasterTreeActionsTest : public RasterActionsTest {
protected:
    RasterTreeActionsTest() {
        tree.resize(200, 300);
        tree.show();
        tree.SetRaster(&raster);
        for (platform::Action* action :
             std::vector<platform::Action*>{&newLayer, &deleteLayer, &renameLayer, &active, &visible, &invisible,
                                            &up, &down})
            list.Add(action);
        list.AddTarget(&tree);
        visible.SetLayerMode(lmVisible);
        invisible.SetLayerMode(lmInvisible);
    }

    // Three layers "a" (bottom), "b", "c" (top); the tree lists the top first.
    void LoadThreeLayers() {
        ASSERT_TRUE(Load(100, 80));
        for (const char* name : {"a", "b", "c"}) raster.Layers().NewLayer()->SetName(QString::fromLatin1(name));
        tree.Rebuild();
    }
    void SelectNode(int index) {
        tree.setCurrentItem(tree.NodeAt(index));
        Update();
    }
    QStringList LayerNames() const {
        QStringList names;
        for (int i = 0; i < raster.Layers().Count(); ++i) names << raster.Layers().Items(i)->Name();
        return names;
    }

    TRasterTreeView tree;
    TRasterLayerCreateAction newLayer;
    TRasterLayerDeleteAction deleteLayer;
    TRasterLayerRenameAction renameLayer;
    TRasterLayerModeAction active;
    TRasterLayerModeAction visible;
    TRasterLayerModeAction invisible;
    TRasterLayerOrderUpAction up;
    TRasterLayerOrderDownAction down;
};

TEST_F(RasterTreeActionsTest, CaptionsOfTheModeFollowTheMode) {
    EXPECT_EQ(active.text(), QStringLiteral("アクティブ(&A)"));
    EXPECT_EQ(visible.text(), QStringLiteral("表示(&V)"));
    EXPECT_EQ(invisible.statusTip(), QStringLiteral("選択したレイヤを非表示モードに設定します。"));
    EXPECT_EQ(invisible.toolTip(), QStringLiteral("非表示モード"));
}

TEST_F(RasterTreeActionsTest, LayerCommandsNeedASelectedLayerAndItsPlace) {
    Update();
    EXPECT_FALSE(newLayer.isEnabled());
    LoadThreeLayers();
    SelectNode(0);  // the image's node
    EXPECT_TRUE(newLayer.isEnabled());
    for (QAction* action : std::vector<QAction*>{&deleteLayer, &renameLayer, &active, &visible, &invisible, &up, &down})
        EXPECT_FALSE(action->isEnabled()) << action->text().toStdString();

    SelectNode(1);  // the top layer
    EXPECT_FALSE(up.isEnabled());
    EXPECT_TRUE(down.isEnabled() && deleteLayer.isEnabled() && renameLayer.isEnabled());
    SelectNode(3);  // the bottom layer
    EXPECT_TRUE(up.isEnabled());
    EXPECT_FALSE(down.isEnabled());

    // Up moves the layer to be drawn later; it stays selected.
    up.trigger();
    EXPECT_EQ(LayerNames(), (QStringList{"b", "a", "c"}));
    EXPECT_EQ(TRasterTreeView::NodeLayer(tree.SelectedNode())->Name(), QStringLiteral("a"));
    down.trigger();
    EXPECT_EQ(LayerNames(), (QStringList{"a", "b", "c"}));
}

TEST_F(RasterTreeActionsTest, ModeCommandsCheckTheSelectedLayersMode) {
    LoadThreeLayers();
    SelectNode(2);  // "b"
    invisible.trigger();
    EXPECT_EQ(raster.Layers().Find(QStringLiteral("b"))->Mode(), lmInvisible);
    EXPECT_TRUE(invisible.isChecked());
    EXPECT_FALSE(active.isChecked() || visible.isChecked());
    active.trigger();
    EXPECT_EQ(raster.ActiveLayer(), raster.Layers().Find(QStringLiteral("b")));
    EXPECT_TRUE(active.isChecked());
    EXPECT_FALSE(invisible.isChecked());
}

TEST_F(RasterTreeActionsTest, CreateDeleteAndRenameChangeTheLayers) {
    LoadThreeLayers();
    SelectNode(0);
    newLayer.trigger();
    EXPECT_EQ(raster.Layers().Count(), 4);

    SelectNode(1);
    TRasterLayer* top = TRasterTreeView::NodeLayer(tree.SelectedNode());
    const QString topName = top->Name();
    messages.Answer(MessageResult::No);
    deleteLayer.trigger();
    EXPECT_EQ(raster.Layers().Count(), 4);
    messages.Answer(MessageResult::Yes);
    deleteLayer.trigger();
    EXPECT_EQ(raster.Layers().Count(), 3);
    EXPECT_EQ(raster.Layers().Find(topName), nullptr);
    EXPECT_EQ(messages.Texts().back(), QStringLiteral("選択したレイヤを削除しますか？"));

    SelectNode(1);
    renameLayer.trigger();
    auto* editor = tree.findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), TRasterTreeView::NodeLayer(tree.SelectedNode())->Name());
}

}  // namespace
