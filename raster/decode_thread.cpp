#include "raster/decode_thread.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include "plugins/plug_turn.h"
#include "plugins/susie_plug.h"

// What the owner and the thread share; the thread keeps it alive after the
// owner has let it go.
struct TDecodeThread::TWorker {
    struct TWork {
        std::shared_ptr<TPlugTurn> turn;
        TDecode decode;
    };

    std::mutex mutex;
    std::condition_variable wake;
    TWork next;                          // guarded by mutex; no decode: none waits
    std::shared_ptr<TPlugTurn> current;  // guarded by mutex: the turn of the decode under way
    bool leave = false;                  // guarded by mutex
    std::thread thread;
    TSusiePlugs plugs;  // the thread's own

    static void Loop(const std::shared_ptr<TWorker>& worker) {
        for (;;) {
            TWork work;
            {
                std::unique_lock lock(worker->mutex);
                worker->current.reset();
                worker->wake.wait(lock, [&] { return worker->leave || worker->next.decode != nullptr; });
                if (worker->leave) return;
                work = std::exchange(worker->next, TWork{});
                worker->current = work.turn;
            }
            work.decode(worker->plugs);
        }
    }

    bool RunsAbandonedDecode() {
        const std::lock_guard lock(mutex);
        return current != nullptr && current->Abandoned();
    }

    // Lets the thread end after its decode, without waiting for it.
    void LetGo() {
        TWork dropped;
        {
            const std::lock_guard lock(mutex);
            leave = true;
            dropped = std::exchange(next, TWork{});
        }
        wake.notify_all();
        thread.detach();
    }

    void End() {
        {
            const std::lock_guard lock(mutex);
            leave = true;
        }
        wake.notify_all();
        thread.join();
    }
};

TDecodeThread::TDecodeThread() = default;

TDecodeThread::~TDecodeThread() {
    if (worker_ == nullptr) return;
    if (worker_->RunsAbandonedDecode())
        worker_->LetGo();
    else
        worker_->End();
}

TDecodeThread::TWorker& TDecodeThread::Worker() {
    if (worker_ != nullptr && worker_->RunsAbandonedDecode()) {
        worker_->LetGo();
        worker_.reset();
    }
    if (worker_ == nullptr) {
        auto worker = std::make_shared<TWorker>();
        worker->thread = std::thread(&TWorker::Loop, worker);
        worker_ = std::move(worker);
    }
    return *worker_;
}

void TDecodeThread::Run(std::shared_ptr<TPlugTurn> turn, TDecode decode) {
    TWorker& worker = Worker();
    TWorker::TWork dropped;
    {
        const std::lock_guard lock(worker.mutex);
        dropped = std::exchange(worker.next, TWorker::TWork{std::move(turn), std::move(decode)});
    }
    worker.wake.notify_all();
}
