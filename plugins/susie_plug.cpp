#include "susie_plug.h"

#include <algorithm>
#include <malloc.h>
#include <strings.h>

#include "platform/application_paths.h"
#include "plugins/shared_blocks.h"

TSusiePlug::TSusiePlug(TSusiePlugs* owner, std::string fileName)
    : owner_(owner), fileName_(std::move(fileName)) {}

TSusiePlug::~TSusiePlug() { Release(); }

std::string TSusiePlug::Path() const {
    return platform::JoinPath(owner_ != nullptr ? owner_->ScannedPath() : std::string(), fileName_);
}

bool TSusiePlug::Load() {
    if (library_ != nullptr) {
        ++uses_;
        return true;
    }
    unavailable_.clear();
    library_ = OpenPlugLibrary(Path(), &unavailable_);
    if (library_ == nullptr) return false;
    uses_ = 1;
    return true;
}

void TSusiePlug::Unload() {
    if (library_ == nullptr || --uses_ > 0) return;
    Release();
}

void TSusiePlug::Release() {
    uses_ = 0;
    library_.reset();
}

std::string TSusiePlug::GetInfo(int n) const {
    return library_ != nullptr ? PlugInfoText(*library_, n) : std::string();
}

std::size_t LocalBlockSize(HLOCAL block) {
    if (block == nullptr) return 0;
    if (const std::size_t shared = TSharedBlocks::Instance().BlockSize(block); shared != 0) return shared;
    return malloc_usable_size(block);
}

void FreeLocalBlock(HLOCAL block) {
    if (block == nullptr || TSharedBlocks::Instance().Free(block)) return;
    LocalUnlock(block);
    LocalFree(block);
}

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
    unavailable_.clear();
    std::vector<platform::FolderEntry> entries = platform::ListFolder(scannedPath_);
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        const int order = strcasecmp(a.name.c_str(), b.name.c_str());
        return order != 0 ? order < 0 : a.name < b.name;
    });

    std::map<std::string, Validity> seen;
    for (const auto& entry : entries) {
        if (entry.isFolder || entry.isHidden || !platform::HasExtensionIgnoringCase(entry.name, ".spi"))
            continue;
        const Validity validity = Check(entry);
        // What only this machine stands in the way of is asked again at the
        // next scan: Wine may have been installed meanwhile.
        if (validity.unavailable.empty()) seen[entry.name] = validity;
        if (validity.valid) items_.push_back(std::make_unique<TSusiePlug>(this, entry.name));
        if (!validity.unavailable.empty()) unavailable_.push_back({entry.name, validity.unavailable});
    }
    // Forget libraries that are gone, so the cache never outgrows the folder.
    validity_ = std::move(seen);
}

TSusiePlugs::Validity TSusiePlugs::Check(const platform::FolderEntry& entry) {
    const auto cached = validity_.find(entry.name);
    if (cached != validity_.end() && cached->second.identity == entry.identity) return cached->second;
    TSusiePlug probe(this, entry.name);
    const TSusiePlugUse use(probe);
    const std::string pattern = use.Loaded() ? probe.GetInfo(SPI_INFO_PATTERN) : std::string();
    return Validity{entry.identity, use.Loaded(), probe.Unavailable(), pattern};
}

void TSusiePlugs::AppendPatterns(std::vector<std::string>& patterns) {
    Refresh();
    // Read when the library was checked: loading every plug-in again costs
    // more than the rest of listing a folder.
    for (const auto& plug : items_)
        if (const auto checked = validity_.find(plug->FileName()); checked != validity_.end())
            patterns.push_back(checked->second.pattern);
}
