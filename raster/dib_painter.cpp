#include "raster/dib_painter.h"

#include <algorithm>
#include <cmath>

#include <QPaintEngine>
#include <QPainter>

#include "raster/dib_view.h"

namespace {

// Rows per strip: bounds the temporary image when a page is printed.
constexpr int kStripRows = 256;
// Fixed-point weights: the weights of one column (or row) add up to this.
constexpr int kWeightBits = 12;
constexpr std::uint32_t kWeightOne = 1u << kWeightBits;

// The part of destination that can reach the device: inside the clip and
// the update region of the paint event.
QRect VisibleArea(QPainter& canvas, const QRect& destination) {
    QRect area = destination;
    if (canvas.hasClipping()) area &= canvas.clipBoundingRect().toAlignedRect();
    const QTransform toDevice = canvas.deviceTransform();
    if (toDevice.type() <= QTransform::TxTranslate) {
        const QPoint offset(qRound(toDevice.dx()), qRound(toDevice.dy()));
        if (QPaintDevice* device = canvas.device())
            area &= QRect(QPoint(0, 0), QSize(device->width(), device->height()));
        if (QPaintEngine* engine = canvas.paintEngine()) {
            const QRegion system = engine->systemClip();
            if (!system.isEmpty()) area &= system.boundingRect().translated(-offset);
        }
    }
    return area;
}

// For each destination index from first on (count of them), the source
// index under its centre: source start + floor((i + 1/2) * sourceCount /
// destinationCount), kept inside the image.
std::vector<int> NearestIndices(int first, int count, int destinationStart, int destinationCount,
                                int sourceStart, int sourceCount, int limit) {
    std::vector<int> indices(static_cast<std::size_t>(std::max(count, 0)));
    const std::int64_t denominator = 2 * std::int64_t(std::max(destinationCount, 1));
    for (int i = 0; i < count; ++i) {
        const std::int64_t position = first + i - destinationStart;
        const std::int64_t offset = (2 * position + 1) * sourceCount / denominator;
        indices[std::size_t(i)] = std::clamp(int(sourceStart + offset), 0, limit - 1);
    }
    return indices;
}

// Fills rows of a 32-bit image: line l gets source row rows[firstRow + l].
void FillNearest(const TDibView& dib, const std::vector<int>& columns, const std::vector<int>& rows,
                 int firstRow, int rowCount, QImage& image) {
    const int width = static_cast<int>(columns.size());
    const int* xs = columns.data();
    dib_pixel::VisitFormat(dib, [&](auto reader) {
        using Reader = decltype(reader);
        for (int line = 0; line < rowCount; ++line) {
            const std::uint8_t* source = dib.Row(rows[std::size_t(firstRow + line)]);
            auto* target = reinterpret_cast<std::uint32_t*>(image.scanLine(line));
            for (int i = 0; i < width; ++i) target[i] = Reader::Get(dib, source, xs[i]);
        }
    });
}

}  // namespace

TDibPainter::TDibPainter(const TDibView& dib) : dib_(dib) {}

TDibPainter::~TDibPainter() = default;

std::size_t TDibPainter::CacheBytes() const {
    std::size_t bytes = 0;
    for (const auto& level : levels_) bytes += level.rgb.size();
    return bytes;
}

void TDibPainter::DrawNearest(QPainter& canvas, const QRect& destination, const QRect& source) {
    const QRect area = VisibleArea(canvas, destination);
    if (area.isEmpty() || source.isEmpty()) return;
    const std::vector<int> columns =
        NearestIndices(area.left(), area.width(), destination.left(), destination.width(), source.left(),
                       source.width(), dib_.Width());
    const std::vector<int> rows = NearestIndices(area.top(), area.height(), destination.top(),
                                                 destination.height(), source.top(), source.height(),
                                                 dib_.Height());
    const int stripRows = std::min(area.height(), kStripRows);
    if (buffer_.width() != area.width() || buffer_.height() < stripRows)
        buffer_ = QImage(area.width(), stripRows, QImage::Format_RGB32);
    for (int first = 0; first < area.height(); first += stripRows) {
        const int count = std::min(stripRows, area.height() - first);
        FillNearest(dib_, columns, rows, first, count, buffer_);
        canvas.drawImage(QPoint(area.left(), area.top() + first), buffer_, QRect(0, 0, area.width(), count));
    }
}

QImage TDibPainter::StretchNearest(const QSize& size, const QRect& source) const {
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull() || source.isEmpty()) return image;
    const std::vector<int> columns =
        NearestIndices(0, size.width(), 0, size.width(), source.left(), source.width(), dib_.Width());
    const std::vector<int> rows =
        NearestIndices(0, size.height(), 0, size.height(), source.top(), source.height(), dib_.Height());
    FillNearest(dib_, columns, rows, 0, size.height(), image);
    return image;
}

// --- Area averaging -----------------------------------------------------

void TDibPainter::BuildLevels() {
    levelsBuilt_ = true;
    // The copies together may take a third of the bitmap's memory. Start
    // at a reduction by 4: reductions by less read the bitmap itself.
    const std::size_t budget = dib_.ImageBytes() / 3;
    auto levelBytes = [&](int shift) {
        const std::size_t w = (std::size_t(dib_.Width()) + (std::size_t(1) << shift) - 1) >> shift;
        const std::size_t h = (std::size_t(dib_.Height()) + (std::size_t(1) << shift) - 1) >> shift;
        return w * h * 3;
    };
    int shift = 2;
    // The series of quarter sizes adds a third to the first level.
    while (shift < 30 && levelBytes(shift) + levelBytes(shift) / 3 > budget) ++shift;
    std::size_t used = 0;
    for (; shift < 30; ++shift) {
        const std::size_t bytes = levelBytes(shift);
        if (used + bytes > budget) break;
        TLevel level;
        level.shift = shift;
        level.width = int((std::int64_t(dib_.Width()) + (std::int64_t(1) << shift) - 1) >> shift);
        level.height = int((std::int64_t(dib_.Height()) + (std::int64_t(1) << shift) - 1) >> shift);
        level.rgb.resize(bytes);
        if (levels_.empty())
            BuildFirstLevel(level);
        else
            BuildHalfLevel(levels_.back(), level);
        used += bytes;
        levels_.push_back(std::move(level));
        // Smaller copies than a small window would not save anything.
        if (levels_.back().width <= 64 && levels_.back().height <= 64) break;
    }
}

void TDibPainter::BuildFirstLevel(TLevel& level) const {
    const int shift = level.shift;
    const int blockSize = 1 << shift;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(dib_.Width()));
    std::vector<std::uint32_t> sums(std::size_t(level.width) * 3);
    for (int y = 0; y < level.height; ++y) {
        std::fill(sums.begin(), sums.end(), 0u);
        const int top = y << shift;
        const int rows = std::min(blockSize, dib_.Height() - top);
        for (int row = top; row < top + rows; ++row) {
            dib_.ReadRow(row, 0, dib_.Width(), pixels.data());
            for (int x = 0; x < dib_.Width(); ++x) {
                const std::uint32_t color = pixels[std::size_t(x)];
                std::uint32_t* sum = &sums[std::size_t(x >> shift) * 3];
                sum[0] += (color >> 16) & 0xFF;
                sum[1] += (color >> 8) & 0xFF;
                sum[2] += color & 0xFF;
            }
        }
        std::uint8_t* out = level.rgb.data() + std::size_t(y) * std::size_t(level.width) * 3;
        for (int x = 0; x < level.width; ++x) {
            const int columns = std::min(blockSize, dib_.Width() - (x << shift));
            const std::uint32_t area = std::uint32_t(columns * rows);
            for (int c = 0; c < 3; ++c)
                out[3 * x + c] = std::uint8_t((sums[std::size_t(x) * 3 + c] + area / 2) / area);
        }
    }
}

void TDibPainter::BuildHalfLevel(const TLevel& from, TLevel& level) {
    for (int y = 0; y < level.height; ++y) {
        const int y0 = 2 * y;
        const int y1 = std::min(y0 + 1, from.height - 1);
        const std::uint8_t* upper = from.Row(y0);
        const std::uint8_t* lower = from.Row(y1);
        std::uint8_t* out = level.rgb.data() + std::size_t(y) * std::size_t(level.width) * 3;
        for (int x = 0; x < level.width; ++x) {
            const int x0 = 2 * x;
            const int x1 = std::min(x0 + 1, from.width - 1);
            for (int c = 0; c < 3; ++c) {
                const unsigned sum = upper[3 * x0 + c] + upper[3 * x1 + c] + lower[3 * x0 + c] + lower[3 * x1 + c];
                out[3 * x + c] = std::uint8_t((sum + 2) / 4);
            }
        }
    }
}

const TDibPainter::TLevel* TDibPainter::LevelFor(double reduction) {
    if (reduction < 4) return nullptr;
    if (!levelsBuilt_) BuildLevels();
    const TLevel* chosen = nullptr;
    for (const auto& level : levels_)
        if (double(1 << level.shift) <= reduction) chosen = &level;
    return chosen;
}

TDibPainter::TTaps TDibPainter::MakeTaps(double start, double scale, int count, int limit) {
    TTaps taps;
    taps.maxCount = std::max(1, int(std::ceil(scale)) + 1);
    taps.first.resize(std::size_t(count));
    taps.count.resize(std::size_t(count));
    taps.weights.assign(std::size_t(count) * std::size_t(taps.maxCount), 0);
    for (int i = 0; i < count; ++i) {
        double a = std::clamp(start + i * scale, 0.0, double(limit));
        double b = std::clamp(a + scale, 0.0, double(limit));
        if (b - a < 1e-9) {
            // Past the last source pixel: repeat the nearest one.
            a = std::min(std::floor(a), double(limit - 1));
            b = a + 1;
        }
        const int j0 = int(std::floor(a));
        const int j1 = std::min(int(std::ceil(b)), limit);
        const int n = std::min(j1 - j0, taps.maxCount);
        std::uint16_t* weights = &taps.weights[std::size_t(i) * std::size_t(taps.maxCount)];
        std::uint32_t total = 0;
        int heaviest = 0;
        for (int k = 0; k < n; ++k) {
            const double overlap = std::min(b, double(j0 + k + 1)) - std::max(a, double(j0 + k));
            weights[k] = std::uint16_t(std::lround(std::max(overlap, 0.0) / (b - a) * kWeightOne));
            total += weights[k];
            if (weights[k] > weights[heaviest]) heaviest = k;
        }
        // Exact unit sum keeps flat areas flat and the sums in range.
        weights[heaviest] = std::uint16_t(weights[heaviest] + kWeightOne - total);
        taps.first[std::size_t(i)] = j0;
        taps.count[std::size_t(i)] = n;
    }
    return taps;
}

void TDibPainter::FilterRow(const TLevel* level, int row, const TTaps& columns, std::uint32_t* sums) const {
    const int width = int(columns.first.size());
    const int stride = columns.maxCount;
    if (level != nullptr) {
        const std::uint8_t* source = level->Row(row);
        for (int i = 0; i < width; ++i) {
            const std::uint16_t* weights = &columns.weights[std::size_t(i) * std::size_t(stride)];
            const std::uint8_t* p = source + 3 * std::size_t(columns.first[std::size_t(i)]);
            std::uint32_t r = 0, g = 0, b = 0;
            for (int k = 0; k < columns.count[std::size_t(i)]; ++k, p += 3) {
                r += weights[k] * p[0];
                g += weights[k] * p[1];
                b += weights[k] * p[2];
            }
            sums[3 * i] = r;
            sums[3 * i + 1] = g;
            sums[3 * i + 2] = b;
        }
        return;
    }
    const std::uint8_t* source = dib_.Row(row);
    dib_pixel::VisitFormat(dib_, [&](auto reader) {
        using Reader = decltype(reader);
        for (int i = 0; i < width; ++i) {
            const std::uint16_t* weights = &columns.weights[std::size_t(i) * std::size_t(stride)];
            const int first = columns.first[std::size_t(i)];
            std::uint32_t r = 0, g = 0, b = 0;
            for (int k = 0; k < columns.count[std::size_t(i)]; ++k) {
                const std::uint32_t color = Reader::Get(dib_, source, first + k);
                r += weights[k] * ((color >> 16) & 0xFF);
                g += weights[k] * ((color >> 8) & 0xFF);
                b += weights[k] * (color & 0xFF);
            }
            sums[3 * i] = r;
            sums[3 * i + 1] = g;
            sums[3 * i + 2] = b;
        }
    });
}

void TDibPainter::DrawAveraged(QPainter& canvas, const QRect& destination, const QRect& source) {
    const QRect area = VisibleArea(canvas, destination);
    if (area.isEmpty() || source.isEmpty()) return;
    const double reductionX = double(source.width()) / destination.width();
    const double reductionY = double(source.height()) / destination.height();
    const TLevel* level = LevelFor(std::min(reductionX, reductionY));
    const double unit = level != nullptr ? double(1 << level->shift) : 1.0;
    const int limitX = level != nullptr ? level->width : dib_.Width();
    const int limitY = level != nullptr ? level->height : dib_.Height();

    const TTaps columns = MakeTaps((source.left() + (area.left() - destination.left()) * reductionX) / unit,
                                   reductionX / unit, area.width(), limitX);
    const TTaps rows = MakeTaps((source.top() + (area.top() - destination.top()) * reductionY) / unit,
                                reductionY / unit, area.height(), limitY);

    // Horizontally filtered source rows, reused by neighbouring lines.
    const int slotCount = rows.maxCount + 1;
    std::vector<std::uint32_t> filtered(std::size_t(slotCount) * std::size_t(area.width()) * 3);
    std::vector<int> slotRow(std::size_t(slotCount), -1);
    auto filteredRow = [&](int row) {
        const std::size_t slot = std::size_t(row % slotCount);
        std::uint32_t* sums = &filtered[slot * std::size_t(area.width()) * 3];
        if (slotRow[slot] != row) {
            FilterRow(level, row, columns, sums);
            slotRow[slot] = row;
        }
        return sums;
    };

    const int stripRows = std::min(area.height(), kStripRows);
    if (buffer_.width() != area.width() || buffer_.height() < stripRows)
        buffer_ = QImage(area.width(), stripRows, QImage::Format_RGB32);
    std::vector<std::uint32_t> accumulator(std::size_t(area.width()) * 3);
    for (int first = 0; first < area.height(); first += stripRows) {
        const int count = std::min(stripRows, area.height() - first);
        for (int line = 0; line < count; ++line) {
            const std::size_t y = std::size_t(first + line);
            std::fill(accumulator.begin(), accumulator.end(), 0u);
            const std::uint16_t* weights = &rows.weights[y * std::size_t(rows.maxCount)];
            for (int k = 0; k < rows.count[y]; ++k) {
                const std::uint32_t* sums = filteredRow(rows.first[y] + k);
                const std::uint32_t weight = weights[k];
                for (std::size_t i = 0; i < accumulator.size(); ++i) accumulator[i] += weight * sums[i];
            }
            auto* target = reinterpret_cast<std::uint32_t*>(buffer_.scanLine(line));
            constexpr std::uint32_t half = 1u << (2 * kWeightBits - 1);
            for (int i = 0; i < area.width(); ++i) {
                const std::uint32_t r = (accumulator[3 * std::size_t(i)] + half) >> (2 * kWeightBits);
                const std::uint32_t g = (accumulator[3 * std::size_t(i) + 1] + half) >> (2 * kWeightBits);
                const std::uint32_t b = (accumulator[3 * std::size_t(i) + 2] + half) >> (2 * kWeightBits);
                target[i] = 0xFF000000u | (r << 16) | (g << 8) | b;
            }
        }
        canvas.drawImage(QPoint(area.left(), area.top() + first), buffer_, QRect(0, 0, area.width(), count));
    }
}
