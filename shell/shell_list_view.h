#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <QColor>
#include <QFont>
#include <QPointer>
#include <QRect>
#include <QStyle>

#include "platform/list_view.h"
#include "shell/shell_drag_object.h"
#include "shell/shell_file_list.h"
#include "shell/shell_popup_menu.h"
#include "shell/shell_selection_query.h"

class QMimeData;
class QPainter;
class QSettings;
class TSHTreeView;

namespace platform {
class ShellDropTarget;
}

// One cell of a row as a custom-draw handler sees it before it is drawn.
// The handler may change the font, the text colour and the background (an
// invalid colour keeps the list's), or paint the cell itself within Rect
// and clear DefaultDraw.
struct TListItemCanvas {
    QPainter* Painter = nullptr;
    QRect Rect;
    QFont Font;
    QColor FontColor;
    QColor BrushColor;
};

// The file list: the entries of one folder in four view styles with five
// report columns (name, size, type, last write, attributes). Opens files
// with the desktop's application and folders in place (unless locked),
// renames in place, runs the shell's commands on the selection, makes new
// folders, drags the selection out and takes drops, and follows the
// clipboard. Column order, widths, view style and sort are kept in the
// settings its owner hands in.
class TSHListView : public TListView, public TSHFileListView {
    Q_OBJECT

public:
    using TShExecuteEvent = std::function<void(TSHListView* Sender, TSHFileItem* Item, Qt::KeyboardModifiers Shift,
                                               int SubItem, int X, int Y, bool& DefaultAction)>;
    using TShFilterEvent = std::function<void(TSHListView* Sender, TSHFileItem* Item, bool& Accept)>;
    using TShListChangeEvent = std::function<void(TSHListView* Sender, TSHFileList* FileList)>;
    using TShSelChangeEvent = std::function<void(TSHListView* Sender, std::int64_t SelSize)>;
    using TShFolderLockEvent = std::function<void(TSHListView* Sender, bool Lock)>;
    // Fired for every cell painted of row Item (only rows on screen are
    // painted), so the answer should be the same for the whole row.
    // SubItemDraw starts true when the entry has any attribute worth showing
    // and decides whether the report columns other than the name get
    // OnCustomDrawSubItem and attribute images.
    using TCustomDrawItemEvent = std::function<void(TSHListView* Sender, int Item, QStyle::State State,
                                                    TListItemCanvas& Canvas, bool& DefaultDraw, bool& SubItemDraw)>;
    using TCustomDrawSubItemEvent = std::function<void(TSHListView* Sender, int Item, int SubItem, QStyle::State State,
                                                       TListItemCanvas& Canvas, bool& DefaultDraw)>;
    using TShListRenameEvent = std::function<void(TSHListView* Sender, int Count, bool& Accept)>;
    using TShBeginDragEvent =
        std::function<void(TSHListView* Sender, TSHIDList& IDList, QPoint Pt, int X, int Y, bool& CanDrag)>;
    using TShClipboardEvent = std::function<void(TSHListView* Sender, bool Contented)>;
    using TShDragEnterEvent = std::function<void(TSHListView* Sender, const TSHDragObject& DragObject,
                                                 Qt::KeyboardModifiers Shift, QPoint Pt, bool& Accept)>;
    using TShDragLeaveEvent = std::function<void(TSHListView* Sender)>;
    using TShDragDropEvent =
        std::function<void(TSHListView* Sender, const TSHDragObject& DragObject, TSHFileItem* Item,
                           Qt::KeyboardModifiers Shift, int X, int Y, bool& DefaultAction)>;
    using TShDragOverEvent = std::function<void(TSHListView* Sender, const TSHDragObject& DragObject,
                                                TSHFileItem* Item, Qt::KeyboardModifiers Shift, int X, int Y)>;

    // The shell commands of ExecuteShellCommand.
    enum TShellCommand { scCut = 1, scCopy, scPaste, scCreateShortcut, scDelete, scProperties };

    explicit TSHListView(QWidget* parent = nullptr);
    ~TSHListView() override;

    TSHFileList& FileList() { return *fileList_; }
    TSHFileFilter& Filter() { return filter_; }

    // Navigation. The folder shown; FolderIDList is not a copy.
    void SetFolderIDList(ConstIDList absolute);
    ConstIDList FolderIDList() const { return fileList_->FolderIDList(); }
    QString FolderPath() const { return fileList_->FolderPath(); }
    // Whether FolderPath is not empty, without working the path out again.
    bool HasFolderPath() const { return !fileList_->FolderNativePath().empty(); }
    void RefreshList();
    void PauseWatching() { fileList_->PauseWatching(); }
    void ResumeWatching() { fileList_->ResumeWatching(); }

    THeaderCaption SortType() const { return sortType_; }
    void SetSortType(THeaderCaption column) { sortType_ = column; }
    void SetSort(THeaderCaption column, int direction);

    bool Locked() const { return locked_; }
    void SetLocked(bool locked);

    bool IncludeHidden() const override { return includeHidden_; }
    void SetIncludeHidden(bool include);
    TShVirtuaItems ShVirtuaItems() const override { return virtuals_; }
    void SetShVirtuaItems(TShVirtuaItems items);
    const TAttributesImage& AttributesImage() const { return attributesImage_; }
    void SetAttributesImage(const TAttributesImage* image);
    TSHPopupMenu* ShellPopupMenu() const { return popup_; }
    void SetShellPopupMenu(TSHPopupMenu* menu) { popup_ = menu; }
    // The folder tree this list is bound to (by TSHTreeView::SetShellListView):
    // it sets the list's folder, and follows the folders opened here.
    TSHTreeView* ShellTreeView() const;

    // The running total of the selected entries' sizes.
    std::int64_t SelSize() const { return selSize_; }

    // What holds for the selected entries together. Worked out on the
    // first request after the selection or the entries changed, so that
    // the commands may ask on every idle pass of a 100,000-entry list. The
    // attributes of a large selection are asked on a worker thread: until
    // the answer comes (SelectionFactsChanged) they are those the entries'
    // kinds allow, every capability taken as held.
    struct TSelectionFacts {
        int Count = 0;
        int FirstRow = -1;
        // Capabilities, FILESYSTEM and FOLDER held by every selected
        // entry (one attribute query over the selection); 0 for none.
        std::uint32_t Attributes = 0;
        bool HasDriveRoot = false;
    };
    const TSelectionFacts& SelectionFacts();
    bool SelectionFactsPending() const { return factsState_ == TFactsState::Pending; }
    // Waits for the attributes still on their way, the window's events
    // going on meanwhile (input held back): the commands act on the
    // selection's real attributes, never on the ones taken meanwhile.
    void SettleSelectionFacts();
    // At least one entry is selected and all of them hold the attribute.
    bool SelectionHolds(TShAttribute attribute);
    // Whether the clipboard offers files to paste, as its watch last saw.
    bool ClipboardHasFiles() const { return clipboardHasFiles_; }
    // Whether a row's caption is open for editing.
    bool IsEditing() const;

    bool ExecuteShellCommand(int kind);
    bool CreateNewFolder();
    // Opens a row as a double-click or Enter would.
    void ExecuteItem(int row, int column, Qt::KeyboardModifiers shift, QPoint point);

    void LoadColumnSettings(QSettings& settings, const QString& section);
    void SaveColumnSettings(QSettings& settings, const QString& section);

    // TSHFileListView
    QWidget* ListWindow() override { return this; }
    bool ListWindowReady() const override { return !goingAway_; }
    TViewStyle ViewStyle() const override { return TListView::ViewStyle(); }
    bool AcceptItem(TSHFileItem* item) override;
    bool MouseIdle() const override { return mouseState_ == msIdle; }
    ConstIDList BoundTreeSelection() override;
    void BeginRowsUpdate() override;
    void EndRowsUpdate(int rowCount) override;
    void BeginRowsReorder() override;
    void EndRowsReorder(int rowCount) override;
    void InvalidateRows() override;
    std::vector<int> SelectedRows() const override { return TListView::SelectedRows(); }
    void SetSelectedRows(const std::vector<int>& rows) override { TListView::SetSelectedRows(rows); }
    int FocusedRow() const override { return TListView::FocusedRow(); }
    void SetFocusedRow(int row) override { TListView::SetFocusedRow(row); }
    int TopRow() const override { return TListView::TopRow(); }
    void ScrollToRow(int row, bool atTop) override { TListView::ScrollToRow(row, atTop); }
    void SuspendSelectionNotify() override { ++selectionSuspended_; }
    void ResumeSelectionNotify() override;
    void ListChanged(TSHFileList* list) override;
    std::optional<TSHFileFilter> ListingFilter() const override;

    TCustomDrawItemEvent OnCustomDrawItem;
    TCustomDrawSubItemEvent OnCustomDrawSubItem;
    TShExecuteEvent OnShExecute;
    TShFilterEvent OnShFilter;
    TShListChangeEvent OnShListChange;
    TShSelChangeEvent OnShSelChange;
    TShFolderLockEvent OnShFolderLock;
    TShListRenameEvent OnShListRename;
    TShBeginDragEvent OnShBeginDrag;
    TShClipboardEvent OnShClipboard;
    TShDragEnterEvent OnShDragEnter;
    TShDragLeaveEvent OnShDragLeave;
    TShDragDropEvent OnShDragDrop;
    TShDragOverEvent OnShDragOver;

    // What a drag of the selection carries (the file list and the
    // namespace's item lists) and the effects it allows; none when the
    // selection cannot be dragged.
    std::unique_ptr<QMimeData> SelectionMimeData(unsigned& allowedEffects);

    // The row highlighted as drop target; -1 for none.
    int DropHighlightRow() const { return dropRow_; }

signals:
    void FileListChanged(TSHFileList* list);
    void SelectionSizeChanged(qint64 size);
    // The selection's attributes arrived from the worker thread.
    void SelectionFactsChanged();
    void FolderLockChanged(bool locked);
    void ClipboardChanged(bool offersFiles);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    QString TypicalColumnText(int column) const override;

private:
    class TModel;
    class TDelegate;
    friend class TModel;
    friend class TDelegate;
    // Binding goes through the tree only, so that both sides always agree.
    friend class TSHTreeView;
    enum TMouseState { msIdle, msLeftPressed, msRightPressed, msDragging };

    void SetShellTreeView(TSHTreeView* tree);
    void ColumnClick(int column);
    void RecountSelection();
    void ReportSelection();
    struct TSelectionWalk;
    TSelectionWalk WalkSelection(const std::vector<int>& rows) const;
    void DropSelectionQuestion();
    void ForgetSelectionFacts();
    bool HasDriveRoot(const std::vector<int>& rows) const;
    void AskAboutSelection(const std::vector<int>& rows, TSelectionWalk walk);
    void SelectionAnswered(const TSelectionAnswer& answer);
    void RenameEntry(int row, const QString& name);
    void ShowContextMenu(const QPoint& globalPos, int row);
    void Deleted();
    void ClipboardChangedSlot();

    // Dragging out and dropping in.
    bool MouseEvent(QObject* viewport, QEvent* event);
    void StartDrag(QPoint position);
    bool DragEvent(QEvent* event);
    void DragEnter(class QDragEnterEvent* event);
    void DragMove(class QDragMoveEvent* event);
    void DragLeave();
    void Drop(class QDropEvent* event);
    std::unique_ptr<platform::ShellDropTarget> TargetAt(QPoint position, TSHFileItem*& item, int& row);
    void SetDropRow(int row);
    void AutoScroll(QPoint position);

    TModel* model_;
    std::vector<TDelegate*> delegates_;  // one per view
    std::unique_ptr<TSHFileList> fileList_;
    TSHFileFilter filter_;
    TAttributesImage attributesImage_;
    QPointer<TSHPopupMenu> popup_;
    QPointer<TSHTreeView> tree_;
    THeaderCaption sortType_ = hcName;
    bool locked_ = false;
    bool includeHidden_ = true;
    TShVirtuaItems virtuals_ = TShVirtuaItems::Default();
    bool goingAway_ = false;
    std::int64_t selSize_ = 0;
    int selectionSuspended_ = 0;
    // Stale: to be worked out at the next request; Pending: asked of the
    // worker, the attributes being the kinds' guess; Settled: exact.
    enum class TFactsState { Stale, Pending, Settled };
    TSelectionFacts selectionFacts_;
    TFactsState factsState_ = TFactsState::Stale;
    // The selected size is reported once the worker added the sizes of
    // the entries whose facts were never read.
    bool sizePending_ = false;
    // The entries changed while the worker was asked: ask again after its
    // answer.
    bool askAgain_ = false;
    std::uint64_t answers_ = 0;
    std::unique_ptr<TSelectionQuery> query_;
    bool clipboardHasFiles_ = false;

    TMouseState mouseState_ = msIdle;
    QPoint pressPoint_;
    std::unique_ptr<TSHDragObject> dragObject_;
    bool dragRightButton_ = false;
    int dropRow_ = -1;
};
