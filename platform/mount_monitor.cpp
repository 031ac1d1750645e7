#include "mount_monitor.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <unordered_map>

namespace platform {
namespace {

struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0) close(fd);
    }
};

bool IsOctalDigit(char c) { return c >= '0' && c <= '7'; }

// mountinfo writes space, tab, newline and backslash as \ooo.
std::string Unescape(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && IsOctalDigit(text[i + 1]) &&
            IsOctalDigit(text[i + 2]) && IsOctalDigit(text[i + 3])) {
            result += static_cast<char>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 +
                                        (text[i + 3] - '0'));
            i += 3;
        } else {
            result += text[i];
        }
    }
    return result;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (start < line.size()) {
        const std::size_t end = std::min(line.find(' ', start), line.size());
        if (end > start) fields.push_back(line.substr(start, end - start));
        start = end + 1;
    }
    return fields;
}

// id parent major:minor root mount-point options [optional...] - type source super-options
bool ParseLine(std::string_view line, MountEntry& entry) {
    const std::vector<std::string_view> fields = SplitFields(line);
    const auto separator = std::find(fields.begin(), fields.end(), std::string_view("-"));
    if (separator == fields.end() || separator - fields.begin() < 6 || fields.end() - separator < 3)
        return false;
    const std::string_view id = fields[0];
    if (std::from_chars(id.data(), id.data() + id.size(), entry.mountId).ec != std::errc())
        return false;
    entry.mountPoint = Unescape(fields[4]);
    entry.fileSystem = Unescape(separator[1]);
    entry.source = Unescape(separator[2]);
    return true;
}

// The entries of from that to does not hold. Mount ids are unique while a
// mount lives, so they find the counterpart; an entry whose fields changed
// under the same id (a moved mount) counts as gone and new.
std::vector<MountEntry> Missing(const std::vector<MountEntry>& from, const std::vector<MountEntry>& to) {
    std::unordered_map<int, const MountEntry*> byId;
    for (const MountEntry& mount : to) byId.emplace(mount.mountId, &mount);
    std::vector<MountEntry> missing;
    for (const MountEntry& mount : from) {
        const auto found = byId.find(mount.mountId);
        if (found == byId.end() || !(*found->second == mount)) missing.push_back(mount);
    }
    return missing;
}

bool IsBelow(const std::string& path, std::string_view folder) {
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '/';
}

}  // namespace

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
    std::vector<MountEntry> mounts;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        MountEntry entry;
        if (ParseLine(text.substr(start, end - start), entry)) mounts.push_back(std::move(entry));
        start = end + 1;
    }
    return mounts;
}

bool IsNetworkFileSystem(const std::string& fileSystem) {
    static constexpr std::array<std::string_view, 16> kNetworkTypes = {
        "nfs",        "nfs4",        "cifs",          "smb3",          "smbfs",
        "ncpfs",      "afs",         "ceph",          "9p",            "coda",
        "davfs",      "fuse.sshfs",  "fuse.davfs2",   "fuse.rclone",   "fuse.glusterfs",
        "fuse.s3fs"};
    return std::find(kNetworkTypes.begin(), kNetworkTypes.end(), fileSystem) != kNetworkTypes.end();
}

bool IsDriveMount(const MountEntry& mount) {
    // An automounter's placeholder is no drive; what it mounts later is.
    if (mount.fileSystem == "autofs") return false;
    const std::string& point = mount.mountPoint;
    return point == "/" || point == "/home" || point == "/mnt" || IsBelow(point, "/mnt") ||
           IsBelow(point, "/media") || IsBelow(point, "/run/media");
}

MountMonitor::MountMonitor(std::string mountInfoPath)
    : path_(std::move(mountInfoPath)), fd_(open(path_.c_str(), O_RDONLY | O_CLOEXEC)) {
    Read(mounts_);
}

MountMonitor::~MountMonitor() {
    if (fd_ >= 0) close(fd_);
}

bool MountMonitor::Read(std::vector<MountEntry>& mounts) const {
    // A fresh descriptor each time: a table file replaced by renaming is
    // read as it is now, and the polled descriptor keeps its own state.
    const FdCloser file{open(path_.c_str(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0) return false;
    std::string text;
    char buffer[8192];
    for (;;) {
        const ssize_t length = read(file.fd, buffer, sizeof buffer);
        if (length < 0 && errno == EINTR) continue;
        if (length < 0) return false;
        if (length == 0) break;
        text.append(buffer, static_cast<std::size_t>(length));
    }
    mounts = ParseMountInfo(text);
    return true;
}

MountChanges MountMonitor::Update() {
    MountChanges changes;
    std::vector<MountEntry> now;
    if (!Read(now)) return changes;
    changes.removed = Missing(mounts_, now);
    changes.added = Missing(now, mounts_);
    mounts_ = std::move(now);
    return changes;
}

}  // namespace platform
