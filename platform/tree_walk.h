#pragma once

#include <functional>
#include <string>

namespace platform {

// Visits everything below folder depth first, the contents of a folder
// before the folder itself; folder itself is not visited. Symbolic links
// are neither followed nor visited, so a walk never leaves the tree.
// unreadable gets each folder that could not be listed (vanished, no
// permission) with its errno; the walk goes on with the rest.
void WalkTree(const std::string& folder, const std::function<void(const std::string& path, bool isFolder)>& visit,
              const std::function<void(const std::string& path, int error)>& unreadable);

}  // namespace platform
