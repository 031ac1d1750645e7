#include "raster/pool_bands.h"

#include <algorithm>
#include <atomic>
#include <memory>

#include <QThreadPool>

namespace {

// Shared with the pool's tasks, which may start after the caller has
// returned: they then find no band left and touch nothing else.
struct TBands {
    const std::function<void(int, int)>* work = nullptr;
    int total = 0;
    int bandSize = 0;
    int bandCount = 0;
    std::atomic<int> next{0};
    std::atomic<int> finished{0};

    void TakeBands() {
        for (int band = next++; band < bandCount; band = next++) {
            const int first = band * bandSize;
            (*work)(first, std::min(bandSize, total - first));
            if (++finished == bandCount) finished.notify_all();
        }
    }
};

}  // namespace

void RunInBands(int total, int bandCount, const std::function<void(int, int)>& work) {
    if (total <= 0) return;
    bandCount = std::clamp(bandCount, 1, total);
    auto bands = std::make_shared<TBands>();
    bands->work = &work;
    bands->total = total;
    bands->bandSize = (total + bandCount - 1) / bandCount;
    bands->bandCount = (total + bands->bandSize - 1) / bands->bandSize;
    QThreadPool* pool = QThreadPool::globalInstance();
    const int helpers = std::min(bands->bandCount, pool->maxThreadCount()) - 1;
    for (int i = 0; i < helpers; ++i) pool->start([bands] { bands->TakeBands(); });
    bands->TakeBands();
    for (int done = bands->finished.load(); done < bands->bandCount; done = bands->finished.load())
        bands->finished.wait(done);
}
