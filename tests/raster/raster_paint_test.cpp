#include <cmath>
#include <cstring>
#include <random>

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "raster/dib_painter.h"
#include "raster/dib_view.h"
#include "raster/image_list.h"
#include "raster/raster.h"
#include "raster/raster_layers.h"
#include "raster_view_fixture.h"
#include "support/event_wait.h"

namespace {

const QColor kFace(10, 20, 30);
const QColor kShadow(200, 0, 0);
const QColor kHighlight(0, 200, 0);
const QColor kBackground(1, 2, 3);

class RasterPaintTest : public ::testing::Test, public RasterViewFixture {
protected:
    void SetUp() override {
        QPalette colours = raster.palette();
        colours.setColor(QPalette::Button, kFace);
        colours.setColor(QPalette::Dark, kShadow);
        colours.setColor(QPalette::Light, kHighlight);
        colours.setColor(QPalette::Window, kBackground);
        raster.setPalette(colours);
        raster.resize(300, 100);
    }

    QImage Render() {
        QImage image(raster.size(), QImage::Format_RGB32);
        image.fill(Qt::white);
        raster.render(&image);
        return image;
    }
};

TEST_F(RasterPaintTest, WithoutAnImageOnlyTheBackgroundIsPainted) {
    const QImage image = Render();
    for (int y = 0; y < image.height(); y += 7)
        for (int x = 0; x < image.width(); x += 7) ASSERT_EQ(image.pixelColor(x, y), kBackground) << x << "," << y;
}

TEST_F(RasterPaintTest, ImageMarginsAndSunkenFrame) {
    ASSERT_TRUE(Load(401, 201));
    ASSERT_EQ(Display(), QRect(50, 0, 200, 100));
    const QImage image = Render();
    EXPECT_EQ(image.pixelColor(10, 50), kFace);
    EXPECT_EQ(image.pixelColor(290, 50), kFace);
    EXPECT_EQ(image.pixelColor(49, 50), kShadow);
    EXPECT_EQ(image.pixelColor(251, 50), kHighlight);
    // Between the image and the right side of the frame: margin colour.
    EXPECT_EQ(image.pixelColor(250, 50), kFace);
    // Nearest pixel: display column i shows image column (2i + 1) * 401 / 400.
    for (int i = 0; i < 200; i += 13) {
        const int x = (2 * i + 1) * 401 / 400;
        const QRgb pixel = image.pixel(50 + i, 10);
        EXPECT_EQ(qBlue(pixel), x & 0xFF) << i;
        EXPECT_EQ(qRed(pixel), 0x80);
        EXPECT_EQ(qGreen(pixel), ((2 * 10 + 1) * 201 / 200) & 0xFF);
    }
}

TEST_F(RasterPaintTest, HalfToneAveragesTheCoveredPixels) {
    ASSERT_TRUE(Load(401, 201));
    raster.SetPaintMode(pmHalfTone);
    const QImage image = Render();
    // Column i covers image columns [i * r, (i + 1) * r), r = 401 / 200.
    const double r = 401.0 / 200;
    for (int i = 0; i < 120; i += 7) {
        double sum = 0;
        for (int x = 0; x < 401; ++x) {
            const double overlap = std::min(x + 1.0, (i + 1) * r) - std::max(double(x), i * r);
            if (overlap > 0) sum += overlap * x;
        }
        EXPECT_NEAR(qBlue(image.pixel(50 + i, 40)), sum / r, 1.0) << i;
    }
}

TEST_F(RasterPaintTest, VisibleAndActiveLayersAreDrawnInvisibleOnesAreNot) {
    ASSERT_TRUE(Load(401, 201));
    TImageList icons(4, 4);
    QPixmap red(4, 4);
    red.fill(Qt::red);
    icons.Add(red);
    raster.SetStateImage(&icons);
    auto place = [&](TLayerMode mode, int x) {
        TRasterLayer* layer = raster.Layers().NewLayer();
        auto object = std::make_unique<TRasterObject>(layer);
        object->SetX(x);
        object->SetY(100);
        layer->AddObject(std::move(object));
        layer->SetMode(mode);
    };
    place(lmVisible, 100);
    place(lmActive, 200);
    place(lmInvisible, 300);
    const QImage image = Render();
    // Image (x, 100) is on screen at (50 + x / 2, 50).
    EXPECT_EQ(image.pixelColor(99, 49), QColor(Qt::red));
    EXPECT_EQ(image.pixelColor(149, 49), QColor(Qt::red));
    EXPECT_NE(image.pixelColor(199, 49), QColor(Qt::red));
}

TEST_F(RasterPaintTest, MarkersShowWithTheShippedIconsUntilTheOwnerSetsItsOwn) {
    ASSERT_TRUE(Load(401, 201));
    ASSERT_NE(raster.StateImage(), nullptr);
    ASSERT_NE(raster.SelectImage(), nullptr);
    EXPECT_GT(raster.StateImage()->Count(), 0);
    EXPECT_EQ(raster.SelectImage()->Count(), raster.StateImage()->Count());

    const QImage before = Render();
    TRasterLayer* layer = raster.Layers().NewLayer();
    auto object = std::make_unique<TRasterObject>(layer);
    object->SetX(200);
    object->SetY(100);
    layer->AddObject(std::move(object));
    EXPECT_NE(Render(), before) << "a marker of a visible layer is drawn";
}

// --- Bitmap formats -------------------------------------------------------

// A bitmap as a plug-in returns it: the header (with colour table or masks)
// and the rows.
struct HandMadeDib {
    std::vector<std::uint8_t> header;
    std::vector<std::uint8_t> bits;

    HandMadeDib(int width, int height, int bitCount, std::uint32_t compression,
                const std::vector<std::uint32_t>& table) {
        SPI_BITMAPINFOHEADER info{};
        info.biSize = sizeof info;
        info.biWidth = width;
        info.biHeight = height;
        info.biPlanes = 1;
        info.biBitCount = std::uint16_t(bitCount);
        info.biCompression = compression;
        // The table is a colour table up to 8 bits (its size said in the
        // header, as a short one must be), the masks above.
        if (bitCount <= 8) info.biClrUsed = std::uint32_t(table.size());
        header.resize(sizeof info + 4 * table.size());
        std::memcpy(header.data(), &info, sizeof info);
        if (!table.empty()) std::memcpy(header.data() + sizeof info, table.data(), 4 * table.size());
        bits.assign(SPI_DibStride(width, bitCount) * std::size_t(std::abs(height)), 0);
    }
    std::uint8_t* StoredRow(int index) { return bits.data() + SPI_DibStride(Header()->biWidth, Header()->biBitCount) * std::size_t(index); }
    const SPI_BITMAPINFOHEADER* Header() const { return reinterpret_cast<const SPI_BITMAPINFOHEADER*>(header.data()); }
    std::vector<std::uint32_t> Row(int y) const {
        auto view = TDibView::Create(Header(), bits.data());
        std::vector<std::uint32_t> pixels(std::size_t(Header()->biWidth));
        if (view == nullptr) return {};
        view->ReadRow(y, 0, Header()->biWidth, pixels.data());
        return pixels;
    }
};

TEST(DibViewTest, ReadsEveryFormatFromTheStoredRows) {
    const std::uint32_t red = 0xFFFF0000, green = 0xFF00FF00, blue = 0xFF0000FF, white = 0xFFFFFFFF;
    {
        HandMadeDib dib(10, 2, 1, SPI_BI_RGB, {0x000000FF, 0x00FFFFFF});  // blue, white
        dib.StoredRow(1)[0] = 0b1000'0000;  // top row, first pixel white
        dib.StoredRow(1)[1] = 0b0100'0000;  // pixel 9
        const auto top = dib.Row(0);
        EXPECT_EQ(top[0], white);
        EXPECT_EQ(top[1], blue);
        EXPECT_EQ(top[9], white);
        EXPECT_EQ(dib.Row(1)[0], blue);
    }
    {
        HandMadeDib dib(3, 1, 4, SPI_BI_RGB, {0, 0x00FF0000, 0x0000FF00});
        dib.StoredRow(0)[0] = 0x12;
        dib.StoredRow(0)[1] = 0x50;  // index past the table: black
        EXPECT_EQ(dib.Row(0), (std::vector<std::uint32_t>{red, green, 0xFF000000}));
    }
    {
        HandMadeDib dib(2, 1, 8, SPI_BI_RGB, std::vector<std::uint32_t>(256, 0x000000FF));
        EXPECT_EQ(dib.Row(0), (std::vector<std::uint32_t>{blue, blue}));
    }
    {
        HandMadeDib dib(2, 1, 16, SPI_BI_RGB, {});  // 5-5-5
        dib.StoredRow(0)[0] = 0x00;
        dib.StoredRow(0)[1] = 0x7C;
        dib.StoredRow(0)[2] = 0x1F;
        EXPECT_EQ(dib.Row(0), (std::vector<std::uint32_t>{red, blue}));
    }
    {
        HandMadeDib dib(2, 1, 16, SPI_BI_BITFIELDS, {0xF800, 0x07E0, 0x001F});  // 5-6-5
        dib.StoredRow(0)[0] = 0xE0;
        dib.StoredRow(0)[1] = 0x07;
        dib.StoredRow(0)[3] = 0x04;  // green 0x20 of 0x3F
        EXPECT_EQ(dib.Row(0)[0], green);
        EXPECT_EQ(dib.Row(0)[1], 0xFF008200u);
    }
    {
        HandMadeDib dib(1, -2, 24, SPI_BI_RGB, {});  // top-down rows
        dib.StoredRow(0)[2] = 0xFF;
        EXPECT_EQ(dib.Row(0)[0], red);
        EXPECT_EQ(dib.Row(1)[0], 0xFF000000);
    }
    {
        HandMadeDib dib(1, 1, 32, SPI_BI_RGB, {});
        const std::uint8_t pixel[] = {0x11, 0x22, 0x33, 0x00};
        std::memcpy(dib.StoredRow(0), pixel, 4);
        EXPECT_EQ(dib.Row(0)[0], 0xFF332211u);
    }
    {
        HandMadeDib dib(1, 1, 32, SPI_BI_BITFIELDS, {0x000003FF, 0x000FFC00, 0x3FF00000});  // 10-bit channels
        const std::uint32_t value = 0x3FFu << 20;
        std::memcpy(dib.StoredRow(0), &value, 4);
        EXPECT_EQ(dib.Row(0)[0], blue);
    }
    EXPECT_TRUE(HandMadeDib(4, 4, 8, SPI_BI_RLE8, {}).Row(0).empty());
    EXPECT_TRUE(HandMadeDib(4, 4, 2, SPI_BI_RGB, {}).Row(0).empty());
    EXPECT_TRUE(HandMadeDib(0, 4, 24, SPI_BI_RGB, {}).Row(0).empty());
}

TEST(DibPainterTest, ReducedCopiesAverageLikeTheBitmapAndStayWithinBudget) {
    // Smooth shading with fine noise, as a photograph has.
    const int width = 640, height = 480;
    for (int bitCount : {24, 8}) {
        SCOPED_TRACE(bitCount);
        std::vector<std::uint32_t> grey(256);
        for (std::uint32_t i = 0; i < 256; ++i) grey[i] = i * 0x010101u;
        HandMadeDib dib(width, height, bitCount, SPI_BI_RGB, bitCount == 8 ? grey : std::vector<std::uint32_t>{});
        std::mt19937 random(7);
        for (int row = 0; row < height; ++row) {
            for (int x = 0; x < width; ++x) {
                const int level = std::clamp(int(128 + 100 * std::sin(x / 37.0) * std::cos(row / 23.0)) +
                                                 int(random() % 21) - 10,
                                             0, 255);
                if (bitCount == 8)
                    dib.StoredRow(row)[x] = std::uint8_t(level);
                else
                    std::memset(dib.StoredRow(row) + 3 * x, level, 3);
            }
        }
        const auto view = TDibView::Create(dib.Header(), dib.bits.data());
        ASSERT_NE(view, nullptr);
        TDibPainter painter(*view);
        const QRect destination(0, 0, 97, 73);  // a reduction by about 6.6
        QImage target(destination.size(), QImage::Format_RGB32);
        QPainter canvas(&target);
        painter.DrawAveraged(canvas, destination, QRect(0, 0, width, height));
        ASSERT_TRUE(ProcessEventsUntil([&] { return !painter.CopiesPending(); }));
        painter.DrawAveraged(canvas, destination, QRect(0, 0, width, height));
        canvas.end();
        EXPECT_GT(painter.CacheBytes(), 0u);
        EXPECT_LE(painter.CacheBytes(), view->ImageBytes() / 3);

        const double rx = double(width) / destination.width();
        const double ry = double(height) / destination.height();
        double difference = 0;
        std::vector<std::uint32_t> pixels(width);
        for (int j = 0; j < destination.height(); ++j) {
            for (int i = 0; i < destination.width(); ++i) {
                double sum = 0;
                for (int y = int(j * ry); y < std::min(height, int(std::ceil((j + 1) * ry))); ++y) {
                    view->ReadRow(y, 0, width, pixels.data());
                    const double wy = std::min(y + 1.0, (j + 1) * ry) - std::max(double(y), j * ry);
                    for (int x = int(i * rx); x < std::min(width, int(std::ceil((i + 1) * rx))); ++x) {
                        const double wx = std::min(x + 1.0, (i + 1) * rx) - std::max(double(x), i * rx);
                        sum += wx * wy * (pixels[x] & 0xFF);
                    }
                }
                difference += std::abs(qBlue(target.pixel(i, j)) - sum / (rx * ry));
            }
        }
        EXPECT_LT(difference / (destination.width() * destination.height()), 1.0);

        // Drawn onto an image (in two halves at this size) exactly as stretched
        // on its own, also where the canvas is clipped.
        const QRect source(10, 20, 500, 300);
        const QSize large(800, 500);
        QImage drawn(large, QImage::Format_ARGB32_Premultiplied);
        drawn.fill(Qt::black);
        QPainter onImage(&drawn);
        onImage.setClipRect(QRect(0, 0, 800, 499));
        painter.DrawNearest(onImage, QRect(QPoint(0, 0), large), source);
        onImage.end();
        const QImage alone = painter.StretchNearest(large, source);
        EXPECT_EQ(drawn.copy(0, 0, 800, 499).convertToFormat(QImage::Format_RGB32), alone.copy(0, 0, 800, 499));
        EXPECT_EQ(drawn.pixel(5, 499), qRgb(0, 0, 0));
    }
}

// A photograph-like 24-bit bitmap: smooth shading, edges and fine noise.
struct PhotoDib {
    HandMadeDib dib;
    std::unique_ptr<TDibView> view;

    PhotoDib(int width, int height) : dib(width, height, 24, SPI_BI_RGB, {}) {
        std::mt19937 random(11);
        for (int row = 0; row < height; ++row) {
            std::uint8_t* pixel = dib.StoredRow(row);
            for (int x = 0; x < width; ++x, pixel += 3) {
                const double shade = 90 * std::sin(x / 41.0) * std::cos(row / 29.0);
                const int edge = (x / 97 + row / 83) % 2 != 0 ? 40 : 0;
                pixel[0] = std::uint8_t(std::clamp(int(120 + shade) + edge + int(random() % 31) - 15, 0, 255));
                pixel[1] = std::uint8_t(std::clamp(int(128 - shade) + int(random() % 31) - 15, 0, 255));
                pixel[2] = std::uint8_t(std::clamp(60 + 150 * x / width - edge + int(random() % 31) - 15, 0, 255));
            }
        }
        view = TDibView::Create(dib.Header(), dib.bits.data());
    }

    QImage Converted() const {
        QImage image(view->Width(), view->Height(), QImage::Format_RGB32);
        for (int y = 0; y < view->Height(); ++y)
            view->ReadRow(y, 0, view->Width(), reinterpret_cast<std::uint32_t*>(image.scanLine(y)));
        return image;
    }
};

double MeanDifference(const QImage& a, const QImage& b) {
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * a.width() * a.height());
}

QImage Drawn(const QSize& size, const std::function<void(QPainter&)>& draw) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter canvas(&image);
    draw(canvas);
    return image;
}

// Every pixel of a copy is the rounded mean of its block, also the smaller
// blocks at the right and bottom edges, whether made from the bitmap or
// from a finer copy.
TEST(DibPainterTest, ReducedCopiesHoldTheRoundedMeanOfEveryBlock) {
    const int width = 1003, height = 517;  // edges cut blocks short
    PhotoDib photo(width, height);
    const QImage pixels = photo.Converted();
    auto build = [&](const TReducedCopy* finer, int shift) {
        QObject context;
        bool ready = false;
        TReducedCopyBuilder builder(*photo.view, finer, shift, &context, [&] { ready = true; });
        EXPECT_TRUE(ProcessEventsUntil([&] { return ready; }));
        return builder.Take();
    };
    auto check = [&](const TReducedCopy& copy) {
        SCOPED_TRACE(copy.Shift);
        const int size = 1 << copy.Shift;
        ASSERT_EQ(copy.Width, (width + size - 1) / size);
        ASSERT_EQ(copy.Height, (height + size - 1) / size);
        int wrong = 0;
        for (int y = 0; y < copy.Height; ++y)
            for (int x = 0; x < copy.Width; ++x) {
                const QRect block = QRect(x * size, y * size, size, size) & QRect(0, 0, width, height);
                int sums[3] = {};
                for (int j = block.top(); j <= block.bottom(); ++j)
                    for (int i = block.left(); i <= block.right(); ++i) {
                        const QRgb p = pixels.pixel(i, j);
                        sums[0] += qBlue(p);
                        sums[1] += qGreen(p);
                        sums[2] += qRed(p);
                    }
                const int area = block.width() * block.height();
                for (int c = 0; c < 3; ++c)
                    if (copy.Row(y)[3 * x + c] != (sums[c] + area / 2) / area) ++wrong;
            }
        EXPECT_EQ(wrong, 0);
    };
    const TReducedCopy four = build(nullptr, 2);
    check(four);
    check(build(nullptr, 3));
    check(build(nullptr, 5));
    check(build(nullptr, 9));  // sums beyond 16 bits
    // From a finer copy the means of means round twice: off by one at most
    // inside (at the edges the finer blocks differ in size and weigh alike).
    const TReducedCopy sixteen = build(&four, 4);
    const TReducedCopy direct = build(nullptr, 4);
    ASSERT_EQ(sixteen.Bgr.size(), direct.Bgr.size());
    for (int y = 0; y + 1 < direct.Height; ++y)
        for (int x = 0; x + 1 < direct.Width; ++x)
            for (int c = 0; c < 3; ++c)
                ASSERT_LE(std::abs(sixteen.Row(y)[3 * x + c] - direct.Row(y)[3 * x + c]), 1) << x << "," << y;
}

TEST(DibPainterTest, TheNearestPictureShowsUntilTheCopyIsBuiltThenQtsSmoothScaleWithinTwoLevels) {
    PhotoDib photo(2400, 1800);
    TDibPainter painter(*photo.view);
    int reports = 0;
    painter.OnCopiesReady = [&] { ++reports; };
    const QRect whole(0, 0, 2400, 1800);
    const QRect destination(0, 0, 288, 216);  // a reduction by 8.3, as a large photo on a screen

    const QImage first = Drawn(destination.size(), [&](QPainter& c) { painter.DrawAveraged(c, destination, whole); });
    EXPECT_TRUE(painter.CopiesPending());
    EXPECT_EQ(first, painter.StretchNearest(destination.size(), whole));
    ASSERT_TRUE(ProcessEventsUntil([&] { return reports == 1; }));
    EXPECT_FALSE(painter.CopiesPending());

    const QImage averaged =
        Drawn(destination.size(), [&](QPainter& c) { painter.DrawAveraged(c, destination, whole); });
    const QImage smooth = photo.Converted().scaled(destination.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    EXPECT_LT(MeanDifference(averaged, smooth), 2.0);
    EXPECT_GT(MeanDifference(first, smooth), 2.0);  // the check can tell the two pictures apart
    EXPECT_EQ(reports, 1);

    // A part of the image at a reduction by 3 reads the bitmap itself, at once.
    const QRect part(600, 300, 864, 648);
    const QImage near = Drawn(destination.size(), [&](QPainter& c) { painter.DrawAveraged(c, destination, part); });
    EXPECT_FALSE(painter.CopiesPending());
    EXPECT_LT(MeanDifference(near, photo.Converted().copy(part).scaled(destination.size(), Qt::IgnoreAspectRatio,
                                                                       Qt::SmoothTransformation)),
              2.0);
}

TEST(DibPainterTest, AnUnchangedViewShowsTheKeptPictureAndAChangedOneIsAveragedAnew) {
    PhotoDib photo(1200, 900);
    TDibPainter painter(*photo.view);
    const QRect whole(0, 0, 1200, 900);
    const QRect destination(10, 5, 150, 112);
    const QSize client(170, 120);
    auto draw = [&](const QRect& source, const QRect& clip) {
        return Drawn(client, [&](QPainter& c) {
            if (!clip.isNull()) c.setClipRect(clip);
            painter.DrawAveraged(c, destination, source);
        });
    };
    draw(whole, {});
    ASSERT_TRUE(ProcessEventsUntil([&] { return !painter.CopiesPending(); }));
    const QImage before = draw(whole, {});
    EXPECT_EQ(painter.ResultBytes(), std::size_t(150 * 112 * 4));

    // The bitmap's rows are read live: a picture drawn again from them would
    // now differ, the kept one does not.
    std::fill(photo.dib.bits.begin(), photo.dib.bits.end(), std::uint8_t(0xFF));
    EXPECT_EQ(draw(whole, {}), before);
    const QRect clip(40, 30, 50, 40);
    EXPECT_EQ(draw(whole, clip).copy(clip), before.copy(clip));

    const QImage moved = draw(QRect(0, 0, 450, 336), {});  // read from the bitmap itself
    EXPECT_EQ(moved.pixel(80, 60), qRgb(255, 255, 255));
}

TEST(DibPainterTest, CopiesStayWithinAThirdOfTheBitmapAtEveryReduction) {
    std::vector<std::uint32_t> twoColours = {0x000000, 0xFFFFFF};
    for (int bitCount : {24, 8, 1}) {
        SCOPED_TRACE(bitCount);
        HandMadeDib dib(3000, 2000, bitCount, SPI_BI_RGB, bitCount == 24 ? std::vector<std::uint32_t>{} : twoColours);
        for (std::size_t i = 0; i < dib.bits.size(); ++i) dib.bits[i] = std::uint8_t(i % 7 == 0 ? 0xFF : 0);
        const auto view = TDibView::Create(dib.Header(), dib.bits.data());
        TDibPainter painter(*view);
        const QRect whole(0, 0, 3000, 2000);
        for (int width : {600, 300, 100, 40, 700, 90}) {
            const QRect destination(0, 0, width, width * 2 / 3);
            QImage target(destination.size(), QImage::Format_RGB32);
            QPainter canvas(&target);
            painter.DrawAveraged(canvas, destination, whole);
            EXPECT_LE(painter.CacheBytes(), view->ImageBytes() / 3) << width;
            ASSERT_TRUE(ProcessEventsUntil([&] { return !painter.CopiesPending(); }));
            EXPECT_LE(painter.CacheBytes(), view->ImageBytes() / 3) << width;
        }
        if (bitCount == 24) {
            EXPECT_GT(painter.CacheBytes(), 0u);
        }
    }
}

TEST(DibPainterTest, APainterGoneWhileItsCopyIsBuiltLeavesNoWorkBehind) {
    PhotoDib photo(3000, 2000);
    bool reported = false;
    {
        TDibPainter painter(*photo.view);
        painter.OnCopiesReady = [&] { reported = true; };
        QImage target(100, 66, QImage::Format_RGB32);
        QPainter canvas(&target);
        painter.DrawAveraged(canvas, QRect(0, 0, 100, 66), QRect(0, 0, 3000, 2000));
        EXPECT_TRUE(painter.CopiesPending());
    }
    // The bitmap goes right after its painter, as when an image is closed.
    photo.view.reset();
    photo.dib.bits = {};
    ProcessEventsFor(std::chrono::milliseconds(200));
    EXPECT_FALSE(reported);
}

}  // namespace
