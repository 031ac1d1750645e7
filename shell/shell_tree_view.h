#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <QPointer>
#include <QTreeWidget>

#include "platform/inotify_watch.h"
#include "raster/raster_tools.h"
#include "shell/shell_data_item.h"
#include "shell/shell_id_list.h"
#include "shell/tree_folder_reading.h"

class TSHComboBox;
class TSHDragObject;
class TSHListView;
class TSHPopupMenu;
class TSHTreeView;
class TShDirWatcher;
class QTimer;
struct TDeviceChangeData;

// One node of the folder tree; it owns the item it shows.
class TSHTreeNode : public QTreeWidgetItem, public TSHFolderNode {
public:
    TSHTreeNode(TSHTreeView* tree, std::unique_ptr<TSHFolderItem> item);
    ~TSHTreeNode() override;

    TSHFolderItem* Item() const { return item_.get(); }
    // Takes a new item for the same folder (renamed on disk, or read);
    // withFacts: the item comes from a reading, its icons looked up.
    void SetItem(std::unique_ptr<TSHFolderItem> item, bool withFacts);
    TSHTreeNode* ParentNode() const { return static_cast<TSHTreeNode*>(parent()); }
    TSHTreeNode* ChildNode(int index) const { return static_cast<TSHTreeNode*>(child(index)); }

    // The expand button, shown before the children are known.
    bool HasChildren() const;
    void SetHasChildren(bool hasChildren);
    int Overlay() const { return overlay_; }
    void SetOverlay(int overlay) { overlay_ = overlay; }
    // Whether expand button, overlay, name and icons come from a reading
    // of the parent folder; a node made from a path alone has a plain icon
    // until then.
    bool FactsKnown() const { return factsKnown_; }
    // Takes what a reading found of the node's folder: the item with its
    // icons (while the node has none read), the overlay and, with button,
    // the expand button.
    void TakeFacts(TTreeChild& facts, bool button);
    // The icons are to be looked up again (the theme changed).
    void ForgetIcons();
    // Device and inode of the folder, read when it was expanded or
    // selected: a folder renamed behind the tree's back is found by it.
    const std::optional<TFileId>& FileId() const { return fileId_; }
    void SetFileId(const std::optional<TFileId>& fileId) { fileId_ = fileId; }
    // Whether the folder holds attribute, as its last reading found (the
    // commands ask this in every idle pass, which must not wait for a file
    // system); false until a reading has answered.
    bool HoldsAttribute(TShAttribute attribute) const;
    void SetAttributes(std::uint32_t attributes) { attributes_ = attributes; }
    // Why the folder's entries could not be read at the last look (an
    // errno value), 0 when they were; such a node is drawn dimmed and its
    // tool tip says why.
    int ReadFailure() const { return readFailure_; }
    void SetReadFailure(int error) { readFailure_ = error; }
    // Whether the folder's file system has not answered a reading for a
    // while; the node then says so beside its name.
    bool NotAnswering() const { return notAnswering_; }
    void SetNotAnswering(bool notAnswering);

    // Icons are looked up when the node is drawn, not when it is made.
    QVariant data(int column, int role) const override;

    // TSHFolderNode
    int AbsoluteIndex() const override;
    QWidget* TreeWindow() const override;
    bool IsExpanded() const override { return isExpanded(); }
    void SetExpanded(bool expanded) override { setExpanded(expanded); }
    void DeleteChildren() override;
    void SortSiblings() override;
    void Populate() override;
    void SetText(const QString& text) override { setText(0, text); }

private:
    TSHTreeView* tree_;
    std::unique_ptr<TSHFolderItem> item_;
    int overlay_ = -1;
    int readFailure_ = 0;
    bool notAnswering_ = false;
    bool factsKnown_ = false;
    std::optional<TFileId> fileId_;
    std::optional<std::uint32_t> attributes_;
};

// What a folder tree shows besides the plain folders.
struct TSHTreeShows {
    TShVirtuaItems VirtuaItems = TShVirtuaItems::Default();
    bool IncludeHidden = true;
};

// The shell namespace as a tree of folders under the desktop. It carries
// the folder history, points a bound file list and location combo at its
// selection, is a drag source and drop target for shell items, shows the
// shell context menu on right-click and follows changes on disk and of
// the mounted drives.
class TSHTreeView : public QTreeWidget {
    Q_OBJECT

public:
    using TShBeginDragEvent =
        std::function<void(TSHTreeView* Sender, TSHTreeNode* Node, QPoint Pt, int X, int Y, bool& CanDrag)>;
    using TShDragEnterEvent =
        std::function<void(TSHTreeView* Sender, TSHDragObject* DragObject, TShiftState Shift, QPoint Pt, bool& Accept)>;
    using TShDragOverEvent = std::function<void(TSHTreeView* Sender, TSHDragObject* DragObject, TSHTreeNode* Node,
                                                TShiftState Shift, int X, int Y)>;
    using TShDragDropEvent = std::function<void(TSHTreeView* Sender, TSHDragObject* DragObject, TSHTreeNode* Node,
                                                TShiftState Shift, int X, int Y, bool& DefaultAction)>;
    using TShDragLeaveEvent = std::function<void(TSHTreeView* Sender)>;

    // The back list keeps this many folders.
    static constexpr int kMaxBackHistory = 9;

    // Filled at once with what shows says: changing it later reads every
    // open folder again.
    explicit TSHTreeView(QWidget* parent = nullptr, TSHTreeShows shows = {});
    ~TSHTreeView() override;

    bool Checkboxes() const { return checkboxes_; }
    void SetCheckboxes(bool checkboxes);
    bool IncludeHidden() const { return includeHidden_; }
    void SetIncludeHidden(bool includeHidden);
    TShVirtuaItems ShVirtuaItems() const { return virtuaItems_; }
    void SetShVirtuaItems(TShVirtuaItems items);
    // Hot tracking: the node under the pointer is drawn as a link
    // (underlined, in the link colour) under a pointing hand, to show that
    // one click opens it.
    bool HotTrack() const { return hotTrack_; }
    void SetHotTrack(bool hotTrack);
    // The node under the pointer while hot tracking; none otherwise.
    TSHTreeNode* HotNode() const { return hotNode_; }
    // The file list that shows the selected folder. Binding sets both
    // sides; either side going away unbinds them.
    TSHListView* ShellListView() const;
    void SetShellListView(TSHListView* listView);
    TSHPopupMenu* ShellPopupMenu() const;
    void SetShellPopupMenu(TSHPopupMenu* menu);
    TSHComboBox* ShellComboBox() const;
    void SetShellComboBox(TSHComboBox* combo);

    TSHTreeNode* RootNode() const { return static_cast<TSHTreeNode*>(topLevelItem(0)); }
    TSHTreeNode* SelectedNode() const;
    // The selected node's absolute list, else the root's.
    ConstIDList SelectedIDList() const;
    // "" when the selection has no file-system path.
    QString SelectedPath() const;
    // Whether a node's text is open for editing.
    bool IsEditing() const { return state() == EditingState; }

    // Selects the place named by an absolute list, expanding the way to
    // it, at once: nodes the tree has not read yet are made from the list
    // and their folders read meanwhile (a place that turns out not to be
    // there goes again, the selection moving up). False when the tree does
    // not show such a place or the change was refused.
    bool SelectIDList(ConstIDList absolute);
    bool SelectPath(const QString& path);
    // The node of a place among the nodes made so far; none when absent.
    TSHTreeNode* FindNode(ConstIDList absolute) const;

    // Folder history, oldest first. Back(-1) / Forward(-1) go one step;
    // Back(n) / Forward(n) go to entry n. Each returns whether its own list
    // still holds entries.
    const std::vector<TSHTreeNode*>& BackList() const { return backList_; }
    const std::vector<TSHTreeNode*>& ForwardList() const { return forwardList_; }
    bool Back(int n = -1);
    bool Forward(int n = -1);

    // Reads a node's children again, off the main thread, and merges
    // them into the tree when they come.
    virtual void Populate(TSHTreeNode* node);
    void RefreshAll();
    // Whether node's folder (any folder when none) is being read.
    bool IsReading(const TSHTreeNode* node = nullptr) const;
    // The child of node for its entry called name, which the caller has
    // just made: shown at once, the rest of the folder read meanwhile.
    TSHTreeNode* ShowNewEntry(TSHTreeNode* node, const QString& name);

    // Runs a verb (TShVerbKind) on the selection.
    bool ShellCommand(int verbKind);

    // Called back by the drive watcher on the main thread: the folders
    // named in changes are refreshed (all of them when it says whole).
    void DirectoryChanged(const platform::FolderChanges& changes);
    void DeviceChanged(const TDeviceChangeData& data);

    // Called by nodes as they are destroyed.
    void NodeDestroyed(TSHTreeNode* node);

    TShBeginDragEvent OnShBeginDrag;
    TShDragEnterEvent OnShDragEnter;
    TShDragOverEvent OnShDragOver;
    TShDragDropEvent OnShDragDrop;
    TShDragLeaveEvent OnShDragLeave;

signals:
    // The selection moved to another folder.
    void SelectionFolderChanged();
    // A folder the user expanded could not be read, or its file system
    // does not answer; text says so.
    void FolderUnreadable(const QString& text);

protected:
    // Which items a node enumerates (folders, maybe hidden ones).
    virtual unsigned EnumFlags() const;
    // Which children are shown; handed to the readings' threads.
    virtual TTreeFilter Filter() const;

    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void changeEvent(QEvent* event) override;

protected slots:
    void commitData(QWidget* editor) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    friend class TSHTreeNode;
    enum class TMouseState { Idle, LeftPressed, RightPressed, Dragging };
    struct TMergePlan;
    using TReadKind = TTreeFolderReading::TKind;
    // The reading of one node's folder under way.
    struct TReading {
        std::shared_ptr<TTreeFolderReading> reading;
        std::uint64_t number = 0;
        bool userAsked = false;  // expanded by the user: a failure is reported
        bool again = false;      // the folder changed meanwhile: read it once more
    };

    void CreateRoot();
    TSHTreeNode* MakeNode(std::unique_ptr<TSHFolderItem> item);
    void StartReading(TSHTreeNode* node, TReadKind kind, bool fresh, bool userAsked,
                      std::set<std::string> names = {});
    bool WantsChildFileIds(TSHTreeNode* node) const;
    void TakeReading(TSHTreeNode* node, std::uint64_t number, const std::shared_ptr<TTreeFolderFacts>& facts);
    void EndReading(TSHTreeNode* node, std::map<TSHTreeNode*, TReading>::iterator found,
                    const std::shared_ptr<TTreeFolderFacts>& facts);
    void ChildrenPlaced(TSHTreeNode* node);
    void PlaceChildFacts(TSHTreeNode* node, std::vector<TTreeChild>& children);
    void CheckAnswering();
    void Merge(TSHTreeNode* node, std::vector<TTreeChild> children);
    void MergeNames(TSHTreeNode* node, TTreeFolderFacts& facts);
    void ApplyMerge(TSHTreeNode* node, const ShellFolderPtr& folder, TMergePlan& plan, bool complete);
    void ReinitializeKeptChildren(TSHTreeNode* node, TMergePlan& plan, bool complete);
    void InsertNewChildren(TSHTreeNode* node, const ShellFolderPtr& folder, TMergePlan& plan);
    TSHTreeNode* InsertPathNode(TSHTreeNode* parent, ConstIDList relative);
    bool ShowsPathChild(TSHTreeNode* parent, TSHFolderItem& child) const;
    bool IsRowExpanded(const QModelIndex& parent, int row) const;
    void RefreshFolders(const platform::FolderChanges& changes);
    void RefreshNames(TSHTreeNode* node, const std::set<std::string>& names);
    bool RefreshButton(TSHTreeNode* node, const std::string& name);
    TSHTreeNode* ChildNamed(TSHTreeNode* node, const ShellFolderPtr& folder, const std::string& name, int& row) const;
    void PairRenamedFolders(TSHTreeNode* node, TMergePlan& plan);
    void Rekey(TSHTreeNode* node, std::unique_ptr<TSHFolderItem> item, bool withFacts);
    void ReleaseListLock();
    void NodeExpanded(QTreeWidgetItem* item);
    bool ExpandNode(TSHTreeNode* node);
    void SelectionChanged();
    bool MaySelect() const;
    bool ChangeSelection(TSHTreeNode* node);
    void PointBoundControls(TSHTreeNode* node);
    void RefreshCombo();
    TSHTreeNode* ChildMatching(TSHTreeNode* parent, ConstIDList item) const;
    bool GoHistory(std::vector<TSHTreeNode*>& from, std::vector<TSHTreeNode*>& to, int n);

    void PauseWatching();
    void ResumeWatching();
    void ScheduleWatchUpdate();
    std::vector<std::pair<std::string, TSHTreeNode*>> ExpandedFolders() const;
    std::vector<std::string> ExpandedFolderPaths() const;

    void SetHighlight(TSHTreeNode* node);
    void SetHotNode(TSHTreeNode* node);
    TSHTreeNode* NodeOnItemAt(QPoint pos) const;
    void BeginDrag(QMouseEvent* event);
    void ShowContextMenu(TSHTreeNode* node, QPoint globalPos);
    void RenameNode(TSHTreeNode* node, const QString& name);
    void AutoScroll(QPoint pos);
    void ResetIconCaches();

    bool checkboxes_ = false;
    bool includeHidden_;
    TShVirtuaItems virtuaItems_;
    QPointer<TSHListView> listView_;
    QPointer<TSHPopupMenu> popupMenu_;
    QPointer<TSHComboBox> combo_;

    TMouseState mouseState_ = TMouseState::Idle;
    QPoint pressPoint_;
    TSHTreeNode* highlight_ = nullptr;
    std::unique_ptr<TSHDragObject> dragObject_;
    bool rightButtonDrag_ = false;
    TSHTreeNode* hoverNode_ = nullptr;
    int hoverCount_ = 0;
    bool hotTrack_ = false;
    TSHTreeNode* hotNode_ = nullptr;

    std::vector<TSHTreeNode*> backList_;
    std::vector<TSHTreeNode*> forwardList_;
    TSHTreeNode* historyTarget_ = nullptr;
    TSHTreeNode* current_ = nullptr;

    // Set while nodes are rearranged: selection changes are then the
    // tree's own, not the user's.
    bool restructuring_ = false;
    bool destroying_ = false;
    int watchPauses_ = 0;
    bool watchUpdatePending_ = false;
    // Changes reported while the mouse held on to nodes, still to be shown.
    platform::FolderChanges pendingChanges_;
    bool changesRetryPending_ = false;

    QPersistentModelIndex editedIndex_;
    QPointer<QWidget> committedEditor_;
    TSHTreeNode* committedNode_ = nullptr;
    TSHTreeNode* menuNode_ = nullptr;
    QString committedName_;

    TSHIDList2 menuItems_;
    std::unique_ptr<TShDirWatcher> watcher_;

    // Readings hand their answers to this object on the main thread; it
    // goes with the tree, and with it every answer still on its way.
    std::unique_ptr<QObject> inbox_;
    QTimer* answerTimer_ = nullptr;
    std::map<TSHTreeNode*, TReading> readings_;
    std::uint64_t readingNumber_ = 0;
    // The first place under the desktop opens once the desktop is read.
    bool openFirstPlace_ = true;
    bool expandingOwn_ = false;
};

// A folder tree that also lists the files whose names match FileMask.
class TSHFolderTreeView : public TSHTreeView {
    Q_OBJECT

public:
    explicit TSHFolderTreeView(QWidget* parent = nullptr);

    QString FileMask() const { return fileMask_; }
    void SetFileMask(const QString& mask);

protected:
    unsigned EnumFlags() const override;
    TTreeFilter Filter() const override;

private:
    QString fileMask_;
};
