#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/dos_attribute.h"
#include "platform/shell_file_info.h"

namespace platform {

// The three times of a file; a zero time means "leave as it is" when
// setting and "unknown" when reading.
struct FileTimes {
    FileTime Creation;
    FileTime LastAccess;
    FileTime LastWrite;
};

// File-time conversions to and from Unix time in milliseconds, over the
// whole range of a file time (the nanosecond ones end in 2262).
FileTime FileTimeFromUnixMs(std::int64_t unixMs);
std::int64_t UnixMsFromFileTime(FileTime time);

// The creation time: the one stored in the Samba attribute first, else the
// file system's birth time, else zero.
FileTime CreationTimeOf(const std::string& path);

// Whether a creation time can be kept for path (its file system keeps
// extended attributes); otherwise reason says why in one line.
bool CanKeepCreationTime(const std::string& path, std::string* reason = nullptr);

// Sets the times of path (links followed): access and last write to the
// nanosecond, the creation time into the Samba attribute, whose other
// contents stay. 0 on success, else the errno of the first failure.
int SetFileTimes(const std::string& path, const FileTimes& times);

}  // namespace platform
