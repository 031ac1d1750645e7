#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include <QDateTime>
#include <QString>
#include <QStringList>

#include "platform/list_view.h"
#include "shell/shell_data_item.h"
#include "shell/shell_id_list.h"

class QObject;
class QTimer;
class TFolderListing;
class TImageList;
class TSHFileFilter;
class TSHFileList;
class TShFilesWatcher;
struct TEntryOrderKey;
struct TListingRun;

// The file list's columns and at the same time its sort keys.
enum THeaderCaption { hcName, hcSize, hcType, hcLastWrite, hcAttr };
constexpr int kHeaderCaptionCount = 5;

// Which image of an image list shows which file attribute; -1 shows none.
// Normal is never drawn. The image list is not owned.
struct TAttributesImage {
    const TImageList* ImageList = nullptr;
    int Archive = -1;
    int Hidden = -1;
    int ReadOnly = -1;
    int System = -1;
    int Directory = -1;
    int Normal = -1;
    int Temporary = -1;
    int Compressed = -1;
    int Offline = -1;
};

// What the file list needs of the control that shows it: the control owns
// the rows' selection, focus and scroll position, the list owns the
// entries. Rows are entry positions.
class TSHFileListView {
public:
    virtual ~TSHFileListView() = default;

    // The window that owns prompts; none while it does not exist.
    virtual QWidget* ListWindow() = 0;
    // False before the window exists and while it is torn down.
    virtual bool ListWindowReady() const = 0;
    virtual bool IncludeHidden() const = 0;
    virtual TShVirtuaItems ShVirtuaItems() const = 0;
    virtual TViewStyle ViewStyle() const = 0;
    // The acceptance test of an enumerated entry (filter and handler).
    virtual bool AcceptItem(class TSHFileItem* item) = 0;
    // False while a button is held on a row or a drag runs.
    virtual bool MouseIdle() const = 0;
    // The selected folder of a bound folder tree; none without tree.
    virtual ConstIDList BoundTreeSelection() = 0;

    // Row bookkeeping: the row count changes only between these two.
    virtual void BeginRowsUpdate() = 0;
    virtual void EndRowsUpdate(int rowCount) = 0;
    // The rows are put in a new order, and rows may be added among them,
    // between these two.
    virtual void BeginRowsReorder() = 0;
    virtual void EndRowsReorder(int rowCount) = 0;
    // The rows' texts or icons changed, their order did not.
    virtual void InvalidateRows() = 0;

    virtual std::vector<int> SelectedRows() const = 0;  // ascending
    virtual void SetSelectedRows(const std::vector<int>& rows) = 0;
    virtual int FocusedRow() const = 0;  // -1 for none
    virtual void SetFocusedRow(int row) = 0;
    virtual int TopRow() const = 0;  // first visible row, -1 for none
    virtual void ScrollToRow(int row, bool atTop) = 0;

    // Selection-change reports are held between these two.
    virtual void SuspendSelectionNotify() = 0;
    virtual void ResumeSelectionNotify() = 0;
    // The list was filled anew or entries were removed.
    // The list was filled anew, entries were removed or added, or its
    // reading state (ReadFailureText) changed.
    virtual void ListChanged(TSHFileList* list) = 0;
    // The filter a listing's own thread can apply in place of AcceptItem;
    // none when acceptance needs the view (a handler), so that the entries
    // are tested here as they come.
    virtual std::optional<TSHFileFilter> ListingFilter() const = 0;
};

// One entry of the file list: an item of the list's folder with its icon,
// name and file facts fetched on first request. Small on purpose: a list
// holds one per folder entry.
class TSHFileItem final : public TSHDataItem {
public:
    TSHFileItem(TSHFileList* owner, IDList relativeID);

    // The large icon in the large-icon style, else the small one.
    int GetIconIndex() override;
    int GetIndex() const override { return index_; }
    int GetLevel() const override;
    ConstIDList GetParentIDList() override;
    ConstIDList GetAbsoluteIDList() override;
    bool IsValid() const override { return owner_ && RelativeID(); }
    // The list's folder: entries never bind a folder of their own.
    ShellFolderPtr GetParentFolder() override;

    int GetSysIconIndexByStyle(bool large);

    // The file facts, read on first request; a failed read is retried on
    // the next request. Attributes and times are zero until read.
    platform::FindData GetFindData();
    std::uint32_t Attributes();
    std::uint64_t Size();
    platform::FileTime LastWriteTime();
    // Forgets the file facts so that the next request reads them again.
    void ForgetFindData() { loaded_ = false; }
    // Takes file facts read elsewhere (by the listing's thread).
    void SetFindData(const platform::FindData& data);
    bool FindDataLoaded() const { return loaded_; }

    // A folder by its file facts, or by its kind until they are read.
    bool IsDirectory();

    QString SizeText();
    QString TypeText();
    QString DateText();
    QString AttributesText();
    // 1 shared, 2 link, 0 none.
    int OverlayIndex();

    // Renames the entry on disk (the namespace tells the user why when it
    // cannot); afterwards icon and name are fetched anew.
    bool Rename(const QString& newName);

    TSHFileList* Owner() const { return owner_; }
    void SetIndex(int index) { index_ = index; }
    // The number of the entry's type name in its list's table; 0 until
    // looked up (and for types past the table's numbering).
    std::uint16_t TypeNumber() const { return typeNumber_; }
    void SetTypeNumber(std::uint16_t number) { typeNumber_ = number; }

private:
    bool LoadFindData();
    int IconIndexOfFacts() const;

    TSHFileList* owner_;
    int index_ = -1;
    int largeIconIndex_ = -1;
    bool loaded_ = false;
    std::uint16_t typeNumber_ = 0;
    std::uint8_t objectType_ = 0;  // a platform::FileObjectType, with the facts
    bool link_ = false;
    std::uint32_t attributes_ = 0;
    std::uint64_t size_ = 0;
    platform::FileTime lastWrite_;
    platform::FileTime creation_;
    platform::FileTime lastAccess_;
};

// What the filter looks at of an entry. Size, write time and attributes
// are read only when the filter's options need them.
struct TFilterFacts {
    std::string_view Name;  // raw name bytes; empty outside the file system
    bool InFileSystem = false;
    bool Folder = false;
    std::uint64_t Size = 0;
    platform::FileTime LastWrite;
    std::uint32_t Attributes = 0;
};

// Decides which entries the list shows.
class TSHFileFilter {
public:
    enum TOption : unsigned {
        foMask = 0x01,
        foSize = 0x02,
        foDate = 0x04,
        foAttributes = 0x08,
        foKind = 0x10,
        foInvert = 0x20,
    };

    TSHFileFilter();

    unsigned Options = 0;
    // Name patterns; one line may hold several separated by ';'.
    QStringList Masks;
    std::int32_t Size1 = 1;
    std::int32_t Size2 = 1;
    int SizeMode = 0;       // 0 =, 1 <=, 2 <, 3 >=, 4 >
    int SizeRangeMode = 0;  // with 3 and 4: 0 open, 1 <= Size2, 2 < Size2
    QDateTime Date1;
    QDateTime Date2;
    int DateMode = 0;
    int DateRangeMode = 0;
    bool ReadOnly = false;
    bool Hidden = false;
    bool System = false;
    bool Archive = false;
    bool Temporary = false;
    bool Compressed = false;
    bool Offline = false;
    bool Folders = false;
    bool Files = false;
    bool NonFileSystem = false;

    bool Match(TSHFileItem& item) const;
    // The same test where the facts were read beforehand (on a listing's
    // own thread, which must not touch the item's list).
    bool Match(const TFilterFacts& facts) const;
    bool NeedsFileFacts() const { return (Options & (foSize | foDate | foAttributes)) != 0; }

private:
    bool MatchesMask(const TFilterFacts& facts) const;
    bool MatchesSize(std::uint64_t size) const;
    bool MatchesDate(const QDateTime& date) const;
    bool MatchesAttributes(std::uint32_t attributes) const;
    bool MatchesKind(const TFilterFacts& facts) const;
};

// The entries of one folder in the order of the sort column, kept current
// by two folder watchers (names; attributes, size and write time).
class TSHFileList {
public:
    // With watch false no watcher threads are made (a list that never
    // shows a real folder for long, such as one being designed).
    explicit TSHFileList(TSHFileListView* view, bool watch = true);
    ~TSHFileList();
    TSHFileList(const TSHFileList&) = delete;
    TSHFileList& operator=(const TSHFileList&) = delete;

    TSHFileListView* View() const { return view_; }

    void Clear();
    int Count() const { return static_cast<int>(entries_.size()); }
    // None outside 0..Count()-1.
    TSHFileItem* GetItem(int index) const;

    ConstIDList FolderIDList() const { return folder_.get(); }
    int FolderLevel() const { return IDListLevel(folder_.get()); }
    TShItemIDType FolderKind() const;
    QString FolderPath() const;
    const std::string& FolderNativePath() const { return folderPath_; }
    bool FolderHasAttribute(TShAttribute attribute);
    // Why the folder's entries could not be read at the last enumeration
    // (its errno value), 0 when they were; and that as a sentence for the
    // user, empty when they were read. While a listing waits for a file
    // system that does not answer, the text says so.
    int ReadFailure() const { return readFailure_; }
    QString ReadFailureText() const;

    // File-system folders are read on a thread of their own: the entries
    // come in runs after SetFolder, Reload or Refresh return. Listing()
    // holds until the last run is in; NotAnswering() while the folder's
    // file system has not answered for a while.
    bool Listing() const { return listing_ != nullptr; }
    bool NotAnswering() const { return notAnswering_; }
    // Selects, focuses and shows the entry called name (raw bytes) now, or
    // when it comes in while the folder is still being read; then hands
    // its row to then.
    void SelectEntryWhenListed(const std::string& name, std::function<void(int row)> then = {});
    // A renamed entry's order key views its new name.
    void EntryRenamed(TSHFileItem& entry);
    // Whether the listing under way reads the entries' facts, so that
    // asking the file system for them here would only wait.
    bool FactsComing() const;
    // Cached while the folder is shown; none when it cannot be bound.
    ShellFolderPtr GetFolder();
    ShellFolderPtr GetParentFolder();
    ConstIDList ParentIDList();
    ConstIDList LastItemIDList();
    std::unique_ptr<platform::ShellDropTarget> GetFolderDropTarget(QWidget* owner);

    // The relative items of the selected rows, in row order.
    TSHIDList& SelectedIDList();

    // Shows the folder (copied); nothing while the view's window is not
    // ready.
    void SetFolder(ConstIDList absolute);
    // Enumerates the folder again; selection and focus start afresh.
    int Reload();
    // Enumerates again keeping the selected and focused entries (found by
    // name) and the first visible one where they still exist; when one
    // name went and one came, that entry was renamed and keeps them too.
    int Refresh();
    void SortByColumn(THeaderCaption column);
    // Sorts keeping the selected and the focused entries.
    void ApplySort(THeaderCaption column);

    THeaderCaption SortColumn() const { return sortColumn_; }
    void SetSortColumn(THeaderCaption column) { sortColumn_ = column; }
    int SortDirection(THeaderCaption column) const { return directions_[column]; }
    void SetSortDirection(THeaderCaption column, int direction) { directions_[column] = direction < 0 ? -1 : 1; }

    void PauseWatching();
    void ResumeWatching();
    bool Watching() const;
    // A watcher's settled report: path is the folder it watched.
    void FolderChanged(TShFilesWatcher* watcher, const std::string& path);
    // After a delete: drops the selected rows whose files are gone; the
    // others stay selected. Answers how many rows went.
    int DeleteSelected();

private:
    struct TKeptPlace;
    struct TListingState;
    int Enumerate();
    bool ListsOnThread() const;
    void StartListing(std::unique_ptr<TKeptPlace> keep);
    void StopListing();
    void TakeRun(const std::shared_ptr<TListingRun>& run);
    void MergeIntoRows(std::vector<std::unique_ptr<TSHFileItem>> run, std::vector<TEntryOrderKey> keys);
    void PlaceListedEntries();
    void EndListing();
    void CheckAnswering();
    void SelectPendingEntry();
    std::unique_ptr<TKeptPlace> KeepPlace() const;
    void RestorePlace(const TKeptPlace& kept);
    bool KeepsPlace(TSHFileItem& item);
    void ForgetFolder();
    void TakeFolder(IDList absolute);
    bool StillTheFolder(const std::string& path) const;
    bool FollowRenamedFolder();
    void Renumber(std::size_t from = 0);
    bool SortsByCachedKeys();
    void SortByKeys(THeaderCaption column);
    int TypeNumberOf(TSHFileItem& entry);
    std::vector<int> TypeRanks() const;
    void SortByFolder(THeaderCaption column);
    std::vector<TSHFileItem*> EntriesAt(const std::vector<int>& rows) const;
    std::vector<int> RowsOf(const std::vector<TSHFileItem*>& entries) const;

    TSHFileListView* view_;
    std::vector<std::unique_ptr<TSHFileItem>> entries_;
    THeaderCaption sortColumn_ = hcName;
    std::array<int, kHeaderCaptionCount> directions_{1, 1, 1, 1, 1};
    TIDListHolder folder_;
    TIDListHolder parent_;
    TIDListHolder lastItem_;
    ShellFolderPtr folderObject_;
    std::string folderPath_;
    // Device and inode of the folder when it was set: a folder renamed
    // behind the list's back is found again by them.
    std::optional<std::pair<std::uint64_t, std::uint64_t>> folderId_;
    int readFailure_ = 0;
    TSHIDList selected_;
    // The type names of the files listed, each once: entries keep the
    // number of theirs, so a sort by type looks each entry's type up once
    // and collates only the distinct names. Emptied with the entries.
    std::vector<QString> typeNames_;
    std::unordered_map<QString, int> typeNumbers_;
    std::unique_ptr<TShFilesWatcher> namesWatcher_;
    std::unique_ptr<TShFilesWatcher> detailsWatcher_;

    std::shared_ptr<TFolderListing> listing_;
    std::unique_ptr<TListingState> listingState_;
    // Numbers the listings, so that runs of a cancelled one still on their
    // way are recognised and dropped.
    std::uint64_t listingNumber_ = 0;
    bool notAnswering_ = false;
    std::string pendingSelection_;
    std::function<void(int row)> pendingAction_;
    // Receives the runs on the list's thread; a run on its way to a list
    // that is gone goes with it.
    std::unique_ptr<QObject> inbox_;
    QTimer* answerTimer_ = nullptr;
};

// What the user reads about a folder whose entries could not be read
// (error: the errno value).
QString FolderReadFailureText(int error);

// The texts of the size and last-write columns.
QString SizeColumnText(std::uint64_t size);
QString DateColumnText(const QDateTime& local);

// "新しいフォルダ" in folderPath, numbered " (2)", " (3)", ... past the
// folders that already exist. Only folders are skipped: a plain file of
// that name makes the following folder creation fail.
QString NewFolderName(const QString& folderPath);
// Makes the folder path names; false when it exists already or cannot be made.
bool MakeNewFolder(const QString& path);
