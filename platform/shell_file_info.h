#pragma once

#include <cstdint>
#include <string>

#include <QString>

namespace platform {

// A point in time as 100-nanosecond intervals since 1601-01-01 UTC, split
// in two 32-bit halves; both zero means "no time".
struct FileTime {
    std::uint32_t LowDateTime = 0;
    std::uint32_t HighDateTime = 0;

    bool IsZero() const { return LowDateTime == 0 && HighDateTime == 0; }
    std::uint64_t Ticks() const { return (std::uint64_t{HighDateTime} << 32) | LowDateTime; }
    static FileTime FromTicks(std::uint64_t ticks) {
        return FileTime{static_cast<std::uint32_t>(ticks), static_cast<std::uint32_t>(ticks >> 32)};
    }
    bool operator==(const FileTime&) const = default;
};

// File-time conversions to and from Unix time in nanoseconds.
FileTime FileTimeFromUnixNs(std::int64_t unixNs);
std::int64_t UnixNsFromFileTime(FileTime time);

// File attribute bits in the traditional layout.
enum FileAttribute : std::uint32_t {
    kAttrReadOnly = 0x1,
    kAttrHidden = 0x2,
    kAttrSystem = 0x4,
    kAttrDirectory = 0x10,
    kAttrArchive = 0x20,
    kAttrNormal = 0x80,
    kAttrTemporary = 0x100,
    kAttrCompressed = 0x800,
    kAttrOffline = 0x1000,
};

// The facts of one file as a file-find record holds them.
// What kind of file-system object an item is, for icons and type names.
enum class FileObjectType { Regular, Folder, Fifo, CharDevice, BlockDevice, Socket, Missing };

struct FindData {
    std::uint32_t Attributes = 0;
    FileTime CreationTime;  // birth time where the file system keeps one, else zero
    FileTime LastAccessTime;
    FileTime LastWriteTime;
    std::uint64_t Size = 0;   // 0 for folders
    std::string FileName;     // raw name bytes, no folder
    FileObjectType Type = FileObjectType::Regular;  // of the link's target
    bool Link = false;
};

// Reads the record of path without opening the file (links are followed;
// a broken link describes the link itself). False when path does not
// exist or cannot be examined.
bool ReadFindData(const std::string& path, FindData& data);

// The attribute bits of path: read-only when the owner may not write,
// hidden for a dot name or the Samba attribute, system and archive from the
// Samba attribute (user.DOSATTRIB) where the file system keeps it,
// directory, compressed from the file system; normal when none applies.
// 0 when path cannot be examined.
std::uint32_t FileAttributesOf(const std::string& path);

// Applies read-only through the owner's write bit, and hidden, system and
// archive through the Samba attribute. Bits the file system cannot keep
// are dropped silently; false only when path cannot be changed at all.
bool SetFileAttributesOf(const std::string& path, std::uint32_t attributes);

// Read-only alone: sets or clears the owner's write bit (clearing it for
// group and others too); false when path cannot be changed.
bool SetReadOnlyOf(const std::string& path, bool readOnly);

// Sets the access and last-write times (a zero time leaves that one as it
// is). The creation time cannot be set on this system and is ignored.
bool SetFileTimesOf(const std::string& path, FileTime lastAccess, FileTime lastWrite);

// The letters of the attribute bits in column order: R H S A D T C O.
QString AttributeLetters(std::uint32_t attributes);

}  // namespace platform
