#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QComboBox>
#include <QPointer>

#include "raster/raster_tools.h"
#include "shell/shell_data_item.h"

class TSHComboBox;
class TSHDragObject;
class TSHTreeView;

// One entry of the location combo: a shell place with its parent entry.
class TSHComboItem : public TSHDataItem {
public:
    TSHComboItem(TSHComboBox* owner, IDList relativeID, IDList absoluteID, TSHComboItem* parent, bool temporary);

    int GetIndex() const override;
    int GetLevel() const override { return IDListLevel(AbsoluteID()); }
    ConstIDList GetParentIDList() override;
    ConstIDList GetAbsoluteIDList() override { return AbsoluteID(); }
    bool IsValid() const override { return AbsoluteID() && RelativeID(); }

    TSHComboItem* Parent() const { return parent_; }
    // Made to show the way to the current folder (outside a rebuild).
    bool Temporary() const { return temporary_; }

private:
    TSHComboBox* owner_;
    TSHComboItem* parent_;
    bool temporary_;
};

// The drop-down that shows where the folder tree stands: the desktop, its
// places, the children of its first place and, indented, the chain of
// folders down to the current one. Picking an entry moves the bound tree
// there; the tree points the combo at each new selection. Files dropped
// on it go into the current entry's folder.
class TSHComboBox : public QComboBox {
    Q_OBJECT

public:
    using TShDragEnterEvent =
        std::function<void(TSHComboBox* Sender, TSHDragObject* DragObject, TShiftState Shift, QPoint Pt, bool& Accept)>;
    using TShDragOverEvent = std::function<void(TSHComboBox* Sender, TSHDragObject* DragObject, TSHComboItem* Item,
                                                TShiftState Shift, int X, int Y)>;
    using TShDragDropEvent = std::function<void(TSHComboBox* Sender, TSHDragObject* DragObject, TSHComboItem* Item,
                                                TShiftState Shift, int X, int Y, bool& DefaultAction)>;
    using TShDragLeaveEvent = std::function<void(TSHComboBox* Sender)>;

    static constexpr int kIndentPerLevel = 12;
    static constexpr int kMinItemHeight = 18;

    explicit TSHComboBox(QWidget* parent = nullptr);
    ~TSHComboBox() override;

    // The tree binds itself (TSHTreeView::SetShellComboBox) and passes its
    // display settings on.
    TSHTreeView* ShellTreeView() const { return tree_; }
    void SetShellTreeView(TSHTreeView* tree);
    void SetShVirtuaItems(TShVirtuaItems items) { virtuaItems_ = items; }
    void SetIncludeHidden(bool includeHidden) { includeHidden_ = includeHidden; }

    void RebuildList();
    // Shows the place named by an absolute list as the current entry.
    void PointAt(ConstIDList absolute);
    // Gives the entry of a drive its new title (after a medium change).
    void RetitleEntry(ConstIDList absolute, const QString& text);
    // The current entry's absolute list, or none.
    ConstIDList CurrentIDList() const;

    int EntryCount() const { return static_cast<int>(entries_.size()); }
    TSHComboItem* Entry(int index) const;
    int IndexOf(const TSHComboItem* entry) const;
    // The text the closed combo shows for an entry: its path, else its name.
    QString EditText(TSHComboItem* entry) const;
    int ItemHeight() const;

    TShDragEnterEvent OnShDragEnter;
    TShDragOverEvent OnShDragOver;
    TShDragDropEvent OnShDragDrop;
    TShDragLeaveEvent OnShDragLeave;

protected:
    void paintEvent(QPaintEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void InsertEntry(int index, std::unique_ptr<TSHComboItem> entry);
    void RemoveEntry(int index);
    void RemoveDescendants(int index);
    void RemoveTemporaries();
    std::vector<int> ChildrenOf(int index) const;
    int EndOfDescendants(int index) const;
    std::vector<std::unique_ptr<TSHComboItem>> EnumerateChildren(int index);
    bool KeepsChild(TSHComboItem* parent, TSHComboItem& child) const;
    void MergeChildren(int index);
    int ChildMatching(int parent, ConstIDList item);
    int InsertTemporary(int parent, ConstIDList item);
    int Locate(ConstIDList absolute);
    void SetCurrentQuietly(int index);
    void EntryPicked(int index);

    std::vector<std::unique_ptr<TSHComboItem>> entries_;
    QPointer<TSHTreeView> tree_;
    TShVirtuaItems virtuaItems_ = TShVirtuaItems::Default();
    bool includeHidden_ = true;
    bool ready_ = false;
    bool pointing_ = false;
    std::unique_ptr<TSHDragObject> dragObject_;
    bool rightButtonDrag_ = false;
};
