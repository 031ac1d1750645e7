#include "raster/read_ahead.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>
#include <optional>
#include <utility>

#include <QThreadPool>

#include "platform/folder_scan.h"
#include "platform/path_text.h"

// What the owner and the pool's task share; the task keeps it alive after
// the owner has dropped it.
struct TReadAhead::TJob {
    QString path;
    std::string folder;
    std::atomic<bool> cancelled{false};

    std::mutex mutex;
    std::condition_variable endedChanged;
    bool ended = false;                    // guarded by mutex
    std::unique_ptr<TDecodedImage> image;  // guarded by mutex
};

namespace {

// A decode that stops as soon as its job is no longer wanted.
class TAheadDecoder : public TImageDecoder {
public:
    explicit TAheadDecoder(const std::atomic<bool>& cancelled) : cancelled_(cancelled) {}
    bool Cancelled() const override { return cancelled_.load(); }

private:
    const std::atomic<bool>& cancelled_;
};

bool IsCurrentVersion(const QString& path, const platform::FileIdentity& identity) {
    const std::optional<platform::FileIdentity> now = platform::IdentityOfPath(platform::PathBytes(path));
    return now.has_value() && *now == identity;
}

// The bitmap of the file, or null for whatever reason: the decode ahead
// has nobody to tell.
std::unique_ptr<TDecodedImage> DecodeQuietly(const QString& path, const std::string& folder,
                                             const std::atomic<bool>& cancelled) {
    try {
        TSusiePlugs plugs;
        plugs.SetPath(folder);
        TAheadDecoder decoder(cancelled);
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
    if (job_ == nullptr) return;
    job_->cancelled = true;
    Wait();
}

void TReadAhead::Prepare(const QString& path, const std::string& pluginFolder) {
    if (job_ != nullptr && job_->path == path && job_->folder == pluginFolder) return;
    Drop();
    job_ = std::make_shared<TJob>();
    job_->path = path;
    job_->folder = pluginFolder;
    QThreadPool::globalInstance()->start([job = job_] { Run(job); });
}

void TReadAhead::Drop() {
    if (job_ == nullptr) return;
    job_->cancelled = true;
    job_.reset();
}

std::unique_ptr<TDecodedImage> TReadAhead::Take(const QString& path, const std::string& pluginFolder) {
    const std::shared_ptr<TJob> job = std::exchange(job_, nullptr);
    if (job == nullptr) return nullptr;
    std::unique_ptr<TDecodedImage> image;
    {
        const std::lock_guard lock(job->mutex);
        job->cancelled = true;
        if (job->ended && job->path == path && job->folder == pluginFolder) image = std::move(job->image);
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
    std::unique_ptr<TDecodedImage> image;
    if (!job->cancelled) image = DecodeQuietly(job->path, job->folder, job->cancelled);
    {
        const std::lock_guard lock(job->mutex);
        // A dropped job's bitmap goes at once, here, not with the job.
        if (!job->cancelled) std::swap(job->image, image);
        job->ended = true;
    }
    job->endedChanged.notify_all();
}
