#include "shell/shell_notify.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>

#include "platform/folder_polling.h"
#include "platform/message_box.h"

namespace shell_notify_detail {

// Runs a function on the main thread and waits until it has run, or until
// Cancel() gives up on it. The function is queued to the application
// object; a plain blocking call could never return while the main thread
// itself waits for the worker to end, which Cancel() resolves.
class TMainThreadCall {
public:
    enum class TResult { Done, Failed, Cancelled };

    // Called by the worker. Failed when an error escaped the function (it
    // has been shown to the user by then).
    TResult Run(std::function<void()> function);
    // Any thread: ends a waiting Run() and refuses later ones; a function
    // still queued is dropped when its turn comes.
    void Cancel();

private:
    struct TState {
        std::mutex lock;
        std::condition_variable finished;
        bool cancelled = false;
        bool done = false;
        bool failed = false;
    };

    std::shared_ptr<TState> state_ = std::make_shared<TState>();
};

namespace {

void ReportError(const std::exception& error) {
    platform::ShowMessage(nullptr, QString::fromLocal8Bit(error.what()), platform::MessageIcon::Error);
}

// Shows a worker's error on the main thread without waiting for it.
void ReportErrorLater(const std::exception& error) {
    if (QCoreApplication* application = QCoreApplication::instance()) {
        const QString text = QString::fromLocal8Bit(error.what());
        QMetaObject::invokeMethod(
            application,
            [text] { platform::ShowMessage(nullptr, text, platform::MessageIcon::Error); },
            Qt::QueuedConnection);
    }
}

}  // namespace

TMainThreadCall::TResult TMainThreadCall::Run(std::function<void()> function) {
    const std::shared_ptr<TState> state = state_;
    {
        std::lock_guard guard(state->lock);
        if (state->cancelled) return TResult::Cancelled;
        state->done = false;
    }
    QCoreApplication* application = QCoreApplication::instance();
    if (!application) return TResult::Cancelled;
    auto onMainThread = [state, function = std::move(function)] {
        {
            std::lock_guard guard(state->lock);
            if (state->cancelled) return;
        }
        bool failed = false;
        try {
            function();
        } catch (const std::exception& error) {
            ReportError(error);
            failed = true;
        }
        {
            std::lock_guard guard(state->lock);
            state->done = true;
            state->failed = failed;
        }
        state->finished.notify_all();
    };
    if (!QMetaObject::invokeMethod(application, std::move(onMainThread), Qt::QueuedConnection))
        return TResult::Cancelled;
    std::unique_lock guard(state->lock);
    state->finished.wait(guard, [&] { return state->done || state->cancelled; });
    if (!state->done) return TResult::Cancelled;
    return state->failed ? TResult::Failed : TResult::Done;
}

void TMainThreadCall::Cancel() {
    {
        std::lock_guard guard(state_->lock);
        state_->cancelled = true;
    }
    state_->finished.notify_all();
}

}  // namespace shell_notify_detail

using shell_notify_detail::TMainThreadCall;

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// What is left of a quiet period, never negative.
milliseconds Remaining(Clock::time_point deadline) {
    return std::max(milliseconds(0),
                    std::chrono::ceil<milliseconds>(deadline - Clock::now()));
}

// Sorted, without empty entries and duplicates, each ending in "/".
std::vector<std::string> NormalizedDirectories(const std::vector<std::string>& directories) {
    std::vector<std::string> result;
    for (std::string directory : directories) {
        if (directory.empty()) continue;
        if (directory.back() != '/') directory += '/';
        result.push_back(std::move(directory));
    }
    std::sort(result.begin(), result.end());
    result.erase(std::unique(result.begin(), result.end()), result.end());
    return result;
}

// The watch of one folder without its subfolders, or none for an empty
// path or one that is not a directory that can be watched.
std::unique_ptr<platform::InotifyWatch> WatchFolder(const std::string& path, unsigned filter) {
    if (path.empty()) return nullptr;
    auto watch = std::make_unique<platform::InotifyWatch>(filter);
    return watch->Add(path, 0) ? std::move(watch) : nullptr;
}

}  // namespace

// What the main thread and the queued deliveries share; it outlives the
// watcher while a delivery is still queued. Touched on the main thread only.
struct TShDirWatcher::TShared {
    TDeviceChangeEvent onDeviceChange;
    TChangeEvent onChange;
    std::unique_ptr<TDeviceChangeData> pendingDevice;
};

TShDirWatcher::TShDirWatcher(const std::vector<std::string>& directories, unsigned notifyFilter,
                             TDeviceChangeEvent onDeviceChange, TChangeEvent onChange,
                             int subtreeDepth)
    : notifyFilter_(notifyFilter),
      subtreeDepth_(subtreeDepth),
      directories_(NormalizedDirectories(directories)),
      shared_(std::make_shared<TShared>(
          TShared{std::move(onDeviceChange), std::move(onChange), nullptr})),
      call_(std::make_unique<TMainThreadCall>()) {
    newWatch_ = WatchDirectories(directories_);
    thread_ = std::thread([this] { Execute(); });
}

TShDirWatcher::~TShDirWatcher() {
    Stop();
    if (thread_.joinable()) thread_.join();
}

void TShDirWatcher::SetDirectories(const std::vector<std::string>& directories) {
    std::vector<std::string> normalized = NormalizedDirectories(directories);
    {
        std::lock_guard guard(lock_);
        if (normalized == directories_) return;
    }
    TWatch watch = WatchDirectories(normalized);
    std::lock_guard guard(lock_);
    // A watch the thread has not taken yet hands its changes on.
    if (newWatch_ && *newWatch_ && (*newWatch_)->ReadChanges(&carried_) == platform::InotifyWatch::ReadResult::Failed)
        carried_.SetWhole();
    directories_ = std::move(normalized);
    newWatch_ = std::move(watch);
    listChanged_.Set();
}

void TShDirWatcher::ClearDirectories() {
    std::lock_guard guard(lock_);
    directories_.clear();
    newWatch_.emplace(nullptr);
    carried_ = platform::FolderChanges();
    listChanged_.Set();
}

std::vector<std::string> TShDirWatcher::Directories() const {
    std::lock_guard guard(lock_);
    return directories_;
}

void TShDirWatcher::PostDeviceChange(std::unique_ptr<TDeviceChangeData> data) {
    if (!shared_->onDeviceChange || !data) return;
    shared_->pendingDevice = std::move(data);
    device_.Set();
}

void TShDirWatcher::Stop() {
    shared_->onDeviceChange = nullptr;
    shared_->onChange = nullptr;
    shared_->pendingDevice.reset();
    call_->Cancel();
    terminate_.Set();
}

bool TShDirWatcher::IsFinished() const { return finished_; }

void TShDirWatcher::Execute() {
    try {
        Run();
    } catch (const std::exception& error) {
        shell_notify_detail::ReportErrorLater(error);
    }
    finished_ = true;
}

// Waits for the end, a device change, a new directory list or a change in
// a watched directory, in that order of precedence. A failure of the
// system's notification ends the thread.
void TShDirWatcher::Run() {
    TWatch watch;
    if (TakeNewWatchWithChanges(watch) == TStep::Terminate) return;
    for (;;) {
        platform::WaitEvent* events[] = {&terminate_, &device_, &listChanged_};
        TStep step = TStep::Continue;
        switch (platform::WaitForAny(events, watch ? watch->Fd() : -1, std::nullopt)) {
        case 0:
            return;
        case 1:
            step = DeviceStep();
            break;
        case 2:
            step = TakeNewWatchWithChanges(watch);
            break;
        case 3:
            step = CollectDirectoryChanges(watch, {});
            break;
        default:
            return;
        }
        if (step == TStep::Terminate) return;
    }
}

// Watches every directory of the list; those that cannot be watched are
// dropped from it, so that only setting the list again retries them.
TShDirWatcher::TWatch TShDirWatcher::WatchDirectories(std::vector<std::string>& directories) const {
    if (directories.empty()) return nullptr;
    auto watch = std::make_unique<platform::InotifyWatch>(notifyFilter_);
    std::vector<std::string> watched;
    for (std::string& directory : directories)
        if (watch->Add(directory, subtreeDepth_)) watched.push_back(std::move(directory));
    directories = std::move(watched);
    return directories.empty() ? nullptr : std::move(watch);
}

// A list-changed signal may find the new watch already taken (set just
// before the thread first looked); the current watch then stays. The
// changes of watches replaced before the thread took them are added.
void TShDirWatcher::TakeNewWatch(TWatch& watch, platform::FolderChanges& changes) {
    std::lock_guard guard(lock_);
    changes.Merge(carried_);
    carried_ = platform::FolderChanges();
    if (!newWatch_) return;
    watch = std::move(*newWatch_);
    newWatch_.reset();
}

// A new list while no change was being collected: changes the old watch
// holds unread start a collection on the new watch.
TShDirWatcher::TStep TShDirWatcher::TakeNewWatchWithChanges(TWatch& watch) {
    platform::FolderChanges changes;
    if (watch && watch->ReadChanges(&changes) == platform::InotifyWatch::ReadResult::Failed) changes.SetWhole();
    TakeNewWatch(watch, changes);
    if (!watch || changes.Empty()) return TStep::Continue;
    return CollectDirectoryChanges(watch, std::move(changes));
}

// A change arrived: collect further ones until the directories stay quiet
// for the quiet period, then report once. A device change meanwhile is
// delivered first and the collection goes on, so the directory report is
// not lost; so does a new directory list, whose watch carries it on (the
// old watch is read to the end first). Pausing (no list) drops it: the
// owner is then making its own changes.
TShDirWatcher::TStep TShDirWatcher::CollectDirectoryChanges(TWatch& watch, platform::FolderChanges changes) {
    using ReadResult = platform::InotifyWatch::ReadResult;
    const ReadResult first = watch->ReadChanges(&changes);
    if (first == ReadResult::Failed) return TStep::Terminate;
    if (first == ReadResult::NoChange && changes.Empty()) return TStep::Continue;

    Clock::time_point deadline = Clock::now() + milliseconds(kDirQuietMs);
    for (;;) {
        platform::WaitEvent* events[] = {&terminate_, &device_, &listChanged_};
        switch (platform::WaitForAny(events, watch->Fd(), Remaining(deadline))) {
        case 0:
            return TStep::Terminate;
        case 1:
            if (DeviceStep() == TStep::Terminate) return TStep::Terminate;
            deadline = Clock::now() + milliseconds(kDirQuietMs);
            break;
        case 2:
            if (watch->ReadChanges(&changes) == ReadResult::Failed) changes.SetWhole();
            TakeNewWatch(watch, changes);
            if (!watch) return TStep::Continue;
            deadline = Clock::now() + milliseconds(kDirQuietMs);
            break;
        case 3: {
            const ReadResult more = watch->ReadChanges(&changes);
            if (more == ReadResult::Failed) return TStep::Terminate;
            if (more == ReadResult::Changed) deadline = Clock::now() + milliseconds(kDirQuietMs);
            break;
        }
        case platform::kWaitTimedOut:
            return DeliverChange(std::move(changes)) ? TStep::Continue : TStep::Terminate;
        default:
            return TStep::Terminate;
        }
    }
}

// A device change arrived: every further one within the device quiet
// period replaces the pending record; the newest is delivered once.
TShDirWatcher::TStep TShDirWatcher::DeviceStep() {
    for (;;) {
        platform::WaitEvent* events[] = {&terminate_, &device_};
        switch (platform::WaitForAny(events, -1, milliseconds(kDeviceQuietMs))) {
        case 0:
            return TStep::Terminate;
        case 1:
            continue;
        case platform::kWaitTimedOut:
            return DeliverDeviceChange() ? TStep::Continue : TStep::Terminate;
        default:
            return TStep::Terminate;
        }
    }
}

bool TShDirWatcher::DeliverChange(platform::FolderChanges changes) {
    const std::shared_ptr<TShared> shared = shared_;
    TShDirWatcher* self = this;
    const auto report = std::make_shared<const platform::FolderChanges>(std::move(changes));
    return call_->Run([shared, self, report] {
               // A copy: the handler may stop this watcher, which clears it.
               const TChangeEvent handler = shared->onChange;
               if (handler) handler(self, *report);
           }) == TMainThreadCall::TResult::Done;
}

bool TShDirWatcher::DeliverDeviceChange() {
    const std::shared_ptr<TShared> shared = shared_;
    TShDirWatcher* self = this;
    return call_->Run([shared, self] {
               const std::unique_ptr<TDeviceChangeData> record = std::move(shared->pendingDevice);
               const TDeviceChangeEvent handler = shared->onDeviceChange;
               if (handler && record) handler(self, *record);
           }) == TMainThreadCall::TResult::Done;
}

struct TShFilesWatcher::TShared {
    TChangeEvent onChange;
};

// One look at a folder, on a thread of its own that only this object
// keeps: whether its file system is one inotify is blind to (when that is
// not known yet) and, for such a one, the folder's signature. The watcher
// waits for done beside its other events, or drops the look and goes on.
struct TShFilesWatcher::TPoll {
    TPoll(std::string folder, bool tellKind, unsigned changeFilter)
        : path(std::move(folder)), askKind(tellKind), filter(changeFilter) {}

    const std::string path;
    const bool askKind;
    const unsigned filter;
    // Written before done is set, read only after.
    bool blind = false;
    std::uint64_t signature = 0;
    platform::WaitEvent done{platform::WaitEvent::ResetMode::Manual};
};

std::shared_ptr<TShFilesWatcher::TPoll> TShFilesWatcher::StartPoll(const std::string& path, bool askKind) const {
    auto poll = std::make_shared<TPoll>(path, askKind, notifyFilter_);
    std::thread([poll] {
        poll->blind = !poll->askKind || platform::IsInotifyBlindAt(poll->path).value_or(false);
        if (poll->blind) poll->signature = platform::FolderSignature(poll->path, poll->filter);
        poll->done.Set();
    }).detach();
    return poll;
}

TShFilesWatcher::TShFilesWatcher(const std::string& path, unsigned notifyFilter,
                                 TChangeEvent onChange)
    : notifyFilter_(notifyFilter),
      path_(path),
      newWatch_(WatchFolder(path, notifyFilter)),
      shared_(std::make_shared<TShared>(TShared{std::move(onChange)})),
      call_(std::make_unique<TMainThreadCall>()) {
    thread_ = std::thread([this] { Execute(); });
}

TShFilesWatcher::~TShFilesWatcher() {
    Stop();
    if (thread_.joinable()) thread_.join();
}

void TShFilesWatcher::SetPath(const std::string& path) {
    {
        std::lock_guard guard(lock_);
        if (path == path_) return;
    }
    TWatch watch = WatchFolder(path, notifyFilter_);
    std::lock_guard guard(lock_);
    // Changes made before the move that the thread has not read yet: in
    // its watch, or in one it has not taken yet.
    platform::InotifyWatch* current = newWatch_ ? newWatch_->get() : watch_.get();
    if (current != nullptr && current->ReadChanges() == platform::InotifyWatch::ReadResult::Changed)
        unreported_ = path_;
    path_ = path;
    newWatch_ = std::move(watch);
    pathChanged_.Set();
}

std::string TShFilesWatcher::GetPath() const {
    std::lock_guard guard(lock_);
    return path_;
}

void TShFilesWatcher::Stop() {
    shared_->onChange = nullptr;
    call_->Cancel();
    terminate_.Set();
}

bool TShFilesWatcher::IsFinished() const { return finished_; }

void TShFilesWatcher::Execute() {
    try {
        Run();
    } catch (const std::exception& error) {
        shell_notify_detail::ReportErrorLater(error);
    }
    finished_ = true;
}

// Waits for the end, a new path or a change in the folder. A change is
// followed by the quiet period; a failed read of the notification counts
// as a new path (the folder is watched afresh). Changes made before the
// path moves on and not reported yet are reported once the same folder is
// watched again: a pause (an empty path) for the owner's own work must not
// swallow what others did before it, while what happens during the pause
// stays unreported.
void TShFilesWatcher::Run() {
    std::string watchedPath;
    TakeNewWatch(watchedPath, false);
    for (;;) {
        if (!watch_ || !TakeUnreported(watchedPath)) {
            const TWake wake = AwaitChange(watchedPath);
            if (wake == TWake::Terminate) return;
            if (wake == TWake::NewPath) {
                TakeNewWatch(watchedPath, false);
                continue;
            }
            if (wake == TWake::Nothing) continue;
        }
        switch (AwaitQuiet()) {
        case TQuiet::Terminate:
            return;
        case TQuiet::NewPath:
            TakeNewWatch(watchedPath, true);
            break;
        case TQuiet::Failed:
            Rewatch(watchedPath);
            break;
        case TQuiet::Settled:
            if (!DeliverChange(watchedPath)) return;
            // A folder that went and came back is watched anew.
            if (!StillWatching()) Rewatch(watchedPath);
            break;
        }
    }
}

// Waits for the end, a new path, a change seen by inotify, or the next
// look at a folder that needs polling. A look is started when it is due
// and waited for beside the rest; only one is under way at a time, so a
// file system that does not answer gets no further ones.
TShFilesWatcher::TWake TShFilesWatcher::AwaitChange(const std::string& watchedPath) {
    using ReadResult = platform::InotifyWatch::ReadResult;
    std::vector<platform::WaitEvent*> events = {&terminate_, &pathChanged_};
    if (polling_.underway) events.push_back(&polling_.underway->done);
    const int signalled = platform::WaitForAny(events, watch_ ? watch_->Fd() : -1, UntilNextPoll(watchedPath));
    if (signalled == 0 || signalled == platform::kWaitFailed) return TWake::Terminate;
    if (signalled == 1) return TWake::NewPath;
    if (signalled == platform::kWaitTimedOut) {
        polling_.underway = StartPoll(watchedPath, !polling_.kindKnown);
        return TWake::Nothing;
    }
    if (signalled == 2 && polling_.underway) return TakePoll() ? TWake::Changed : TWake::Nothing;
    const ReadResult first = ReadCurrent();
    if (first == ReadResult::Failed) Rewatch(watchedPath);
    return first == ReadResult::Changed ? TWake::Changed : TWake::Nothing;
}

// None while a look is under way or the folder needs none: an empty path,
// or a file system that inotify sees. The first look, which tells the
// kind, is due at once.
std::optional<milliseconds> TShFilesWatcher::UntilNextPoll(const std::string& watchedPath) const {
    if (watchedPath.empty() || polling_.underway || (polling_.kindKnown && !polling_.blind)) return std::nullopt;
    return Remaining(polling_.due);
}

// Takes the finished look; true when the folder differs from the last one.
bool TShFilesWatcher::TakePoll() {
    const std::shared_ptr<TPoll> poll = std::move(polling_.underway);
    if (poll->askKind) {
        polling_.kindKnown = true;
        polling_.blind = poll->blind;
    }
    polling_.due = Clock::now() + milliseconds(kFolderPollMs);
    if (!polling_.blind) return false;
    const bool changed = polling_.signature && *polling_.signature != poll->signature;
    polling_.signature = poll->signature;
    return changed;
}

TShFilesWatcher::TQuiet TShFilesWatcher::AwaitQuiet() {
    using ReadResult = platform::InotifyWatch::ReadResult;
    Clock::time_point deadline = Clock::now() + milliseconds(kFolderQuietMs);
    for (;;) {
        platform::WaitEvent* events[] = {&terminate_, &pathChanged_};
        switch (platform::WaitForAny(events, watch_ ? watch_->Fd() : -1, Remaining(deadline))) {
        case 0:
            return TQuiet::Terminate;
        case 1:
            return TQuiet::NewPath;
        case 2: {
            const ReadResult more = ReadCurrent();
            if (more == ReadResult::Failed) return TQuiet::Failed;
            if (more == ReadResult::Changed) deadline = Clock::now() + milliseconds(kFolderQuietMs);
            break;
        }
        case platform::kWaitTimedOut:
            return TQuiet::Settled;
        default:
            return TQuiet::Terminate;
        }
    }
}

platform::InotifyWatch::ReadResult TShFilesWatcher::ReadCurrent() {
    std::lock_guard guard(lock_);
    // Once the path has moved on, what comes is the next owner's business.
    if (newWatch_) return platform::InotifyWatch::ReadResult::NoChange;
    return watch_->ReadChanges();
}

void TShFilesWatcher::ForgetChanges() {
    std::lock_guard guard(lock_);
    if (watch_) watch_->ReadChanges();
}

bool TShFilesWatcher::StillWatching() const {
    std::lock_guard guard(lock_);
    // A folder that is only polled has no watch to lose.
    return !watch_ || watch_->WatchCount() != 0;
}

void TShFilesWatcher::Rewatch(const std::string& watchedPath) {
    TWatch fresh = WatchFolder(watchedPath, notifyFilter_);
    std::lock_guard guard(lock_);
    watch_ = std::move(fresh);
}

void TShFilesWatcher::TakeNewWatch(std::string& watchedPath, bool pendingChanges) {
    std::lock_guard guard(lock_);
    if (pendingChanges) unreported_ = watchedPath;
    if (!newWatch_) return;
    watch_ = std::move(*newWatch_);
    newWatch_.reset();
    watchedPath = path_;
    if (!watchedPath.empty() && watchedPath != unreported_) unreported_.clear();
    // A look at the old folder still under way is left to itself.
    polling_ = TPolling();
}

bool TShFilesWatcher::TakeUnreported(const std::string& watchedPath) {
    std::lock_guard guard(lock_);
    if (watchedPath.empty() || watchedPath != unreported_) return false;
    unreported_.clear();
    return true;
}

// Reports the folder whose watch saw the changes; when the path has been
// moved on since, the report is about a folder no longer shown and is
// left out (the new path is opened next). What the handler's own work
// caused is not reported again: it is dropped on the main thread as the
// handler returns, before anything else can change the folder. Dropped
// later by this thread, it could take with it a change that others made
// meanwhile (a handler that reads the folder on a thread of its own lets
// the next change come at once).
bool TShFilesWatcher::DeliverChange(const std::string& watchedPath) {
    if (GetPath() != watchedPath) return true;
    const std::shared_ptr<TShared> shared = shared_;
    TShFilesWatcher* self = this;
    return call_->Run([shared, self, watchedPath] {
               const TChangeEvent handler = shared->onChange;
               if (!handler) return;
               handler(self, watchedPath);
               // Cleared when the handler stopped or ended the watcher.
               if (shared->onChange) self->ForgetChanges();
           }) == TMainThreadCall::TResult::Done;
}
