#include "shell/shell_file_list.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <functional>
#include <limits>
#include <numeric>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include <QDir>
#include <QLocale>
#include <QObject>
#include <QTimer>

#include "platform/file_operations.h"
#include "platform/folder_scan.h"
#include "platform/hourglass_cursor.h"
#include "platform/inotify_watch.h"
#include "platform/file_mask_match.h"
#include "platform/file_names.h"
#include "platform/path_text.h"
#include "platform/shell_drop_target.h"
#include "platform/shell_collation.h"
#include "platform/shell_icons.h"
#include "shell/folder_listing.h"
#include "shell/shell_notify.h"

namespace {

constexpr unsigned kNamesFilter = platform::kChangeFileName | platform::kChangeDirName;
constexpr unsigned kDetailsFilter = platform::kChangeAttributes | platform::kChangeSize | platform::kChangeLastWrite;

bool IsExistingDirectory(const std::string& path) {
    struct stat info {};
    return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string_view RawName(ConstIDList item) {
    platform::ShellItemKind kind;
    std::string_view name;
    return platform::ReadItem(item, kind, name) ? name : std::string_view();
}

bool IsFileSystemEntryKind(ConstIDList item, bool& folder) {
    platform::ShellItemKind kind;
    std::string_view name;
    if (!platform::ReadItem(item, kind, name)) return false;
    folder = kind == platform::ShellItemKind::Folder;
    return folder || kind == platform::ShellItemKind::File;
}

std::string EntryPath(const std::string& folder, std::string_view name) {
    std::string path = folder;
    if (path.empty() || path.back() != '/') path += '/';
    return path.append(name);
}

int Sign(std::int64_t value) { return value < 0 ? -1 : (value > 0 ? 1 : 0); }

}  // namespace

// ---------------------------------------------------------------------------
// Entries

TSHFileItem::TSHFileItem(TSHFileList* owner, IDList relativeID)
    : TSHDataItem(relativeID, nullptr), owner_(owner) {}

int TSHFileItem::GetLevel() const { return owner_ ? owner_->FolderLevel() + 1 : -1; }

ConstIDList TSHFileItem::GetParentIDList() { return owner_ ? owner_->FolderIDList() : nullptr; }

ConstIDList TSHFileItem::GetAbsoluteIDList() {
    if (!AbsoluteID() && owner_ && RelativeID()) SetAbsoluteID(ConcatIDList(owner_->FolderIDList(), RelativeID()));
    return AbsoluteID();
}

ShellFolderPtr TSHFileItem::GetParentFolder() { return owner_ ? owner_->GetFolder() : nullptr; }

int TSHFileItem::GetIconIndex() {
    if (largeIconIndex_ < 0 && loaded_) largeIconIndex_ = IconIndexOfFacts();
    if (largeIconIndex_ >= 0) return largeIconIndex_;
    if (!owner_ || owner_->View()->ViewStyle() != vsIcon) return TSHDataItem::GetIconIndex();
    if (GetParentFolder()) largeIconIndex_ = GetSysIconIndexByStyle(true);
    return largeIconIndex_;
}

// A file-system entry's icon from facts already read, without asking the
// file system again; -1 for other items.
int TSHFileItem::IconIndexOfFacts() const {
    bool folder = false;
    if (!owner_ || owner_->FolderNativePath().empty() || !IsFileSystemEntryKind(RelativeID(), folder)) return -1;
    const auto type = static_cast<platform::FileObjectType>(objectType_);
    return platform::ShellIconCache::Instance().IndexOf(platform::FileIconName(RawName(RelativeID()), type, false));
}

// Both sizes of an icon share one index in this system's image lists.
int TSHFileItem::GetSysIconIndexByStyle(bool /*large*/) {
    const ShellFolderPtr folder = GetParentFolder();
    if (!folder || !RelativeID()) return GetSysIconIndex(GetAbsoluteIDList(), true, false);
    const int index = folder->GetIconOf(RelativeID(), false);
    return index >= 0 ? index : GetSysIconIndex(GetAbsoluteIDList(), true, false);
}

bool TSHFileItem::LoadFindData() {
    if (loaded_) return true;
    // The folder's listing reads them; asking here could wait on a slow
    // file system.
    if (owner_ && owner_->FactsComing()) return false;
    platform::FindData data;
    if (!::GetFindData(GetParentFolder(), RelativeID(), data)) return false;
    SetFindData(data);
    return true;
}

void TSHFileItem::SetFindData(const platform::FindData& data) {
    attributes_ = data.Attributes;
    size_ = data.Size;
    lastWrite_ = data.LastWriteTime;
    creation_ = data.CreationTime;
    lastAccess_ = data.LastAccessTime;
    objectType_ = static_cast<std::uint8_t>(data.Type);
    link_ = data.Link;
    loaded_ = true;
}

platform::FindData TSHFileItem::GetFindData() {
    platform::FindData data;
    if (!LoadFindData()) return data;
    data.Attributes = attributes_;
    data.Size = size_;
    data.LastWriteTime = lastWrite_;
    data.CreationTime = creation_;
    data.LastAccessTime = lastAccess_;
    data.FileName = std::string(RawName(RelativeID()));
    return data;
}

std::uint32_t TSHFileItem::Attributes() {
    LoadFindData();
    return attributes_;
}

std::uint64_t TSHFileItem::Size() {
    LoadFindData();
    return size_;
}

platform::FileTime TSHFileItem::LastWriteTime() {
    LoadFindData();
    return lastWrite_;
}

// The item's own kind says it for file-system entries, so the mask filter
// need not read every entry's facts while a folder is listed.
bool TSHFileItem::IsDirectory() {
    bool folder = false;
    if (!loaded_ && IsFileSystemEntryKind(RelativeID(), folder)) return folder;
    return (Attributes() & platform::kAttrDirectory) != 0;
}

QString TSHFileItem::SizeText() {
    const ShellFolderPtr folder = GetParentFolder();
    if (!folder || !RelativeID()) return QString();
    const std::uint32_t wanted = platform::kFileSystem | platform::kFolder;
    const std::optional<std::uint32_t> bits = folder->GetAttributesOf(RelativeID(), wanted);
    if (!bits || (*bits & wanted) != platform::kFileSystem) return QString();
    return SizeColumnText(Size());
}

QString TSHFileItem::TypeText() {
    const ShellFolderPtr folder = GetParentFolder();
    if (!folder || !RelativeID()) return QString();
    if (GetLevel() == 1 && folder->PathOf(RelativeID()).empty()) return platform::SystemFolderTypeName();
    return folder->GetTypeName(RelativeID());
}

QString TSHFileItem::DateText() {
    const platform::FileTime written = LastWriteTime();
    if (written.IsZero()) return QString();
    if (GetLevel() == 1 && TypeText() == platform::SystemFolderTypeName()) return QString();
    const QDateTime local = FileTimeToDateTime(written);
    if (!local.isValid()) return QString();
    return DateColumnText(local);
}

QString TSHFileItem::AttributesText() { return platform::AttributeLetters(Attributes()); }

int TSHFileItem::OverlayIndex() {
    // Facts read already tell a link without asking the file system again
    // (this namespace marks nothing as shared).
    bool folder = false;
    if (loaded_ && owner_ && !owner_->FolderNativePath().empty() && IsFileSystemEntryKind(RelativeID(), folder))
        return link_ ? 2 : 0;
    return GetOverlayIndex() + 1;
}

bool TSHFileItem::Rename(const QString& newName) {
    const ShellFolderPtr folder = GetParentFolder();
    if (!folder || !RelativeID()) return false;
    QWidget* owner = owner_ ? owner_->View()->ListWindow() : nullptr;
    platform::UniqueIDList renamed = folder->SetNameOf(owner, RelativeID(), newName);
    if (!renamed) return false;
    ReplaceIDLists(renamed.release(), nullptr);
    largeIconIndex_ = -1;
    typeNumber_ = 0;
    if (owner_) owner_->EntryRenamed(*this);
    return true;
}

// ---------------------------------------------------------------------------
// Filter

TSHFileFilter::TSHFileFilter()
    : Date1(QDate::currentDate(), QTime(0, 0)), Date2(QDate::currentDate(), QTime(0, 0)) {}

bool TSHFileFilter::Match(TSHFileItem& item) const {
    const ShellFolderPtr folder = item.GetParentFolder();
    const std::string path = folder ? folder->PathOf(item.RelativeID()) : std::string();
    TFilterFacts facts;
    facts.Name = std::string_view(path).substr(path.rfind('/') + 1);
    facts.InFileSystem = !path.empty();
    facts.Folder = item.IsDirectory();
    if (NeedsFileFacts()) {
        facts.Size = item.Size();
        facts.LastWrite = item.LastWriteTime();
        facts.Attributes = item.Attributes();
    }
    return Match(facts);
}

bool TSHFileFilter::Match(const TFilterFacts& facts) const {
    const bool invert = (Options & foInvert) != 0;
    // Without invert every enabled criterion must be met; with invert
    // meeting any of them rejects the entry.
    const auto passes = [invert](bool met) { return met != invert; };
    if ((Options & foMask) && !passes(MatchesMask(facts))) return false;
    if ((Options & foSize) && !passes(MatchesSize(facts.Size))) return false;
    if ((Options & foDate) && !passes(MatchesDate(FileTimeToDateTime(facts.LastWrite)))) return false;
    if ((Options & foAttributes) && !passes(MatchesAttributes(facts.Attributes))) return false;
    if ((Options & foKind) && !passes(MatchesKind(facts))) return false;
    return true;
}

bool TSHFileFilter::MatchesMask(const TFilterFacts& facts) const {
    if (facts.Folder) return true;
    const QString text = facts.InFileSystem ? platform::DisplayTextOfName(facts.Name) : QString();
    return std::any_of(Masks.cbegin(), Masks.cend(),
                       [&text](const QString& line) { return platform::PathMatchSpec(text, line); });
}

bool TSHFileFilter::MatchesSize(std::uint64_t size) const {
    const auto limit = [](std::int32_t value) { return static_cast<std::uint64_t>(value); };
    const auto upperBound = [&] {
        switch (SizeRangeMode) {
            case 1: return Size2 >= 0 && size <= limit(Size2);
            case 2: return Size2 >= 0 && size < limit(Size2);
            default: return true;
        }
    };
    switch (SizeMode) {
        case 0: return Size1 >= 0 && size == limit(Size1);
        case 1: return Size1 >= 0 && size <= limit(Size1);
        case 2: return Size1 >= 0 && size < limit(Size1);
        case 3: return (Size1 < 0 || size >= limit(Size1)) && upperBound();
        case 4: return (Size1 < 0 || size > limit(Size1)) && upperBound();
        default: return false;
    }
}

bool TSHFileFilter::MatchesDate(const QDateTime& date) const {
    const auto upperBound = [&] {
        switch (DateRangeMode) {
            case 1: return date <= Date2;
            case 2: return date < Date2;
            default: return true;
        }
    };
    switch (DateMode) {
        case 0: return date == Date1;
        case 1: return date <= Date1;
        case 2: return date < Date1;
        case 3: return date >= Date1 && upperBound();
        case 4: return date > Date1 && upperBound();
        default: return false;
    }
}

bool TSHFileFilter::MatchesAttributes(std::uint32_t attributes) const {
    const std::pair<std::uint32_t, bool> wanted[] = {
        {platform::kAttrReadOnly, ReadOnly},   {platform::kAttrHidden, Hidden},
        {platform::kAttrSystem, System},       {platform::kAttrArchive, Archive},
        {platform::kAttrTemporary, Temporary}, {platform::kAttrCompressed, Compressed},
        {platform::kAttrOffline, Offline}};
    return std::all_of(std::begin(wanted), std::end(wanted),
                       [attributes](const auto& bit) { return ((attributes & bit.first) != 0) == bit.second; });
}

bool TSHFileFilter::MatchesKind(const TFilterFacts& facts) const {
    if (!facts.InFileSystem) return NonFileSystem;
    return facts.Folder ? Folders : Files;
}

// ---------------------------------------------------------------------------
// The list

TSHFileList::TSHFileList(TSHFileListView* view, bool watch) : view_(view) {
    entries_.reserve(1000);
    if (!watch) return;
    const auto changed = [this](TShFilesWatcher* watcher, const std::string& path) { FolderChanged(watcher, path); };
    namesWatcher_ = std::make_unique<TShFilesWatcher>(std::string(), kNamesFilter, changed);
    detailsWatcher_ = std::make_unique<TShFilesWatcher>(std::string(), kDetailsFilter, changed);
}

TSHFileList::~TSHFileList() {
    StopListing();
    for (TShFilesWatcher* watcher : {namesWatcher_.get(), detailsWatcher_.get()})
        if (watcher) watcher->Stop();
    namesWatcher_.reset();
    detailsWatcher_.reset();
    selected_.Clear();
    Clear();
}

void TSHFileList::Clear() {
    entries_.clear();
    typeNames_.clear();
    typeNumbers_.clear();
}

TSHFileItem* TSHFileList::GetItem(int index) const {
    if (index < 0 || index >= Count()) return nullptr;
    return entries_[static_cast<std::size_t>(index)].get();
}

TShItemIDType TSHFileList::FolderKind() const { return GetItemType(folder_.get()); }

QString TSHFileList::FolderPath() const {
    if (!folder_) return QString();
    QString path;
    if (FolderLevel() == 0)
        GetSpecialFolderPath(sfDesktopDirectory, path);
    else
        PathFromIDList(folder_.get(), path);
    return path;
}

ShellFolderPtr TSHFileList::GetFolder() {
    if (!folderObject_ && folder_) folderObject_ = BindToFolder(folder_.get());
    return folderObject_;
}

ConstIDList TSHFileList::ParentIDList() {
    if (!parent_ && FolderLevel() >= 1) {
        IDList parent = nullptr;
        if (FolderLevel() == 1)
            GetSpecialFolderIDList(sfDesktop, parent);
        else
            parent = ::ParentIDList(folder_.get());
        parent_.reset(parent);
    }
    return parent_.get();
}

ConstIDList TSHFileList::LastItemIDList() {
    if (!lastItem_ && FolderLevel() >= 1) lastItem_.reset(::LastItemIDList(folder_.get()));
    return lastItem_.get();
}

ShellFolderPtr TSHFileList::GetParentFolder() {
    if (!folder_) return nullptr;
    if (FolderLevel() <= 1) return GetDesktopFolder();
    return BindToFolder(ParentIDList());
}

bool TSHFileList::FolderHasAttribute(TShAttribute attribute) {
    const bool nearDesktop = FolderLevel() <= 1;
    const ShellFolderPtr parent = GetParentFolder();
    const ConstIDList item = nearDesktop ? folder_.get() : LastItemIDList();
    if (!parent || !item) return false;
    const std::uint32_t mask = ShAttributeMask(attribute);
    const std::optional<std::uint32_t> bits = parent->GetAttributesOf(item, mask);
    return bits && (*bits & mask) == mask;
}

std::unique_ptr<platform::ShellDropTarget> TSHFileList::GetFolderDropTarget(QWidget* owner) {
    if (!folder_) return nullptr;
    if (FolderLevel() >= 1) {
        const ShellFolderPtr parent = GetParentFolder();
        return parent ? parent->GetDropTarget(owner, LastItemIDList()) : nullptr;
    }
    IDList desktopDirectory = nullptr;
    if (!GetSpecialFolderIDList(sfDesktopDirectory, desktopDirectory)) return nullptr;
    const TIDListHolder holder(desktopDirectory);
    return GetDesktopFolder()->GetDropTarget(owner, desktopDirectory);
}

TSHIDList& TSHFileList::SelectedIDList() {
    selected_.Clear();
    selected_.SetParent(folder_.get());
    for (const int row : view_->SelectedRows())
        if (const TSHFileItem* entry = GetItem(row)) selected_.Add(entry->RelativeID());
    return selected_;
}

QString TSHFileList::ReadFailureText() const {
    if (notAnswering_) return QStringLiteral("応答がありません");
    return readFailure_ == 0 ? QString() : FolderReadFailureText(readFailure_);
}

void TSHFileList::ForgetFolder() {
    readFailure_ = 0;
    selected_.Clear();
    folder_.reset();
    parent_.reset();
    lastItem_.reset();
    folderObject_.reset();
    folderPath_.clear();
    folderId_.reset();
}

// After ForgetFolder: absolute (owned from now on) is the folder.
void TSHFileList::TakeFolder(IDList absolute) {
    folder_.reset(absolute);
    if (FolderLevel() == 0)
        folderPath_ = platform::DesktopDirectory();
    else
        NativePathFromIDList(folder_.get(), folderPath_);
    // A folder read on the list's thread has its identity read there.
    if (ListsOnThread()) return;
    if (const auto identity = platform::IdentityOfPath(folderPath_); identity && !folderPath_.empty())
        folderId_ = std::make_pair(identity->device, identity->inode);
}

void TSHFileList::SetFolder(ConstIDList absolute) {
    if (!view_->ListWindowReady()) return;
    IDList copy = CopyIDList(absolute);
    StopListing();
    view_->BeginRowsUpdate();
    Clear();
    ForgetFolder();
    TakeFolder(copy);
    view_->EndRowsUpdate(0);
    if (Reload() != 0) view_->ScrollToRow(0, true);
}

// Desktop, drives, trash and network hold few entries and no folder that
// can hang; file-system folders are read on a thread of their own.
bool TSHFileList::ListsOnThread() const { return FolderLevel() >= 1 && !folderPath_.empty(); }

// An unreadable folder, or one that cannot be bound any more, shows as an
// empty list: entries of another folder must never stay behind. Why an
// unreadable one is empty is kept for the view to say.
int TSHFileList::Reload() {
    StopListing();
    PauseWatching();
    view_->BeginRowsUpdate();
    Clear();
    readFailure_ = 0;
    if (ListsOnThread()) {
        view_->EndRowsUpdate(0);
        StartListing(nullptr);
        view_->ListChanged(this);
        return 0;
    }
    if (GetFolder()) Enumerate();
    view_->EndRowsUpdate(Count());
    if (Count() != 0) view_->SetFocusedRow(0);
    view_->ListChanged(this);
    ResumeWatching();
    return Count();
}

// Where the user was in the list, by entry names, to be found again in a
// new reading of the folder.
struct TSHFileList::TKeptPlace {
    std::vector<std::string> selected;
    std::string focused;
    std::string top;
    int topRow = -1;
    std::unordered_set<std::string> names;
};

std::unique_ptr<TSHFileList::TKeptPlace> TSHFileList::KeepPlace() const {
    const auto nameAt = [this](int row) {
        const TSHFileItem* entry = GetItem(row);
        return entry ? std::string(RawName(entry->RelativeID())) : std::string();
    };
    auto kept = std::make_unique<TKeptPlace>();
    for (const int row : view_->SelectedRows()) kept->selected.push_back(nameAt(row));
    kept->topRow = view_->TopRow();
    kept->focused = nameAt(view_->FocusedRow());
    kept->top = nameAt(kept->topRow);
    kept->names.reserve(entries_.size());
    for (const auto& entry : entries_) kept->names.emplace(RawName(entry->RelativeID()));
    return kept;
}

void TSHFileList::RestorePlace(const TKeptPlace& kept) {
    std::unordered_map<std::string_view, int> rows;
    rows.reserve(entries_.size());
    std::vector<std::string_view> appeared;
    for (const auto& entry : entries_) {
        const std::string_view name = RawName(entry->RelativeID());
        rows.emplace(name, entry->GetIndex());
        if (kept.names.count(std::string(name)) == 0) appeared.push_back(name);
    }
    // One name gone and one new one: another program renamed that entry,
    // and the selection and focus follow it, so that stepping to the next
    // or previous entry goes on from where it is now.
    std::size_t vanished = 0;
    for (const std::string& name : kept.names) vanished += rows.count(name) == 0 ? 1 : 0;
    const bool renamed = vanished == 1 && appeared.size() == 1;
    const auto rowOf = [&rows, &appeared, renamed](const std::string& name) {
        const auto found = rows.find(name);
        if (found != rows.end()) return found->second;
        return renamed && !name.empty() ? rows.at(appeared.front()) : -1;
    };
    std::vector<int> selectedRows;
    for (const std::string& name : kept.selected)
        if (const int row = rowOf(name); row >= 0) selectedRows.push_back(row);
    std::sort(selectedRows.begin(), selectedRows.end());
    view_->SetSelectedRows(selectedRows);
    if (const int focused = rowOf(kept.focused); focused >= 0) view_->SetFocusedRow(focused);
    const int top = rowOf(kept.top);
    if (Count() != 0 && kept.topRow >= 0)
        view_->ScrollToRow(top >= 0 ? top : std::min(kept.topRow, Count() - 1), true);
}

int TSHFileList::Refresh() {
    std::unique_ptr<TKeptPlace> kept = KeepPlace();
    if (ListsOnThread()) {
        // The rows shown stay until the new reading is complete.
        StopListing();
        readFailure_ = 0;
        StartListing(std::move(kept));
        return Count();
    }
    view_->SuspendSelectionNotify();
    Reload();
    RestorePlace(*kept);
    view_->ResumeSelectionNotify();
    return Count();
}

// ---------------------------------------------------------------------------
// Reading on the listing's thread

// A listing under way. A fresh one merges its runs into the rows as they
// come, the order keys kept beside the rows; one that refreshes the list
// (kept set) or whose sort column needs every entry gathers them and puts
// them in place at the end.
struct TSHFileList::TListingState {
    std::unique_ptr<TKeptPlace> kept;
    bool mergesRuns = false;
    std::vector<TEntryOrderKey> rowKeys;
    std::vector<std::unique_ptr<TSHFileItem>> gathered;
    std::vector<TEntryOrderKey> gatheredKeys;
    // Runs of a refresh also merged, so that the end needs no sort.
    bool gathersSorted = false;
    // The folder changed while it was read: read again at the end.
    bool changedMeanwhile = false;
    bool complete = false;
    // The facts still to come belong to entries that are all still here.
    bool factsUsable = false;
};

namespace {

// How long a file system may leave a listing without an answer before the
// list says that it does not answer.
constexpr std::chrono::milliseconds kAnswerTime{1000};
constexpr std::chrono::milliseconds kAnswerCheck{200};

// Merges a sorted run into sorted entries with their keys.
void MergeSorted(std::vector<std::unique_ptr<TSHFileItem>>& entries, std::vector<TEntryOrderKey>& keys,
                 std::vector<std::unique_ptr<TSHFileItem>> run, std::vector<TEntryOrderKey> runKeys, bool byName,
                 int direction) {
    std::vector<std::unique_ptr<TSHFileItem>> merged;
    std::vector<TEntryOrderKey> mergedKeys;
    merged.reserve(entries.size() + run.size());
    mergedKeys.reserve(entries.size() + run.size());
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < entries.size() || j < run.size()) {
        const bool takeRun =
            i == entries.size() || (j < run.size() && EntryGoesBefore(runKeys[j], keys[i], byName, direction));
        if (takeRun) {
            merged.push_back(std::move(run[j]));
            mergedKeys.push_back(runKeys[j++]);
        } else {
            merged.push_back(std::move(entries[i]));
            mergedKeys.push_back(keys[i++]);
        }
    }
    entries = std::move(merged);
    keys = std::move(mergedKeys);
}

}  // namespace

void TSHFileList::StartListing(std::unique_ptr<TKeptPlace> kept) {
    if (!inbox_) {
        inbox_ = std::make_unique<QObject>();
        answerTimer_ = new QTimer(inbox_.get());
        answerTimer_->setInterval(kAnswerCheck);
        QObject::connect(answerTimer_, &QTimer::timeout, inbox_.get(), [this] { CheckAnswering(); });
    }
    listingState_ = std::make_unique<TListingState>();
    listingState_->mergesRuns = !kept && TFolderListing::SortsRunByRun(sortColumn_);
    listingState_->gathersSorted = kept && TFolderListing::SortsRunByRun(sortColumn_);
    listingState_->kept = std::move(kept);
    notAnswering_ = false;

    TFolderListing::TRequest request;
    request.owner = this;
    request.folder.reset(CopyIDList(folder_.get()));
    request.flags = SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | (view_->IncludeHidden() ? SHCONTF_INCLUDEHIDDEN : 0u);
    request.column = sortColumn_;
    request.direction = directions_[sortColumn_];
    request.filter = view_->ListingFilter();
    // Entries a handler turns away here would leave facts without entry.
    request.readFacts = request.filter.has_value();
    listingState_->factsUsable = request.readFacts;
    const std::uint64_t number = ++listingNumber_;
    QObject* inbox = inbox_.get();
    listing_ = TFolderListing::Start(std::move(request), [this, inbox, number](std::shared_ptr<TListingRun> run) {
        QMetaObject::invokeMethod(
            inbox,
            [this, number, run = std::move(run)] {
                if (number == listingNumber_ && listing_) TakeRun(run);
            },
            Qt::QueuedConnection);
    });
    answerTimer_->start();
}

void TSHFileList::StopListing() {
    if (listing_) listing_->Cancel();
    listing_.reset();
    listingState_.reset();
    if (answerTimer_) answerTimer_->stop();
    notAnswering_ = false;
}

void TSHFileList::CheckAnswering() {
    if (!listing_) return;
    const bool silent = listing_->Silent(kAnswerTime);
    if (silent == notAnswering_) return;
    notAnswering_ = silent;
    view_->ListChanged(this);
}

void TSHFileList::TakeRun(const std::shared_ptr<TListingRun>& run) {
    const std::uint64_t number = listingNumber_;
    if (notAnswering_) {
        notAnswering_ = false;
        view_->ListChanged(this);
    }
    if (run->folder && !folderObject_) folderObject_ = run->folder;
    if (run->identity) folderId_ = run->identity;
    TListingState& state = *listingState_;
    const bool byName = sortColumn_ == hcName;
    const int direction = directions_[sortColumn_];
    if (!view_->ListingFilter())
        std::erase_if(run->entries, [this](const auto& entry) { return !view_->AcceptItem(entry.get()); });
    if (state.mergesRuns) {
        MergeIntoRows(std::move(run->entries), std::move(run->keys));
    } else if (state.gathersSorted) {
        MergeSorted(state.gathered, state.gatheredKeys, std::move(run->entries), std::move(run->keys), byName,
                    direction);
    } else {
        for (auto& entry : run->entries) state.gathered.push_back(std::move(entry));
    }
    if (!run->facts.empty() && state.factsUsable) {
        for (auto& [entry, data] : run->facts) entry->SetFindData(data);
        view_->InvalidateRows();
    }
    if (run->complete) {
        readFailure_ = run->error;
        PlaceListedEntries();
        // Placing may have started another reading (the folder changed).
        if (listingNumber_ != number) return;
    }
    if (run->last) EndListing();
}
// The run's entries go among the rows in their order; the user's selection,
// focus and first visible entry stay on their entries.
void TSHFileList::MergeIntoRows(std::vector<std::unique_ptr<TSHFileItem>> run, std::vector<TEntryOrderKey> keys) {
    if (run.empty()) return;
    TListingState& state = *listingState_;
    const bool wasEmpty = entries_.empty();
    TSHFileItem* focused = GetItem(view_->FocusedRow());
    const int topRow = view_->TopRow();
    TSHFileItem* top = topRow > 0 ? GetItem(topRow) : nullptr;
    const std::vector<TSHFileItem*> selected = EntriesAt(view_->SelectedRows());
    view_->SuspendSelectionNotify();
    view_->BeginRowsReorder();
    MergeSorted(entries_, state.rowKeys, std::move(run), std::move(keys), sortColumn_ == hcName,
                directions_[sortColumn_]);
    Renumber();
    view_->EndRowsReorder(Count());
    view_->SetSelectedRows(RowsOf(selected));
    if (focused)
        view_->SetFocusedRow(focused->GetIndex());
    else if (wasEmpty)
        view_->SetFocusedRow(0);
    if (top) view_->ScrollToRow(top->GetIndex(), true);
    view_->ResumeSelectionNotify();
    SelectPendingEntry();
    view_->ListChanged(this);
}

// Every entry is in: gathered ones take the rows' place, and the folder is
// watched and made current.
void TSHFileList::PlaceListedEntries() {
    TListingState& state = *listingState_;
    state.complete = true;
    state.rowKeys = {};
    if (!state.mergesRuns) {
        view_->SuspendSelectionNotify();
        view_->BeginRowsUpdate();
        Clear();
        entries_ = std::move(state.gathered);
        Renumber();
        if (!state.gathersSorted && !(folderPath_.empty() && sortColumn_ == hcAttr)) SortByColumn(sortColumn_);
        view_->EndRowsUpdate(Count());
        if (state.kept)
            RestorePlace(*state.kept);
        else if (Count() != 0)
            view_->SetFocusedRow(0);
        view_->ResumeSelectionNotify();
        SelectPendingEntry();
    }
    pendingSelection_.clear();
    pendingAction_ = {};
    if (folderObject_ && folderObject_->HoldsFileSystemEntries() && readFailure_ == 0) QDir::setCurrent(FolderPath());
    view_->ListChanged(this);
    ResumeWatching();
    if (state.changedMeanwhile) Refresh();
}

void TSHFileList::EndListing() {
    listing_.reset();
    listingState_.reset();
    answerTimer_->stop();
    notAnswering_ = false;
    view_->ListChanged(this);
}

bool TSHFileList::FactsComing() const { return listingState_ && listingState_->factsUsable; }

void TSHFileList::SelectEntryWhenListed(const std::string& name, std::function<void(int row)> then) {
    pendingSelection_ = name;
    pendingAction_ = std::move(then);
    SelectPendingEntry();
    if (listing_) return;
    pendingSelection_.clear();
    pendingAction_ = {};
}

void TSHFileList::SelectPendingEntry() {
    if (pendingSelection_.empty()) return;
    for (const auto& entry : entries_) {
        if (RawName(entry->RelativeID()) != pendingSelection_) continue;
        const int row = entry->GetIndex();
        view_->SetSelectedRows({row});
        view_->SetFocusedRow(row);
        view_->ScrollToRow(row, false);
        pendingSelection_.clear();
        if (const std::function<void(int)> then = std::exchange(pendingAction_, {})) then(row);
        return;
    }
}

void TSHFileList::EntryRenamed(TSHFileItem& entry) {
    if (!listingState_ || !listingState_->mergesRuns) return;
    const auto row = static_cast<std::size_t>(entry.GetIndex());
    if (row < listingState_->rowKeys.size())
        listingState_->rowKeys[row].name = platform::MakeNaturalSortKey(RawName(entry.RelativeID()));
}

bool TSHFileList::KeepsPlace(TSHFileItem& item) {
    const TShVirtuaItems shown = view_->ShVirtuaItems();
    switch (FolderLevel()) {
        case 0: {
            const TShItemIDType kind = item.GetItemType();
            if (kind == itInterNet || kind == itBitBucket || kind == itNetWork) return shown.Contains(kind);
            return kind != itVirtual;
        }
        case 1:
            switch (FolderKind()) {
                case itMyComputer: return shown.Contains(itVirtual) || item.GetItemType() != itVirtual;
                case itNetWork: return shown.Contains(itNetWork);
                default: return true;
            }
        default: return true;
    }
}

int TSHFileList::Enumerate() {
    const ShellFolderPtr folder = GetFolder();
    const unsigned flags = SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | (view_->IncludeHidden() ? SHCONTF_INCLUDEHIDDEN : 0u);
    const std::unique_ptr<platform::ShellEnumerator> items = folder ? folder->EnumObjects(flags, &readFailure_) : nullptr;
    if (!items) return 0;
    const platform::HourglassCursor busy;
    while (platform::UniqueIDList item = items->Next()) {
        auto entry = std::make_unique<TSHFileItem>(this, item.release());
        if (!KeepsPlace(*entry) || !view_->AcceptItem(entry.get())) continue;
        entry->SetIndex(Count());
        entries_.push_back(std::move(entry));
    }
    if (!(folderPath_.empty() && sortColumn_ == hcAttr)) SortByColumn(sortColumn_);
    return Count();
}

void TSHFileList::Renumber(std::size_t from) {
    for (std::size_t i = from; i < entries_.size(); ++i) entries_[i]->SetIndex(static_cast<int>(i));
}

bool TSHFileList::SortsByCachedKeys() {
    const ShellFolderPtr folder = GetFolder();
    if (!folder) return false;
    const platform::ShellPlace place = folder->Place();
    return place == platform::ShellPlace::Home || place == platform::ShellPlace::Drive ||
           place == platform::ShellPlace::FileSystem;
}

void TSHFileList::SortByColumn(THeaderCaption column) {
    if (Count() < 2 || !GetFolder()) return;
    if (SortsByCachedKeys()) {
        SortByKeys(column);
        return;
    }
    SortByFolder(column);
    Renumber();
}

// Places outside the file system are few; their folder compares them.
// A comparison that fails counts as equal, which a stable sort tolerates.
void TSHFileList::SortByFolder(THeaderCaption column) {
    const ShellFolderPtr folder = GetFolder();
    const int direction = directions_[column];
    std::stable_sort(entries_.begin(), entries_.end(), [&](const auto& a, const auto& b) {
        const std::optional<int> order = folder->CompareIDs(column, a->RelativeID(), b->RelativeID());
        return order && static_cast<std::int16_t>(*order & 0xFFFF) * direction < 0;
    });
}

namespace {

// What the folder's order of file-system entries looks at: the kind, one
// value per column, then the name.
struct TSortKey {
    platform::NaturalSortKey name;
    std::int64_t value = 0;
    bool folder = false;
    std::uint32_t entry = 0;
};

// Entries and their item lists lie scattered over the heap; a pass over
// a large list asks for them well before it reads them.
constexpr std::size_t kPrefetchDistance = 64;

void PrefetchAhead(const std::vector<std::unique_ptr<TSHFileItem>>& entries, std::size_t i) {
    if (i + kPrefetchDistance < entries.size()) __builtin_prefetch(entries[i + kPrefetchDistance].get());
    if (i + kPrefetchDistance / 2 < entries.size()) __builtin_prefetch(entries[i + kPrefetchDistance / 2]->RelativeID());
}

// Ranks of texts in collation order; equal texts share a rank.
template <typename Key, typename Hash = std::hash<Key>>
class TTextRanks {
public:
    int& Slot(const Key& key) { return slots_.try_emplace(key, -1).first->second; }
    void Rank(const std::function<QString(const Key&)>& textOf) {
        std::vector<std::pair<QString, int*>> texts;
        texts.reserve(slots_.size());
        for (auto& [key, rank] : slots_) texts.emplace_back(textOf(key), &rank);
        std::sort(texts.begin(), texts.end(),
                  [](const auto& a, const auto& b) { return platform::NaturalCompareText(a.first, b.first) < 0; });
        int rank = 0;
        for (std::size_t i = 0; i < texts.size(); ++i) {
            if (i > 0 && platform::NaturalCompareText(texts[i - 1].first, texts[i].first) != 0) ++rank;
            *texts[i].second = rank;
        }
    }

private:
    std::unordered_map<Key, int, Hash> slots_;
};

}  // namespace

// File-system entries sort by the facts their entries already hold, in
// the same order as the folder's own comparison of each column: one read
// of every entry instead of one per comparison, names compared by the
// start of their order keys where that decides. The entries are numbered
// as they are put in order.
void TSHFileList::SortByKeys(THeaderCaption column) {
    std::vector<TSortKey> keys(entries_.size());
    TTextRanks<std::uint32_t> attributes;
    std::vector<int*> attributeSlots(column == hcAttr ? entries_.size() : 0);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        PrefetchAhead(entries_, i);
        TSHFileItem& entry = *entries_[i];
        TSortKey& key = keys[i];
        key.entry = static_cast<std::uint32_t>(i);
        key.name = platform::MakeNaturalSortKey(RawName(entry.RelativeID()));
        if (column == hcName) {
            IsFileSystemEntryKind(entry.RelativeID(), key.folder);
            continue;
        }
        entry.Attributes();
        key.folder = entry.IsDirectory();
        switch (column) {
            case hcSize: key.value = key.folder ? 0 : static_cast<std::int64_t>(entry.Size()); break;
            case hcLastWrite: key.value = platform::UnixNsFromFileTime(entry.LastWriteTime()); break;
            case hcType: key.value = key.folder ? 0 : TypeNumberOf(entry); break;
            case hcAttr: attributeSlots[i] = &attributes.Slot(entry.Attributes()); break;
            default: break;
        }
    }
    if (column == hcType) {
        const std::vector<int> ranks = TypeRanks();
        for (TSortKey& key : keys)
            if (!key.folder) key.value = ranks[static_cast<std::size_t>(key.value)];
    }
    if (column == hcAttr) {
        attributes.Rank([](const std::uint32_t& bits) { return platform::AttributeLetters(bits); });
        for (std::size_t i = 0; i < attributeSlots.size(); ++i) keys[i].value = *attributeSlots[i];
    }

    const int direction = directions_[column];
    const bool byName = column == hcName;
    std::sort(keys.begin(), keys.end(), [direction, byName](const TSortKey& a, const TSortKey& b) {
        int order = a.folder != b.folder ? (a.folder ? -1 : 1) : (byName ? 0 : Sign(a.value - b.value));
        if (order == 0) order = platform::NaturalCompare(a.name, b.name);
        return order * direction < 0;
    });
    std::vector<std::unique_ptr<TSHFileItem>> sorted;
    sorted.reserve(std::max<std::size_t>(entries_.capacity(), keys.size()));
    for (std::size_t row = 0; row < keys.size(); ++row) {
        if (row + kPrefetchDistance < keys.size()) __builtin_prefetch(entries_[keys[row + kPrefetchDistance].entry].get(), 1);
        sorted.push_back(std::move(entries_[keys[row].entry]));
        sorted.back()->SetIndex(static_cast<int>(row));
    }
    entries_ = std::move(sorted);
}

// The entry's type name's number in the table (from 0), looked up once
// per entry while the numbers fit the entry's field.
int TSHFileList::TypeNumberOf(TSHFileItem& entry) {
    if (entry.TypeNumber() > 0) return entry.TypeNumber() - 1;
    const QString name = platform::FileTypeName(RawName(entry.RelativeID()), platform::FileObjectType::Regular);
    const auto [slot, added] = typeNumbers_.try_emplace(name, static_cast<int>(typeNames_.size()));
    if (added) typeNames_.push_back(name);
    const int number = slot->second;
    if (number < std::numeric_limits<std::uint16_t>::max()) entry.SetTypeNumber(static_cast<std::uint16_t>(number + 1));
    return number;
}

// The collation rank of each type name by its number; names that collate
// alike share a rank.
std::vector<int> TSHFileList::TypeRanks() const {
    std::vector<int> order(typeNames_.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(),
              [this](int a, int b) { return platform::NaturalCompareText(typeNames_[a], typeNames_[b]) < 0; });
    std::vector<int> ranks(typeNames_.size());
    int rank = 0;
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (i > 0 && platform::NaturalCompareText(typeNames_[order[i - 1]], typeNames_[order[i]]) != 0) ++rank;
        ranks[static_cast<std::size_t>(order[i])] = rank;
    }
    return ranks;
}

std::vector<TSHFileItem*> TSHFileList::EntriesAt(const std::vector<int>& rows) const {
    std::vector<TSHFileItem*> found;
    found.reserve(rows.size());
    for (const int row : rows)
        if (TSHFileItem* entry = GetItem(row)) found.push_back(entry);
    return found;
}

std::vector<int> TSHFileList::RowsOf(const std::vector<TSHFileItem*>& entries) const {
    std::vector<int> rows;
    rows.reserve(entries.size());
    for (const TSHFileItem* entry : entries) rows.push_back(entry->GetIndex());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TSHFileList::ApplySort(THeaderCaption column) {
    if (folderPath_.empty() && column == hcAttr) return;
    if (listing_) {
        // The entries still to come are read in the new order.
        sortColumn_ = column;
        Refresh();
        return;
    }
    view_->SuspendSelectionNotify();
    sortColumn_ = column;
    TSHFileItem* focused = GetItem(view_->FocusedRow());
    const std::vector<TSHFileItem*> selected = EntriesAt(view_->SelectedRows());
    view_->BeginRowsReorder();
    SortByColumn(column);
    view_->EndRowsReorder(Count());
    view_->SetSelectedRows(RowsOf(selected));
    if (focused) view_->SetFocusedRow(focused->GetIndex());
    view_->ResumeSelectionNotify();
    view_->InvalidateRows();
}

void TSHFileList::PauseWatching() {
    for (TShFilesWatcher* watcher : {namesWatcher_.get(), detailsWatcher_.get()})
        if (watcher) watcher->SetPath(std::string());
}

void TSHFileList::ResumeWatching() {
    for (TShFilesWatcher* watcher : {namesWatcher_.get(), detailsWatcher_.get()})
        if (watcher) watcher->SetPath(folderPath_);
}

bool TSHFileList::Watching() const { return namesWatcher_ && !namesWatcher_->GetPath().empty(); }

// Whether path still names the folder the list was pointed at, not one
// made in its place after it was renamed or removed.
bool TSHFileList::StillTheFolder(const std::string& path) const {
    if (!IsExistingDirectory(path)) return false;
    const std::optional<platform::FileIdentity> identity = platform::IdentityOfPath(path);
    return !folderId_ || (identity && std::make_pair(identity->device, identity->inode) == *folderId_);
}

// The folder shown was renamed where it is: the list moves to the new
// name by itself, keeping its selection, whatever the bound tree has
// seen of it so far.
bool TSHFileList::FollowRenamedFolder() {
    if (!folderId_ || FolderLevel() < 2) return false;
    const ShellFolderPtr parent = GetParentFolder();
    if (!parent || !parent->HoldsFileSystemEntries()) return false;
    const std::string name = platform::FindFolderEntry(parent->Path(), folderId_->first, folderId_->second);
    const platform::UniqueIDList item =
        name.empty() ? nullptr : parent->EntryItem(name, platform::kEnumFolders | platform::kEnumIncludeHidden);
    if (!item) return false;
    IDList renamed = ConcatIDList(ParentIDList(), item.get());
    if (!renamed) return false;
    ForgetFolder();
    TakeFolder(renamed);
    Refresh();
    return true;
}

void TSHFileList::FolderChanged(TShFilesWatcher* watcher, const std::string& path) {
    if (!view_->MouseIdle() || path != folderPath_) return;
    if (listing_ && !listingState_->complete) {
        listingState_->changedMeanwhile = true;
        return;
    }
    // Facts read before the change may be stale: the folder is read anew.
    const bool readingFacts = listing_ != nullptr;
    if (!StillTheFolder(path)) {
        StopListing();
        if (FollowRenamedFolder()) return;
        PauseWatching();
        view_->BeginRowsUpdate();
        Clear();
        ForgetFolder();
        view_->EndRowsUpdate(0);
        view_->ListChanged(this);
        if (const ConstIDList treeFolder = view_->BoundTreeSelection()) SetFolder(treeFolder);
        return;
    }
    if (watcher == namesWatcher_.get() || readingFacts) {
        Refresh();
        return;
    }
    for (const auto& entry : entries_) entry->ForgetFindData();
    view_->InvalidateRows();
}

int TSHFileList::DeleteSelected() {
    const std::vector<int> rows = view_->SelectedRows();
    if (rows.empty()) return 0;
    // A delete may have stopped part way (cancelled, or items that could
    // not go): only the entries whose files are gone leave the list.
    const auto gone = [this](const TSHFileItem& entry) {
        bool folder = false;
        struct stat info {};
        return IsFileSystemEntryKind(entry.RelativeID(), folder) && !folderPath_.empty() &&
               lstat(EntryPath(folderPath_, RawName(entry.RelativeID())).c_str(), &info) != 0 && errno == ENOENT;
    };
    std::vector<int> kept;
    view_->BeginRowsUpdate();
    for (const int row : rows) {
        if (row < 0 || row >= Count()) continue;
        if (gone(*entries_[static_cast<std::size_t>(row)]))
            entries_[static_cast<std::size_t>(row)].reset();
        else
            kept.push_back(row);
    }
    std::vector<TSHFileItem*> keptEntries = EntriesAt(kept);
    if (listingState_) listingState_->factsUsable = false;
    if (listingState_ && listingState_->mergesRuns) {
        std::vector<TEntryOrderKey>& keys = listingState_->rowKeys;
        std::size_t out = 0;
        for (std::size_t i = 0; i < keys.size(); ++i)
            if (entries_[i]) keys[out++] = keys[i];
        keys.resize(out);
    }
    const auto dropped = std::erase(entries_, nullptr);
    Renumber();
    view_->EndRowsUpdate(Count());
    view_->SetSelectedRows(RowsOf(keptEntries));
    view_->ListChanged(this);
    return static_cast<int>(dropped);
}

bool MakeNewFolder(const QString& path) {
    bool created = false;
    return platform::CreateFolder(platform::PathBytes(path), created) == 0 && created;
}

QString FolderReadFailureText(int error) {
    return QStringLiteral("このフォルダの内容を読み取れません。%1").arg(platform::FileErrorText(error));
}

QString SizeColumnText(std::uint64_t size) {
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return locale.toString(static_cast<qulonglong>(size / 1024 + (size % 1024 != 0 ? 1 : 0))) + QStringLiteral("KB");
}

QString DateColumnText(const QDateTime& local) {
    return QLocale().toString(local.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           local.time().toString(QStringLiteral("hh:mm"));
}

QString NewFolderName(const QString& folderPath) {
    const QString base = QStringLiteral("新しいフォルダ");
    QString candidate = JoinPath(folderPath, base);
    for (int number = 2; platform::FolderExists(platform::PathBytes(candidate)); ++number)
        candidate = JoinPath(folderPath, base + QString::asprintf(" (%d)", number));
    return candidate;
}
