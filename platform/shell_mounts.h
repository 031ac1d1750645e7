#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <QString>

namespace platform {

// A mounted file system that a user would call a drive.
struct MountedDrive {
    std::string mountPoint;  // raw path bytes, no trailing slash except "/"
    std::string source;      // the device or source named in the mount table
    std::string fileSystem;  // e.g. "ext4", "vfat"
    bool removable = false;  // mounted below /media or /run/media

    bool operator==(const MountedDrive&) const = default;
};

// Media mount below /media or /run/media.
bool IsRemovableMountPoint(std::string_view mountPoint);

// The drives among the mounts of a mount table in the format of
// /proc/self/mountinfo: "/", "/home" when separate, and what is mounted
// below /media, /run/media and /mnt (or on /mnt itself). Ordered as the
// table lists them, each mount point once.
std::vector<MountedDrive> DrivesFromMountInfo(std::string_view mountInfo);

// The drives mounted now.
std::vector<MountedDrive> MountedDrives();

// The label of the file system mounted at or holding path, as the system
// stores it (e.g. "DATA"); empty when it has none or it cannot be read.
// Never opens the device.
QString RawVolumeLabel(const std::string& path);

// The file at path with the whole mount table text, read safely.
std::string ReadMountInfo(const std::string& path = "/proc/self/mountinfo");

}  // namespace platform
