// The raster view's repaint of a 12000 x 9000 24-bit bitmap into a
// 1920 x 1080 client, side by side with what Qt does on an image that is
// already converted to its own format:
//   nearest stretch of the whole image and of a 4x zoom into its middle
//   against QPainter::drawImage (no smooth transformation);
//   area-averaged reduction of the whole image against
//   QImage::scaled(..., Qt::SmoothTransformation), with the mean absolute
//   difference of the two results.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include "raster/dib_painter.h"
#include "raster/dib_view.h"

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
    std::unique_ptr<TDibView> view = TDibView::Create(&bitmap.header, bitmap.bits.data());
    TDibPainter painter{*view};
    QImage client{kClient, QImage::Format_RGB32};
};

Fixture* fixture = nullptr;

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

void OursAveraged(benchmark::State& state) {
    const QRect destination = WholeImageDisplay();
    for (auto _ : state) {
        QPainter canvas(&fixture->client);
        fixture->painter.DrawAveraged(canvas, destination, QRect(0, 0, kImageWidth, kImageHeight));
        canvas.end();
        benchmark::DoNotOptimize(fixture->client.constBits());
    }
}

void QtSmooth(benchmark::State& state) {
    const QSize size = WholeImageDisplay().size();
    for (auto _ : state) {
        QImage scaled = fixture->converted.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        benchmark::DoNotOptimize(scaled.constBits());
    }
}

// Keeps the real time of every run by name.
class TimeKeeper : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        // With repetitions the median stands for the benchmark.
        for (const auto& run : runs) {
            if (run.run_type == Run::RT_Iteration && !medians.contains(run.run_name.str()))
                times[run.run_name.str()] = run.GetAdjustedRealTime();
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                times[run.run_name.str()] = run.GetAdjustedRealTime();
                medians.insert(run.run_name.str());
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
    std::set<std::string> medians;
};

double MeanAbsoluteDifference() {
    const QRect destination = WholeImageDisplay();
    QImage ours(kClient, QImage::Format_RGB32);
    QPainter canvas(&ours);
    fixture->painter.DrawAveraged(canvas, destination, QRect(0, 0, kImageWidth, kImageHeight));
    canvas.end();
    const QImage reference =
        fixture->converted.scaled(destination.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    double sum = 0;
    for (int y = 0; y < destination.height(); ++y) {
        for (int x = 0; x < destination.width(); ++x) {
            const QRgb a = ours.pixel(destination.left() + x, destination.top() + y);
            const QRgb b = reference.pixel(x, y);
            sum += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
        }
    }
    return sum / (3.0 * destination.width() * destination.height());
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    Fixture data;
    fixture = &data;

    QElapsedTimer cacheTimer;
    cacheTimer.start();
    {
        // The first averaged drawing of a reduction builds the reduced copies.
        QPainter canvas(&data.client);
        data.painter.DrawAveraged(canvas, WholeImageDisplay(), QRect(0, 0, kImageWidth, kImageHeight));
    }
    const qint64 cacheMs = cacheTimer.elapsed();

    const QRect whole(0, 0, kImageWidth, kImageHeight);
    const QRect client(QPoint(0, 0), kClient);
    benchmark::RegisterBenchmark("nearest/whole/ours", OursNearest, WholeImageDisplay(), whole)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("nearest/whole/qt", QtNearest, WholeImageDisplay(), whole)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("nearest/zoom4/ours", OursNearest, client, ZoomedSource())->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("nearest/zoom4/qt", QtNearest, client, ZoomedSource())->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("averaged/whole/ours", OursAveraged)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("averaged/whole/qt", QtSmooth)->Unit(benchmark::kMillisecond);

    TimeKeeper keeper;
    benchmark::RunSpecifiedBenchmarks(&keeper);
    benchmark::Shutdown();

    auto ratio = [&](const char* ours, const char* qt) {
        const auto a = keeper.times.find(ours);
        const auto b = keeper.times.find(qt);
        if (a == keeper.times.end() || b == keeper.times.end() || b->second == 0) return;
        std::printf("%-22s ours / qt = %.3f\n", ours, a->second / b->second);
    };
    std::printf("\n");
    ratio("nearest/whole/ours", "nearest/whole/qt");
    ratio("nearest/zoom4/ours", "nearest/zoom4/qt");
    ratio("averaged/whole/ours", "averaged/whole/qt");
    std::printf("averaged: mean absolute difference from Qt's smooth scaling %.3f levels per channel\n",
                MeanAbsoluteDifference());
    std::printf("reduced copies: %.1f MB (bitmap %.1f MB), built in %lld ms at the first averaged drawing\n",
                data.painter.CacheBytes() / 1e6, data.view->ImageBytes() / 1e6, static_cast<long long>(cacheMs));
    return 0;
}
