#include "shell/tree_folder_reading.h"

#include <sys/stat.h>

#include <algorithm>
#include <thread>

#include "platform/file_mask_match.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kInitAttributes = platform::kHasSubFolder | platform::kShare | platform::kLink;
constexpr std::uint32_t kOwnAttributes = platform::kCapabilityMask | platform::kLink | platform::kShare |
                                         platform::kReadOnly | platform::kFileSysAncestor | platform::kFolder |
                                         platform::kFileSystem | platform::kRemovable;
// A run of facts is handed over once it has gathered for this long.
constexpr std::chrono::milliseconds kRunTime{40};

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
}

bool IsFileItem(ConstIDList item) {
    platform::ShellItemKind kind;
    std::string_view name;
    return platform::ReadItem(item, kind, name) && kind == platform::ShellItemKind::File;
}

std::optional<std::uint32_t> DesktopAttributes(ConstIDList absolute) {
    return GetDesktopFolder()->GetAttributesOf(absolute, kOwnAttributes);
}

std::optional<TFileId> FileIdOf(const std::string& path) {
    struct stat info {};
    if (path.empty() || stat(path.c_str(), &info) != 0) return std::nullopt;
    return std::make_pair(info.st_dev, info.st_ino);
}

void SortItems(const ShellFolderPtr& folder, std::vector<std::unique_ptr<TSHFolderItem>>& items) {
    std::stable_sort(items.begin(), items.end(), [&folder](const auto& a, const auto& b) {
        return folder->CompareIDs(0, a->RelativeID(), b->RelativeID()).value_or(0) < 0;
    });
}

// Whether a folder holds a file the mask matches, so that a tree showing
// such files can expand it.
bool HasMatchingFile(TSHFolderItem& item, const TTreeFilter& filter) {
    const ShellFolderPtr folder = BindToFolder(item.AbsoluteID());
    const std::unique_ptr<platform::ShellEnumerator> files =
        folder ? folder->EnumObjects(SHCONTF_NONFOLDERS | (filter.flags & SHCONTF_INCLUDEHIDDEN)) : nullptr;
    if (!files) return false;
    const QString& mask = *filter.fileMask;
    const bool anyFile = mask.isEmpty() || mask == QLatin1String("*.*");
    while (const platform::UniqueIDList file = files->Next()) {
        if (anyFile) return true;
        QString name;
        if (StrRetToString(folder, file.get(), SHGDN_INFOLDER, name) && platform::PathMatchSpec(name, mask))
            return true;
    }
    return false;
}

}  // namespace

bool ShellControlsShowChild(TShVirtuaItems items, TSHDataItem& parent, TSHDataItem& child) {
    const int parentLevel = parent.GetLevel();
    if (parentLevel == 0) {
        const TShItemIDType kind = child.GetItemType();
        if (kind == itInterNet || kind == itBitBucket || kind == itNetWork) return items.Contains(kind);
        return kind != itVirtual;
    }
    if (parentLevel == 1) {
        const TShItemIDType parentKind = parent.GetItemType();
        if (parentKind == itNetWork) return items.Contains(itNetWork);
        if (parentKind == itMyComputer && child.GetItemType() == itVirtual) return items.Contains(itVirtual);
    }
    return true;
}

bool TreeKeepsChild(const TTreeFilter& filter, TSHDataItem& parent, TSHDataItem& child) {
    if (filter.fileMask && IsFileItem(child.RelativeID()))
        return platform::PathMatchSpec(child.GetDisplayName(), *filter.fileMask);
    return ShellControlsShowChild(filter.virtuaItems, parent, child);
}

std::unique_ptr<TSHFolderItem> TreeChildItem(const TSHFolderItem& parent, const ShellFolderPtr& folder,
                                             platform::UniqueIDList relative) {
    const bool underDesktop = parent.GetLevel() == 0;
    IDList absolute = underDesktop ? CopyIDList(relative.get()) : ConcatIDList(parent.AbsoluteID(), relative.get());
    auto item = std::make_unique<TSHFolderItem>(relative.release(), absolute);
    // Children of the desktop are named to it by their absolute lists.
    if (!underDesktop) item->SetParentFolder(folder);
    return item;
}

// ---------------------------------------------------------------------------

TTreeFolderReading::TTreeFolderReading(TRequest request, TDeliver deliver)
    : request_(std::move(request)), deliver_(std::move(deliver)), lastStepMs_(NowMs()) {}

std::shared_ptr<TTreeFolderReading> TTreeFolderReading::Start(TRequest request, TDeliver deliver) {
    std::shared_ptr<TTreeFolderReading> reading(new TTreeFolderReading(std::move(request), std::move(deliver)));
    std::thread([reading] { reading->Run(); }).detach();
    return reading;
}

void TTreeFolderReading::Cancel() {
    const std::lock_guard guard(lock_);
    cancelled_ = true;
    deliver_ = nullptr;
}

bool TTreeFolderReading::Silent(std::chrono::milliseconds time) const {
    return NowMs() - lastStepMs_.load() >= time.count();
}

void TTreeFolderReading::Stir() { lastStepMs_ = NowMs(); }

bool TTreeFolderReading::Deliver(std::shared_ptr<TTreeFolderFacts> facts) {
    const std::lock_guard guard(lock_);
    if (!deliver_) return false;
    deliver_(std::move(facts));
    return true;
}

void TTreeFolderReading::Run() {
    auto facts = std::make_shared<TTreeFolderFacts>();
    const ShellFolderPtr folder = BindToFolder(request_.absolute.get());
    Stir();
    if (folder) {
        facts->bound = true;
        facts->fileId = FileIdOf(folder->Path());
        Stir();
        if (!platform::IsEmptyIDList(request_.absolute.get()))
            facts->attributes = DesktopAttributes(request_.absolute.get());
        Stir();
        if (request_.kind != TKind::Identity && !ReadChildren(folder, *facts)) return;
    }
    Deliver(std::move(facts));
}

// The kept children, in order, each with its facts; false when cancelled
// or when everything went in parts. Renamed folders are paired by facts
// read with the entries, so a reading that needs them comes whole.
bool TTreeFolderReading::ReadChildren(const ShellFolderPtr& folder, TTreeFolderFacts& facts) {
    std::vector<std::unique_ptr<TSHFolderItem>> items;
    if (!ReadItems(folder, facts, items)) return false;
    SortItems(folder, items);
    if (request_.kind == TKind::Children && !request_.childFileIds && facts.error == 0) {
        auto entries = std::make_shared<TTreeFolderFacts>();
        entries->part = TTreeFolderFacts::TPart::Entries;
        entries->last = false;
        entries->bound = true;
        entries->fileId = facts.fileId;
        entries->attributes = facts.attributes;
        for (const auto& item : items) {
            auto copy = std::make_unique<TSHFolderItem>(CopyIDList(item->RelativeID()), CopyIDList(item->AbsoluteID()));
            copy->SetParentFolder(item->GetParentFolder());
            copy->GetDisplayName();
            TTreeChild& entry = entries->children.emplace_back();
            entry.item = std::move(copy);
        }
        if (Deliver(std::move(entries))) ReadFactsInRuns(folder, items);
        return false;
    }
    facts.children.reserve(items.size());
    for (auto& item : items) {
        if (Cancelled()) return false;
        facts.children.push_back(ChildFacts(folder, std::move(item)));
        Stir();
    }
    return true;
}

bool TTreeFolderReading::ReadItems(const ShellFolderPtr& folder, TTreeFolderFacts& facts,
                                   std::vector<std::unique_ptr<TSHFolderItem>>& items) {
    TSHFolderItem parent(CopyIDList(request_.relative.get()), CopyIDList(request_.absolute.get()));
    auto keep = [&](platform::UniqueIDList relative) {
        auto item = TreeChildItem(parent, folder, std::move(relative));
        if (TreeKeepsChild(request_.filter, parent, *item)) items.push_back(std::move(item));
    };
    // Only the entries of a file-system folder can be read one by one.
    if (request_.kind == TKind::Names && folder->HoldsFileSystemEntries()) {
        facts.byName = true;
        facts.names = request_.names;
        for (const std::string& name : request_.names) {
            if (Cancelled()) return false;
            if (platform::UniqueIDList relative = folder->EntryItem(name, request_.filter.flags)) keep(std::move(relative));
            Stir();
        }
        return true;
    }
    int error = 0;
    const std::unique_ptr<platform::ShellEnumerator> enumerator = folder->EnumObjects(request_.filter.flags, &error);
    Stir();
    if (!enumerator) {
        facts.error = error;
        return true;
    }
    while (platform::UniqueIDList relative = enumerator->Next()) {
        Stir();
        if (Cancelled()) return false;
        keep(std::move(relative));
    }
    Stir();
    return true;
}

// Hands the children's facts over as they are read, the last run marked.
void TTreeFolderReading::ReadFactsInRuns(const ShellFolderPtr& folder,
                                         std::vector<std::unique_ptr<TSHFolderItem>>& items) {
    auto newRun = [] {
        auto run = std::make_shared<TTreeFolderFacts>();
        run->bound = true;
        run->part = TTreeFolderFacts::TPart::Facts;
        run->last = false;
        return run;
    };
    auto run = newRun();
    Clock::time_point runStart = Clock::now();
    for (auto& item : items) {
        if (Cancelled()) return;
        run->children.push_back(ChildFacts(folder, std::move(item)));
        Stir();
        if (Clock::now() - runStart >= kRunTime) {
            if (!Deliver(std::exchange(run, newRun()))) return;
            runStart = Clock::now();
        }
    }
    run->last = true;
    Deliver(std::move(run));
}

TTreeChild TTreeFolderReading::ChildFacts(const ShellFolderPtr& folder, std::unique_ptr<TSHFolderItem> item) const {
    TTreeChild child;
    child.known = true;
    const std::uint32_t bits = folder->GetAttributesOf(item->RelativeID(), kInitAttributes).value_or(0);
    child.hasChildren = (bits & platform::kHasSubFolder) != 0;
    child.overlay = (bits & platform::kShare) ? 0 : ((bits & platform::kLink) ? 1 : -1);
    const bool isFile = IsFileItem(item->RelativeID());
    if (request_.filter.fileMask && !child.hasChildren && !isFile)
        child.hasChildren = HasMatchingFile(*item, request_.filter);
    if (request_.childFileIds && !isFile) child.fileId = FileIdOf(item->GetNativePath());
    item->GetDisplayName();
    // A file's icon comes from its type, looked up where it is drawn.
    if (!isFile) {
        item->GetIconIndex();
        item->GetSelectedIndex();
    }
    child.item = std::move(item);
    return child;
}
