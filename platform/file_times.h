#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/shell_file_info.h"

namespace platform {

// The three times of a file; a zero time means "leave as it is" when
// setting and "unknown" when reading.
struct FileTimes {
    FileTime Creation;
    FileTime LastAccess;
    FileTime LastWrite;
};

// The Samba attribute record (user.DOSATTRIB): the attribute bits as hex
// text, then a binary record that can carry a creation time. Files shared
// with Windows through Samba show that creation time.
struct DosAttribute {
    std::uint32_t Attributes = 0;
    FileTime CreationTime;  // zero when the record carries none
};
std::optional<DosAttribute> ParseDosAttribute(std::string_view value);
std::string DosAttributeValue(const DosAttribute& attribute);

// The creation time: the one stored in the Samba attribute first, else the
// file system's birth time, else zero.
FileTime CreationTimeOf(const std::string& path);

// The creation time stored in the Samba attribute alone (zero when none).
FileTime StoredCreationTime(const std::string& path);

// Whether a creation time can be kept for path (its file system keeps
// extended attributes); otherwise reason says why in one line.
bool CanKeepCreationTime(const std::string& path, std::string* reason = nullptr);

// Sets the times of path (links followed): access and last write to the
// nanosecond, the creation time into the Samba attribute, keeping its
// attribute bits unless dosBits brings new hidden, system and archive bits
// for the same write. 0 on success, else the errno of the first failure.
int SetFileTimes(const std::string& path, const FileTimes& times,
                 std::optional<std::uint32_t> dosBits = std::nullopt);

}  // namespace platform
