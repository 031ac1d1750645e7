#pragma once

#include <cstdint>
#include <optional>
#include <string>

// What inotify cannot see must be polled. inotify reports only the changes
// made through this machine's kernel: on a network file system (NFS,
// CIFS/SMB, ...) other machines change files unseen, and on a FUSE file
// system (sshfs, GVfs, ...) so does the server behind it. Both calls below
// may block as long as the file system takes, forever on a hung mount:
// never call them on the main thread.

namespace platform {

// Whether a file system type, as statfs reports it in f_type, is one that
// inotify is blind to.
bool IsInotifyBlindType(std::uint64_t fileSystemType);

// Whether the file system holding path is one that inotify is blind to;
// none when it cannot be told (the path is gone or unreadable).
std::optional<bool> IsInotifyBlindAt(const std::string& path);

// A cheap signature of a folder's entries, as a change filter
// (platform::ChangeFilter bits) asks: always their names and types; their
// sizes for kChangeSize or kChangeLastWrite, their modification times for
// kChangeLastWrite, their permissions and owners for kChangeAttributes.
// Never their contents, nor anything below them. Names alone need no stat
// of the entries. A folder that cannot be read has a signature of its own
// (by the error), so that becoming unreadable is a change too.
std::uint64_t FolderSignature(const std::string& path, unsigned filter);

}  // namespace platform
