#include "raster/dib_painter.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <utility>

#include <QPaintEngine>
#include <QPainter>

#include "raster/dib_view.h"
#include "raster/pixel_kernels.h"
#include "raster/pool_bands.h"

namespace {

// Rows per strip: bounds the temporary image when a page is printed.
constexpr int kStripRows = 256;
// Fixed-point weights: the weights of one column (or row) add up to this.
constexpr std::uint32_t kWeightOne = 1u << pixel_kernels::kWeightBits;

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

// Lines per band of a drawing split between the threads: a reduced image
// keeps one core waiting for memory most of the time, so even a modest
// area is worth sharing.
constexpr int kLinesPerBand = 64;

int BandsFor(int lines) { return (lines + kLinesPerBand - 1) / kLinesPerBand; }

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
    for (const TReducedCopy& copy : copies_) bytes += copy.Bgr.size();
    return builder_ != nullptr ? bytes + builder_->Bytes() : bytes;
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
            RunInBands(part.height(), BandsFor(part.height()), [&](int first, int count) {
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

namespace {

// Reductions by less than this read the bitmap itself: each destination
// pixel then covers few source pixels.
constexpr int kFirstCopyShift = 2;
// Smaller copies than a small window would not save anything.
constexpr int kSmallestCopy = 64;

}  // namespace

bool TDibPainter::CopyFor(double reduction, const TReducedCopy*& copy) {
    copy = nullptr;
    if (reduction < (1 << kFirstCopyShift)) return true;
    // Straight to the copy whose blocks are the largest that still fit in
    // one destination pixel.
    int shift = kFirstCopyShift;
    while (shift < 30 && (2 << shift) <= reduction &&
           ((dib_.Width() >> (shift + 1)) >= kSmallestCopy || (dib_.Height() >> (shift + 1)) >= kSmallestCopy))
        ++shift;
    for (const TReducedCopy& held : copies_)
        if (held.Shift == shift) {
            copy = &held;
            return true;
        }
    // The copies may take a third of the bitmap's memory; a copy that
    // alone takes more is not made, and the bitmap is read instead.
    if (TReducedCopy::BytesFor(dib_.Width(), dib_.Height(), shift) > dib_.ImageBytes() / 3) return true;
    if (builder_ == nullptr) StartCopy(shift);
    return false;
}

void TDibPainter::StartCopy(int shift) {
    // Keep within the budget, the new copy included: the copies farthest
    // from the new one go first.
    const std::size_t budget = dib_.ImageBytes() / 3;
    const std::size_t bytes = TReducedCopy::BytesFor(dib_.Width(), dib_.Height(), shift);
    auto distance = [&](const TReducedCopy& held) { return std::abs(held.Shift - shift); };
    while (!copies_.empty() && CacheBytes() + bytes > budget)
        copies_.erase(std::max_element(copies_.begin(), copies_.end(), [&](const auto& a, const auto& b) {
            return distance(a) < distance(b);
        }));
    // A finer copy is a much smaller source than the bitmap.
    const TReducedCopy* finer = nullptr;
    for (const TReducedCopy& held : copies_)
        if (held.Shift < shift && (finer == nullptr || held.Shift > finer->Shift)) finer = &held;
    builder_ = std::make_unique<TReducedCopyBuilder>(dib_, finer, shift, &context_, [this] { AdoptCopy(); });
    // This thread joins in once the nearest picture that stands in for the
    // copy is on the screen.
    QMetaObject::invokeMethod(
        &context_, [this] { if (builder_ != nullptr) builder_->Help(); }, Qt::QueuedConnection);
}

void TDibPainter::AdoptCopy() {
    if (builder_ == nullptr || !builder_->Done()) return;
    copies_.push_back(builder_->Take());
    builder_.reset();
    if (OnCopiesReady) OnCopiesReady();
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

// Horizontal filtering of one row of B, G, R bytes into B, G, R, 0 sums,
// for columns of any number of taps.
void FilterBgrRow(const std::uint8_t* source, const int* first, const int* counts, const std::uint16_t* weights,
                  int stride, int width, std::uint32_t* sums) {
    for (int i = 0; i < width; ++i, weights += stride, sums += 4) {
        const std::uint8_t* p = source + 3 * std::size_t(first[i]);
        std::uint32_t r = 0, g = 0, b = 0;
        for (int k = 0; k < counts[i]; ++k, p += 3) {
            r += weights[k] * p[2];
            g += weights[k] * p[1];
            b += weights[k] * p[0];
        }
        sums[0] = b;
        sums[1] = g;
        sums[2] = r;
        sums[3] = 0;
    }
}

// Taps of one column the vector filter takes at most.
constexpr int kVectorTaps = 3;

}  // namespace

void TDibPainter::FilterRow(const TReducedCopy* copy, int row, const TTaps& columns, std::uint32_t* sums) const {
    const int width = int(columns.first.size());
    const int stride = columns.maxCount;
    const bool bgr = copy != nullptr || dib_.Format() == TDibView::TPixelFormat::Bgr24;
    if (bgr && (copy != nullptr || columns.padded)) {
        const std::uint8_t* source = copy != nullptr ? copy->Row(row) : dib_.Row(row);
        if (columns.padded && stride <= kVectorTaps) {
            const int limit = copy != nullptr ? copy->Width : dib_.Width();
            pixel_kernels::Best().FilterBgr(source, limit, columns.first.data(), columns.weights.data(), stride,
                                            width, sums);
        } else {
            FilterBgrRow(source, columns.first.data(), columns.count.data(), columns.weights.data(), stride, width,
                         sums);
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
            sums[4 * i] = b;
            sums[4 * i + 1] = g;
            sums[4 * i + 2] = r;
            sums[4 * i + 3] = 0;
        }
    });
}

namespace {

// The part of destination on the device, whatever the clip: the area an
// averaged picture is made for, so that a later drawing of another part
// of it finds it ready.
QRect ReachableArea(QPainter& canvas, const QRect& destination) {
    const QTransform toDevice = canvas.deviceTransform();
    QPaintDevice* device = canvas.device();
    if (toDevice.type() > QTransform::TxTranslate || device == nullptr) return VisibleArea(canvas, destination);
    const QPoint offset(qRound(toDevice.dx()), qRound(toDevice.dy()));
    return destination & QRect(-offset, QSize(device->width(), device->height()));
}

}  // namespace

void TDibPainter::DrawAveraged(QPainter& canvas, const QRect& destination, const QRect& source) {
    const QRect visible = VisibleArea(canvas, destination);
    if (visible.isEmpty() || source.isEmpty()) return;
    const bool kept = destination == resultDestination_ && source == resultSource_ && resultArea_.contains(visible);
    if (!kept) {
        const double reduction = std::min(double(source.width()) / destination.width(),
                                          double(source.height()) / destination.height());
        const TReducedCopy* copy = nullptr;
        if (!CopyFor(reduction, copy)) {
            DrawNearest(canvas, destination, source);
            return;
        }
        const QRect area = ReachableArea(canvas, destination) | visible;
        Average(area, destination, source, copy);
        resultDestination_ = destination;
        resultSource_ = source;
        resultArea_ = area;
    }
    canvas.drawImage(resultArea_.topLeft(), result_);
}

void TDibPainter::Average(const QRect& area, const QRect& destination, const QRect& source,
                          const TReducedCopy* copy) {
    if (result_.size() != area.size()) result_ = QImage(area.size(), QImage::Format_RGB32);
    // The kept picture is forgotten until it is whole again.
    resultArea_ = QRect();
    RunInBands(area.height(), BandsFor(area.height()), [&](int first, int count) {
        const QRect band(area.left(), area.top() + first, area.width(), count);
        AverageLines(band, destination, source, copy,
                     [&](int line) { return ImageLine(result_, first + line); });
    });
}

void TDibPainter::AverageLines(const QRect& part, const QRect& destination, const QRect& source,
                               const TReducedCopy* copy, const std::function<std::uint32_t*(int)>& lineAt) const {
    const double reductionX = double(source.width()) / destination.width();
    const double reductionY = double(source.height()) / destination.height();
    const double unit = copy != nullptr ? double(1 << copy->Shift) : 1.0;
    const int limitX = copy != nullptr ? copy->Width : dib_.Width();
    const int limitY = copy != nullptr ? copy->Height : dib_.Height();
    const TTaps columns = MakeTaps((source.left() + (part.left() - destination.left()) * reductionX) / unit,
                                   reductionX / unit, part.width(), limitX, true);
    const TTaps rows = MakeTaps((source.top() + (part.top() - destination.top()) * reductionY) / unit,
                                reductionY / unit, part.height(), limitY, false);

    // Horizontally filtered source rows, reused by neighbouring lines.
    const std::size_t rowValues = std::size_t(part.width()) * 4;
    const int slotCount = rows.maxCount + 1;
    std::vector<std::uint32_t> filtered(std::size_t(slotCount) * rowValues);
    std::vector<int> slotRow(std::size_t(slotCount), -1);
    auto filteredRow = [&](int row) {
        const std::size_t slot = std::size_t(row % slotCount);
        std::uint32_t* sums = &filtered[slot * rowValues];
        if (slotRow[slot] != row) {
            FilterRow(copy, row, columns, sums);
            slotRow[slot] = row;
        }
        return sums;
    };

    const pixel_kernels::TKernels& kernels = pixel_kernels::Best();
    std::vector<const std::uint32_t*> mixed(std::size_t(rows.maxCount));
    for (int line = 0; line < part.height(); ++line) {
        const std::size_t y = std::size_t(line);
        // Consecutive rows, fewer than the slots: none pushes out another.
        for (int k = 0; k < rows.count[y]; ++k) mixed[std::size_t(k)] = filteredRow(rows.first[y] + k);
        kernels.MixRows(mixed.data(), &rows.weights[y * std::size_t(rows.maxCount)], rows.count[y], part.width(),
                        lineAt(line));
    }
}
