#include "susie_plug.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <malloc.h>
#include <strings.h>

#include "platform/application_paths.h"

TSusiePlug::TSusiePlug(TSusiePlugs* owner, std::string fileName)
    : owner_(owner), fileName_(std::move(fileName)) {}

TSusiePlug::~TSusiePlug() { Release(); }

bool TSusiePlug::Load() {
    if (module_.IsOpen()) {
        ++uses_;
        return true;
    }
    const std::string folder = owner_ != nullptr ? owner_->ScannedPath() : std::string();
    if (!module_.Open(platform::JoinPath(folder, fileName_))) return false;
    uses_ = 1;

    GetPluginInfo = reinterpret_cast<SPI_GetPluginInfo>(module_.Symbol("GetPluginInfo"));
    if (GetPluginInfo == nullptr || GetInfo(SPI_INFO_API_VERSION) != SPI_API_VERSION) {
        Release();
        return false;
    }
    GetPictureInfo = reinterpret_cast<SPI_GetPictureInfo>(module_.Symbol("GetPictureInfo"));
    GetPicture = reinterpret_cast<SPI_GetPicture>(module_.Symbol("GetPicture"));
    IsSupported = reinterpret_cast<SPI_IsSupported>(module_.Symbol("IsSupported"));
    if (GetPictureInfo == nullptr || GetPicture == nullptr || IsSupported == nullptr) {
        Release();
        return false;
    }
    return true;
}

void TSusiePlug::Unload() {
    if (!module_.IsOpen() || --uses_ > 0) return;
    Release();
}

void TSusiePlug::Release() {
    uses_ = 0;
    GetPluginInfo = nullptr;
    IsSupported = nullptr;
    GetPictureInfo = nullptr;
    GetPicture = nullptr;
    module_.Close();
}

std::string TSusiePlug::GetInfo(int n) const {
    if (GetPluginInfo == nullptr) return std::string();
    // One byte more than the plug-in is told, so a plug-in that fills all
    // of it still leaves a terminated text.
    std::array<char, 256> buffer{};
    if (GetPluginInfo(n, buffer.data(), 255) == 0) return std::string();
    return std::string(buffer.data(), strnlen(buffer.data(), buffer.size() - 1));
}

std::recursive_timed_mutex& SusieDecodeMutex() {
    static std::recursive_timed_mutex mutex;
    return mutex;
}

std::size_t LocalBlockSize(HLOCAL block) { return block != nullptr ? malloc_usable_size(block) : 0; }

void TSusiePlugs::SetPath(const std::string& path) {
    if (path == path_) return;
    path_ = path;
    Refresh();
}

bool TSusiePlugs::InUse() const {
    return std::any_of(items_.begin(), items_.end(), [](const auto& plug) { return plug->IsLoaded(); });
}

void TSusiePlugs::Refresh() {
    if (InUse()) return;
    scannedPath_ = path_;
    items_.clear();
    std::vector<platform::FolderEntry> entries = platform::ListFolder(scannedPath_);
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        const int order = strcasecmp(a.name.c_str(), b.name.c_str());
        return order != 0 ? order < 0 : a.name < b.name;
    });

    std::map<std::string, Validity> seen;
    for (const auto& entry : entries) {
        if (entry.isFolder || entry.isHidden || !platform::HasExtensionIgnoringCase(entry.name, ".spi"))
            continue;
        const bool valid = IsValidPlugin(entry);
        seen[entry.name] = Validity{entry.identity, valid};
        if (valid) items_.push_back(std::make_unique<TSusiePlug>(this, entry.name));
    }
    // Forget libraries that are gone, so the cache never outgrows the folder.
    validity_ = std::move(seen);
}

bool TSusiePlugs::IsValidPlugin(const platform::FolderEntry& entry) {
    const auto cached = validity_.find(entry.name);
    if (cached != validity_.end() && cached->second.identity == entry.identity)
        return cached->second.valid;
    TSusiePlug probe(this, entry.name);
    const bool valid = probe.Load();
    probe.Unload();
    return valid;
}

void TSusiePlugs::AppendPatterns(std::vector<std::string>& patterns) {
    Refresh();
    for (const auto& plug : items_) {
        TSusiePlugUse use(*plug);
        if (use.Loaded()) patterns.push_back(plug->GetInfo(SPI_INFO_PATTERN));
    }
}
