#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct stat;

namespace platform {

// What identifies one version of a file: a file replaced, rewritten or
// touched gets a different identity.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;

    bool operator==(const FileIdentity&) const = default;
};

struct FolderEntry {
    std::string name;  // raw file name bytes, no folder
    bool isFolder = false;
    bool isHidden = false;  // a dot name
    FileIdentity identity;  // of the file a link points to
};

// The entries of a folder except "." and "..", in no particular order.
// Empty when the folder is missing or unreadable; entries that vanish
// while listing are left out.
std::vector<FolderEntry> ListFolder(const std::string& folder);

// The name of the entry of folder that is the folder on device with
// inode, so that a folder renamed in place is found again; empty when no
// entry is.
std::string FindFolderEntry(const std::string& folder, std::uint64_t device, std::uint64_t inode);

// The identity of the file that info describes.
FileIdentity IdentityOf(const struct stat& info);

// The identity of the file at path (links followed); none when it cannot
// be examined.
std::optional<FileIdentity> IdentityOfPath(const std::string& path);

// True when name ends in extension (".spi"), ignoring ASCII case.
bool HasExtensionIgnoringCase(const std::string& name, const std::string& extension);

}  // namespace platform
