#pragma once

#include "platform/list_view.h"
#include "shell/shell_action.h"

class TSHListView;

// View-style and selection commands on the file list, enabled while the
// list is visible. An assigned control may also be a plain list control.
class TListViewAction : public TSHAction {
public:
    explicit TListViewAction(QObject* parent = nullptr);

    bool HandlesTarget(QObject* Target) override;
    void UpdateTarget(QObject* Target) override;
    void ExecuteTarget(QObject* Target) override;

protected:
    virtual bool CheckedOn(TListView&) { return false; }
    virtual void ExecuteOn(TListView&) {}

    // Gives the list the keyboard focus when it can take it.
    static void FocusList(TListView& list);
};

// Shows the list in one view style; checked while it is shown so.
class TListViewStyleAction : public TListViewAction {
protected:
    TListViewStyleAction(QObject* parent, TViewStyle style);

    bool CheckedOn(TListView& list) override;
    void ExecuteOn(TListView& list) override;

private:
    TViewStyle style_;
};

class TLargeIcon : public TListViewStyleAction {
public:
    explicit TLargeIcon(QObject* parent = nullptr);
};

class TSmallIcon : public TListViewStyleAction {
public:
    explicit TSmallIcon(QObject* parent = nullptr);
};

class TListIcon : public TListViewStyleAction {
public:
    explicit TListIcon(QObject* parent = nullptr);
};

class TReportIcon : public TListViewStyleAction {
public:
    explicit TReportIcon(QObject* parent = nullptr);
};

// Selects every row in one change.
class TSelectAllItem : public TListViewAction {
public:
    explicit TSelectAllItem(QObject* parent = nullptr);

protected:
    void ExecuteOn(TListView& list) override;
};

// Selects exactly the rows that were not selected; the file list reports
// the new selection once.
class TReverseSelectedItem : public TListViewAction {
public:
    explicit TReverseSelectedItem(QObject* parent = nullptr);

protected:
    void ExecuteOn(TListView& list) override;
};

// Selects exactly the entries of the file system that are folders (or,
// with folders false, that are not); reported once.
class TSelectKindItem : public TListViewAction {
protected:
    TSelectKindItem(QObject* parent, bool folders);

    void ExecuteOn(TListView& list) override;

private:
    bool folders_;
};

class TSelectFolderItem : public TSelectKindItem {
public:
    explicit TSelectFolderItem(QObject* parent = nullptr);
};

class TSelectFileItem : public TSelectKindItem {
public:
    explicit TSelectFileItem(QObject* parent = nullptr);
};
