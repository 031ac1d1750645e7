#include "shell/folder_listing.h"

#include <algorithm>
#include <numeric>
#include <string_view>
#include <thread>
#include <utility>

#include "platform/folder_scan.h"
#include "platform/shell_file_info.h"

namespace {

using Clock = std::chrono::steady_clock;

// A run is handed over once it has gathered entries for this long: soon
// enough that the first screen shows at once, seldom enough that merging
// the runs costs the window little.
constexpr std::chrono::milliseconds kRunTime{40};

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
}

std::string_view RawNameOf(ConstIDList item) {
    platform::ShellItemKind kind;
    std::string_view name;
    return platform::ReadItem(item, kind, name) ? name : std::string_view();
}

bool IsFolderKind(ConstIDList item) {
    platform::ShellItemKind kind;
    std::string_view name;
    return platform::ReadItem(item, kind, name) && kind == platform::ShellItemKind::Folder;
}

std::string JoinName(const std::string& folder, std::string_view name) {
    std::string path = folder;
    if (path.empty() || path.back() != '/') path += '/';
    return path.append(name);
}

// What the filter sees of an entry made on the listing's thread.
TFilterFacts FilterFactsOf(TSHFileItem& entry, bool folder) {
    TFilterFacts facts;
    facts.Name = RawNameOf(entry.RelativeID());
    facts.InFileSystem = true;
    facts.Folder = folder;
    if (entry.FindDataLoaded()) {
        facts.Size = entry.Size();
        facts.LastWrite = entry.LastWriteTime();
        facts.Attributes = entry.Attributes();
    }
    return facts;
}

// Puts the run's entries and keys in the list's order.
void SortRun(TListingRun& run, bool byName, int direction) {
    std::vector<std::size_t> order(run.entries.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return EntryGoesBefore(run.keys[a], run.keys[b], byName, direction);
    });
    std::vector<std::unique_ptr<TSHFileItem>> entries;
    std::vector<TEntryOrderKey> keys;
    entries.reserve(order.size());
    keys.reserve(order.size());
    for (const std::size_t i : order) {
        entries.push_back(std::move(run.entries[i]));
        keys.push_back(run.keys[i]);
    }
    run.entries = std::move(entries);
    run.keys = std::move(keys);
}

}  // namespace

TFolderListing::TFolderListing(TRequest request, TDeliver deliver)
    : request_(std::move(request)), deliver_(std::move(deliver)), lastStepMs_(NowMs()) {}

TFolderListing::~TFolderListing() = default;

std::shared_ptr<TFolderListing> TFolderListing::Start(TRequest request, TDeliver deliver) {
    std::shared_ptr<TFolderListing> listing(new TFolderListing(std::move(request), std::move(deliver)));
    std::thread([listing] { listing->Run(); }).detach();
    return listing;
}

void TFolderListing::Cancel() {
    const std::lock_guard guard(lock_);
    cancelled_ = true;
    deliver_ = nullptr;
}

bool TFolderListing::Silent(std::chrono::milliseconds time) const { return NowMs() - lastStepMs_.load() >= time.count(); }

void TFolderListing::Stir() { lastStepMs_ = NowMs(); }

bool TFolderListing::Deliver(std::shared_ptr<TListingRun> run) {
    const std::lock_guard guard(lock_);
    if (!deliver_) return false;
    deliver_(std::move(run));
    return true;
}

void TFolderListing::Run() {
    const ShellFolderPtr folder = BindToFolder(request_.folder.get());
    Stir();
    auto run = std::make_shared<TListingRun>();
    if (!folder) {
        run->complete = run->last = true;
        Deliver(std::move(run));
        return;
    }
    run->folder = folder;
    if (const auto identity = platform::IdentityOfPath(folder->Path()))
        run->identity = std::make_pair(identity->device, identity->inode);
    int error = 0;
    const std::unique_ptr<platform::ShellEnumerator> items = folder->EnumObjects(request_.flags, &error);
    Stir();
    if (!items) {
        run->error = error;
        run->complete = run->last = true;
        Deliver(std::move(run));
        return;
    }
    // The first run says at once that the folder answered.
    if (!Deliver(std::exchange(run, std::make_shared<TListingRun>()))) return;

    const THeaderCaption column = request_.column;
    const bool sorted = SortsRunByRun(column);
    const bool needsFacts =
        column == hcSize || column == hcLastWrite || (request_.filter && request_.filter->NeedsFileFacts());
    // The entries whose facts are read after the last one, by name: the
    // entries themselves belong to the list once handed over.
    std::vector<std::pair<TSHFileItem*, std::string>> factsToRead;
    Clock::time_point runStart = Clock::now();
    while (platform::UniqueIDList item = items->Next()) {
        Stir();
        if (Cancelled()) return;
        auto entry = std::make_unique<TSHFileItem>(request_.owner, item.release());
        TEntryOrderKey key;
        key.folder = IsFolderKind(entry->RelativeID());
        if (needsFacts) {
            platform::FindData data;
            if (folder->GetFindData(entry->RelativeID(), data)) {
                entry->SetFindData(data);
                key.folder = (data.Attributes & platform::kAttrDirectory) != 0;
            }
            Stir();
            if (column == hcSize && !key.folder) key.value = static_cast<std::int64_t>(data.Size);
            if (column == hcLastWrite) key.value = platform::UnixNsFromFileTime(data.LastWriteTime);
        }
        if (request_.filter && !request_.filter->Match(FilterFactsOf(*entry, key.folder))) continue;
        key.name = platform::MakeNaturalSortKey(RawNameOf(entry->RelativeID()));
        if (request_.readFacts && !entry->FindDataLoaded())
            factsToRead.emplace_back(entry.get(), std::string(RawNameOf(entry->RelativeID())));
        run->entries.push_back(std::move(entry));
        if (sorted) run->keys.push_back(key);
        if (Clock::now() - runStart >= kRunTime) {
            if (sorted) SortRun(*run, column == hcName, request_.direction);
            if (!Deliver(std::exchange(run, std::make_shared<TListingRun>()))) return;
            runStart = Clock::now();
        }
    }
    Stir();
    if (sorted) SortRun(*run, column == hcName, request_.direction);
    run->complete = true;
    if (!Deliver(std::exchange(run, std::make_shared<TListingRun>()))) return;
    ReadFacts(*folder, factsToRead);
}

void TFolderListing::ReadFacts(const platform::ShellFolder& folder,
                               const std::vector<std::pair<TSHFileItem*, std::string>>& entries) {
    auto run = std::make_shared<TListingRun>();
    Clock::time_point runStart = Clock::now();
    for (const auto& [entry, name] : entries) {
        if (Cancelled()) return;
        platform::FindData data;
        const bool read = platform::ReadFindData(JoinName(folder.Path(), name), data);
        Stir();
        if (read) run->facts.emplace_back(entry, std::move(data));
        if (Clock::now() - runStart >= kRunTime) {
            if (!Deliver(std::exchange(run, std::make_shared<TListingRun>()))) return;
            runStart = Clock::now();
        }
    }
    run->last = true;
    Deliver(std::move(run));
}
