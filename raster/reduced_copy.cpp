#include "raster/reduced_copy.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include <QObject>
#include <QThreadPool>

#include "raster/dib_view.h"
#include "raster/pixel_kernels.h"

namespace {

// Level rows per claim of a pool thread: small enough that both threads
// finish together, large enough to keep the claims cheap.
constexpr int kRowsPerBand = 8;
// Source rows summed in 16 bits before the sums move to 32 bits.
constexpr int kRowsPer16BitSum = 256;
// Source rows converted to B, G, R bytes at a time, for bitmaps of other
// formats.
constexpr int kConvertedRows = 8;

using TWords4 = std::uint16_t __attribute__((vector_size(8)));
using TLongs4 = std::uint32_t __attribute__((vector_size(16)));

// wide[i] += narrow[i], four at a time.
void AddWords(const std::uint16_t* narrow, std::uint32_t* wide, std::size_t count) {
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        TWords4 in;
        TLongs4 sum;
        std::memcpy(&in, narrow + i, sizeof in);
        std::memcpy(&sum, wide + i, sizeof sum);
        sum += __builtin_convertvector(in, TLongs4);
        std::memcpy(wide + i, &sum, sizeof sum);
    }
    for (; i < count; ++i) wide[i] += narrow[i];
}

// One row of the copy from the column sums of its block of rows (B, G, R
// per source column, paired 2^paired columns at a time): every pixel the
// rounded mean of its block.
template <class Sum>
void AverageBlocks(const Sum* columns, int sourceWidth, int shift, int paired, int rows, int width,
                   std::uint8_t* out) {
    const int blockSize = 1 << shift;
    int x = 0;
    if (rows == blockSize && paired == shift) {
        // Whole blocks whose sums are complete in one place: most of them.
        const std::uint32_t half = 1u << (2 * shift - 1);
        const std::size_t step = std::size_t(3) << shift;
        const Sum* p = columns;
        for (const int whole = sourceWidth >> shift; x < whole; ++x, p += step, out += 3) {
            out[0] = std::uint8_t((p[0] + half) >> (2 * shift));
            out[1] = std::uint8_t((p[1] + half) >> (2 * shift));
            out[2] = std::uint8_t((p[2] + half) >> (2 * shift));
        }
    }
    for (; x < width; ++x, out += 3) {
        const int first = x << shift;
        const int count = std::min(blockSize, sourceWidth - first);
        const int groups = (count + (1 << paired) - 1) >> paired;
        const Sum* p = columns + 3 * std::size_t(first);
        const std::size_t step = std::size_t(3) << paired;
        std::uint32_t blue = 0, green = 0, red = 0;
        for (int k = 0; k < groups; ++k, p += step) {
            blue += p[0];
            green += p[1];
            red += p[2];
        }
        if (count == blockSize && rows == blockSize) {
            // A whole block: its area is a power of two.
            const std::uint32_t half = 1u << (2 * shift - 1);
            out[0] = std::uint8_t((blue + half) >> (2 * shift));
            out[1] = std::uint8_t((green + half) >> (2 * shift));
            out[2] = std::uint8_t((red + half) >> (2 * shift));
            continue;
        }
        const std::uint32_t area = std::uint32_t(count) * std::uint32_t(rows);
        out[0] = std::uint8_t((blue + area / 2) / area);
        out[1] = std::uint8_t((green + area / 2) / area);
        out[2] = std::uint8_t((red + area / 2) / area);
    }
}

}  // namespace

std::size_t TReducedCopy::BytesFor(int width, int height, int shift) {
    const std::size_t w = (std::size_t(width) + (std::size_t(1) << shift) - 1) >> shift;
    const std::size_t h = (std::size_t(height) + (std::size_t(1) << shift) - 1) >> shift;
    return w * h * 3;
}

struct TReducedCopyBuilder::TJob {
    const TDibView& dib;
    const TReducedCopy* finer;
    TReducedCopy copy;
    int relativeShift = 0;  // of the copy against its source
    int sourceWidth = 0;
    int sourceHeight = 0;
    int bandCount = 0;
    QObject* context;
    std::function<void()> ready;

    std::atomic<int> nextBand{0};
    std::atomic<int> finishedBands{0};
    // Guarded by mutex: cancelled, and how many pool threads are inside.
    std::mutex mutex;
    std::condition_variable idle;
    bool cancelled = false;
    int working = 0;

    TJob(const TDibView& dib, const TReducedCopy* finer, int shift, QObject* context, std::function<void()> ready)
        : dib(dib), finer(finer), context(context), ready(std::move(ready)) {
        copy.Shift = shift;
        copy.Width = int((std::int64_t(dib.Width()) + (std::int64_t(1) << shift) - 1) >> shift);
        copy.Height = int((std::int64_t(dib.Height()) + (std::int64_t(1) << shift) - 1) >> shift);
        copy.Bgr.resize(std::size_t(copy.Width) * std::size_t(copy.Height) * 3);
        relativeShift = finer != nullptr ? shift - finer->Shift : shift;
        sourceWidth = finer != nullptr ? finer->Width : dib.Width();
        sourceHeight = finer != nullptr ? finer->Height : dib.Height();
        bandCount = (copy.Height + kRowsPerBand - 1) / kRowsPerBand;
    }

    bool Enter() {
        std::lock_guard lock(mutex);
        if (cancelled) return false;
        ++working;
        return true;
    }
    void Leave() {
        std::lock_guard lock(mutex);
        if (--working == 0) idle.notify_all();
    }
    bool Cancelled() {
        std::lock_guard lock(mutex);
        return cancelled;
    }
    void Cancel() {
        std::unique_lock lock(mutex);
        cancelled = true;
        idle.wait(lock, [this] { return working == 0; });
    }

    void Work() {
        if (!Enter()) return;
        TRowSums sums(*this);
        for (int band = nextBand++; band < bandCount && !Cancelled(); band = nextBand++) {
            const int first = band * kRowsPerBand;
            for (int y = first; y < std::min(first + kRowsPerBand, copy.Height); ++y) sums.BuildRow(y);
            // Posted while still counted as working: the context outlives it.
            if (++finishedBands == bandCount) QMetaObject::invokeMethod(context, ready, Qt::QueuedConnection);
        }
        Leave();
    }

    // Scratch space of one thread.
    struct TRowSums {
        TJob& job;
        const pixel_kernels::TKernels& kernels = pixel_kernels::Best();
        std::size_t values;
        bool direct;  // the source rows are B, G, R bytes already
        std::vector<std::uint16_t> narrow;
        std::vector<std::uint32_t> wide;
        std::vector<const std::uint8_t*> rows;
        std::vector<std::uint32_t> pixels;
        std::vector<std::uint8_t> converted;

        explicit TRowSums(TJob& job)
            : job(job), values(std::size_t(job.sourceWidth) * 3),
              direct(job.finer != nullptr || job.dib.Format() == TDibView::TPixelFormat::Bgr24),
              narrow(values + (job.relativeShift <= 8 ? std::size_t(3) << job.relativeShift : 0)),
              wide(job.relativeShift > 8 ? values : 0) {
            if (!direct) {
                pixels.resize(std::size_t(job.sourceWidth));
                converted.resize(values * kConvertedRows);
            }
        }

        // Points rows at source rows first .. first + count - 1 as B, G, R
        // bytes; count is at most kConvertedRows unless direct.
        void SourceRows(int first, int count) {
            rows.resize(std::size_t(count));
            for (int i = 0; i < count; ++i) {
                if (job.finer != nullptr) {
                    rows[std::size_t(i)] = job.finer->Row(first + i);
                } else if (direct) {
                    rows[std::size_t(i)] = job.dib.Row(first + i);
                } else {
                    std::uint8_t* out = converted.data() + values * std::size_t(i);
                    job.dib.ReadRow(first + i, 0, job.sourceWidth, pixels.data());
                    for (std::size_t x = 0; x < pixels.size(); ++x) {
                        out[3 * x] = std::uint8_t(pixels[x]);
                        out[3 * x + 1] = std::uint8_t(pixels[x] >> 8);
                        out[3 * x + 2] = std::uint8_t(pixels[x] >> 16);
                    }
                    rows[std::size_t(i)] = out;
                }
            }
        }

        void BuildRow(int y) {
            const int shift = job.relativeShift;
            const int top = y << shift;
            const int rowCount = std::min(1 << shift, job.sourceHeight - top);
            const int step = direct ? kRowsPer16BitSum : kConvertedRows;
            std::fill(wide.begin(), wide.end(), 0u);
            // The zeros past the sums that pairing reads stay from the start.
            bool fresh = true;
            for (int done = 0; done < rowCount;) {
                const int count = std::min(step, rowCount - done);
                SourceRows(top + done, count);
                kernels.AddRows(rows.data(), count, fresh, narrow.data(), values);
                fresh = false;
                done += count;
                if (!wide.empty() && (done % kRowsPer16BitSum == 0 || done == rowCount)) {
                    AddWords(narrow.data(), wide.data(), values);
                    fresh = true;
                }
            }
            std::uint8_t* out = job.copy.Bgr.data() + std::size_t(y) * std::size_t(job.copy.Width) * 3;
            if (!wide.empty()) {
                AverageBlocks(wide.data(), job.sourceWidth, shift, 0, rowCount, job.copy.Width, out);
                return;
            }
            // Pair columns while the sums still fit in 16 bits.
            int paired = 0;
            while (paired < shift && (rowCount << (paired + 1)) * 255 <= 0xFFFF) ++paired;
            kernels.PairColumns(narrow.data(), values, paired);
            AverageBlocks(narrow.data(), job.sourceWidth, shift, paired, rowCount, job.copy.Width, out);
        }
    };
};

TReducedCopyBuilder::TReducedCopyBuilder(const TDibView& dib, const TReducedCopy* finer, int shift,
                                         QObject* context, std::function<void()> ready)
    : job_(std::make_shared<TJob>(dib, finer, shift, context, std::move(ready))) {
    QThreadPool* pool = QThreadPool::globalInstance();
    const int threads = std::max(1, std::min(job_->bandCount, pool->maxThreadCount() - 1));
    for (int i = 0; i < threads; ++i) pool->start([job = job_] { job->Work(); });
}

void TReducedCopyBuilder::Help() { job_->Work(); }

TReducedCopyBuilder::~TReducedCopyBuilder() { job_->Cancel(); }

int TReducedCopyBuilder::Shift() const { return job_->copy.Shift; }

std::size_t TReducedCopyBuilder::Bytes() const { return job_->copy.Bgr.size(); }

bool TReducedCopyBuilder::Done() const { return job_->finishedBands.load() == job_->bandCount; }

TReducedCopy TReducedCopyBuilder::Take() { return std::move(job_->copy); }
