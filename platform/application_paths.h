#pragma once

#include <string>

namespace platform {

// Full path of the running executable ("" when it cannot be found).
std::string ExecutablePath();

// The executable's folder without a trailing separator, except for the
// root folder "/".
std::string ExecutableFolder();

// folder + "/" + name, with no separator added when folder ends in one.
std::string JoinPath(const std::string& folder, const std::string& name);

}  // namespace platform
