#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QPixmap>

#include "raster/image_list.h"
#include "raster/raster.h"
#include "raster/raster_layers.h"
#include "support/temp_folder.h"

namespace {

class LayersTest : public ::testing::Test {
protected:
    LayersTest() {
        view.OnActiveLayerChange = [this](TRaster*, TRasterLayer* layer) { layerChanges.push_back(layer); };
        view.OnActiveObjectChange = [this](TRaster*, TRasterObject* object) {
            objectChanges.push_back(object);
        };
    }

    TRasterObject* Add(TRasterLayer* layer, const QString& name) {
        auto object = std::make_unique<TRasterObject>(layer);
        object->SetName(name);
        return layer->AddObject(std::move(object));
    }

    std::vector<QString> LayerNames() const {
        std::vector<QString> names;
        for (int i = 0; i < view.Layers().Count(); ++i) names.push_back(view.Layers().Items(i)->Name());
        return names;
    }

    TRaster view;
    std::vector<TRasterLayer*> layerChanges;
    std::vector<TRasterObject*> objectChanges;
};

TEST_F(LayersTest, NewLayersRenameAndMoveOrder) {
    TRasterLayers& layers = view.Layers();
    TRasterLayer* a = layers.NewLayer();
    TRasterLayer* b = layers.NewLayer();
    TRasterLayer* c = layers.NewLayer();
    EXPECT_EQ(LayerNames(), (std::vector<QString>{"新規レイヤ", "新規レイヤ1", "新規レイヤ2"}));
    EXPECT_EQ(a->Mode(), lmVisible);
    b->Delete();
    EXPECT_EQ(layers.NewLayer()->Name(), "新規レイヤ1");
    layers.Items(2)->Delete();

    view.SetModified(false);
    EXPECT_FALSE(a->Rename(a->Name()));
    EXPECT_TRUE(view.Modified());
    EXPECT_FALSE(a->Rename(c->Name()));
    EXPECT_TRUE(c->Rename("上"));

    view.SetModified(false);
    c->MoveOrder(loUp);
    a->MoveOrder(loDown);
    EXPECT_EQ(LayerNames(), (std::vector<QString>{"新規レイヤ", "上"}));
    EXPECT_TRUE(view.Modified());
    a->MoveOrder(loUp);
    EXPECT_EQ(LayerNames(), (std::vector<QString>{"上", "新規レイヤ"}));
}

TEST_F(LayersTest, OneActiveLayerAndItsEvents) {
    TRasterLayer* first = view.Layers().NewLayer();
    TRasterLayer* second = view.Layers().NewLayer();
    TRasterObject* selected = Add(first, "a");
    TRasterObject* other = Add(first, "b");
    view.SetModified(false);

    first->SetMode(lmActive);
    first->SetActiveObject(selected);
    selected->SetState(1);
    second->SetMode(lmActive);
    second->SetMode(lmActive);
    EXPECT_EQ(layerChanges, (std::vector<TRasterLayer*>{first, second}));
    EXPECT_EQ(first->Mode(), lmVisible);
    EXPECT_EQ(view.ActiveLayer(), second);
    EXPECT_EQ(selected->State(), 0);
    // The mode lives in the side file.
    EXPECT_TRUE(view.Modified());

    // Deleting any object of a layer drops the layer's selection.
    other->Delete();
    EXPECT_EQ(first->ActiveObject(), nullptr);
    EXPECT_EQ(objectChanges, (std::vector<TRasterObject*>{selected, nullptr}));
    EXPECT_EQ(first->Count(), 1);
    EXPECT_TRUE(view.Modified());

    second->Delete();
    EXPECT_EQ(view.ActiveLayer(), nullptr);
}

TEST_F(LayersTest, SortOrdersNamesByTheirStoredBytes) {
    TRasterLayer* layer = view.Layers().NewLayer();
    auto names = [layer] {
        std::vector<QString> result;
        for (int i = 0; i < layer->Count(); ++i) result.push_back(layer->Objects(i)->Name());
        return result;
    };
    for (const char* name : {"b", "漢", "", "B", "ab", "a", "A", "ｱ"}) Add(layer, QString::fromUtf8(name));
    // Code page 932: "漢" is 8A BF, the half-width "ｱ" is B1.
    const std::vector<QString> ascending{"", "A", "B", "a", "ab", "b", "漢", "ｱ"};
    layer->SortObjects(1);
    EXPECT_EQ(names(), ascending);
    layer->SortObjects(-1);
    EXPECT_EQ(names(), std::vector<QString>(ascending.rbegin(), ascending.rend()));

    std::vector<int> keys(3000);
    for (std::size_t i = 0; i < keys.size(); ++i) keys[i] = int(i % 700);
    std::shuffle(keys.begin(), keys.end(), std::mt19937(7));
    for (int key : keys) Add(layer, QString::asprintf("n%04d", key));
    layer->SortObjects(1);
    const std::vector<QString> sorted = names();
    EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.end()));
}

TEST_F(LayersTest, SortingKeepsTheOrderOfEqualNamesInBothDirections) {
    TRasterLayer* layer = view.Layers().NewLayer();
    for (int x = 0; x < 5; ++x) Add(layer, QStringLiteral("同名"))->SetX(x);
    Add(layer, QStringLiteral("a"))->SetX(9);
    for (int order : {1, -1, 1}) {
        layer->SortObjects(order);
        std::vector<int> equals;
        for (int i = 0; i < layer->Count(); ++i)
            if (layer->Objects(i)->Name() == "同名") equals.push_back(layer->Objects(i)->X());
        EXPECT_EQ(equals, std::vector<int>({0, 1, 2, 3, 4})) << order;
    }
}

TEST(RasterObjectTest, RecordFieldsAndTheFiftyByteName) {
    TRaster view;
    TRasterObject object(view.Layers().NewLayer());
    object.SetX(-2);
    object.SetY(0x01020304);
    object.SetImageIndex(3);
    object.SetName("漢a");
    const ObjectRecord::Bytes& record = object.Record();
    EXPECT_EQ(std::vector<int>(record.begin() + 51, record.begin() + 55),
              (std::vector<int>{0x8A, 0xBF, 'a', 0}));
    EXPECT_EQ(std::vector<int>(record.begin() + 102, record.begin() + 114),
              (std::vector<int>{0xFE, 0xFF, 0xFF, 0xFF, 4, 3, 2, 1, 3, 0, 0, 0}));

    object.SetName(QString(51, 'x'));
    EXPECT_EQ(object.Name(), QString(50, 'x'));
    // 49 single bytes and a double-byte character do not fit in 50 bytes.
    object.SetName(QString(49, 'y') + "漢字");
    EXPECT_EQ(object.Name(), QString(49, 'y'));
    object.SetName(QString(48, 'z') + "漢字");
    EXPECT_EQ(object.Name(), QString(48, 'z') + "漢");
    // Text the code page lacks is stored as '?', one per character.
    object.SetName("a\u00e9\U0001F600b");
    EXPECT_EQ(object.Name(), "a??b");
}

QPixmap Solid(int size, QColor colour) {
    QPixmap pixmap(size, size);
    pixmap.fill(colour);
    return pixmap;
}

TEST(RasterObjectTest, IconCoversIconSizedImageAreaAtBothStates) {
    TempFolder folder;
    TImageList normal(16, 16);
    TImageList selected(8, 8);
    normal.Add(Solid(16, Qt::red));
    selected.Add(Solid(8, Qt::blue));
    TRaster view;
    view.SetPluginPath(KELVANDOR_TEST_PLUGIN_DIR);
    view.resize(400, 300);
    view.SetStateImage(&normal);
    view.SetSelectImage(&selected);
    ASSERT_TRUE(view.LoadFromFile(
        QString::fromStdString(folder.Write("i.ktest", std::string("KTESTSPI width=200 height=150\n")))));
    view.ZoomAt(QPoint(200, 150), zdZoomIn);
    TRasterObject marker(view.Layers().NewLayer());
    marker.SetX(60);
    marker.SetY(40);
    auto render = [&] {
        QImage canvas(view.size(), QImage::Format_RGB32);
        canvas.fill(Qt::white);
        QPainter painter(&canvas);
        marker.Draw(painter);
        return canvas;
    };

    const QImage plain = render();
    const QRect b = marker.Bounds();
    auto round = [](double value) { return int(std::nearbyint(value)); };
    EXPECT_EQ(b.left(), round((60 - view.ViewLeft() - 8) / view.ScaleX()) + view.DispLeft());
    EXPECT_EQ(b.top() + b.height(), round((40 - view.ViewTop() + 8) / view.ScaleY()) + view.DispTop());
    EXPECT_GT(b.width(), 16);  // zoomed in, the icon grows
    EXPECT_FALSE(marker.HitTest(b.left(), b.center().y()));
    EXPECT_TRUE(marker.HitTest(b.left() + 1, b.center().y()));
    EXPECT_FALSE(marker.HitTest(b.left() + b.width(), b.center().y()));

    // The selected icon is stretched over the same area.
    marker.SetState(1);
    const QImage chosen = render();
    EXPECT_EQ(marker.Bounds(), b);
    for (const QPoint corner : {b.topLeft(), b.bottomRight()}) {
        EXPECT_EQ(plain.pixelColor(corner), QColor(Qt::red));
        EXPECT_EQ(chosen.pixelColor(corner), QColor(Qt::blue));
    }
    EXPECT_EQ(chosen.pixelColor(b.right() + 1, b.bottom() + 1), QColor(Qt::white));
    view.SetModified(false);
}

TEST(ImageListTest, DefaultMarkersComeInMatchingPairs) {
    const TImageList normal = DefaultStateImages();
    const TImageList selected = DefaultSelectImages();
    ASSERT_GT(normal.Count(), 0);
    EXPECT_EQ(normal.Count(), selected.Count());
    EXPECT_EQ(QSize(normal.Width(), normal.Height()), QSize(selected.Width(), selected.Height()));
    for (int i = 0; i < normal.Count(); ++i) {
        EXPECT_FALSE(normal.Image(i).isNull()) << i;
        EXPECT_NE(normal.Image(i).toImage(), selected.Image(i).toImage()) << i;
    }
}

}  // namespace
