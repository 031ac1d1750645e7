#include <cmath>
#include <cstdint>
#include <memory>

#include <gtest/gtest.h>

#include <QImage>

#include "raster/raster.h"
#include "raster/raster_layers.h"
#include "raster_view_fixture.h"

namespace {

class RasterViewTest : public ::testing::Test, public RasterViewFixture {
protected:
    void SetUp() override {
        raster.resize(300, 100);
        raster.SetZoomSize(0.1);
    }

    void ExpectViewInsideImage() {
        EXPECT_GE(raster.ViewLeft(), 0);
        EXPECT_LE(raster.ViewLeft(), raster.ViewRight());
        EXPECT_LE(raster.ViewRight(), raster.MaxX());
        EXPECT_GE(raster.ViewTop(), 0);
        EXPECT_LE(raster.ViewTop(), raster.ViewBottom());
        EXPECT_LE(raster.ViewBottom(), raster.MaxY());
    }
};

TEST_F(RasterViewTest, WholeImageIsCentredWithItsProportionsAndNoScrollBars) {
    ASSERT_TRUE(Load(401, 201));
    EXPECT_TRUE(raster.IsWholeImage());
    EXPECT_FALSE(BarShown(Qt::Horizontal));
    EXPECT_FALSE(BarShown(Qt::Vertical));
    // 400 x 200 image units in a 300 x 100 client: 200 x 100 pixels, centred.
    EXPECT_EQ(Display(), QRect(50, 0, 200, 100));
    EXPECT_DOUBLE_EQ(raster.ScaleX(), 2.0);
    EXPECT_DOUBLE_EQ(raster.ScaleY(), 2.0);
    EXPECT_EQ(raster.ScreenToImage(50, 0), QPoint(0, 0));
    EXPECT_EQ(raster.ScreenToImage(250, 100), QPoint(400, 200));
    // (175 - 50) * 2 = 250; 0.25 * 2 = 0.5 rounds to the even 0.
    EXPECT_EQ(raster.ScreenToImage(175, 0), QPoint(250, 0));
    EXPECT_DOUBLE_EQ(raster.VStep(), 2.0);
    EXPECT_DOUBLE_EQ(raster.HStep(), 4.0);
}

TEST_F(RasterViewTest, ZoomingAboutAPointAndBack) {
    ASSERT_TRUE(Load(401, 201));
    raster.ZoomAt(QPoint(150, 50), zdZoomOut);
    EXPECT_TRUE(raster.IsWholeImage());
    EXPECT_FALSE(BarShown(Qt::Vertical));

    raster.ZoomAt(QPoint(150, 50), zdZoomIn);
    // 90 % of the extent about the image point (200, 100).
    EXPECT_DOUBLE_EQ(raster.ViewLeft(), 20);
    EXPECT_DOUBLE_EQ(raster.ViewRight(), 380);
    EXPECT_DOUBLE_EQ(raster.ViewTop(), 10);
    EXPECT_DOUBLE_EQ(raster.ViewBottom(), 190);
    EXPECT_TRUE(BarShown(Qt::Horizontal));
    EXPECT_TRUE(BarShown(Qt::Vertical));
    EXPECT_EQ(Bar(Qt::Horizontal)->value(), 20);
    EXPECT_EQ(Bar(Qt::Vertical)->pageStep(), 181);
    // The display rectangle fits the smaller client left by the bars.
    EXPECT_LE(raster.DispRight(), ClientWidth());
    EXPECT_LE(raster.DispBottom(), ClientHeight());
    EXPECT_TRUE(raster.DispLeft() == 0 || raster.DispTop() == 0);

    // Near the top-left corner the extent stays and the view slides back in.
    raster.ZoomAt(QPoint(raster.DispLeft(), raster.DispTop()), zdZoomIn);
    EXPECT_DOUBLE_EQ(raster.ViewLeft(), 0);
    EXPECT_DOUBLE_EQ(raster.ViewTop(), 0);
    EXPECT_NEAR(raster.ViewRight(), 360 * 0.9, 1e-9);
    EXPECT_NEAR(raster.ViewBottom(), 180 * 0.9, 1e-9);

    raster.ViewExtent();
    EXPECT_TRUE(raster.IsWholeImage());
    EXPECT_FALSE(BarShown(Qt::Horizontal));
    EXPECT_EQ(Display(), QRect(50, 0, 200, 100));
}

TEST_F(RasterViewTest, PanningAndCentringStayInsideTheImage) {
    ASSERT_TRUE(Load(401, 201));
    raster.ZoomToRect(QRect(100, 25, 100, 50));  // image (100, 50) to (300, 150)
    EXPECT_DOUBLE_EQ(raster.ViewLeft(), 100);
    EXPECT_DOUBLE_EQ(raster.ViewBottom(), 150);
    raster.ScrollBy(-1000, -1000);
    EXPECT_DOUBLE_EQ(raster.ViewLeft(), 0);
    EXPECT_DOUBLE_EQ(raster.ViewRight(), 200);
    EXPECT_DOUBLE_EQ(raster.ViewTop(), 0);
    EXPECT_DOUBLE_EQ(raster.ViewBottom(), 100);

    const QPoint target = raster.ScreenToImage(raster.DispRight() - 10, raster.DispBottom() - 10);
    raster.CenterAt(raster.DispRight() - 10, raster.DispBottom() - 10);
    ExpectViewInsideImage();
    EXPECT_DOUBLE_EQ((raster.ViewLeft() + raster.ViewRight()) / 2, target.x());
    EXPECT_DOUBLE_EQ((raster.ViewTop() + raster.ViewBottom()) / 2, target.y());
}

TEST_F(RasterViewTest, ExpandModeFillsTheClientWhilePartOfTheImageIsShown) {
    ASSERT_TRUE(Load(401, 201));
    raster.resize(400, 100);
    raster.SetViewMode(vmExpand);
    // The whole 2:1 image in a 4:1 client is cropped top and bottom.
    EXPECT_DOUBLE_EQ(raster.ViewLeft(), 0);
    EXPECT_DOUBLE_EQ(raster.ViewRight(), 400);
    EXPECT_GT(raster.ViewTop(), 0);
    EXPECT_LT(raster.ViewBottom(), 200);
    EXPECT_EQ(Display(), QRect(0, 0, ClientWidth(), ClientHeight()));
    ExpectViewInsideImage();

    // Showing the whole image keeps its proportions, with margins.
    raster.ViewExtent();
    EXPECT_TRUE(raster.IsWholeImage());
    EXPECT_EQ(Display(), QRect(100, 0, 200, 100));

    raster.SetViewMode(vmNormal);
    raster.resize(200, 100);
    raster.ViewExtent();
    raster.ZoomToRect(QRect(50, 25, 25, 25));  // a square of 50 x 50 image units
    ASSERT_DOUBLE_EQ(raster.ViewRight() - raster.ViewLeft(), 50);
    ASSERT_DOUBLE_EQ(raster.ViewBottom() - raster.ViewTop(), 50);
    raster.SetViewMode(vmExpand);
    // A square view widens to the wide client instead of losing height.
    EXPECT_DOUBLE_EQ(raster.ViewBottom() - raster.ViewTop(), 50);
    EXPECT_NEAR(raster.ViewRight() - raster.ViewLeft(), 50.0 * ClientWidth() / ClientHeight(), 1e-9);
}

TEST_F(RasterViewTest, ScrollBarRequestsMoveTheViewByLinesPagesAndReleasedThumb) {
    ASSERT_TRUE(Load(401, 201));
    raster.ZoomToRect(QRect(100, 25, 100, 50));
    raster.ScrollBy(-1000, -1000);
    QScrollBar* bar = Bar(Qt::Vertical);
    ASSERT_TRUE(BarShown(Qt::Vertical));
    const double extent = raster.ViewBottom() - raster.ViewTop();

    bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_DOUBLE_EQ(raster.ViewTop(), 0);
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_DOUBLE_EQ(raster.ViewTop(), 2);  // one line: 200 / 100
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_DOUBLE_EQ(raster.ViewTop(), 6);  // a page is two lines
    EXPECT_EQ(bar->value(), 6);
    EXPECT_DOUBLE_EQ(raster.ViewBottom() - raster.ViewTop(), extent);

    bar->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_DOUBLE_EQ(raster.ViewTop(), 6);
    EXPECT_EQ(bar->sliderPosition(), 6);

    bar->setSliderDown(true);
    bar->setSliderPosition(40);
    EXPECT_DOUBLE_EQ(raster.ViewTop(), 6);
    bar->setSliderDown(false);
    EXPECT_DOUBLE_EQ(raster.ViewTop(), 40);
    EXPECT_DOUBLE_EQ(raster.ViewBottom(), 40 + extent);

    for (int i = 0; i < 100; ++i) bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_DOUBLE_EQ(raster.ViewBottom(), raster.MaxY());
    Bar(Qt::Horizontal)->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_DOUBLE_EQ(raster.ViewLeft(), 8);  // two lines of 400 / 100
}

TEST_F(RasterViewTest, OnePixelWideOrHighImagesGetAFiniteView) {
    for (const auto& size : {QSize(1, 50), QSize(50, 1), QSize(1, 1)}) {
        SCOPED_TRACE(size.width() * 1000 + size.height());
        ASSERT_TRUE(Load(size.width(), size.height()));
        EXPECT_TRUE(std::isfinite(raster.ScaleX()) && std::isfinite(raster.ScaleY()));
        EXPECT_LT(raster.DispLeft(), raster.DispRight());
        EXPECT_LT(raster.DispTop(), raster.DispBottom());
        EXPECT_EQ(raster.ScreenToImage(raster.DispRight(), raster.DispBottom()), QPoint(size.width() - 1, size.height() - 1));
        raster.ZoomAt(QPoint(150, 50), zdZoomIn);
        raster.ZoomToRect(QRect(150, 50, 0, 0));
        raster.ScrollBy(7, 7);
        EXPECT_TRUE(std::isfinite(raster.ViewLeft()) && std::isfinite(raster.ScaleX()));
        ExpectViewInsideImage();
    }
}

TEST_F(RasterViewTest, AnEmptyViewIgnoresViewOperations) {
    raster.ZoomAt(QPoint(10, 10), zdZoomIn);
    raster.ScrollBy(5, 5);
    raster.CenterAt(5, 5);
    raster.ViewExtent();
    raster.SetViewMode(vmExpand);
    EXPECT_FALSE(raster.HasImage());
    EXPECT_EQ(raster.ViewRight(), 0);
    EXPECT_EQ(raster.ScaleX(), 0);
    EXPECT_FALSE(BarShown(Qt::Vertical));
}

TEST_F(RasterViewTest, ZoomingInStopsWhereOneImagePixelSpansTheView) {
    ASSERT_TRUE(Load(401, 201));
    for (int step = 0; step < 100; ++step) raster.ZoomAt(QPoint(150, 50), zdZoomIn);
    const double width = raster.ViewRight() - raster.ViewLeft();
    const double height = raster.ViewBottom() - raster.ViewTop();
    EXPECT_DOUBLE_EQ(std::max(width, height), 1.0);
    EXPECT_GE(raster.ScaleX(), 1.0 / ClientWidth());
    ExpectViewInsideImage();
    // At the limit a further step changes nothing.
    const double left = raster.ViewLeft();
    raster.ZoomAt(QPoint(10, 10), zdZoomIn);
    EXPECT_EQ(raster.ViewLeft(), left);
    EXPECT_EQ(raster.ViewRight() - raster.ViewLeft(), width);

    // A zoom rectangle of a single screen point stops at the same limit.
    raster.ViewExtent();
    raster.ZoomToRect(QRect(150, 50, 0, 0));
    EXPECT_DOUBLE_EQ(std::max(raster.ViewRight() - raster.ViewLeft(), raster.ViewBottom() - raster.ViewTop()), 1.0);
    EXPECT_GT(raster.ScaleX(), 0);
    ExpectViewInsideImage();
}

TEST_F(RasterViewTest, MarkersFarOutsideTheImageStayOutsideTheView) {
    // A small image in a large client: one image pixel is many screen
    // pixels, so markers at the ends of the int range lie far beyond
    // what an int holds in screen coordinates.
    ASSERT_TRUE(Load(4, 3));
    TRasterLayer* layer = raster.Layers().NewLayer();
    auto add = [&](int x, int y) {
        auto object = std::make_unique<TRasterObject>(layer);
        object->SetX(x);
        object->SetY(y);
        return layer->AddObject(std::move(object));
    };
    TRasterObject* right = add(INT32_MAX, 1);
    TRasterObject* left = add(INT32_MIN, 1);
    TRasterObject* below = add(2, INT32_MAX);
    TRasterObject* above = add(2, INT32_MIN);
    TRasterObject* inside = add(2, 1);
    QImage canvas(raster.size(), QImage::Format_RGB32);
    raster.render(&canvas);

    EXPECT_GT(right->Bounds().left(), raster.width());
    EXPECT_LT(left->Bounds().right(), 0);
    EXPECT_GT(below->Bounds().top(), raster.height());
    EXPECT_LT(above->Bounds().bottom(), 0);
    for (const TRasterObject* far : {right, left, below, above}) EXPECT_FALSE(far->HitTest(150, 50));
    const QPoint centre = inside->Bounds().center();
    EXPECT_TRUE(inside->HitTest(centre.x(), centre.y()));
}

}  // namespace
