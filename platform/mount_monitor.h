#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// One line of a mountinfo table, with the octal escapes of its texts
// (\040 for a space and so on) decoded.
struct MountEntry {
    int mountId = 0;
    std::string mountPoint;
    std::string source;      // the device or the remote share
    std::string fileSystem;  // ext4, vfat, nfs4, fuse.sshfs, ...

    bool operator==(const MountEntry&) const = default;
};

struct MountChanges {
    std::vector<MountEntry> removed;
    std::vector<MountEntry> added;

    bool IsEmpty() const { return removed.empty() && added.empty(); }
};

// The mounts listed by the text of a mountinfo file, in its order. Lines
// that do not follow the format are skipped.
std::vector<MountEntry> ParseMountInfo(std::string_view text);

// True for the file systems that reach a share over the network.
bool IsNetworkFileSystem(const std::string& fileSystem);

// True for the mounts a user calls drives: the root, a separate /home, and
// what is mounted on /mnt or under /mnt, /media and /run/media (the drives
// folder lists the same).
bool IsDriveMount(const MountEntry& mount);

// Follows the mount table. The kernel marks the table's descriptor with
// POLLPRI when a mount appears or goes; the owner polls Fd() for that (an
// event loop's exception notifier does) and then calls Update(). The path
// of the table can be another file, which lets a test play the kernel.
class MountMonitor {
public:
    explicit MountMonitor(std::string mountInfoPath = "/proc/self/mountinfo");
    ~MountMonitor();
    MountMonitor(const MountMonitor&) = delete;
    MountMonitor& operator=(const MountMonitor&) = delete;

    // -1 when the table cannot be opened.
    int Fd() const { return fd_; }
    const std::string& Path() const { return path_; }

    // The mounts as of the last reading (the construction or Update()).
    const std::vector<MountEntry>& Mounts() const { return mounts_; }

    // Reads the table again and returns what changed since the last
    // reading. An unreadable table changes nothing.
    MountChanges Update();

private:
    bool Read(std::vector<MountEntry>& mounts) const;

    std::string path_;
    int fd_;
    std::vector<MountEntry> mounts_;
};

}  // namespace platform
