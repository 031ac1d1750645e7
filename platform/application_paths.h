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

// An installed program keeps in <prefix>/bin only itself; its bundled
// plug-ins live in <prefix>/lib/kelvandor/plugins and its data (the manual)
// in <prefix>/share/kelvandor. In the build tree and in a copy carried with
// its plug-ins, everything lies beside the executable.

// Those two folders for an executable in executableFolder (they need not
// exist).
std::string InstalledPluginFolder(const std::string& executableFolder);
std::string InstalledDataFolder(const std::string& executableFolder);

// True when executableFolder holds no plug-in and the installed plug-in
// folder beside it exists: the program runs from an installation.
bool IsInstalledProgram(const std::string& executableFolder);

// The plug-in folder a first start uses: the installed one for an
// installed program, else the executable's folder.
std::string DefaultPluginFolder(const std::string& executableFolder);
std::string DefaultPluginFolder();

}  // namespace platform
