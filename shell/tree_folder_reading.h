#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <QString>

#include "shell/shell_data_item.h"

// Which entries of a folder a folder tree shows; the same rules on the
// main thread and on a reading's thread.
struct TTreeFilter {
    unsigned flags = 0;  // SHCONTF_*
    TShVirtuaItems virtuaItems = TShVirtuaItems::Default();
    // Files matching this mask are shown beside the folders (and make a
    // folder expandable); none: folders only.
    std::optional<QString> fileMask;
};

// Whether the shell controls show child under parent: of the virtual
// places only those in items, under the desktop and the drives folder.
bool ShellControlsShowChild(TShVirtuaItems items, TSHDataItem& parent, TSHDataItem& child);

// Whether the tree shows child under parent.
bool TreeKeepsChild(const TTreeFilter& filter, TSHDataItem& parent, TSHDataItem& child);

// The item of a child of parent; folder is parent's own folder, which the
// children share instead of each binding it again.
std::unique_ptr<TSHFolderItem> TreeChildItem(const TSHFolderItem& parent, const ShellFolderPtr& folder,
                                             platform::UniqueIDList relative);

// Device and inode of a folder: a folder renamed behind the tree's back is
// found by them.
using TFileId = std::pair<dev_t, ino_t>;

// One child as the tree shows it, all of it read off the main thread.
struct TTreeChild {
    std::unique_ptr<TSHFolderItem> item;  // name looked up already, and when known its icons
    bool known = false;                   // the facts below have been read
    bool hasChildren = false;
    int overlay = -1;                     // 0 shared, 1 link, -1 none
    std::optional<TFileId> fileId;        // only when the request asked for it
};

// What a reading found, handed over whole or in parts: first the entries
// (names only), then their facts in runs, so that a folder whose children
// are slow to look at shows their names at once.
struct TTreeFolderFacts {
    enum class TPart {
        Whole,    // everything (also when the folder could not be read)
        Entries,  // every kept child, facts not read yet
        Facts,    // some children with their facts
    };
    TPart part = TPart::Whole;
    bool last = true;  // nothing follows
    bool bound = false;  // false: the folder is not there (any more)
    int error = 0;       // errno when its entries could not be read
    std::optional<TFileId> fileId;
    // The folder's own capability and kind bits (ShellAttributeBits), for
    // the commands on it; never the ones that read the folder.
    std::optional<std::uint32_t> attributes;
    std::vector<TTreeChild> children;  // in the tree's order
    // A reading by name: children holds those of names that are there now.
    bool byName = false;
    std::set<std::string> names;
};

// Reads one folder of a folder tree on a thread of its own: binds it, reads
// its entries (or some of them by name) and every kept child's expand
// button, overlay, name and icons, so that the main thread only places the
// answer. A file system that does not answer holds the thread, never the
// window.
//
// A reading that is no longer wanted is cancelled, never waited for: a
// thread stuck in a call ends when the call returns, and meanwhile holds
// only its own data.
class TTreeFolderReading {
public:
    enum class TKind {
        Identity,  // the folder's device and inode only
        Children,  // every child
        Names,     // the children called names (a change report)
    };
    struct TRequest {
        TKind kind = TKind::Children;
        platform::UniqueIDList relative;  // the folder's item as its node holds it
        platform::UniqueIDList absolute;
        TTreeFilter filter;
        std::set<std::string> names;  // with Names
        bool childFileIds = false;    // also each child's device and inode
    };

    // Called on the reading's thread under its lock, which Cancel also
    // takes: it must pass the facts on to the caller's thread, and nothing
    // is delivered once Cancel has returned.
    using TDeliver = std::function<void(std::shared_ptr<TTreeFolderFacts>)>;

    static std::shared_ptr<TTreeFolderReading> Start(TRequest request, TDeliver deliver);

    void Cancel();
    // Whether the thread has not finished a file-system call for the given
    // time: the folder's file system does not answer.
    bool Silent(std::chrono::milliseconds time) const;
    TKind Kind() const { return request_.kind; }
    const platform::ItemIDList* Absolute() const { return request_.absolute.get(); }
    const std::set<std::string>& Names() const { return request_.names; }

private:
    TTreeFolderReading(TRequest request, TDeliver deliver);
    void Run();
    bool ReadItems(const ShellFolderPtr& folder, TTreeFolderFacts& facts,
                   std::vector<std::unique_ptr<TSHFolderItem>>& items);
    bool ReadChildren(const ShellFolderPtr& folder, TTreeFolderFacts& facts);
    void ReadFactsInRuns(const ShellFolderPtr& folder, std::vector<std::unique_ptr<TSHFolderItem>>& items);
    TTreeChild ChildFacts(const ShellFolderPtr& folder, std::unique_ptr<TSHFolderItem> item) const;
    bool Deliver(std::shared_ptr<TTreeFolderFacts> facts);
    void Stir();
    bool Cancelled() const { return cancelled_.load(std::memory_order_relaxed); }

    const TRequest request_;
    mutable std::mutex lock_;
    TDeliver deliver_;
    std::atomic<bool> cancelled_{false};
    std::atomic<std::int64_t> lastStepMs_;
};
