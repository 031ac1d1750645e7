#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

struct inotify_event;

namespace platform {

// What a change watch reports, as combinable bits. The values are those of
// the change filters the shell controls pass around (file names, folder
// names, attributes, size, last write).
enum ChangeFilter : unsigned {
    kChangeFileName = 0x01,
    kChangeDirName = 0x02,
    kChangeAttributes = 0x04,
    kChangeSize = 0x08,
    kChangeLastWrite = 0x10,
};

// The inotify event mask that sees every change the filter asks for.
std::uint32_t InotifyMaskFor(unsigned filter);

// What changed, folder by folder: the names of the entries that came,
// went, were renamed or changed as the filter asks. A name says only that
// the entry is worth a look; whether it is there now is for the reader to
// find out, so the order of the events does not matter. Whole is set when
// the changes cannot be told by name (the system dropped events, a watched
// folder went without a watched folder holding it, too many names); the
// names are then dropped.
struct FolderChanges {
    static constexpr std::size_t kMaxNames = 100'000;

    bool whole = false;
    std::map<std::string, std::set<std::string>> names;  // folder path (no trailing "/") → entry names

    void Add(const std::string& folder, const std::string& name);
    void SetWhole();
    void Merge(const FolderChanges& other);
    bool Empty() const { return !whole && names.empty(); }

private:
    std::size_t count_ = 0;
};

// Watches folders through one inotify instance. A folder may be watched
// with its subfolders down to a depth; subfolders created or moved in later
// are watched as they appear. The descriptor becomes readable when events
// are pending; ReadChanges() then says whether any of them matters.
class InotifyWatch {
public:
    static constexpr int kUnlimitedDepth = -1;

    enum class ReadResult { NoChange, Changed, Failed };

    explicit InotifyWatch(unsigned filter);
    ~InotifyWatch();
    InotifyWatch(const InotifyWatch&) = delete;
    InotifyWatch& operator=(const InotifyWatch&) = delete;

    bool IsValid() const { return fd_ >= 0; }
    int Fd() const { return fd_; }

    // Watches folder and its subfolders down to depth levels below it
    // (0: the folder alone). False when the folder itself cannot be
    // watched: missing, not a folder, unreadable, or no watches left.
    // Subfolders that cannot be watched are skipped. Folders are followed
    // when they are renamed or moved within the watched tree, the folder
    // itself included; a subfolder moved out of it is no longer watched.
    bool Add(const std::string& folder, int depth = 0);

    // Reads the pending events without blocking. Changed when one of them
    // is a change the filter asks for, or when the kernel dropped events;
    // a watched folder that is deleted or moved away always counts. The
    // changes that count are added to changes when given.
    ReadResult ReadChanges(FolderChanges* changes = nullptr);

    // The number of folders watched, subfolders included.
    std::size_t WatchCount() const { return watches_.size(); }

private:
    static constexpr int kNoParent = -1;

    // A subfolder is known by its parent's watch and its name there, never
    // by a stored path, so renaming a folder renames everything below it.
    struct Watched {
        int parent;        // watch of the folder holding it; kNoParent for a root
        std::string name;  // its name in the parent; a root's whole path
        int depth;         // levels of subfolders still to watch below it
        bool isRoot;       // handed to Add()
    };
    // The folder holding some roots, watched for its entries being renamed
    // so that a renamed root is found again.
    struct RootHolder {
        std::string path;
        std::vector<int> roots;
    };

    std::uint32_t MaskFor(int depth) const;
    int AddRoot(const std::string& folder, int depth);
    void WatchHolderOf(int root);
    void AddChild(int parent, const std::string& name, int depth);
    void AddSubfolders(int wd, int depth);
    std::string PathOf(int wd) const;
    void StopWatchingMovedAway(int parent, const std::string& name);
    void FollowRootMoves(RootHolder& holder, const struct inotify_event& event);
    bool Matters(std::uint32_t mask, const Watched& watched) const;
    void Record(const struct inotify_event& event, int wd, FolderChanges& changes) const;
    bool HeldByWatchedRoot(const std::string& path) const;

    int fd_;
    unsigned filter_;
    std::unordered_map<int, Watched> watches_;
    std::unordered_map<int, RootHolder> holders_;
    std::unordered_map<std::uint32_t, int> movingRoots_;  // rename cookie → root renamed away
};

}  // namespace platform
