#include "platform/shell_file_info.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/dos_attribute.h"

namespace platform {
namespace {

// Seconds between 1601-01-01 and 1970-01-01.
constexpr std::int64_t kEpochDifference = 11644473600LL;
constexpr std::int64_t kTicksPerSecond = 10'000'000;
constexpr std::uint32_t kDosKeptBits = kAttrHidden | kAttrSystem | kAttrArchive;
// The bits a user may set; the attribute word given replaces all of them.
constexpr std::uint32_t kNotContentIndexed = 0x2000;
constexpr std::uint32_t kSettableBits =
    kAttrReadOnly | kDosKeptBits | kAttrTemporary | kAttrOffline | kNotContentIndexed;

std::string_view BaseName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string_view(path) : std::string_view(path).substr(slash + 1);
}

bool IsDotName(std::string_view name) { return !name.empty() && name.front() == '.' && name != "." && name != ".."; }

// Straight to ticks: nanoseconds since 1970 would overflow past 2262.
FileTime FileTimeOf(const statx_timestamp& time) {
    const std::int64_t ticks = (static_cast<std::int64_t>(time.tv_sec) + kEpochDifference) * kTicksPerSecond +
                               time.tv_nsec / 100;
    return ticks <= 0 ? FileTime{} : FileTime::FromTicks(static_cast<std::uint64_t>(ticks));
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

bool ReadDosAttribute(const std::string& path, std::uint32_t& bits) {
    const std::optional<std::string> value = ReadDosAttributeValue(path);
    const std::optional<DosAttribute> record = value ? ParseDosAttribute(*value) : std::nullopt;
    if (record) bits = record->Attributes;
    return record.has_value();
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
    const std::uint64_t ticks = time.Ticks();
    value.tv_sec = static_cast<time_t>(static_cast<std::int64_t>(ticks / kTicksPerSecond) - kEpochDifference);
    value.tv_nsec = static_cast<long>(ticks % kTicksPerSecond) * 100;
    return value;
}

// The record after a change of the attribute word to attributes: the
// bits a user sets replace the record's, its other bits stay. A file
// without a record gets one only for bits the permissions cannot show.
std::optional<std::string> RecordWithAttributes(const std::string& path, std::uint32_t attributes) {
    const std::optional<std::string> stored = ReadDosAttributeValue(path);
    const std::optional<DosAttribute> record = stored ? ParseDosAttribute(*stored) : std::nullopt;
    if (!record && (attributes & kDosKeptBits) == 0) return std::nullopt;
    DosAttribute changed = record.value_or(DosAttribute{});
    changed.Attributes = (changed.Attributes & ~kSettableBits) | (attributes & kSettableBits);
    if (record && changed.Attributes == record->Attributes) return std::nullopt;
    // The creation time is written as it is, in the form the record had.
    return UpdatedDosAttributeValue(stored.value_or(std::string()), changed);
}

}  // namespace

FileTime FileTimeFromUnixNs(std::int64_t unixNs) {
    const std::int64_t ticks = unixNs / 100 + kEpochDifference * kTicksPerSecond;
    return ticks <= 0 ? FileTime{} : FileTime::FromTicks(static_cast<std::uint64_t>(ticks));
}

std::int64_t UnixNsFromFileTime(FileTime time) {
    return (static_cast<std::int64_t>(time.Ticks()) - kEpochDifference * kTicksPerSecond) * 100;
}

namespace {

FileObjectType ObjectTypeOfMode(unsigned mode) {
    if (S_ISDIR(mode)) return FileObjectType::Folder;
    if (S_ISFIFO(mode)) return FileObjectType::Fifo;
    if (S_ISCHR(mode)) return FileObjectType::CharDevice;
    if (S_ISBLK(mode)) return FileObjectType::BlockDevice;
    if (S_ISSOCK(mode)) return FileObjectType::Socket;
    return FileObjectType::Regular;
}

}  // namespace

bool ReadFindData(const std::string& path, FindData& data) {
    struct statx info {};
    bool isLink = false;
    if (!StatPath(path, info, isLink)) return false;
    data.Attributes = AttributesFrom(path, info);
    data.CreationTime = (info.stx_mask & STATX_BTIME) ? FileTimeOf(info.stx_btime) : FileTime{};
    data.LastAccessTime = FileTimeOf(info.stx_atime);
    data.LastWriteTime = FileTimeOf(info.stx_mtime);
    data.Size = S_ISDIR(info.stx_mode) ? 0 : info.stx_size;
    data.FileName = std::string(BaseName(path));
    data.Type = ObjectTypeOfMode(info.stx_mode);
    data.Link = isLink;
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
    // The record goes first, while the file may still be writable.
    if (const std::optional<std::string> record = RecordWithAttributes(path, attributes)) {
        const int error = WriteDosAttributeValue(path, *record);
        // Not every file system keeps extended attributes; that is allowed.
        if (error != 0 && error != ENOTSUP) {
            errno = error;
            return false;
        }
    }
    return SetReadOnlyOf(path, (attributes & kAttrReadOnly) != 0);
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
