#include "raster/read_ahead.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>
#include <optional>
#include <thread>
#include <utility>

#include "platform/folder_scan.h"
#include "platform/path_text.h"
#include "plugins/plug_turn.h"

// What the owner and the worker share; the worker keeps it alive after
// the owner has dropped it.
struct TReadAhead::TJob {
    QString path;
    std::string folder;
    const std::shared_ptr<TPlugTurn> turn = std::make_shared<TPlugTurn>(TPlugTurn::TPriority::Background);

    std::mutex mutex;
    std::condition_variable endedChanged;
    bool started = false;                  // guarded by mutex
    bool ended = false;                    // guarded by mutex
    std::unique_ptr<TDecodedImage> image;  // guarded by mutex

    // Whether it holds its thread inside a plug-in for as long as the
    // plug-in likes: abandoned in a call nobody can stop.
    bool HeldInPlugin() {
        const std::lock_guard lock(mutex);
        return started && !ended && turn->Abandoned() && turn->InNativeCall();
    }
};

// The thread that decodes ahead, one job after the other. Not one of the
// shared pool: a job abandoned inside a plug-in that never returns keeps
// its thread for good, and the pool is waited for when the program ends.
// Such a worker is let go, and the next job gets a new one.
struct TReadAhead::TWorker {
    std::mutex mutex;
    std::condition_variable wake;
    std::shared_ptr<TJob> next;     // guarded by mutex
    std::shared_ptr<TJob> current;  // guarded by mutex
    bool leave = false;             // guarded by mutex
    std::thread thread;

    static void Loop(const std::shared_ptr<TWorker>& worker) {
        for (;;) {
            std::shared_ptr<TJob> job;
            {
                std::unique_lock lock(worker->mutex);
                worker->current.reset();
                worker->wake.wait(lock, [&] { return worker->leave || worker->next != nullptr; });
                if (worker->leave) return;
                job = worker->current = std::exchange(worker->next, nullptr);
            }
            Run(job);
        }
    }

    // Whether its job holds it in a plug-in.
    bool Held() {
        std::shared_ptr<TJob> job;
        {
            const std::lock_guard lock(mutex);
            job = current;
        }
        return job != nullptr && job->HeldInPlugin();
    }

    // Lets the thread end after its job, without waiting for it.
    void LetGo() {
        {
            const std::lock_guard lock(mutex);
            leave = true;
            next.reset();
        }
        wake.notify_all();
        thread.detach();
    }
};

namespace {

// A decode that stops as soon as its job is no longer wanted.
class TAheadDecoder : public TImageDecoder {
public:
    explicit TAheadDecoder(const std::shared_ptr<TPlugTurn>& turn) { Turn = turn; }
    bool Cancelled() const override { return Turn->Abandoned(); }
};

bool IsCurrentVersion(const QString& path, const platform::FileIdentity& identity) {
    const std::optional<platform::FileIdentity> now = platform::IdentityOfPath(platform::PathBytes(path));
    return now.has_value() && *now == identity;
}

// The bitmap of the file, or null for whatever reason: the decode ahead
// has nobody to tell.
std::unique_ptr<TDecodedImage> DecodeQuietly(const QString& path, const std::string& folder,
                                             const std::shared_ptr<TPlugTurn>& turn) {
    try {
        TSusiePlugs plugs;
        plugs.SetPath(folder);
        TAheadDecoder decoder(turn);
        decoder.MaxBitmapBytes = TReadAhead::kMaxBitmapBytes;
        QString failure;
        std::unique_ptr<TDecodedImage> image = decoder.Decode(plugs, path, failure);
        // A file that changed while it was read may be a mix of versions.
        if (image != nullptr && !IsCurrentVersion(path, image->Source)) return nullptr;
        return image;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
}  // namespace

TReadAhead::TReadAhead() = default;

TReadAhead::~TReadAhead() {
    AbandonJob();
    if (worker_ == nullptr) return;
    if (worker_->Held()) {
        worker_->LetGo();
        return;
    }
    {
        const std::lock_guard lock(worker_->mutex);
        worker_->leave = true;
    }
    worker_->wake.notify_all();
    worker_->thread.join();
}

TReadAhead::TWorker& TReadAhead::Worker() {
    if (worker_ != nullptr && worker_->Held()) {
        worker_->LetGo();
        worker_.reset();
    }
    if (worker_ == nullptr) {
        worker_ = std::make_shared<TWorker>();
        worker_->thread = std::thread(&TWorker::Loop, worker_);
    }
    return *worker_;
}

void TReadAhead::Prepare(const QString& path, const std::string& pluginFolder) {
    if (job_ != nullptr && job_->path == path && job_->folder == pluginFolder) return;
    AbandonJob();
    job_ = std::make_shared<TJob>();
    job_->path = path;
    job_->folder = pluginFolder;
    TWorker& worker = Worker();
    {
        const std::lock_guard lock(worker.mutex);
        worker.next = job_;
    }
    worker.wake.notify_all();
}

void TReadAhead::AbandonJob() {
    if (job_ == nullptr) return;
    {
        // Under the job's lock, so that a bitmap that comes later is not kept.
        const std::lock_guard lock(job_->mutex);
        job_->turn->Abandon();
    }
    job_.reset();
}

void TReadAhead::Drop() { AbandonJob(); }

std::unique_ptr<TDecodedImage> TReadAhead::Take(const QString& path, const std::string& pluginFolder) {
    const std::shared_ptr<TJob> job = std::exchange(job_, nullptr);
    if (job == nullptr) return nullptr;
    std::unique_ptr<TDecodedImage> image;
    {
        const std::lock_guard lock(job->mutex);
        if (job->ended && job->path == path && job->folder == pluginFolder) image = std::move(job->image);
        job->turn->Abandon();
    }
    if (image == nullptr || !IsCurrentVersion(path, image->Source)) return nullptr;
    return image;
}

QString TReadAhead::Path() const { return job_ != nullptr ? job_->path : QString(); }

bool TReadAhead::Ready() const {
    if (job_ == nullptr) return false;
    const std::lock_guard lock(job_->mutex);
    return job_->image != nullptr;
}

void TReadAhead::Wait() {
    if (job_ == nullptr) return;
    std::unique_lock lock(job_->mutex);
    job_->endedChanged.wait(lock, [this] { return job_->ended; });
}

void TReadAhead::Run(const std::shared_ptr<TJob>& job) {
    {
        const std::lock_guard lock(job->mutex);
        job->started = true;
    }
    std::unique_ptr<TDecodedImage> image;
    if (!job->turn->Abandoned()) image = DecodeQuietly(job->path, job->folder, job->turn);
    {
        const std::lock_guard lock(job->mutex);
        // An abandoned job's bitmap goes at once, here, not with the job.
        if (!job->turn->Abandoned()) std::swap(job->image, image);
        job->ended = true;
    }
    job->endedChanged.notify_all();
}
