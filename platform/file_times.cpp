#include "platform/file_times.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

constexpr const char* kDosAttributeName = "user.DOSATTRIB";
constexpr std::uint32_t kValidAttributes = 0x01;
constexpr std::uint32_t kValidCreationTime = 0x10;
// The record version written: the oldest one that carries a creation time
// beside the attribute bits, read by every Samba release since.
constexpr std::uint16_t kWrittenVersion = 4;
// The bits of the attribute word the Samba attribute keeps here.
constexpr std::uint32_t kDosKeptBits = kAttrHidden | kAttrSystem | kAttrArchive;

std::size_t AlignUp(std::size_t offset, std::size_t alignment) {
    return (offset + alignment - 1) / alignment * alignment;
}

template <typename T>
bool ReadLittle(std::string_view bytes, std::size_t offset, T& value) {
    if (offset + sizeof(T) > bytes.size()) return false;
    std::uint64_t result = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        result |= std::uint64_t{static_cast<unsigned char>(bytes[offset + i])} << (8 * i);
    value = static_cast<T>(result);
    return true;
}

template <typename T>
void AppendLittle(std::string& bytes, T value) {
    for (std::size_t i = 0; i < sizeof(T); ++i)
        bytes.push_back(static_cast<char>((static_cast<std::uint64_t>(value) >> (8 * i)) & 0xFF));
}

// Where the creation time sits behind the flags of each record version.
std::optional<std::size_t> CreationTimeOffset(std::uint16_t version) {
    switch (version) {
        case 3: return 28;  // flags, attributes, EA size, size, allocation size
        case 4: return 16;  // flags, attributes, change time
        case 5: return 8;   // flags, attributes
        default: return std::nullopt;
    }
}

void ReadCreationTime(std::string_view value, std::size_t recordStart, DosAttribute& attribute) {
    std::uint16_t version = 0;
    std::uint16_t level = 0;
    if (!ReadLittle(value, recordStart, version) || !ReadLittle(value, recordStart + 2, level) || version != level)
        return;
    const std::optional<std::size_t> timeOffset = CreationTimeOffset(version);
    const std::size_t fields = AlignUp(recordStart + 4, 4);
    std::uint32_t flags = 0;
    std::uint32_t bits = 0;
    std::uint64_t ticks = 0;
    if (!timeOffset || !ReadLittle(value, fields, flags) || !ReadLittle(value, fields + 4, bits)) return;
    if (flags & kValidAttributes) attribute.Attributes = bits;
    if ((flags & kValidCreationTime) && ReadLittle(value, fields + *timeOffset, ticks))
        attribute.CreationTime = FileTime::FromTicks(ticks);
}

std::optional<DosAttribute> ReadStoredAttribute(const std::string& path) {
    char value[256];
    const ssize_t size = getxattr(path.c_str(), kDosAttributeName, value, sizeof value);
    if (size <= 0) return std::nullopt;
    return ParseDosAttribute(std::string_view(value, static_cast<std::size_t>(size)));
}

// Extended attributes of the user class need write permission on the
// file; the owner of a read-only file gets it for the moment of the write.
int WriteStoredAttribute(const std::string& path, const std::string& value) {
    if (setxattr(path.c_str(), kDosAttributeName, value.data(), value.size(), 0) == 0) return 0;
    const int error = errno;
    struct stat info {};
    if (error != EACCES || stat(path.c_str(), &info) != 0 || info.st_uid != geteuid() || (info.st_mode & S_IWUSR))
        return error;
    if (chmod(path.c_str(), (info.st_mode & 07777) | S_IWUSR) != 0) return error;
    const int result = setxattr(path.c_str(), kDosAttributeName, value.data(), value.size(), 0) == 0 ? 0 : errno;
    chmod(path.c_str(), info.st_mode & 07777);
    return result;
}

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

}  // namespace

std::optional<DosAttribute> ParseDosAttribute(std::string_view value) {
    if (value.size() < 3 || value[0] != '0' || (value[1] != 'x' && value[1] != 'X')) return std::nullopt;
    const std::size_t textEnd = value.find('\0');
    const std::string text(value.substr(2, textEnd == std::string_view::npos ? std::string_view::npos : textEnd - 2));
    char* end = nullptr;
    DosAttribute attribute;
    attribute.Attributes = static_cast<std::uint32_t>(std::strtoul(text.c_str(), &end, 16));
    if (end == text.c_str()) return std::nullopt;
    if (textEnd != std::string_view::npos) ReadCreationTime(value, AlignUp(textEnd + 1, 2), attribute);
    return attribute;
}

std::string DosAttributeValue(const DosAttribute& attribute) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", attribute.Attributes);
    std::string value(text);
    value.push_back('\0');
    value.resize(AlignUp(value.size(), 2), '\0');
    AppendLittle(value, kWrittenVersion);
    AppendLittle(value, kWrittenVersion);
    value.resize(AlignUp(value.size(), 4), '\0');
    const bool hasTime = !attribute.CreationTime.IsZero();
    AppendLittle(value, kValidAttributes | (hasTime ? kValidCreationTime : 0));
    AppendLittle(value, attribute.Attributes);
    AppendLittle(value, std::uint64_t{0});
    AppendLittle(value, attribute.CreationTime.Ticks());
    return value;
}

FileTime StoredCreationTime(const std::string& path) {
    const std::optional<DosAttribute> stored = ReadStoredAttribute(path);
    return stored ? stored->CreationTime : FileTime{};
}

FileTime CreationTimeOf(const std::string& path) {
    if (const std::optional<DosAttribute> stored = ReadStoredAttribute(path); stored && !stored->CreationTime.IsZero())
        return stored->CreationTime;
    FindData data;
    return ReadFindData(path, data) ? data.CreationTime : FileTime{};
}

bool CanKeepCreationTime(const std::string& path, std::string* reason) {
    if (getxattr(path.c_str(), kDosAttributeName, nullptr, 0) >= 0 || errno == ENODATA || errno == ERANGE) return true;
    if (reason != nullptr) {
        *reason = errno == ENOTSUP ? "このファイルシステムは拡張属性を保存できないため、作成日時は変更できません。"
                                   : std::string("作成日時を保存できません: ") + std::strerror(errno);
    }
    return false;
}

int SetFileTimes(const std::string& path, const FileTimes& times, std::optional<std::uint32_t> dosBits) {
    const timespec values[2] = {TimespecOf(times.LastAccess), TimespecOf(times.LastWrite)};
    if (!times.LastAccess.IsZero() || !times.LastWrite.IsZero()) {
        if (utimensat(AT_FDCWD, path.c_str(), values, 0) != 0) return errno;
    }
    if (times.Creation.IsZero()) return 0;
    DosAttribute attribute = ReadStoredAttribute(path).value_or(DosAttribute{});
    const std::uint32_t bits = dosBits ? (attribute.Attributes & ~kDosKeptBits) | (*dosBits & kDosKeptBits)
                                       : attribute.Attributes;
    if (attribute.CreationTime == times.Creation && attribute.Attributes == bits) return 0;
    attribute.CreationTime = times.Creation;
    attribute.Attributes = bits;
    return WriteStoredAttribute(path, DosAttributeValue(attribute));
}

}  // namespace platform
