#include "application_paths.h"

#include <filesystem>
#include <system_error>

#include "platform/folder_scan.h"

namespace platform {

namespace {

std::string BelowSamePrefix(const std::string& executableFolder, const char* relative) {
    if (executableFolder.empty()) return std::string();
    return (std::filesystem::path(executableFolder) / relative).lexically_normal().string();
}

// Only names are read: an installed program's folder is /usr/bin, whose
// thousands of entries need no look at their attributes.
bool HoldsPlugin(const std::string& folder) {
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (!HasExtensionIgnoringCase(it->path().filename().string(), ".spi")) continue;
        std::error_code typeError;
        if (!it->is_directory(typeError)) return true;
    }
    return false;
}

}  // namespace

std::string ExecutablePath() {
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
}

std::string ExecutableFolder() {
    const std::string path = ExecutablePath();
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return std::string();
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

// The relative paths come from the build, which installs to them.
std::string InstalledPluginFolder(const std::string& executableFolder) {
    return BelowSamePrefix(executableFolder, KELVANDOR_PLUGIN_DIR_FROM_BIN);
}

std::string InstalledDataFolder(const std::string& executableFolder) {
    return BelowSamePrefix(executableFolder, KELVANDOR_DATA_DIR_FROM_BIN);
}

// The folder's names are read last: a build's folder has no installed
// plug-in folder beside it, so it is not read at all.
bool IsInstalledProgram(const std::string& executableFolder) {
    if (executableFolder.empty()) return false;
    std::error_code error;
    return std::filesystem::is_directory(InstalledPluginFolder(executableFolder), error) &&
           !HoldsPlugin(executableFolder);
}

std::string DefaultPluginFolder(const std::string& executableFolder) {
    return IsInstalledProgram(executableFolder) ? InstalledPluginFolder(executableFolder) : executableFolder;
}

std::string DefaultPluginFolder() { return DefaultPluginFolder(ExecutableFolder()); }

}  // namespace platform
