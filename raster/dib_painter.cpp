#include "raster/dib_painter.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <utility>
#include <system_error>
#include <thread>

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

// The hot loop of the most common format: one unaligned four-byte load
// per pixel where the row allows it.
static_assert(std::endian::native == std::endian::little, "pixels are read as little-endian words");

// next: the source row of the following line, fetched meanwhile so that a
// reduced image does not wait for memory row by row.
void SampleBgr24(const std::uint8_t* source, const std::uint8_t* next, const int* xs, int width, int safe,
                 std::uint32_t* target) {
    // Columns are ascending: the ones past safe are at the end.
    int wide = width;
    while (wide > 0 && xs[wide - 1] > safe) --wide;
    int i = 0;
    // Two samples span at most one cache line of the next row when the
    // image is reduced, so one prefetch serves both.
    for (; i + 1 < wide; i += 2) {
        __builtin_prefetch(next + 3 * std::size_t(xs[i]));
        std::uint32_t first, second;
        std::memcpy(&first, source + 3 * std::size_t(xs[i]), 4);
        std::memcpy(&second, source + 3 * std::size_t(xs[i + 1]), 4);
        target[i] = first | 0xFF000000u;
        target[i + 1] = second | 0xFF000000u;
    }
    for (; i < width; ++i) {
        const std::uint8_t* p = source + 3 * std::size_t(xs[i]);
        target[i] = 0xFF000000u | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[1]) << 8) | p[0];
    }
}

// Writes destination lines: line l (a pointer from lineAt) shows source
// row rows[firstRow + l] sampled at columns. A line that shows the same
// source row as the one before it is copied.
template <class LineAt>
void FillNearest(const TDibView& dib, const std::vector<int>& columns, const std::vector<int>& rows,
                 int firstRow, int rowCount, LineAt&& lineAt) {
    const int width = static_cast<int>(columns.size());
    const int* xs = columns.data();
    // Columns up to here can be read as four bytes without leaving the row.
    const int safe24 = int((std::int64_t(dib.Stride()) - 4) / 3);
    std::uint32_t* previous = nullptr;
    dib_pixel::VisitFormat(dib, [&](auto reader) {
        using Reader = decltype(reader);
        for (int line = 0; line < rowCount; ++line) {
            std::uint32_t* target = lineAt(line);
            const int row = rows[std::size_t(firstRow + line)];
            if (previous != nullptr && row == rows[std::size_t(firstRow + line - 1)]) {
                std::memcpy(target, previous, std::size_t(width) * 4);
            } else if constexpr (std::is_same_v<Reader, dib_pixel::TBgr24>) {
                const int following = line + 1 < rowCount ? rows[std::size_t(firstRow + line + 1)] : row;
                SampleBgr24(dib.Row(row), dib.Row(following), xs, width, safe24, target);
            } else {
                const std::uint8_t* source = dib.Row(row);
                for (int i = 0; i < width; ++i) target[i] = Reader::Get(dib, source, xs[i]);
            }
            previous = target;
        }
    });
}

// The 32-bit image under the canvas when the stretch may write into it
// directly: a raster engine on an image, a plain translation, full
// opacity. region: where writes may go, in the image's coordinates.
struct TDirectTarget {
    QImage* image = nullptr;
    QPoint offset;
    QRegion region;
};

bool FindDirectTarget(QPainter& canvas, const QRect& area, TDirectTarget& target) {
    QPaintEngine* engine = canvas.paintEngine();
    if (engine == nullptr || engine->type() != QPaintEngine::Raster) return false;
    QPaintDevice* device = engine->paintDevice();
    if (device == nullptr || device->devType() != QInternal::Image) return false;
    auto* image = static_cast<QImage*>(device);
    const QImage::Format format = image->format();
    if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32 &&
        format != QImage::Format_ARGB32_Premultiplied)
        return false;
    const QTransform toDevice = canvas.deviceTransform();
    if (toDevice.type() > QTransform::TxTranslate || canvas.opacity() < 1.0 ||
        canvas.compositionMode() != QPainter::CompositionMode_SourceOver)
        return false;
    const QPoint offset(qRound(toDevice.dx()), qRound(toDevice.dy()));
    if (offset.x() != toDevice.dx() || offset.y() != toDevice.dy()) return false;
    QRegion region = QRegion(area.translated(offset)) & QRect(QPoint(0, 0), image->size());
    if (!engine->systemClip().isEmpty()) region &= engine->systemClip();
    if (canvas.hasClipping()) region &= canvas.clipRegion().translated(offset);
    target = TDirectTarget{image, offset, region};
    return true;
}

// Runs work(first line, line count) over the lines of an area; a large
// area is split in two halves that run at the same time, since a reduced
// image keeps one core waiting for memory most of the time.
template <class Work>
void InHalves(const QSize& area, Work&& work) {
    constexpr std::int64_t kSplitPixels = 256 * 1024;
    const int half = area.height() / 2;
    if (std::int64_t(area.width()) * area.height() >= kSplitPixels) {
        std::thread helper;
        try {
            helper = std::thread([&] { work(half, area.height() - half); });
        } catch (const std::system_error&) {
            work(0, area.height());
            return;
        }
        work(0, half);
        helper.join();
        return;
    }
    work(0, area.height());
}

// Line y of an image the painter is drawing on: the engine's own memory,
// without the detach a non-const access could cause.
std::uint32_t* ImageLine(QImage& image, int y) {
    return reinterpret_cast<std::uint32_t*>(const_cast<uchar*>(std::as_const(image).constScanLine(y)));
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
    auto columnsOf = [&](const QRect& part) {
        return NearestIndices(part.left(), part.width(), destination.left(), destination.width(), source.left(),
                              source.width(), dib_.Width());
    };
    auto rowsOf = [&](const QRect& part) {
        return NearestIndices(part.top(), part.height(), destination.top(), destination.height(), source.top(),
                              source.height(), dib_.Height());
    };

    TDirectTarget direct;
    if (FindDirectTarget(canvas, area, direct)) {
        for (const QRect& part : direct.region) {
            const QRect logical = part.translated(-direct.offset);
            const std::vector<int> columns = columnsOf(logical);
            const std::vector<int> rows = rowsOf(logical);
            InHalves(part.size(), [&](int first, int count) {
                FillNearest(dib_, columns, rows, first, count, [&](int line) {
                    return ImageLine(*direct.image, part.top() + first + line) + part.left();
                });
            });
        }
        return;
    }

    const std::vector<int> columns = columnsOf(area);
    const std::vector<int> rows = rowsOf(area);
    const int stripRows = std::min(area.height(), kStripRows);
    if (buffer_.width() != area.width() || buffer_.height() < stripRows)
        buffer_ = QImage(area.width(), stripRows, QImage::Format_RGB32);
    for (int first = 0; first < area.height(); first += stripRows) {
        const int count = std::min(stripRows, area.height() - first);
        FillNearest(dib_, columns, rows, first, count, [&](int line) { return ImageLine(buffer_, line); });
        canvas.drawImage(QPoint(area.left(), area.top() + first), buffer_, QRect(0, 0, area.width(), count));
    }
}

void TDibPainter::DrawForPrinter(QPainter& canvas, const QRect& destination, const QRect& source) {
    const QSize size(std::min(source.width(), destination.width()), std::min(source.height(), destination.height()));
    // A page at printer resolution can be far larger than the screen: above
    // this the image goes in strips.
    constexpr std::int64_t kLargestImage = 16 * 1024 * 1024;
    if (size.isEmpty() || std::int64_t(size.width()) * size.height() > kLargestImage) {
        DrawNearest(canvas, destination, source);
        return;
    }
    canvas.save();
    canvas.setRenderHint(QPainter::SmoothPixmapTransform, false);
    canvas.drawImage(destination, StretchNearest(size, source));
    canvas.restore();
}

QImage TDibPainter::StretchNearest(const QSize& size, const QRect& source) const {
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull() || source.isEmpty()) return image;
    const std::vector<int> columns =
        NearestIndices(0, size.width(), 0, size.width(), source.left(), source.width(), dib_.Width());
    const std::vector<int> rows =
        NearestIndices(0, size.height(), 0, size.height(), source.top(), source.height(), dib_.Height());
    FillNearest(dib_, columns, rows, 0, size.height(), [&](int line) { return ImageLine(image, line); });
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
    std::vector<std::uint32_t> sums(std::size_t(level.width) * 3);
    for (int y = 0; y < level.height; ++y) {
        std::fill(sums.begin(), sums.end(), 0u);
        const int top = y << shift;
        const int rows = std::min(blockSize, dib_.Height() - top);
        for (int row = top; row < top + rows; ++row) {
            const std::uint8_t* source = dib_.Row(row);
            dib_pixel::VisitFormat(dib_, [&](auto reader) {
                using Reader = decltype(reader);
                for (int block = 0; block < level.width; ++block) {
                    const int first = block << shift;
                    const int last = std::min(first + blockSize, dib_.Width());
                    std::uint32_t red = 0, green = 0, blue = 0;
                    for (int x = first; x < last; ++x) {
                        const std::uint32_t color = Reader::Get(dib_, source, x);
                        red += (color >> 16) & 0xFF;
                        green += (color >> 8) & 0xFF;
                        blue += color & 0xFF;
                    }
                    std::uint32_t* sum = &sums[std::size_t(block) * 3];
                    sum[0] += red;
                    sum[1] += green;
                    sum[2] += blue;
                }
            });
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

TDibPainter::TTaps TDibPainter::MakeTaps(double start, double scale, int count, int limit, bool padded) {
    TTaps taps;
    taps.maxCount = std::max(1, int(std::ceil(scale)) + 1);
    // Every entry reads maxCount pixels (unused ones with weight 0), so the
    // inner loop has a fixed length; the image must be that wide.
    taps.padded = padded && limit >= taps.maxCount;
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
        const int shift = taps.padded ? std::max(0, j0 + taps.maxCount - limit) : 0;
        std::uint16_t* weights = &taps.weights[std::size_t(i) * std::size_t(taps.maxCount)] + shift;
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
        taps.first[std::size_t(i)] = j0 - shift;
        taps.count[std::size_t(i)] = taps.padded ? taps.maxCount : n;
    }
    return taps;
}

namespace {

// Horizontal filtering of one row of R, G, B bytes; Taps > 0 is the fixed
// number of taps of padded columns.
template <int Taps>
void FilterRgbRow(const std::uint8_t* source, const int* first, const int* counts, const std::uint16_t* weights,
                  int stride, int width, std::uint32_t* sums) {
    for (int i = 0; i < width; ++i, weights += stride, sums += 3) {
        const std::uint8_t* p = source + 3 * std::size_t(first[i]);
        const int count = Taps > 0 ? Taps : counts[i];
        std::uint32_t r = 0, g = 0, b = 0;
        for (int k = 0; k < count; ++k, p += 3) {
            r += weights[k] * p[0];
            g += weights[k] * p[1];
            b += weights[k] * p[2];
        }
        sums[0] = r;
        sums[1] = g;
        sums[2] = b;
    }
}

// sums += weight * values, element by element (a loop the compiler turns
// into vector instructions).
void AddWeighted(const std::uint32_t* __restrict values, std::uint32_t weight, std::uint32_t* __restrict sums,
                 std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) sums[i] += weight * values[i];
}

}  // namespace

void TDibPainter::FilterRow(const TLevel* level, int row, const TTaps& columns, std::uint32_t* sums) const {
    const int width = int(columns.first.size());
    const int stride = columns.maxCount;
    if (level != nullptr) {
        const std::uint8_t* source = level->Row(row);
        const int* first = columns.first.data();
        const int* counts = columns.count.data();
        const std::uint16_t* weights = columns.weights.data();
        if (columns.padded && stride == 2)
            FilterRgbRow<2>(source, first, counts, weights, stride, width, sums);
        else if (columns.padded && stride == 3)
            FilterRgbRow<3>(source, first, counts, weights, stride, width, sums);
        else
            FilterRgbRow<0>(source, first, counts, weights, stride, width, sums);
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
    TDirectTarget direct;
    if (FindDirectTarget(canvas, area, direct)) {
        for (const QRect& part : direct.region)
            AverageLines(part.translated(-direct.offset), destination, source, [&](int line) {
                return ImageLine(*direct.image, part.top() + line) + part.left();
            });
        return;
    }
    const int stripRows = std::min(area.height(), kStripRows);
    if (buffer_.width() != area.width() || buffer_.height() < stripRows)
        buffer_ = QImage(area.width(), stripRows, QImage::Format_RGB32);
    for (int first = 0; first < area.height(); first += stripRows) {
        const QRect strip(area.left(), area.top() + first, area.width(), std::min(stripRows, area.height() - first));
        AverageLines(strip, destination, source, [&](int line) { return ImageLine(buffer_, line); });
        canvas.drawImage(strip.topLeft(), buffer_, QRect(QPoint(0, 0), strip.size()));
    }
}

void TDibPainter::AverageLines(const QRect& part, const QRect& destination, const QRect& source,
                               const std::function<std::uint32_t*(int)>& lineAt) {
    const double reductionX = double(source.width()) / destination.width();
    const double reductionY = double(source.height()) / destination.height();
    const TLevel* level = LevelFor(std::min(reductionX, reductionY));
    const double unit = level != nullptr ? double(1 << level->shift) : 1.0;
    const int limitX = level != nullptr ? level->width : dib_.Width();
    const int limitY = level != nullptr ? level->height : dib_.Height();
    const TTaps columns = MakeTaps((source.left() + (part.left() - destination.left()) * reductionX) / unit,
                                   reductionX / unit, part.width(), limitX, true);
    const TTaps rows = MakeTaps((source.top() + (part.top() - destination.top()) * reductionY) / unit,
                                reductionY / unit, part.height(), limitY, false);

    // Horizontally filtered source rows, reused by neighbouring lines.
    const std::size_t rowValues = std::size_t(part.width()) * 3;
    const int slotCount = rows.maxCount + 1;
    std::vector<std::uint32_t> filtered(std::size_t(slotCount) * rowValues);
    std::vector<int> slotRow(std::size_t(slotCount), -1);
    auto filteredRow = [&](int row) {
        const std::size_t slot = std::size_t(row % slotCount);
        std::uint32_t* sums = &filtered[slot * rowValues];
        if (slotRow[slot] != row) {
            FilterRow(level, row, columns, sums);
            slotRow[slot] = row;
        }
        return sums;
    };

    std::vector<std::uint32_t> accumulator(rowValues);
    constexpr std::uint32_t half = 1u << (2 * kWeightBits - 1);
    for (int line = 0; line < part.height(); ++line) {
        const std::size_t y = std::size_t(line);
        std::fill(accumulator.begin(), accumulator.end(), 0u);
        const std::uint16_t* weights = &rows.weights[y * std::size_t(rows.maxCount)];
        for (int k = 0; k < rows.count[y]; ++k)
            AddWeighted(filteredRow(rows.first[y] + k), weights[k], accumulator.data(), rowValues);
        std::uint32_t* target = lineAt(line);
        for (int i = 0; i < part.width(); ++i) {
            const std::uint32_t r = (accumulator[3 * std::size_t(i)] + half) >> (2 * kWeightBits);
            const std::uint32_t g = (accumulator[3 * std::size_t(i) + 1] + half) >> (2 * kWeightBits);
            const std::uint32_t b = (accumulator[3 * std::size_t(i) + 2] + half) >> (2 * kWeightBits);
            target[i] = 0xFF000000u | (r << 16) | (g << 8) | b;
        }
    }
}
