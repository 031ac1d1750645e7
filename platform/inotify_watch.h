#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

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
    // Subfolders that cannot be watched are skipped.
    bool Add(const std::string& folder, int depth = 0);

    // Reads the pending events without blocking. Changed when one of them
    // is a change the filter asks for, or when the kernel dropped events;
    // a watched folder that is deleted or moved away always counts.
    ReadResult ReadChanges();

    // The number of folders watched, subfolders included.
    std::size_t WatchCount() const { return watches_.size(); }

private:
    struct Watched {
        std::string path;
        int depth;  // levels of subfolders still to watch below it
        bool isRoot;
    };

    bool AddOne(const std::string& folder, int depth, bool isRoot);
    void AddSubfolders(const std::string& folder, int depth);
    bool Matters(std::uint32_t mask, const Watched& watched) const;
    void FollowNewSubfolder(const Watched& parent, const std::string& name);

    int fd_;
    unsigned filter_;
    std::unordered_map<int, Watched> watches_;
};

}  // namespace platform
