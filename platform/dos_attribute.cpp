#include "platform/dos_attribute.h"

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace platform {
namespace {

constexpr const char* kDosAttributeName = "user.DOSATTRIB";
constexpr std::uint32_t kValidAttributes = 0x01;
constexpr std::uint32_t kValidCreationTime = 0x10;
// The version of new records: the oldest one that carries a creation
// time beside the attribute word, read by every Samba release since.
constexpr std::uint16_t kNewVersion = 4;

// Where the fields of each binary record version lie, from the first
// field on.
struct RecordLayout {
    std::optional<std::size_t> Flags;
    std::size_t Word = 0;
    std::optional<std::size_t> Creation;
};

std::optional<RecordLayout> LayoutOf(std::uint16_t version) {
    switch (version) {
        case 1: return RecordLayout{std::nullopt, 0, 24};  // attributes, EA size, size, allocation size
        case 2: return RecordLayout{0, 4, std::nullopt};   // its creation time is not read by Samba
        case 3: return RecordLayout{0, 4, 28};             // flags, attributes, EA size, size, allocation size
        case 4: return RecordLayout{0, 4, 16};             // flags, attributes, change time
        case 5: return RecordLayout{0, 4, 8};              // flags, attributes
        default: return std::nullopt;
    }
}

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

template <typename T>
void PutLittle(std::string& bytes, std::size_t offset, T value) {
    for (std::size_t i = 0; i < sizeof(T); ++i)
        bytes[offset + i] = static_cast<char>((static_cast<std::uint64_t>(value) >> (8 * i)) & 0xFF);
}

// A record taken apart: the word of its text, and the binary record
// behind it when there is one.
struct SplitRecord {
    std::uint32_t TextWord = 0;
    enum class Binary { None, Known, Unknown } Form = Binary::None;
    std::uint16_t Version = 0;
    std::string Fields;  // from the first field to the end
};

std::optional<SplitRecord> Split(std::string_view value) {
    if (value.size() < 3 || value[0] != '0' || (value[1] != 'x' && value[1] != 'X')) return std::nullopt;
    const std::size_t textEnd = value.find('\0');
    const std::string text(value.substr(2, textEnd == std::string_view::npos ? std::string_view::npos : textEnd - 2));
    char* end = nullptr;
    SplitRecord record;
    record.TextWord = static_cast<std::uint32_t>(std::strtoul(text.c_str(), &end, 16));
    if (end == text.c_str()) return std::nullopt;
    if (textEnd == std::string_view::npos || textEnd + 1 >= value.size()) return record;
    const std::size_t versionAt = AlignUp(textEnd + 1, 2);
    std::uint16_t version = 0;
    std::uint16_t level = 0;
    const std::size_t fieldsAt = AlignUp(versionAt + 4, 4);
    record.Form = SplitRecord::Binary::Unknown;
    if (!ReadLittle(value, versionAt, version) || !ReadLittle(value, versionAt + 2, level) || version != level ||
        !LayoutOf(version) || fieldsAt > value.size())
        return record;
    record.Form = SplitRecord::Binary::Known;
    record.Version = version;
    record.Fields = std::string(value.substr(fieldsAt));
    return record;
}

std::string Join(std::uint32_t word, std::optional<std::uint16_t> version, const std::string& fields) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", word);
    std::string value(text);
    value.push_back('\0');
    if (!version) return value;
    value.resize(AlignUp(value.size(), 2), '\0');
    AppendLittle(value, *version);
    AppendLittle(value, *version);
    value.resize(AlignUp(value.size(), 4), '\0');
    return value + fields;
}

// The binary record of stored with the new word and time, or nothing when
// its version cannot hold them.
std::optional<std::string> PatchedFields(const SplitRecord& stored, const DosAttribute& attribute) {
    const RecordLayout layout = *LayoutOf(stored.Version);
    const bool withTime = !attribute.CreationTime.IsZero();
    if (withTime && !layout.Creation) return std::nullopt;
    std::size_t needed = layout.Word + 4;
    if (layout.Flags) needed = std::max(needed, *layout.Flags + 4);
    if (withTime) needed = std::max(needed, *layout.Creation + 8);
    if (stored.Fields.size() < needed) return std::nullopt;
    std::string fields = stored.Fields;
    PutLittle(fields, layout.Word, attribute.Attributes);
    std::uint32_t flags = 0;
    if (layout.Flags) ReadLittle(fields, *layout.Flags, flags);
    flags |= kValidAttributes;
    if (withTime) {
        PutLittle(fields, *layout.Creation, attribute.CreationTime.Ticks());
        flags |= kValidCreationTime;
    }
    if (layout.Flags) PutLittle(fields, *layout.Flags, flags);
    return fields;
}

}  // namespace

std::optional<DosAttribute> ParseDosAttribute(std::string_view value) {
    const std::optional<SplitRecord> record = Split(value);
    if (!record) return std::nullopt;
    DosAttribute attribute;
    attribute.Attributes = record->TextWord;
    if (record->Form != SplitRecord::Binary::Known) return attribute;
    const RecordLayout layout = *LayoutOf(record->Version);
    std::uint32_t flags = kValidAttributes | kValidCreationTime;
    if (layout.Flags && !ReadLittle(record->Fields, *layout.Flags, flags)) return attribute;
    std::uint32_t word = 0;
    if ((flags & kValidAttributes) && ReadLittle(record->Fields, layout.Word, word)) attribute.Attributes = word;
    std::uint64_t ticks = 0;
    if (layout.Creation && (flags & kValidCreationTime) && ReadLittle(record->Fields, *layout.Creation, ticks))
        attribute.CreationTime = FileTime::FromTicks(ticks);
    return attribute;
}

std::string DosAttributeValue(const DosAttribute& attribute) {
    if (attribute.CreationTime.IsZero()) return Join(attribute.Attributes, std::nullopt, {});
    std::string fields;  // flags, attributes, change time, creation time
    AppendLittle(fields, kValidAttributes | kValidCreationTime);
    AppendLittle(fields, attribute.Attributes);
    AppendLittle(fields, std::uint64_t{0});
    AppendLittle(fields, attribute.CreationTime.Ticks());
    return Join(attribute.Attributes, kNewVersion, fields);
}

std::string UpdatedDosAttributeValue(std::string_view stored, const DosAttribute& attribute) {
    const std::optional<SplitRecord> record = Split(stored);
    if (record && record->Form == SplitRecord::Binary::Known) {
        if (const std::optional<std::string> fields = PatchedFields(*record, attribute))
            return Join(attribute.Attributes, record->Version, *fields);
    }
    return DosAttributeValue(attribute);
}

std::optional<std::string> ReadDosAttributeValue(const std::string& path) {
    // The value may grow between the two calls; a second try covers that.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const ssize_t size = getxattr(path.c_str(), kDosAttributeName, nullptr, 0);
        if (size <= 0) return std::nullopt;
        std::string value(static_cast<std::size_t>(size), '\0');
        const ssize_t read = getxattr(path.c_str(), kDosAttributeName, value.data(), value.size());
        if (read >= 0) {
            value.resize(static_cast<std::size_t>(read));
            return value;
        }
        if (errno != ERANGE) return std::nullopt;
    }
    return std::nullopt;
}

int WriteDosAttributeValue(const std::string& path, const std::string& value) {
    if (setxattr(path.c_str(), kDosAttributeName, value.data(), value.size(), 0) == 0) return 0;
    const int error = errno;
    // Extended attributes of the user class need write permission.
    struct stat info {};
    if (error != EACCES || stat(path.c_str(), &info) != 0 || info.st_uid != geteuid() || (info.st_mode & S_IWUSR))
        return error;
    if (chmod(path.c_str(), (info.st_mode & 07777) | S_IWUSR) != 0) return error;
    const int result = setxattr(path.c_str(), kDosAttributeName, value.data(), value.size(), 0) == 0 ? 0 : errno;
    chmod(path.c_str(), info.st_mode & 07777);
    return result;
}

}  // namespace platform
