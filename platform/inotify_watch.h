#pragma once

#include <cstdint>
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
    // a watched folder that is deleted or moved away always counts.
    ReadResult ReadChanges();

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

    int fd_;
    unsigned filter_;
    std::unordered_map<int, Watched> watches_;
    std::unordered_map<int, RootHolder> holders_;
    std::unordered_map<std::uint32_t, int> movingRoots_;  // rename cookie → root renamed away
};

}  // namespace platform
