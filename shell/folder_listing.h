#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "shell/entry_order.h"
#include "shell/shell_file_list.h"

// One run of a listing: entries, or the facts of entries handed over
// before, or its end.
struct TListingRun {
    std::vector<std::unique_ptr<TSHFileItem>> entries;
    std::vector<TEntryOrderKey> keys;  // beside the entries; empty when the run is not sorted
    // The facts of entries of earlier runs, read after the last entry.
    std::vector<std::pair<TSHFileItem*, platform::FindData>> facts;
    bool complete = false;  // every entry has been handed over
    bool last = false;      // nothing follows
    // With the first run: the folder as the thread bound it, and its
    // device and inode; with the last: why it could not be read.
    ShellFolderPtr folder;
    std::optional<std::pair<std::uint64_t, std::uint64_t>> identity;
    int error = 0;
};

// Reads the entries of one file-system folder on a thread of its own and
// hands them over in runs, each sorted in the list's order, so that the
// window stays usable while a huge, slow or hung folder is read. The
// thread binds the folder, reads the directory and, where the filter or
// the sort column needs them, each entry's facts; nothing of it runs on
// the caller's thread.
//
// A listing that is no longer wanted is cancelled, never waited for: a
// thread stuck in a file system that does not answer ends when the call
// returns, and meanwhile holds only its own data.
class TFolderListing {
public:
    struct TRequest {
        TSHFileList* owner = nullptr;  // stored in the entries, never touched by the thread
        platform::UniqueIDList folder;  // absolute
        unsigned flags = 0;             // SHCONTF_*
        THeaderCaption column = hcName;
        int direction = 1;
        std::optional<TSHFileFilter> filter;  // none: every entry is kept
        // Read every entry's facts after the last entry, so that showing
        // them never waits for the file system.
        bool readFacts = true;
    };

    // Called on the listing's thread; it must pass the run on to the
    // caller's thread (it is called under the listing's lock, which Cancel
    // also takes, so that nothing is delivered after Cancel returns).
    using TDeliver = std::function<void(std::shared_ptr<TListingRun>)>;

    // Whether the column's order can be worked out on the listing's thread
    // run by run (the other columns are sorted once all entries are in).
    static bool SortsRunByRun(THeaderCaption column) {
        return column == hcName || column == hcSize || column == hcLastWrite;
    }

    static std::shared_ptr<TFolderListing> Start(TRequest request, TDeliver deliver);
    ~TFolderListing();

    // Nothing more is delivered once this returns; the thread ends at its
    // next step.
    void Cancel();
    // Whether the thread has not finished a file-system call for the given
    // time: the folder's file system does not answer.
    bool Silent(std::chrono::milliseconds time) const;

private:
    TFolderListing(TRequest request, TDeliver deliver);
    void Run();
    void ReadFacts(const platform::ShellFolder& folder, const std::vector<std::pair<TSHFileItem*, std::string>>& entries);
    bool Deliver(std::shared_ptr<TListingRun> run);
    void Stir();
    bool Cancelled() const { return cancelled_.load(std::memory_order_relaxed); }

    TRequest request_;
    mutable std::mutex lock_;
    TDeliver deliver_;
    std::atomic<bool> cancelled_{false};
    std::atomic<std::int64_t> lastStepMs_;
};
