#include "platform/file_times.h"

#include <sys/xattr.h>

#include <cerrno>

#include "platform/file_operations.h"

namespace platform {
namespace {

constexpr const char* kDosAttributeName = "user.DOSATTRIB";
// Milliseconds between 1601-01-01 and 1970-01-01, and ticks in one.
constexpr std::int64_t kEpochDifferenceMs = 11644473600LL * 1000;
constexpr std::int64_t kTicksPerMs = 10'000;

std::optional<DosAttribute> ReadStoredAttribute(const std::string& path) {
    const std::optional<std::string> value = ReadDosAttributeValue(path);
    return value ? ParseDosAttribute(*value) : std::nullopt;
}

int StoreCreationTime(const std::string& path, FileTime creation) {
    const std::string stored = ReadDosAttributeValue(path).value_or(std::string());
    DosAttribute attribute = ParseDosAttribute(stored).value_or(DosAttribute{});
    if (attribute.CreationTime == creation) return 0;
    attribute.CreationTime = creation;
    return WriteDosAttributeValue(path, UpdatedDosAttributeValue(stored, attribute));
}

}  // namespace

FileTime FileTimeFromUnixMs(std::int64_t unixMs) {
    const std::int64_t ticks = (unixMs + kEpochDifferenceMs) * kTicksPerMs;
    return ticks <= 0 ? FileTime{} : FileTime::FromTicks(static_cast<std::uint64_t>(ticks));
}

std::int64_t UnixMsFromFileTime(FileTime time) {
    return static_cast<std::int64_t>(time.Ticks() / kTicksPerMs) - kEpochDifferenceMs;
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
        *reason = errno == ENOTSUP
                      ? "このファイルシステムは拡張属性を保存できないため、作成日時は変更できません。"
                      : "作成日時を保存できません: " + FileErrorText(errno).toStdString();
    }
    return false;
}

int SetFileTimes(const std::string& path, const FileTimes& times) {
    if ((!times.LastAccess.IsZero() || !times.LastWrite.IsZero()) &&
        !SetFileTimesOf(path, times.LastAccess, times.LastWrite))
        return errno;
    return times.Creation.IsZero() ? 0 : StoreCreationTime(path, times.Creation);
}

}  // namespace platform
