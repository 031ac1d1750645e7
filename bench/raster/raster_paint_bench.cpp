// The raster view's repaint of a 12000 x 9000 24-bit bitmap into a
// 1920 x 1080 client, side by side with what Qt does on an image that is
// already converted to its own 32-bit format (Qt's fastest case):
//   nearest stretch of the whole image and of a 4x zoom into its middle
//   against QPainter::drawImage (no smooth transformation);
//   the first averaged paint of the whole image after a load (the reduced
//   copy built inside the timed region, the nearest picture standing in
//   meanwhile, then the averaged picture drawn) against
//   QImage::scaled(..., Qt::SmoothTransformation) drawn onto the client;
//   and from the 24-bit image as a program holds it (Format_RGB888);
//   the reduced copy built alone against reading the bitmap once with
//   both threads, the least any averaging of it costs;
//   the repaint of an unchanged view against drawing an already scaled
//   image, with the mean absolute difference of the two results.
// Wall time and the CPU time of all threads; medians of the repetitions.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <emmintrin.h>
#include <memory>
#include <string>
#include <vector>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include "bench_report.h"
#include "raster/dib_painter.h"
#include "raster/dib_view.h"
#include "raster/pool_bands.h"
#include "raster/reduced_copy.h"

namespace {

constexpr int kImageWidth = 12000;
constexpr int kImageHeight = 9000;
const QSize kClient(1920, 1080);

// A bitmap as a plug-in returns it, with photograph-like content: smooth
// shading, some structure and fine noise.
struct Bitmap {
    SPI_BITMAPINFOHEADER header{};
    std::vector<std::uint8_t> bits;

    Bitmap() {
        header.biSize = sizeof header;
        header.biWidth = kImageWidth;
        header.biHeight = kImageHeight;
        header.biPlanes = 1;
        header.biBitCount = 24;
        const std::size_t stride = SPI_DibStride(kImageWidth, 24);
        bits.resize(stride * kImageHeight);
        std::vector<float> waveX(kImageWidth), waveY(kImageHeight);
        for (int x = 0; x < kImageWidth; ++x) waveX[x] = float(std::sin(x / 53.0));
        for (int y = 0; y < kImageHeight; ++y) waveY[y] = float(std::cos(y / 71.0));
        std::uint32_t noise = 12345;
        for (int y = 0; y < kImageHeight; ++y) {
            std::uint8_t* row = bits.data() + stride * std::size_t(kImageHeight - 1 - y);
            for (int x = 0; x < kImageWidth; ++x) {
                noise = noise * 1664525u + 1013904223u;
                const int grain = int(noise >> 28) - 8;
                const float shade = 60.0f * waveX[x] * waveY[y];
                row[3 * x + 0] = std::uint8_t(std::clamp(int(40 + 160 * x / kImageWidth + shade) + grain, 0, 255));
                row[3 * x + 1] = std::uint8_t(std::clamp(int(128 + shade) + grain, 0, 255));
                row[3 * x + 2] = std::uint8_t(std::clamp(int(40 + 160 * y / kImageHeight - shade) + grain, 0, 255));
            }
        }
    }

    // The same pixels in Qt's 32-bit format.
    QImage Converted() const {
        QImage image(kImageWidth, kImageHeight, QImage::Format_RGB32);
        auto view = TDibView::Create(&header, bits.data());
        for (int y = 0; y < kImageHeight; ++y)
            view->ReadRow(y, 0, kImageWidth, reinterpret_cast<std::uint32_t*>(image.scanLine(y)));
        return image;
    }
};

// Where the view puts the whole image: proportions kept, centred.
QRect WholeImageDisplay() {
    const double scale = std::min(double(kClient.width()) / kImageWidth, double(kClient.height()) / kImageHeight);
    const int w = int(std::lround(kImageWidth * scale));
    const int h = int(std::lround(kImageHeight * scale));
    return QRect((kClient.width() - w) / 2, (kClient.height() - h) / 2, w, h);
}

// Four screen pixels per image pixel, about the middle of the image.
QRect ZoomedSource() {
    const QSize size(kClient.width() / 4, kClient.height() / 4);
    return QRect(QPoint((kImageWidth - size.width()) / 2, (kImageHeight - size.height()) / 2), size);
}

struct Fixture {
    Bitmap bitmap;
    QImage converted = bitmap.Converted();
    QImage packed = converted.convertToFormat(QImage::Format_RGB888);
    std::unique_ptr<TDibView> view = TDibView::Create(&bitmap.header, bitmap.bits.data());
    TDibPainter painter{*view};
    QImage client{kClient, QImage::Format_RGB32};
    QImage scaled = converted.scaled(WholeImageDisplay().size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
};

Fixture* fixture = nullptr;
const QRect kWhole(0, 0, kImageWidth, kImageHeight);

void OursNearest(benchmark::State& state, QRect destination, QRect source) {
    for (auto _ : state) {
        QPainter canvas(&fixture->client);
        fixture->painter.DrawNearest(canvas, destination, source);
        canvas.end();
        benchmark::DoNotOptimize(fixture->client.constBits());
    }
}

void QtNearest(benchmark::State& state, QRect destination, QRect source) {
    for (auto _ : state) {
        QPainter canvas(&fixture->client);
        canvas.drawImage(destination, fixture->converted, source);
        canvas.end();
        benchmark::DoNotOptimize(fixture->client.constBits());
    }
}

// Draws the averaged whole image with painter until the averaged picture
// is on the client, letting the event loop run while the copy is built as
// the view does. Returns the milliseconds until the first picture showed.
double PaintAveraged(TDibPainter& painter) {
    QElapsedTimer shown;
    shown.start();
    {
        QPainter canvas(&fixture->client);
        painter.DrawAveraged(canvas, WholeImageDisplay(), kWhole);
    }
    const double firstPicture = shown.nsecsElapsed() / 1e6;
    if (painter.CopiesPending()) {
        QEventLoop loop;
        painter.OnCopiesReady = [&] { loop.quit(); };
        loop.exec();
        painter.OnCopiesReady = nullptr;
        QPainter canvas(&fixture->client);
        painter.DrawAveraged(canvas, WholeImageDisplay(), kWhole);
    }
    return firstPicture;
}

// A fresh painter per iteration, as after loading the image: nothing of
// an earlier drawing is at hand.
void OursFirstAveraged(benchmark::State& state) {
    double firstPicture = 0;
    for (auto _ : state) {
        TDibPainter painter(*fixture->view);
        firstPicture += PaintAveraged(painter);
        benchmark::DoNotOptimize(fixture->client.constBits());
    }
    state.counters["first_picture_ms"] = benchmark::Counter(firstPicture, benchmark::Counter::kAvgIterations);
}

void QtSmooth(benchmark::State& state, const QImage* image) {
    const QRect destination = WholeImageDisplay();
    for (auto _ : state) {
        const QImage scaled = image->scaled(destination.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        QPainter canvas(&fixture->client);
        canvas.drawImage(destination.topLeft(), scaled);
        canvas.end();
        benchmark::DoNotOptimize(fixture->client.constBits());
    }
}

// The reduced copy alone, built as the painter builds it (the pool and
// this thread), beside the least any averaging of the whole bitmap costs:
// reading it once with both threads.
void OursCopyBuild(benchmark::State& state) {
    const int shift = 3;
    for (auto _ : state) {
        QObject context;
        bool ready = false;
        TReducedCopyBuilder builder(*fixture->view, nullptr, shift, &context, [&] { ready = true; });
        builder.Help();
        while (!ready) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        benchmark::DoNotOptimize(builder.Take().Bgr.data());
    }
}

// In the order of memory, in bands of whole cache lines.
void ReadBitmapOnce(benchmark::State& state) {
    const std::vector<std::uint8_t>& bits = fixture->bitmap.bits;
    constexpr int kBands = 256;
    const std::size_t bandBytes = (bits.size() / kBands + 63) / 64 * 64;
    for (auto _ : state) {
        std::atomic<std::uint64_t> total{0};
        RunInBands(kBands, kBands, [&](int first, int count) {
            const std::size_t begin = std::size_t(first) * bandBytes;
            const std::size_t end = std::min(bits.size(), std::size_t(first + count) * bandBytes) / 16 * 16;
            __m128i sum = _mm_setzero_si128();
            for (std::size_t i = begin; i < end; i += 16) {
                const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bits.data() + i));
                sum = _mm_add_epi64(sum, _mm_sad_epu8(bytes, _mm_setzero_si128()));
            }
            total += std::uint64_t(_mm_cvtsi128_si64(sum));
        });
        benchmark::DoNotOptimize(total.load());
    }
}

void OursRepaint(benchmark::State& state) {
    PaintAveraged(fixture->painter);
    for (auto _ : state) {
        QPainter canvas(&fixture->client);
        fixture->painter.DrawAveraged(canvas, WholeImageDisplay(), kWhole);
        canvas.end();
        benchmark::DoNotOptimize(fixture->client.constBits());
    }
}

void QtRepaint(benchmark::State& state) {
    const QRect destination = WholeImageDisplay();
    for (auto _ : state) {
        QPainter canvas(&fixture->client);
        canvas.drawImage(destination.topLeft(), fixture->scaled);
        canvas.end();
        benchmark::DoNotOptimize(fixture->client.constBits());
    }
}

double MeanAbsoluteDifference() {
    const QRect destination = WholeImageDisplay();
    PaintAveraged(fixture->painter);
    const QImage ours = fixture->client.copy(destination);
    double sum = 0;
    for (int y = 0; y < destination.height(); ++y) {
        for (int x = 0; x < destination.width(); ++x) {
            const QRgb a = ours.pixel(x, y);
            const QRgb b = fixture->scaled.pixel(x, y);
            sum += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
        }
    }
    return sum / (3.0 * destination.width() * destination.height());
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    bench_report::Initialize(argc, argv, 5);
    Fixture data;
    fixture = &data;

    using bench_report::Timed;
    const QRect client(QPoint(0, 0), kClient);
    Timed(benchmark::RegisterBenchmark("nearest/whole/ours", OursNearest, WholeImageDisplay(), kWhole));
    Timed(benchmark::RegisterBenchmark("nearest/whole/qt", QtNearest, WholeImageDisplay(), kWhole));
    Timed(benchmark::RegisterBenchmark("nearest/zoom4/ours", OursNearest, client, ZoomedSource()));
    Timed(benchmark::RegisterBenchmark("nearest/zoom4/qt", QtNearest, client, ZoomedSource()));
    Timed(benchmark::RegisterBenchmark("averaged/first-paint/ours", OursFirstAveraged));
    Timed(benchmark::RegisterBenchmark("averaged/first-paint/qt-rgb32", QtSmooth, &data.converted));
    Timed(benchmark::RegisterBenchmark("averaged/first-paint/qt-rgb888", QtSmooth, &data.packed));
    Timed(benchmark::RegisterBenchmark("averaged/copy-build/ours", OursCopyBuild));
    Timed(benchmark::RegisterBenchmark("averaged/copy-build/read-bitmap-once", ReadBitmapOnce));
    Timed(benchmark::RegisterBenchmark("averaged/repaint/ours", OursRepaint));
    Timed(benchmark::RegisterBenchmark("averaged/repaint/qt", QtRepaint));

    bench_report::RecordingReporter reporter;
    bench_report::Run(&reporter);

    reporter.PrintMedians();
    std::printf("\n");
    reporter.PrintRatio("nearest whole image: ours / qt", "nearest/whole/ours", "nearest/whole/qt", 1.0);
    reporter.PrintRatio("nearest 4x zoom: ours / qt", "nearest/zoom4/ours", "nearest/zoom4/qt", 1.0);
    reporter.PrintRatio("first averaged paint: ours / qt smooth (rgb32)", "averaged/first-paint/ours",
                        "averaged/first-paint/qt-rgb32", 1.0);
    reporter.PrintRatio("first averaged paint: ours / qt smooth (rgb888)", "averaged/first-paint/ours",
                        "averaged/first-paint/qt-rgb888", 1.0);
    reporter.PrintRatio("reduced copy alone: ours / reading the bitmap once", "averaged/copy-build/ours",
                        "averaged/copy-build/read-bitmap-once", 2.0);
    reporter.PrintRatio("unchanged repaint: ours / qt drawImage", "averaged/repaint/ours", "averaged/repaint/qt",
                        2.0);
    std::printf("averaged: mean absolute difference from Qt's smooth scaling %.3f levels per channel (target < 2)\n",
                MeanAbsoluteDifference());
    std::printf("reduced copies: %.2f MB, %.4f of the bitmap (%.1f MB, %d x %d); kept picture %.2f MB\n",
                data.painter.CacheBytes() / 1e6, double(data.painter.CacheBytes()) / data.view->ImageBytes(),
                data.view->ImageBytes() / 1e6, data.view->Width(), data.view->Height(),
                data.painter.ResultBytes() / 1e6);
    return 0;
}
