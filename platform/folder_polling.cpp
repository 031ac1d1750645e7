#include "folder_polling.h"

#include "inotify_watch.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <memory>
#include <string_view>
#include <vector>

namespace platform {
namespace {

// The f_type values of the file systems whose changes may come from
// elsewhere (see linux/magic.h and the file systems' own sources).
constexpr std::array<std::uint64_t, 11> kBlindTypes = {
    0x6969,      // NFS
    0x517B,      // SMB (smbfs)
    0xFF534D42,  // CIFS
    0xFE534D42,  // SMB2/3 (the cifs module)
    0x65735546,  // FUSE: sshfs, GVfs, rclone, ...
    0x564C,      // NCP
    0x5346414F,  // AFS (OpenAFS)
    0x6B414653,  // AFS (kAFS)
    0x00C36400,  // Ceph
    0x01021997,  // 9p
    0x73757245,  // Coda
};

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

// FNV-1a, 64 bits: stable across runs, cheap, and good enough to tell two
// readings of one folder apart.
class Hash {
public:
    void Add(const void* data, std::size_t size) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < size; ++i) value_ = (value_ ^ bytes[i]) * 0x100000001B3ULL;
    }
    template <typename T>
    void AddValue(const T& value) {
        Add(&value, sizeof value);
    }
    std::uint64_t Value() const { return value_; }

private:
    std::uint64_t value_ = 0xCBF29CE484222325ULL;
};

struct Entry {
    std::string name;
    std::uint32_t type = 0;
    std::uint32_t mode = 0;
    std::uint32_t user = 0;
    std::uint32_t group = 0;
    std::int64_t size = 0;
    std::int64_t seconds = 0;
    std::int64_t nanoseconds = 0;
};

bool NeedsStat(unsigned filter) { return (filter & (kChangeSize | kChangeLastWrite | kChangeAttributes)) != 0; }

// What the filter asks of an entry's stat; the rest stays zero.
void TakeDetails(const struct stat& info, unsigned filter, Entry& entry) {
    if (filter & (kChangeSize | kChangeLastWrite)) entry.size = info.st_size;
    if (filter & kChangeLastWrite) {
        entry.seconds = info.st_mtim.tv_sec;
        entry.nanoseconds = info.st_mtim.tv_nsec;
    }
    if (filter & kChangeAttributes) {
        entry.mode = info.st_mode;
        entry.user = info.st_uid;
        entry.group = info.st_gid;
    }
}

// The entries of a folder with what the signature covers; an entry that
// went between the reading and its stat keeps its name and type only.
std::vector<Entry> ReadEntries(DIR* dir, unsigned filter) {
    std::vector<Entry> entries;
    while (const dirent* found = readdir(dir)) {
        const std::string_view name = found->d_name;
        if (name == "." || name == "..") continue;
        Entry entry{std::string(name)};
        entry.type = found->d_type;
        struct stat info {};
        if (NeedsStat(filter) && fstatat(dirfd(dir), found->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0)
            TakeDetails(info, filter, entry);
        entries.push_back(std::move(entry));
    }
    return entries;
}

}  // namespace

bool IsInotifyBlindType(std::uint64_t fileSystemType) {
    return std::find(kBlindTypes.begin(), kBlindTypes.end(), fileSystemType) != kBlindTypes.end();
}

std::optional<bool> IsInotifyBlindAt(const std::string& path) {
    struct statfs info {};
    if (path.empty() || statfs(path.c_str(), &info) != 0) return std::nullopt;
    return IsInotifyBlindType(static_cast<std::uint64_t>(info.f_type));
}

std::uint64_t FolderSignature(const std::string& path, unsigned filter) {
    Hash hash;
    const std::unique_ptr<DIR, DirCloser> dir(opendir(path.c_str()));
    if (!dir) {
        const int error = errno;
        // A name cannot be empty, so no folder's entries hash like this.
        hash.Add("", 1);
        hash.AddValue(error);
        return hash.Value();
    }
    // The order of readdir is the file system's; sorted, two readings of
    // the same entries agree.
    std::vector<Entry> entries = ReadEntries(dir.get(), filter);
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    for (const Entry& entry : entries) {
        hash.Add(entry.name.data(), entry.name.size() + 1);
        hash.AddValue(entry.type);
        hash.AddValue(entry.mode);
        hash.AddValue(entry.user);
        hash.AddValue(entry.group);
        hash.AddValue(entry.size);
        hash.AddValue(entry.seconds);
        hash.AddValue(entry.nanoseconds);
    }
    return hash.Value();
}

}  // namespace platform
