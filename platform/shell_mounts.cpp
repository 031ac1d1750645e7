#include "platform/shell_mounts.h"

#include "platform/mount_monitor.h"

#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <memory>
#include <sstream>
#include <string_view>

namespace platform {
namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool IsUnder(const std::string& path, const std::string& mountPoint) {
    if (mountPoint == "/") return StartsWith(path, "/");
    return StartsWith(path, mountPoint) && (path.size() == mountPoint.size() || path[mountPoint.size()] == '/');
}

std::string RealPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr), &std::free);
    return resolved ? std::string(resolved.get()) : std::string();
}

// /dev/disk/by-label escapes bytes as \xHH.
std::string UnescapeHex(const std::string& name) {
    std::string text;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && name.size() - i >= 4 && name[i + 1] == 'x') {
            const std::string digits = name.substr(i + 2, 2);
            if (digits.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos) {
                text += static_cast<char>(std::strtol(digits.c_str(), nullptr, 16));
                i += 3;
                continue;
            }
        }
        text += name[i];
    }
    return text;
}

const MountEntry* MountHolding(const std::vector<MountEntry>& entries, const std::string& path) {
    const MountEntry* best = nullptr;
    for (const MountEntry& entry : entries)
        if (IsUnder(path, entry.mountPoint) && (!best || entry.mountPoint.size() >= best->mountPoint.size()))
            best = &entry;
    return best;
}

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

}  // namespace

bool IsRemovableMountPoint(std::string_view mountPoint) {
    return StartsWith(mountPoint, "/media/") || StartsWith(mountPoint, "/run/media/");
}

std::vector<MountedDrive> DrivesFromMountInfo(std::string_view mountInfo) {
    std::vector<MountedDrive> drives;
    for (const MountEntry& entry : ParseMountInfo(mountInfo)) {
        if (!IsDriveMount(entry)) continue;
        bool known = false;
        for (MountedDrive& drive : drives)
            if (drive.mountPoint == entry.mountPoint) {
                // A later mount on the same place hides the earlier one.
                drive.source = entry.source;
                drive.fileSystem = entry.fileSystem;
                known = true;
            }
        if (!known)
            drives.push_back(MountedDrive{entry.mountPoint, entry.source, entry.fileSystem,
                                          IsRemovableMountPoint(entry.mountPoint)});
    }
    return drives;
}

std::string ReadMountInfo(const std::string& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::vector<MountedDrive> MountedDrives() { return DrivesFromMountInfo(ReadMountInfo()); }

QString RawVolumeLabel(const std::string& path) {
    const auto entries = ParseMountInfo(ReadMountInfo());
    const MountEntry* entry = MountHolding(entries, path);
    if (!entry || !StartsWith(entry->source, "/dev/")) return QString();
    const std::string device = RealPath(entry->source);
    if (device.empty()) return QString();
    const std::string labels = "/dev/disk/by-label";
    std::unique_ptr<DIR, DirCloser> dir(opendir(labels.c_str()));
    if (!dir) return QString();
    while (const dirent* link = readdir(dir.get())) {
        const std::string name = link->d_name;
        if (name == "." || name == "..") continue;
        if (RealPath(labels + "/" + name) == device) return QString::fromUtf8(UnescapeHex(name));
    }
    return QString();
}

}  // namespace platform
