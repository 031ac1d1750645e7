#pragma once

#include <string>

namespace platform {

// Renames from to to without ever replacing an existing to (EEXIST then).
// 0 on success, else the errno.
int RenameWithoutReplacing(const std::string& from, const std::string& to);

// Whether anything (a link included) is at path; folders count only when
// countFolders is set.
bool ItemExists(const std::string& path, bool countFolders = true);

// What path leads to, through links, as opening it would.
enum class PathTarget { Nothing, Folder, File, Other };
PathTarget TargetOf(const std::string& path);
inline bool FolderExists(const std::string& path) { return TargetOf(path) == PathTarget::Folder; }

// The process's current folder; empty when it cannot be named.
std::string CurrentFolder();

// Makes the folder path; one that exists already is fine (created stays
// false). 0 on success, else the errno (EEXIST when a file has the name).
int CreateFolder(const std::string& path, bool& created);

}  // namespace platform
