#include "raster/read_ahead.h"

#include <condition_variable>
#include <mutex>
#include <new>
#include <optional>
#include <utility>

#include "platform/folder_scan.h"
#include "platform/path_text.h"
#include "plugins/plug_turn.h"

// What the owner and the thread share; the thread keeps it alive after
// the owner has dropped it.
struct TReadAhead::TJob {
    QString path;
    std::string folder;
    const std::shared_ptr<TPlugTurn> turn = std::make_shared<TPlugTurn>(TPlugTurn::TPriority::Background);

    std::mutex mutex;
    std::condition_variable endedChanged;
    bool ended = false;                    // guarded by mutex
    std::unique_ptr<TDecodedImage> image;  // guarded by mutex
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
std::unique_ptr<TDecodedImage> DecodeQuietly(TSusiePlugs& plugs, const QString& path, const std::string& folder,
                                             const std::shared_ptr<TPlugTurn>& turn) {
    try {
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

TReadAhead::~TReadAhead() { AbandonJob(); }

void TReadAhead::Prepare(const QString& path, const std::string& pluginFolder) {
    if (job_ != nullptr && job_->path == path && job_->folder == pluginFolder) return;
    AbandonJob();
    job_ = std::make_shared<TJob>();
    job_->path = path;
    job_->folder = pluginFolder;
    thread_.Run(job_->turn, [job = job_](TSusiePlugs& plugs) { Run(job, plugs); });
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

void TReadAhead::Run(const std::shared_ptr<TJob>& job, TSusiePlugs& plugs) {
    std::unique_ptr<TDecodedImage> image;
    if (!job->turn->Abandoned()) image = DecodeQuietly(plugs, job->path, job->folder, job->turn);
    {
        const std::lock_guard lock(job->mutex);
        // An abandoned job's bitmap goes at once, here, not with the job.
        if (!job->turn->Abandoned()) std::swap(job->image, image);
        job->ended = true;
    }
    job->endedChanged.notify_all();
}
