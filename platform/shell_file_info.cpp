#include "platform/shell_file_info.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <utility>

namespace platform {
namespace {

// Seconds between 1601-01-01 and 1970-01-01.
constexpr std::int64_t kEpochDifference = 11644473600LL;
constexpr std::int64_t kTicksPerSecond = 10'000'000;
constexpr const char* kDosAttributeName = "user.DOSATTRIB";
constexpr std::uint32_t kDosKeptBits = kAttrHidden | kAttrSystem | kAttrArchive;

std::string_view BaseName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string_view(path) : std::string_view(path).substr(slash + 1);
}

bool IsDotName(std::string_view name) { return !name.empty() && name.front() == '.' && name != "." && name != ".."; }

std::int64_t Nanoseconds(const statx_timestamp& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

bool StatPath(const std::string& path, struct statx& info, bool& isLink) {
    constexpr unsigned mask = STATX_BASIC_STATS | STATX_BTIME;
    struct statx linkInfo {};
    if (statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW | AT_STATX_DONT_SYNC, mask, &linkInfo) != 0)
        return false;
    isLink = S_ISLNK(linkInfo.stx_mode);
    if (isLink && statx(AT_FDCWD, path.c_str(), AT_STATX_DONT_SYNC, mask, &info) == 0) return true;
    info = linkInfo;
    return true;
}

// Samba keeps the bits as text "0x20" at the start of the value (newer
// versions follow it with a binary record after a zero byte).
bool ReadDosAttribute(const std::string& path, std::uint32_t& bits) {
    char value[256] = {};
    const ssize_t size = getxattr(path.c_str(), kDosAttributeName, value, sizeof value - 1);
    if (size < 3 || value[0] != '0' || (value[1] != 'x' && value[1] != 'X')) return false;
    char* end = nullptr;
    bits = static_cast<std::uint32_t>(std::strtoul(value + 2, &end, 16));
    return end != value + 2;
}

std::uint32_t AttributesFrom(const std::string& path, const struct statx& info) {
    std::uint32_t attributes = 0;
    if ((info.stx_mode & S_IWUSR) == 0) attributes |= kAttrReadOnly;
    if (S_ISDIR(info.stx_mode)) attributes |= kAttrDirectory;
    if (IsDotName(BaseName(path))) attributes |= kAttrHidden;
    if (info.stx_attributes_mask & info.stx_attributes & STATX_ATTR_COMPRESSED) attributes |= kAttrCompressed;
    std::uint32_t dosBits = 0;
    if (ReadDosAttribute(path, dosBits)) attributes |= dosBits & kDosKeptBits;
    return attributes == 0 ? kAttrNormal : attributes;
}

// A zero time leaves the file's time as it is.
timespec TimespecOf(FileTime time) {
    timespec value{};
    if (time.IsZero()) {
        value.tv_nsec = UTIME_OMIT;
        return value;
    }
    const std::int64_t ns = UnixNsFromFileTime(time);
    value.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
    value.tv_nsec = static_cast<long>(ns % 1'000'000'000);
    if (value.tv_nsec < 0) {
        value.tv_nsec += 1'000'000'000;
        --value.tv_sec;
    }
    return value;
}

std::string DosAttributeText(std::uint32_t bits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", bits);
    return text;
}

}  // namespace

FileTime FileTimeFromUnixNs(std::int64_t unixNs) {
    const std::int64_t ticks = unixNs / 100 + kEpochDifference * kTicksPerSecond;
    return ticks <= 0 ? FileTime{} : FileTime::FromTicks(static_cast<std::uint64_t>(ticks));
}

std::int64_t UnixNsFromFileTime(FileTime time) {
    return (static_cast<std::int64_t>(time.Ticks()) - kEpochDifference * kTicksPerSecond) * 100;
}

bool ReadFindData(const std::string& path, FindData& data) {
    struct statx info {};
    bool isLink = false;
    if (!StatPath(path, info, isLink)) return false;
    data.Attributes = AttributesFrom(path, info);
    data.CreationTime = (info.stx_mask & STATX_BTIME) ? FileTimeFromUnixNs(Nanoseconds(info.stx_btime)) : FileTime{};
    data.LastAccessTime = FileTimeFromUnixNs(Nanoseconds(info.stx_atime));
    data.LastWriteTime = FileTimeFromUnixNs(Nanoseconds(info.stx_mtime));
    data.Size = S_ISDIR(info.stx_mode) ? 0 : info.stx_size;
    data.FileName = std::string(BaseName(path));
    return true;
}

std::uint32_t FileAttributesOf(const std::string& path) {
    struct statx info {};
    bool isLink = false;
    return StatPath(path, info, isLink) ? AttributesFrom(path, info) : 0;
}

bool SetReadOnlyOf(const std::string& path, bool readOnly) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return false;
    mode_t mode = info.st_mode & 07777;
    if (readOnly)
        mode &= static_cast<mode_t>(~(S_IWUSR | S_IWGRP | S_IWOTH));
    else
        mode |= S_IWUSR;
    return mode == (info.st_mode & 07777) || chmod(path.c_str(), mode) == 0;
}

bool SetFileAttributesOf(const std::string& path, std::uint32_t attributes) {
    if (!SetReadOnlyOf(path, (attributes & kAttrReadOnly) != 0)) return false;
    std::uint32_t current = 0;
    const bool hadDosAttribute = ReadDosAttribute(path, current);
    const std::uint32_t wanted = attributes & kDosKeptBits;
    if (hadDosAttribute ? (current & kDosKeptBits) != wanted : wanted != 0) {
        const std::string value = DosAttributeText((current & ~kDosKeptBits) | wanted);
        // Not every file system keeps extended attributes; that is allowed.
        setxattr(path.c_str(), kDosAttributeName, value.c_str(), value.size() + 1, 0);
    }
    return true;
}

bool SetFileTimesOf(const std::string& path, FileTime lastAccess, FileTime lastWrite) {
    const timespec times[2] = {TimespecOf(lastAccess), TimespecOf(lastWrite)};
    return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

QString AttributeLetters(std::uint32_t attributes) {
    static const std::pair<std::uint32_t, char> letters[] = {
        {kAttrReadOnly, 'R'}, {kAttrHidden, 'H'}, {kAttrSystem, 'S'}, {kAttrArchive, 'A'},
        {kAttrDirectory, 'D'}, {kAttrTemporary, 'T'}, {kAttrCompressed, 'C'}, {kAttrOffline, 'O'}};
    QString text;
    for (const auto& [bit, letter] : letters)
        if (attributes & bit) text += QLatin1Char(letter);
    return text;
}

}  // namespace platform
