#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QtTest/QTest>

#include "raster/image_list.h"
#include "raster/raster.h"
#include "raster/raster_cursors.h"
#include "raster/raster_layers.h"
#include "raster/raster_measure_tool.h"
#include "raster/raster_object_tools.h"
#include "raster/raster_tools.h"
#include "support/scripted_message_boxes.h"
#include "support/temp_folder.h"

namespace {

// A 401 x 201 image, black on the left half and white from column 200,
// shown in a 300 x 100 view: display rectangle (50, 0)-(250, 100), two
// image pixels per screen pixel, so screen x 150 is where white begins.
class RasterToolsTest : public ::testing::Test {
protected:
    RasterToolsTest() : normalIcons(DefaultStateImages()), selectedIcons(DefaultSelectImages()) {
        raster.SetPluginPath(QStringLiteral(KELVANDOR_PLUGIN_DIR));
        raster.resize(300, 100);
        raster.SetZoomSize(0.1);
        raster.SetStateImage(&normalIcons);
        raster.SetSelectImage(&selectedIcons);
        imagePath = QString::fromStdString(folder.File("picture.bmp"));
        EXPECT_TRUE(RunCommand("convert -size 401x201 xc:black -fill white -draw 'rectangle 200,0 400,200' BMP3:'" +
                               imagePath.toStdString() + "'"));
    }

    void Load() {
        ASSERT_TRUE(raster.LoadFromFile(imagePath));
        ASSERT_EQ(QRect(QPoint(raster.DispLeft(), raster.DispTop()), QPoint(raster.DispRight(), raster.DispBottom())),
                  QRect(QPoint(50, 0), QPoint(250, 100)));
    }

    template <class T>
    T* Use() {
        T* tool = raster.Tools().Find<T>();
        raster.SetActiveTool(tool);
        return tool;
    }

    void Press(QPoint at, Qt::MouseButton button = Qt::LeftButton) {
        held.setFlag(button, true);
        QTest::mousePress(&raster, button, {}, at);
    }
    void Release(QPoint at, Qt::MouseButton button = Qt::LeftButton) {
        held.setFlag(button, false);
        QTest::mouseRelease(&raster, button, {}, at);
    }
    void Move(QPoint at) {
        QMouseEvent move(QEvent::MouseMove, at, raster.mapToGlobal(at), Qt::NoButton, held, Qt::NoModifier);
        QApplication::sendEvent(&raster, &move);
    }
    void Click(QPoint at) {
        Press(at);
        Release(at);
    }
    void Drag(QPoint from, QPoint to) {
        Move(from);
        Press(from);
        Move(to);
        Release(to);
    }
    // What the window system delivers for a double-click.
    void DoubleClick(QPoint at) {
        Click(at);
        QTest::mouseDClick(&raster, Qt::LeftButton, {}, at);
        Release(at);
    }

    QImage Render() {
        QImage image(raster.size(), QImage::Format_RGB32);
        raster.render(&image);
        return image;
    }

    QRectF View() const { return QRectF(QPointF(raster.ViewLeft(), raster.ViewTop()), QPointF(raster.ViewRight(), raster.ViewBottom())); }

    TRasterLayer* ActiveLayerWithObjects(const std::vector<QPoint>& imagePositions) {
        TRasterLayer* layer = raster.Layers().NewLayer();
        layer->SetMode(lmActive);
        for (const QPoint& at : imagePositions) {
            auto object = std::make_unique<TRasterObject>(layer);
            object->SetX(at.x());
            object->SetY(at.y());
            layer->AddObject(std::move(object));
        }
        return layer;
    }

    ScriptedMessageBoxes messages;
    TempFolder folder;
    QString imagePath;
    TImageList normalIcons;
    TImageList selectedIcons;
    TRaster raster;
    Qt::MouseButtons held;
};

TEST_F(RasterToolsTest, NineToolsAndTheSelectToolAsDefault) {
    TRasterTools& tools = raster.Tools();
    ASSERT_EQ(tools.Count(), 9);
    EXPECT_TRUE(dynamic_cast<TRasterZoomRectTool*>(tools.Items(0)));
    EXPECT_TRUE(dynamic_cast<TRasterZoomInTool*>(tools.Items(1)));
    EXPECT_TRUE(dynamic_cast<TRasterZoomOutTool*>(tools.Items(2)));
    EXPECT_TRUE(dynamic_cast<TRasterScrollTool*>(tools.Items(3)));
    EXPECT_TRUE(dynamic_cast<TRasterCenteringTool*>(tools.Items(4)));
    EXPECT_TRUE(dynamic_cast<TRasterObjectCreateTool*>(tools.Items(5)));
    EXPECT_TRUE(dynamic_cast<TRasterObjectSelectTool*>(tools.Items(6)));
    EXPECT_TRUE(dynamic_cast<TRasterObjectMoveTool*>(tools.Items(7)));
    EXPECT_TRUE(dynamic_cast<TCustomRasterMeasureTool*>(tools.Items(8)));
    EXPECT_EQ(raster.ActiveTool(), tools.Items(6));
    // A search by class also finds descendants: the zoom-in tool is the
    // first point tool, the select tool the first plain point tool.
    EXPECT_EQ(tools.Find<TCustomRasterPointTool>(), tools.Items(1));
    EXPECT_EQ(tools.Find<TRasterPointTool>(), tools.Items(6));

    int changes = 0;
    raster.OnActiveToolChange = [&](TRaster*) { ++changes; };
    raster.SetActiveTool(tools.Items(0));
    raster.SetActiveTool(static_cast<TRasterTool*>(nullptr));
    EXPECT_EQ(raster.ActiveTool(), tools.Items(0));
    EXPECT_EQ(changes, 0);
    raster.SetActiveTool(std::make_unique<TRasterPointTool>());
    EXPECT_EQ(tools.Count(), 10);
    EXPECT_EQ(raster.ActiveTool(), tools.Items(9));
    EXPECT_EQ(changes, 1);

    Load();
    raster.CloseImage();
    EXPECT_EQ(raster.ActiveTool(), tools.Items(6));
}

TEST_F(RasterToolsTest, ClicksOfTheLeftButtonReachTheTool) {
    Load();
    Use<TRasterObjectSelectTool>();
    std::vector<QPoint> clicks;
    raster.OnActiveToolClick = [&](TRasterTool*, int X, int Y) { clicks.emplace_back(X, Y); };
    Click(QPoint(120, 40));
    Press(QPoint(130, 40), Qt::RightButton);
    Release(QPoint(130, 40), Qt::RightButton);
    // Released outside the view: no click.
    Press(QPoint(140, 40));
    Release(QPoint(140, 140));
    // Once for the first click, once for the double-click (the select tool
    // reports both); the second release is no click.
    DoubleClick(QPoint(160, 40));
    EXPECT_EQ(clicks, (std::vector<QPoint>{{120, 40}, {160, 40}, {160, 40}}));
}

TEST_F(RasterToolsTest, PointToolsActOnTheImageOnly) {
    Load();
    int clicks = 0;
    raster.OnActiveToolClick = [&](TRasterTool*, int, int) { ++clicks; };
    Use<TRasterZoomInTool>();
    Click(QPoint(20, 50));
    Use<TRasterZoomOutTool>();
    Click(QPoint(280, 50));
    EXPECT_TRUE(raster.IsWholeImage());
    EXPECT_EQ(clicks, 0);

    Use<TRasterZoomInTool>();
    Click(QPoint(160, 50));
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(raster.IsWholeImage());
    // The image point (220, 100) under the click becomes the centre.
    EXPECT_DOUBLE_EQ((raster.ViewLeft() + raster.ViewRight()) / 2, 220);
    const QRectF zoomed = View();

    Use<TRasterCenteringTool>();
    Click(QPoint(2, 2));
    EXPECT_EQ(View(), zoomed);
    Click(QPoint(raster.DispLeft() + 10, 50));
    EXPECT_LT(raster.ViewLeft(), zoomed.left());
}

TEST_F(RasterToolsTest, ZoomRectangleInEitherDirection) {
    Load();
    auto* tool = Use<TRasterZoomRectTool>();
    std::vector<QRect> bands;
    raster.OnActiveToolRectangle = [&](TRasterTool*, int X1, int Y1, int X2, int Y2) {
        bands.push_back(QRect(QPoint(X1, Y1), QPoint(X2, Y2)));
    };
    Drag(QPoint(100, 20), QPoint(200, 80));
    const QRectF forward = View();
    EXPECT_EQ(forward, QRectF(QPointF(100, 40), QPointF(300, 160)));
    raster.ViewExtent();
    Drag(QPoint(200, 80), QPoint(100, 20));
    EXPECT_EQ(View(), forward);
    EXPECT_EQ(bands, (std::vector<QRect>(2, QRect(QPoint(100, 20), QPoint(200, 80)))));
    EXPECT_EQ(QPoint(tool->DownX(), tool->DownY()), QPoint(100, 20));

    // No width, no zoom.
    raster.ViewExtent();
    Drag(QPoint(120, 20), QPoint(120, 80));
    EXPECT_TRUE(raster.IsWholeImage());
}

TEST_F(RasterToolsTest, ZoomRectangleNeedsBothEndsOnTheImage) {
    Load();
    auto* tool = Use<TRasterZoomRectTool>();
    int bands = 0;
    raster.OnActiveToolRectangle = [&](TRasterTool*, int, int, int, int) { ++bands; };
    Drag(QPoint(20, 50), QPoint(150, 60));
    EXPECT_TRUE(raster.IsWholeImage());
    EXPECT_TRUE(tool->Cancelled());

    // The band shows while dragging, dotted black on white and white on
    // black, and goes when the button is released off the image.
    Move(QPoint(60, 10));
    Press(QPoint(60, 10));
    Move(QPoint(240, 90));
    const QImage dragging = Render();
    bool seenOnBlack = false;
    bool seenOnWhite = false;
    for (int x = 60; x <= 240; ++x) {
        const QColor pixel = dragging.pixelColor(x, 10);
        if (x < 148 && pixel != Qt::black) seenOnBlack = true;
        if (x > 152 && pixel != Qt::white) seenOnWhite = true;
    }
    EXPECT_TRUE(seenOnBlack);
    EXPECT_TRUE(seenOnWhite);
    Move(QPoint(280, 90));
    Release(QPoint(280, 90));
    EXPECT_TRUE(raster.IsWholeImage());
    EXPECT_TRUE(tool->Cancelled());
    EXPECT_EQ(bands, 0);
    const QImage after = Render();
    for (int x = 60; x <= 240; ++x) {
        if (x >= 148 && x <= 152) continue;
        ASSERT_EQ(after.pixelColor(x, 10), x < 150 ? QColor(Qt::black) : QColor(Qt::white)) << x;
        ASSERT_EQ(after.pixelColor(x, 90), x < 150 ? QColor(Qt::black) : QColor(Qt::white)) << x;
    }
}

TEST_F(RasterToolsTest, ScrollToolPansWithTheClosedHand) {
    Load();
    raster.ZoomAt(QPoint(150, 50), zdZoomIn);
    raster.ZoomAt(QPoint(150, 50), zdZoomIn);
    auto* tool = Use<TRasterScrollTool>();
    const QRectF before = View();
    const double scale = raster.ScaleX();
    const QPoint centre((raster.DispLeft() + raster.DispRight()) / 2, (raster.DispTop() + raster.DispBottom()) / 2);

    Move(centre);
    EXPECT_EQ(raster.Cursor(), crOpenHand);
    Press(centre);
    EXPECT_EQ(raster.Cursor(), crCloseHand);
    EXPECT_EQ(raster.cursor().pixmap().toImage(), RasterCursor(crCloseHand).pixmap().toImage());
    Move(centre + QPoint(10, 0));
    EXPECT_EQ(raster.Cursor(), crCloseHand);
    // The image follows the pointer: dragging right shows more of the left.
    EXPECT_DOUBLE_EQ(raster.ViewLeft(), before.left() - 10 * scale);
    Release(centre + QPoint(10, 0));
    EXPECT_EQ(raster.Cursor(), crOpenHand);
    EXPECT_EQ(tool->Cursor(), crOpenHand);
    EXPECT_FALSE(tool->Dragging());
}

TEST_F(RasterToolsTest, MarginsShowTheDefaultCursor) {
    auto* tool = Use<TRasterZoomInTool>();
    // An empty view has no image to be on, not even at (0, 0).
    Move(QPoint(0, 0));
    EXPECT_FALSE(tool->InImage());
    Load();
    Move(QPoint(100, 50));
    EXPECT_EQ(raster.Cursor(), crZoomIn);
    EXPECT_TRUE(tool->InImage());
    Move(QPoint(20, 50));
    EXPECT_EQ(raster.Cursor(), crDefault);
    EXPECT_FALSE(tool->InImage());
    // The display rectangle's far edges still count as the image.
    Move(QPoint(250, 100));
    EXPECT_TRUE(tool->InImage());
}

TEST_F(RasterToolsTest, MeasuringTheSquare) {
    Load();
    auto* tool = Use<TCustomRasterMeasureTool>();
    std::vector<std::vector<QPointF>> figures;
    raster.OnActiveToolMeasure = [&](TRasterTool*, const std::vector<QPointF>& points) { figures.push_back(points); };
    Click(QPoint(100, 20));
    Click(QPoint(20, 50));  // a margin: no vertex
    Move(QPoint(110, 20));
    Click(QPoint(110, 20));
    Move(QPoint(110, 30));
    Click(QPoint(110, 30));
    EXPECT_EQ(tool->Points().size(), 3u);
    DoubleClick(QPoint(100, 30));
    EXPECT_DOUBLE_EQ(tool->Area(), -100);
    EXPECT_DOUBLE_EQ(tool->Length(), 30);
    EXPECT_TRUE(tool->Finished());
    ASSERT_EQ(figures.size(), 1u);
    EXPECT_EQ(figures[0], (std::vector<QPointF>{{100, 20}, {110, 20}, {110, 30}, {100, 30}}));

    // The other direction gives the positive area.
    Click(QPoint(100, 20));
    Click(QPoint(100, 30));
    Click(QPoint(110, 30));
    DoubleClick(QPoint(110, 20));
    EXPECT_DOUBLE_EQ(tool->Area(), 100);

    DoubleClick(QPoint(120, 40));
    EXPECT_DOUBLE_EQ(tool->Area(), 0);
    EXPECT_DOUBLE_EQ(tool->Length(), 0);

    Click(QPoint(100, 20));
    DoubleClick(QPoint(103, 24));
    EXPECT_DOUBLE_EQ(tool->Area(), 0);
    EXPECT_DOUBLE_EQ(tool->Length(), 5);
}

TEST_F(RasterToolsTest, CreatingTwoObjectsAtOneSpot) {
    Load();
    TRasterLayer* layer = ActiveLayerWithObjects({});
    raster.SetModified(false);
    Use<TRasterObjectCreateTool>();
    Click(QPoint(20, 50));
    EXPECT_EQ(layer->Count(), 0);
    Click(QPoint(150, 50));
    Click(QPoint(150, 50));
    ASSERT_EQ(layer->Count(), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(layer->Objects(i)->Name(), "xxx");
        EXPECT_EQ(layer->Objects(i)->X(), 200);
        EXPECT_EQ(layer->Objects(i)->Y(), 100);
    }
    EXPECT_EQ(layer->ActiveObject(), layer->Objects(1));
    EXPECT_EQ(layer->Objects(0)->State(), 0);
    EXPECT_EQ(layer->Objects(1)->State(), 1);
    EXPECT_TRUE(raster.Modified());
}

TEST_F(RasterToolsTest, SelectingAmongOverlappingObjects) {
    Load();
    // Icons cover 32 image pixels, 16 on screen: the first object spans
    // screen x 142-158, the second 144-160.
    TRasterLayer* layer = ActiveLayerWithObjects({{200, 100}, {204, 100}});
    Render();
    Use<TRasterObjectSelectTool>();
    std::vector<TRasterObject*> selected;
    raster.OnActiveToolSelect = [&](TRasterTool*, int, int, TRasterObject* object) { selected.push_back(object); };

    Click(QPoint(151, 50));
    EXPECT_EQ(layer->ActiveObject(), layer->Objects(0));
    Click(QPoint(159, 50));
    EXPECT_EQ(layer->ActiveObject(), layer->Objects(1));
    EXPECT_EQ(layer->Objects(0)->State(), 0);
    EXPECT_EQ(selected, (std::vector<TRasterObject*>{layer->Objects(0), layer->Objects(1)}));
    // The edge itself is not a hit.
    Click(QPoint(160, 50));
    EXPECT_EQ(layer->ActiveObject(), nullptr);
    EXPECT_EQ(layer->Objects(1)->State(), 0);

    DoubleClick(QPoint(151, 50));
    EXPECT_EQ(layer->ActiveObject(), layer->Objects(0));
}

TEST_F(RasterToolsTest, ObjectsOfAnInactiveLayerAreLeftAlone) {
    Load();
    TRasterLayer* other = raster.Layers().NewLayer();
    auto object = std::make_unique<TRasterObject>(other);
    object->SetX(100);
    object->SetY(60);
    TRasterObject* stranger = other->AddObject(std::move(object));
    TRasterLayer* active = ActiveLayerWithObjects({});
    ASSERT_EQ(other->Mode(), lmVisible);
    Render();
    raster.SetModified(false);
    const QPoint onStranger(100, 30);

    Use<TRasterObjectSelectTool>();
    Click(onStranger);
    EXPECT_EQ(stranger->State(), 0);
    EXPECT_EQ(other->ActiveObject(), nullptr);
    EXPECT_EQ(active->ActiveObject(), nullptr);

    Use<TRasterObjectMoveTool>();
    Drag(onStranger, QPoint(200, 60));
    EXPECT_EQ(QPoint(stranger->X(), stranger->Y()), QPoint(100, 60));
    EXPECT_FALSE(raster.Modified());
}

TEST_F(RasterToolsTest, AMoveIsWrittenToTheSideFileAtClose) {
    Load();
    TRasterLayer* layer = ActiveLayerWithObjects({{200, 100}, {200, 100}});
    Render();
    auto* tool = Use<TRasterObjectMoveTool>();
    Move(QPoint(150, 50));
    Press(QPoint(150, 50));
    EXPECT_EQ(tool->Target(), layer->Objects(0));
    EXPECT_EQ(raster.Cursor(), crMoving);
    Move(QPoint(170, 60));
    Release(QPoint(170, 60));
    EXPECT_EQ(QPoint(layer->Objects(0)->X(), layer->Objects(0)->Y()), QPoint(240, 120));
    EXPECT_EQ(QPoint(layer->Objects(1)->X(), layer->Objects(1)->Y()), QPoint(200, 100));
    EXPECT_EQ(tool->Target(), nullptr);

    // Dropped off the image: the object stays.
    Render();
    Move(QPoint(170, 60));
    Press(QPoint(170, 60));
    Move(QPoint(20, 60));
    Release(QPoint(20, 60));
    EXPECT_EQ(layer->Objects(0)->X(), 240);

    raster.CloseImage();
    Load();
    ASSERT_EQ(raster.Layers().Count(), 1);
    const TRasterLayer* reread = raster.Layers().Items(0);
    ASSERT_EQ(reread->Count(), 2);
    EXPECT_EQ(QPoint(reread->Objects(0)->X(), reread->Objects(0)->Y()), QPoint(240, 120));
}

TEST(RasterCursors, TenDrawnCursorsWithHotSpotsOnThem) {
    std::vector<QImage> pictures;
    for (TCursor id = crPointXY; id <= crMeasure; ++id) {
        const QCursor cursor = RasterCursor(id);
        ASSERT_EQ(cursor.shape(), Qt::BitmapCursor) << id;
        const QImage picture = cursor.pixmap().toImage();
        ASSERT_EQ(picture.size(), QSize(32, 32)) << id;
        EXPECT_TRUE(QRect(0, 0, 32, 32).contains(cursor.hotSpot())) << id;
        // Something opaque is drawn at the hot spot or right beside it.
        bool drawnNearHotSpot = false;
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx)
                if (picture.valid(cursor.hotSpot() + QPoint(dx, dy)) &&
                    picture.pixelColor(cursor.hotSpot() + QPoint(dx, dy)).alpha() > 128)
                    drawnNearHotSpot = true;
        EXPECT_TRUE(drawnNearHotSpot) << id;
        for (const QImage& earlier : pictures) EXPECT_NE(picture, earlier) << id;
        pictures.push_back(picture);
    }
    EXPECT_EQ(RasterCursor(crHandPoint).shape(), Qt::PointingHandCursor);
    EXPECT_EQ(RasterCursor(crDefault).shape(), Qt::ArrowCursor);
}

}  // namespace
