#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

#include "platform/code_page.h"
#include "raster/raster_layers.h"
#include "raster/raster_tree_view.h"
#include "raster_view_fixture.h"

namespace {

using Shape = std::vector<std::pair<QString, int>>;

class RasterTreeViewTest : public ::testing::Test, public RasterViewFixture {
protected:
    RasterTreeViewTest() {
        tree.resize(200, 300);
        tree.show();
        tree.SetRaster(&raster);
        tree.OnRasterSelectNode = [this](TRasterTreeView*, QTreeWidgetItem*, TRasterLayer* layer) {
            reported.push_back(layer);
        };
        raster.OnActiveLayerChange = [this](TRaster*, TRasterLayer*) { ++activeLayerChanges; };
    }

    // Loads photo.ktest beside a side file of one object per (layer, mode).
    void Load(const std::vector<std::pair<QString, int>>& records) {
        std::vector<unsigned char> bytes;
        for (const auto& [layer, mode] : records) {
            std::vector<unsigned char> record(620, 0);
            const std::string name = platform::ToCodePage932(layer);
            std::copy(name.begin(), name.end(), record.begin());
            record[114] = static_cast<unsigned char>(mode);
            bytes.insert(bytes.end(), record.begin(), record.end());
        }
        folder.Write("photo.grx", bytes);
        ASSERT_TRUE(RasterViewFixture::Load(8, 8, "photo.ktest"));
        reported.clear();
        activeLayerChanges = 0;
    }
    void LoadThreeLayers() { Load({{"下", 1}, {"下", 1}, {"上", 0}, {"隠し", 2}}); }

    Shape TreeShape() const {
        Shape shape;
        for (int i = 0; i < tree.NodeCount(); ++i)
            shape.emplace_back(tree.NodeAt(i)->text(0), TRasterTreeView::ImageIndex(tree.NodeAt(i)));
        return shape;
    }
    TRasterLayer* Layer(const QString& name) const { return raster.Layers().Find(name); }
    QPoint Centre(int node) const { return tree.visualItemRect(tree.NodeAt(node)).center(); }

    void EditName(int node, const QString& text, Qt::Key endKey = Qt::Key_Return) {
        tree.setCurrentItem(tree.NodeAt(node));
        tree.editItem(tree.NodeAt(node));
        auto* editor = qobject_cast<QLineEdit*>(tree.itemWidget(tree.NodeAt(node), 0));
        ASSERT_NE(editor, nullptr);
        editor->setText(text);
        QTest::keyClick(editor, endKey);
        // The edit ends through a queued call, the rename through another.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents();
    }

    TRasterTreeView tree;
    std::vector<TRasterLayer*> reported;
    int activeLayerChanges = 0;
};

TEST_F(RasterTreeViewTest, ShowsTheImageAndItsLayersTopFirstWithoutObjects) {
    EXPECT_EQ(tree.NodeCount(), 0);
    LoadThreeLayers();
    EXPECT_EQ(TreeShape(), (Shape{{"photo.ktest", 0}, {"隠し", 3}, {"上", 1}, {"下", 2}}));
    EXPECT_TRUE(tree.RootNode()->isExpanded());
    EXPECT_EQ(raster.ActiveLayer(), Layer("上"));
    EXPECT_EQ(TRasterTreeView::NodeLayer(tree.NodeAt(2)), Layer("上"));

    raster.CloseImage();
    EXPECT_EQ(tree.NodeCount(), 0);
    EXPECT_EQ(raster.ActiveLayer(), nullptr);
}

TEST_F(RasterTreeViewTest, BindingFollowsEitherSideGoingAway) {
    ASSERT_TRUE(RasterViewFixture::Load(8, 8));
    {
        TRasterTreeView other;
        other.SetRaster(&raster);
        EXPECT_EQ(other.NodeCount(), 1) << "a tree bound later shows the current image";
        EXPECT_EQ(tree.Raster(), nullptr) << "and the tree bound before lets go";
        EXPECT_EQ(tree.NodeCount(), 0);
    }
    EXPECT_EQ(raster.TreeView(), nullptr);
    raster.Layers().NewLayer();

    auto view = std::make_unique<TRaster>();
    view->SetPluginPath(QStringLiteral(KELVANDOR_TEST_PLUGIN_DIR));
    tree.SetRaster(view.get());
    ASSERT_TRUE(view->LoadFromFile(TestImage("second.ktest", "width=4 height=4")));
    EXPECT_EQ(tree.NodeCount(), 1);
    view.reset();
    EXPECT_EQ(tree.Raster(), nullptr);
    EXPECT_EQ(tree.NodeCount(), 0);
}

TEST_F(RasterTreeViewTest, RenamingInPlaceGoesThroughTheLayer) {
    LoadThreeLayers();
    EditName(1, "見えない");
    EXPECT_EQ(tree.NodeAt(1)->text(0), "見えない");
    EXPECT_EQ(raster.Layers().Items(2)->Name(), "見えない");

    EditName(1, "上");
    EXPECT_EQ(tree.NodeAt(1)->text(0), "見えない") << "a name in use leaves the old one";

    raster.SetModified(false);
    EditName(1, "");
    EditName(1, "見えない");
    EditName(1, "別名", Qt::Key_Escape);
    EXPECT_EQ(tree.NodeAt(1)->text(0), "見えない");
    EXPECT_FALSE(raster.Modified()) << "empty, unchanged or cancelled edits change nothing";

    // Moving to another node ends the edit with the typed name.
    tree.setCurrentItem(tree.NodeAt(3));
    tree.editItem(tree.NodeAt(3));
    qobject_cast<QLineEdit*>(tree.itemWidget(tree.NodeAt(3), 0))->setText("底");
    tree.setCurrentItem(tree.NodeAt(2));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(raster.Layers().Items(0)->Name(), "底");

    EXPECT_FALSE(tree.RootNode()->flags() & Qt::ItemIsEditable);
}

TEST_F(RasterTreeViewTest, SelectionIsReportedAndKeptByRefresh) {
    LoadThreeLayers();
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, Centre(3));
    EXPECT_EQ(reported, std::vector<TRasterLayer*>{Layer("下")});

    Layer("隠し")->SetMode(lmVisible);
    EXPECT_EQ(tree.SelectedNode(), tree.NodeAt(3));
    EXPECT_EQ(reported.size(), 2u) << "the refresh reports the kept selection";

    Layer("下")->Delete();
    EXPECT_EQ(tree.SelectedNode(), tree.NodeAt(2)) << "the new last node";
    EXPECT_EQ(reported.back(), Layer("上"));

    reported.clear();
    tree.SelectNode(tree.RootNode());
    EXPECT_TRUE(reported.empty()) << "the root stands for no layer";
}

TEST_F(RasterTreeViewTest, NodesReportTheirOwnLayerWhenNamesRepeat) {
    Load({{"A", 1}, {"B", 1}, {"A", 1}});
    ASSERT_EQ(raster.Layers().Count(), 3);
    tree.SelectNode(tree.NodeAt(1));
    EXPECT_EQ(reported, std::vector<TRasterLayer*>{raster.Layers().Items(2)});
}

TEST_F(RasterTreeViewTest, DoubleClickActivatesALayerButNotTheRoot) {
    LoadThreeLayers();
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, Centre(0));
    QTest::mouseDClick(tree.viewport(), Qt::LeftButton, {}, Centre(0));
    EXPECT_EQ(raster.ActiveLayer(), Layer("上"));
    EXPECT_EQ(activeLayerChanges, 0);

    tree.expandAll();
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, Centre(3));
    QTest::mouseDClick(tree.viewport(), Qt::LeftButton, {}, Centre(3));
    EXPECT_EQ(raster.ActiveLayer(), Layer("下"));
    EXPECT_EQ(activeLayerChanges, 1);
    EXPECT_EQ(TreeShape(), (Shape{{"photo.ktest", 0}, {"隠し", 3}, {"上", 2}, {"下", 1}}));
    EXPECT_EQ(tree.SelectedNode(), tree.NodeAt(3));
}

// The pixels of a picture, to compare pictures by what they show.
QImage Pixels(const QPixmap& picture) { return picture.toImage().convertToFormat(QImage::Format_ARGB32); }
QImage Pixels(const QIcon& icon) { return Pixels(icon.pixmap(16, 16)); }

TEST_F(RasterTreeViewTest, TheImageNodeCanShowAnotherPictureAndGetTheShippedOneBack) {
    LoadThreeLayers();
    const QImage shipped = Pixels(tree.Images().Image(TRasterTreeView::niImage));
    const QImage activeLayer = Pixels(tree.Images().Image(TRasterTreeView::niActiveLayer));
    QPixmap red(32, 32);
    red.fill(Qt::red);

    tree.SetNodeImage(TRasterTreeView::niImage, red);
    // Scaled to the tree's size, shown by the node already there and by
    // the next image's node; the layer pictures stay.
    EXPECT_EQ(tree.Images().Image(TRasterTreeView::niImage).size(), QSize(16, 16));
    EXPECT_EQ(Pixels(tree.RootNode()->icon(0)).pixel(8, 8), QColor(Qt::red).rgba());
    EXPECT_EQ(Pixels(tree.Images().Image(TRasterTreeView::niActiveLayer)), activeLayer);
    tree.Rebuild();
    EXPECT_EQ(Pixels(tree.RootNode()->icon(0)).pixel(8, 8), QColor(Qt::red).rgba());
    EXPECT_EQ(TreeShape(), (Shape{{"photo.ktest", 0}, {"隠し", 3}, {"上", 1}, {"下", 2}}));

    tree.SetNodeImage(TRasterTreeView::niImage, QPixmap());
    EXPECT_EQ(Pixels(tree.Images().Image(TRasterTreeView::niImage)), shipped);
    EXPECT_EQ(Pixels(tree.RootNode()->icon(0)), shipped);

    // A kind of node that does not exist changes nothing.
    tree.SetNodeImage(static_cast<TRasterTreeView::TNodeImage>(7), red);
    EXPECT_EQ(tree.Images().Count(), 4);
}

}  // namespace
