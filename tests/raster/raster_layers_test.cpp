#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPaintEvent>
#include <QPixmap>

#include "raster/image_list.h"
#include "raster/raster.h"
#include "raster/raster_layers.h"
#include "support/temp_folder.h"

namespace {

// Nearest, halves to even, as the view rounds.
int Round(double value) { return static_cast<int>(std::nearbyint(value)); }

QPixmap Solid(int width, int height, QColor colour) {
    QPixmap pixmap(width, height);
    pixmap.fill(colour);
    return pixmap;
}

class LayersTest : public ::testing::Test {
protected:
    LayersTest() {
        view.OnActiveLayerChange = [this](TRaster* sender, TRasterLayer* layer) {
            EXPECT_EQ(sender, &view);
            layerChanges.push_back(layer);
        };
        view.OnActiveObjectChange = [this](TRaster*, TRasterObject* object) { objectChanges.push_back(object); };
    }

    TRasterObject* AddNamed(TRasterLayer* layer, const QString& name) {
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

TEST_F(LayersTest, NewLayersTakeTheFirstFreeNumberedName) {
    TRasterLayers& layers = view.Layers();
    layers.NewLayer();
    TRasterLayer* second = layers.NewLayer();
    layers.NewLayer();
    EXPECT_EQ(LayerNames(), (std::vector<QString>{"新規レイヤ", "新規レイヤ1", "新規レイヤ2"}));
    EXPECT_TRUE(view.Modified());
    EXPECT_EQ(layers.Items(0)->Mode(), lmVisible);

    second->Delete();
    EXPECT_EQ(layers.NewLayer()->Name(), "新規レイヤ1");
    EXPECT_EQ(layers.Items(2)->Name(), "新規レイヤ1");
}

TEST_F(LayersTest, ActivatingALayerLeavesExactlyOneActiveAndReportsOnce) {
    TRasterLayer* first = view.Layers().NewLayer();
    TRasterLayer* second = view.Layers().NewLayer();
    TRasterObject* selected = AddNamed(first, "a");
    view.SetModified(false);

    first->SetMode(lmActive);
    EXPECT_EQ(view.ActiveLayer(), first);
    first->SetActiveObject(selected);
    selected->SetState(1);

    second->SetMode(lmActive);
    EXPECT_EQ(layerChanges, (std::vector<TRasterLayer*>{first, second}));
    EXPECT_EQ(first->Mode(), lmVisible);
    EXPECT_EQ(second->Mode(), lmActive);
    EXPECT_EQ(view.ActiveLayer(), second);
    // The selection of the layer that was active is shown no longer.
    EXPECT_EQ(selected->State(), 0);
    EXPECT_FALSE(view.Modified());

    second->SetMode(lmActive);
    second->SetMode(lmInvisible);
    EXPECT_EQ(layerChanges.size(), 2u);
    EXPECT_EQ(view.ActiveLayer(), nullptr);
}

TEST_F(LayersTest, RenameRefusesAnyNameInUseButAlwaysMarksModified) {
    TRasterLayer* first = view.Layers().NewLayer();
    TRasterLayer* second = view.Layers().NewLayer();
    view.SetModified(false);

    EXPECT_FALSE(first->Rename(first->Name()));
    EXPECT_TRUE(view.Modified());
    EXPECT_FALSE(first->Rename(second->Name()));
    EXPECT_EQ(first->Name(), "新規レイヤ");
    EXPECT_TRUE(first->Rename("新規レイヤ1 "));
    EXPECT_TRUE(second->Rename("新規レイヤ"));
    EXPECT_EQ(LayerNames(), (std::vector<QString>{"新規レイヤ1 ", "新規レイヤ"}));
}

TEST_F(LayersTest, MoveOrderStopsAtTheEndsAndStillMarksModified) {
    TRasterLayers& layers = view.Layers();
    TRasterLayer* a = layers.NewLayer();
    TRasterLayer* b = layers.NewLayer();
    TRasterLayer* c = layers.NewLayer();
    view.SetModified(false);

    c->MoveOrder(loUp);
    a->MoveOrder(loDown);
    EXPECT_EQ(layers.IndexOf(a), 0);
    EXPECT_EQ(layers.IndexOf(c), 2);
    EXPECT_TRUE(view.Modified());

    a->MoveOrder(loUp);
    EXPECT_EQ(LayerNames(), (std::vector<QString>{b->Name(), a->Name(), c->Name()}));
    c->MoveOrder(loDown);
    EXPECT_EQ(LayerNames(), (std::vector<QString>{b->Name(), c->Name(), a->Name()}));
}

TEST_F(LayersTest, DeletingObjectsAndLayersClearsWhatPointedAtThem) {
    TRasterLayer* layer = view.Layers().NewLayer();
    TRasterObject* first = AddNamed(layer, "first");
    TRasterObject* second = AddNamed(layer, "second");
    layer->SetMode(lmActive);
    layer->SetActiveObject(second);
    view.SetModified(false);

    second->Delete();
    EXPECT_EQ(layer->ActiveObject(), nullptr);
    EXPECT_EQ(objectChanges, (std::vector<TRasterObject*>{second, nullptr}));
    ASSERT_EQ(layer->Count(), 1);
    EXPECT_EQ(layer->Objects(0), first);
    EXPECT_TRUE(view.Modified());

    layer->Delete();
    EXPECT_EQ(view.Layers().Count(), 0);
    EXPECT_EQ(view.ActiveLayer(), nullptr);
}

TEST_F(LayersTest, SortOrdersNamesByTheirStoredBytes) {
    TRasterLayer* layer = view.Layers().NewLayer();
    for (const char* name : {"b", "漢", "", "B", "ab", "a", "A", "ｱ"}) AddNamed(layer, QString::fromUtf8(name));
    auto names = [layer] {
        std::vector<QString> result;
        for (int i = 0; i < layer->Count(); ++i) result.push_back(layer->Objects(i)->Name());
        return result;
    };
    // Code page 932: "漢" is 8A BF, the half-width "ｱ" is B1.
    const std::vector<QString> ascending{"", "A", "B", "a", "ab", "b", "漢", "ｱ"};
    layer->SortObjects(1);
    EXPECT_EQ(names(), ascending);
    layer->SortObjects(-1);
    EXPECT_EQ(names(), std::vector<QString>(ascending.rbegin(), ascending.rend()));
}

TEST_F(LayersTest, SortHandlesManyObjectsWithDuplicates) {
    TRasterLayer* layer = view.Layers().NewLayer();
    std::vector<int> keys;
    for (int i = 0; i < 3000; ++i) keys.push_back(i % 700);
    std::shuffle(keys.begin(), keys.end(), std::mt19937(7));
    for (int key : keys) AddNamed(layer, QString::asprintf("n%04d", key));

    layer->SortObjects(-1);
    ASSERT_EQ(layer->Count(), 3000);
    for (int i = 1; i < layer->Count(); ++i)
        ASSERT_GE(layer->Objects(i - 1)->Name(), layer->Objects(i)->Name()) << "at " << i;
}

TEST(RasterObjectTest, RecordHoldsTheFieldsAtTheirOffsets) {
    TRaster view;
    TRasterObject object(view.Layers().NewLayer());
    object.SetX(-2);
    object.SetY(0x01020304);
    object.SetImageIndex(3);
    object.SetName("漢a");
    const ObjectRecord::Bytes& record = object.Record();
    EXPECT_EQ(std::vector<int>(record.begin() + 51, record.begin() + 55), (std::vector<int>{0x8A, 0xBF, 'a', 0}));
    EXPECT_EQ(std::vector<int>(record.begin() + 102, record.begin() + 114),
              (std::vector<int>{0xFE, 0xFF, 0xFF, 0xFF, 4, 3, 2, 1, 3, 0, 0, 0}));
    EXPECT_EQ(object.X(), -2);
    EXPECT_EQ(object.Y(), 0x01020304);
}

TEST(RasterObjectTest, NamesAreCutToFiftyBytesOnACharacterBoundary) {
    TRaster view;
    TRasterObject object(view.Layers().NewLayer());
    object.SetName(QString(51, 'x'));
    EXPECT_EQ(object.Name(), QString(50, 'x'));
    EXPECT_EQ(object.Record()[51 + 50], 0);

    // 49 single bytes and a double-byte character do not fit in 50 bytes.
    object.SetName(QString(49, 'y') + "漢字");
    EXPECT_EQ(object.Name(), QString(49, 'y'));
    object.SetName(QString(48, 'z') + "漢字");
    EXPECT_EQ(object.Name(), QString(48, 'z') + "漢");

    // Text the code page lacks is stored as '?', one per character.
    object.SetName("a\u00e9\U0001F600b");
    EXPECT_EQ(object.Name(), "a??b");
}

class DrawTest : public ::testing::Test {
protected:
    DrawTest() : normal(16, 16), selected(8, 8) {
        normal.Add(Solid(16, 16, Qt::red));
        selected.Add(Solid(8, 8, Qt::blue));
        view.SetPluginPath(KELVANDOR_TEST_PLUGIN_DIR);
        view.resize(400, 300);
        view.SetStateImage(&normal);
        view.SetSelectImage(&selected);
        const std::string image = folder.Write("image.ktest", std::string("KTESTSPI width=200 height=150\n"));
        loaded = view.LoadFromFile(QString::fromStdString(image));
        view.ZoomAt(QPoint(200, 150), zdZoomIn);
        layer = view.Layers().NewLayer();
        auto object = std::make_unique<TRasterObject>(layer);
        object->SetX(60);
        object->SetY(40);
        marker = layer->AddObject(std::move(object));
    }

    QImage Render() {
        QImage canvas(view.size(), QImage::Format_RGB32);
        canvas.fill(Qt::white);
        QPainter painter(&canvas);
        marker->Draw(painter);
        return canvas;
    }

    TempFolder folder;
    TImageList normal;
    TImageList selected;
    TRaster view;
    bool loaded = false;
    TRasterLayer* layer = nullptr;
    TRasterObject* marker = nullptr;
};

TEST_F(DrawTest, IconCoversIconSizedImageAreaCentredOnTheMarker) {
    ASSERT_TRUE(loaded);
    Render();
    const double dx = 60 - view.ViewLeft();
    const double dy = 40 - view.ViewTop();
    const QRect& bounds = marker->Bounds();
    EXPECT_EQ(bounds.left(), Round((dx - 8) / view.ScaleX()) + view.DispLeft());
    EXPECT_EQ(bounds.top(), Round((dy - 8) / view.ScaleY()) + view.DispTop());
    EXPECT_EQ(bounds.left() + bounds.width(), Round((dx + 8) / view.ScaleX()) + view.DispLeft());
    EXPECT_EQ(bounds.top() + bounds.height(), Round((dy + 8) / view.ScaleY()) + view.DispTop());
    // Zoomed in, the icon is larger on screen than its 16 pixels.
    EXPECT_GT(bounds.width(), 16);

    const int right = bounds.left() + bounds.width();
    const int middle = bounds.center().y();
    EXPECT_FALSE(marker->HitTest(bounds.left(), middle));
    EXPECT_TRUE(marker->HitTest(bounds.left() + 1, middle));
    EXPECT_TRUE(marker->HitTest(right - 1, middle));
    EXPECT_FALSE(marker->HitTest(right, middle));
    EXPECT_FALSE(marker->HitTest(bounds.center().x(), bounds.top()));
}

TEST_F(DrawTest, SelectedIconIsDrawnAtTheSizeOfTheNormalOne) {
    ASSERT_TRUE(loaded);
    const QImage plain = Render();
    const QRect normalBounds = marker->Bounds();
    marker->SetState(1);
    const QImage chosen = Render();
    ASSERT_EQ(marker->Bounds(), normalBounds);

    const QRect b = normalBounds;
    for (const QPoint corner : {b.topLeft(), b.topRight(), b.bottomLeft(), b.bottomRight()}) {
        EXPECT_EQ(plain.pixelColor(corner), QColor(Qt::red));
        EXPECT_EQ(chosen.pixelColor(corner), QColor(Qt::blue));
    }
    EXPECT_EQ(chosen.pixelColor(b.right() + 1, b.top()), QColor(Qt::white));
    EXPECT_EQ(chosen.pixelColor(b.left(), b.bottom() + 1), QColor(Qt::white));
}

TEST_F(DrawTest, StateChangeRepaintsOnlyTheObject) {
    ASSERT_TRUE(loaded);
    view.show();
    QApplication::processEvents();
    Render();

    class PaintSpy : public QObject {
    public:
        QRegion painted;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint) painted += static_cast<QPaintEvent*>(event)->region();
            return false;
        }
    } spy;
    view.installEventFilter(&spy);
    marker->SetState(1);
    QApplication::processEvents();
    EXPECT_EQ(spy.painted.boundingRect(), marker->Bounds());
}

TEST(ImageListTest, DefaultMarkersComeInMatchingPairs) {
    const TImageList normal = DefaultStateImages();
    const TImageList selected = DefaultSelectImages();
    ASSERT_GT(normal.Count(), 0);
    EXPECT_EQ(normal.Count(), selected.Count());
    EXPECT_EQ(QSize(normal.Width(), normal.Height()), QSize(selected.Width(), selected.Height()));
    for (int i = 0; i < normal.Count(); ++i) {
        EXPECT_FALSE(normal.Image(i).isNull()) << i;
        EXPECT_FALSE(selected.Image(i).isNull()) << i;
        EXPECT_NE(normal.Image(i).toImage(), selected.Image(i).toImage()) << i;
    }
}

}  // namespace
