#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/inotify_watch.h"
#include "platform/wait_event.h"
#include "shell/shell_ctrl_list.h"

// Worker threads that tell the shell controls, on the main thread, that
// something changed on disk. Each folds a burst of changes into one report
// after a quiet period and delivers it by a call the worker waits for.
//
// Handlers run on the main thread only (the thread of the application
// object). A watcher is owned by its control: Stop() ends its work (no
// handler is called afterwards) and the destructor also joins the thread.
// Both are safe while a report is on its way to the main thread, and from
// inside a handler: the delivery is given up instead of waited for.

namespace shell_notify_detail {
class TMainThreadCall;
}

// Quiet periods: a report goes out once this long has passed without a
// further change.
constexpr int kDirQuietMs = 1500;
constexpr int kFolderQuietMs = 2000;
constexpr int kDeviceQuietMs = 1000;
// How often a folder is looked at where inotify is blind (network and FUSE
// file systems): often enough to see others' changes soon, seldom enough
// not to load a server.
constexpr int kFolderPollMs = 2500;

// Watches a set of directories, each with its subfolders down to a depth,
// and carries device changes from the device-change registry to its folder
// tree. OnChange gets what changed during the burst, folder by folder (see
// platform::FolderChanges), so that only those folders need a look;
// OnDeviceChange gets the newest record of a burst, which is freed when
// the handler returns.
class TShDirWatcher : public TShDeviceChangeTarget {
public:
    using TDeviceChangeEvent =
        std::function<void(TShDirWatcher* sender, const TDeviceChangeData& data)>;
    using TChangeEvent = std::function<void(TShDirWatcher* sender, const platform::FolderChanges& changes)>;

    // Directories that are empty texts are skipped. notifyFilter combines
    // platform::ChangeFilter bits. subtreeDepth 1 watches each directory
    // and its direct subfolders, which is what a tree showing the
    // directories expanded needs to see (including its expand buttons);
    // platform::InotifyWatch::kUnlimitedDepth watches whole subtrees.
    TShDirWatcher(const std::vector<std::string>& directories, unsigned notifyFilter,
                  TDeviceChangeEvent onDeviceChange, TChangeEvent onChange, int subtreeDepth = 1);
    ~TShDirWatcher() override;
    TShDirWatcher(const TShDirWatcher&) = delete;
    TShDirWatcher& operator=(const TShDirWatcher&) = delete;

    // Replaces the watched directories when the new sorted list differs;
    // watching restarts only then.
    void SetDirectories(const std::vector<std::string>& directories);
    // Watches nothing until directories are set again (always restarts).
    void ClearDirectories();
    // The list watched: sorted, each ending in "/"; directories that could
    // not be watched have been dropped from it.
    std::vector<std::string> Directories() const;

    // Main thread only. Keeps the record as the pending one (a newer
    // record replaces an older) and delivers the newest after the device
    // quiet period; ignored when no OnDeviceChange handler is set.
    void PostDeviceChange(std::unique_ptr<TDeviceChangeData> data) override;

    // Main thread only: clears the handlers and tells the thread to end.
    void Stop();
    // True once the thread has left its loop (after Stop() or a failure of
    // the system's change notification).
    bool IsFinished() const;

private:
    struct TShared;
    using TWatch = std::unique_ptr<platform::InotifyWatch>;
    enum class TStep { Terminate, Continue };

    TWatch WatchDirectories(std::vector<std::string>& directories) const;
    void Execute();
    void Run();
    void TakeNewWatch(TWatch& watch, platform::FolderChanges& changes);
    TStep TakeNewWatchWithChanges(TWatch& watch);
    TStep CollectDirectoryChanges(TWatch& watch, platform::FolderChanges changes);
    TStep DeviceStep();
    bool DeliverChange(platform::FolderChanges changes);
    bool DeliverDeviceChange();

    const unsigned notifyFilter_;
    const int subtreeDepth_;
    platform::WaitEvent terminate_{platform::WaitEvent::ResetMode::Manual};
    platform::WaitEvent device_{platform::WaitEvent::ResetMode::Automatic};
    platform::WaitEvent listChanged_{platform::WaitEvent::ResetMode::Automatic};

    // The list and the watch made for it on the caller's thread, so that
    // watching has begun when the constructor or SetDirectories() returns;
    // the thread takes the new watch (none: watch nothing) when list
    // changed is signalled.
    mutable std::mutex lock_;  // guards directories_, newWatch_ and carried_ only
    std::vector<std::string> directories_;
    std::optional<TWatch> newWatch_;
    platform::FolderChanges carried_;  // of new watches replaced before the thread took them

    std::shared_ptr<TShared> shared_;
    std::unique_ptr<shell_notify_detail::TMainThreadCall> call_;
    std::atomic<bool> finished_{false};
    std::thread thread_;
};

// Watches one folder, not its subfolders. An empty path parks the watcher
// until a path is set; a path that is not an existing directory is not
// watched. OnChange gets the path of the folder that changed; the folder
// may be gone by then (deleting or moving it away is a change).
//
// On a file system that inotify is blind to, the folder is also polled
// every kFolderPollMs: what the filter asks of its entries (names; sizes,
// times, attributes) is compared with the last look, and a difference is
// reported as a change seen by inotify is. The first look, taken once the
// path is set, is where comparing starts. Each look runs on a thread of
// its own, which the watcher leaves behind when the file system does not
// answer: a hung mount never holds up a new path, Stop() or the destructor.
class TShFilesWatcher {
public:
    using TChangeEvent = std::function<void(TShFilesWatcher* sender, const std::string& path)>;

    TShFilesWatcher(const std::string& path, unsigned notifyFilter, TChangeEvent onChange);
    ~TShFilesWatcher();
    TShFilesWatcher(const TShFilesWatcher&) = delete;
    TShFilesWatcher& operator=(const TShFilesWatcher&) = delete;

    // Moves the watch; setting the current path again changes nothing.
    void SetPath(const std::string& path);
    std::string GetPath() const;

    // Main thread only: clears the handler and tells the thread to end.
    void Stop();
    bool IsFinished() const;

private:
    struct TShared;
    struct TPoll;
    using TWatch = std::unique_ptr<platform::InotifyWatch>;
    enum class TQuiet { Terminate, NewPath, Failed, Settled };
    enum class TWake { Terminate, NewPath, Changed, Nothing };

    // The polling of the watched folder: its file system's kind once a
    // look has told it, the signature of the last look, the look under way.
    struct TPolling {
        bool kindKnown = false;
        bool blind = false;
        std::optional<std::uint64_t> signature;
        std::shared_ptr<TPoll> underway;
        std::chrono::steady_clock::time_point due;
    };

    std::shared_ptr<TPoll> StartPoll(const std::string& path, bool askKind) const;
    void Execute();
    void Run();
    TWake AwaitChange(const std::string& watchedPath);
    std::optional<std::chrono::milliseconds> UntilNextPoll(const std::string& watchedPath) const;
    bool TakePoll();
    TQuiet AwaitQuiet();
    // The thread's reads of its watch; none once the path has moved on.
    platform::InotifyWatch::ReadResult ReadCurrent();
    void ForgetChanges();
    bool StillWatching() const;
    void Rewatch(const std::string& watchedPath);
    // Changes seen but not reported when the path moves on are kept as
    // unreported and reported once the same folder is watched again.
    void TakeNewWatch(std::string& watchedPath, bool pendingChanges);
    bool TakeUnreported(const std::string& watchedPath);
    bool DeliverChange(const std::string& watchedPath);

    const unsigned notifyFilter_;
    platform::WaitEvent terminate_{platform::WaitEvent::ResetMode::Manual};
    platform::WaitEvent pathChanged_{platform::WaitEvent::ResetMode::Automatic};

    // The path and the watch made for it on the caller's thread (see
    // TShDirWatcher); the thread takes the watch when path changed is
    // signalled. The thread's watch is replaced only by the thread; the
    // caller reads it, under the lock, for the changes made before a move.
    mutable std::mutex lock_;  // guards the reads and replacements of the watches, path_ and unreported_
    std::string path_;
    std::optional<TWatch> newWatch_;
    TWatch watch_;
    std::string unreported_;
    TPolling polling_;  // the thread's only

    std::shared_ptr<TShared> shared_;
    std::unique_ptr<shell_notify_detail::TMainThreadCall> call_;
    std::atomic<bool> finished_{false};
    std::thread thread_;
};
