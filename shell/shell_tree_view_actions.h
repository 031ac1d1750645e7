#pragma once

#include "shell/shell_action.h"
#include "shell/shell_id_func.h"

class TSHListView;
class TSHTreeView;

// Navigation commands on the folder tree, enabled while the tree is
// visible. Several only compute their state; the owner gives them their
// effect (up one level, the previous and next folder, a new file).
class TTreeViewAction : public TSHAction {
public:
    explicit TTreeViewAction(QObject* parent = nullptr);

    bool HandlesTarget(QObject* Target) override;
    void UpdateTarget(QObject* Target) override;
    void ExecuteTarget(QObject* Target) override;

protected:
    virtual bool EnabledOn(TSHTreeView&) { return true; }
    virtual bool CheckedOn(TSHTreeView&) { return false; }
    virtual void ExecuteOn(TSHTreeView&) {}
};

// One step back through the tree's folder history.
class TSHUndoItem : public TTreeViewAction {
public:
    explicit TSHUndoItem(QObject* parent = nullptr);

protected:
    bool EnabledOn(TSHTreeView& tree) override;
    void ExecuteOn(TSHTreeView& tree) override;
};

// One step forward through the tree's folder history.
class TSHRedoItem : public TTreeViewAction {
public:
    explicit TSHRedoItem(QObject* parent = nullptr);

protected:
    bool EnabledOn(TSHTreeView& tree) override;
    void ExecuteOn(TSHTreeView& tree) override;
};

// Enabled while the selected node has a node before it in tree order
// (every node but the desktop).
class TSHTreeViewUp : public TTreeViewAction {
public:
    explicit TSHTreeViewUp(QObject* parent = nullptr);

protected:
    bool EnabledOn(TSHTreeView& tree) override;
};

// Enabled while the selected node has a node after it in tree order
// (among the nodes made so far).
class TSHTreeViewDown : public TTreeViewAction {
public:
    explicit TSHTreeViewDown(QObject* parent = nullptr);

protected:
    bool EnabledOn(TSHTreeView& tree) override;
};

// Enabled while the selected folder has a file-system path.
class TSHTreeViewSelect : public TTreeViewAction {
public:
    explicit TSHTreeViewSelect(QObject* parent = nullptr);

protected:
    bool EnabledOn(TSHTreeView& tree) override;
};

// Shows or hides one kind of virtual place in the tree and its file list;
// checked while it is shown.
class TSHTreeViewShowPlace : public TTreeViewAction {
protected:
    TSHTreeViewShowPlace(QObject* parent, TShItemIDType place);

    bool CheckedOn(TSHTreeView& tree) override;
    void ExecuteOn(TSHTreeView& tree) override;

private:
    TShItemIDType place_;
};

class TSHTreeViewShowVirtual : public TSHTreeViewShowPlace {
public:
    explicit TSHTreeViewShowVirtual(QObject* parent = nullptr);
};

class TSHTreeViewShowNetWork : public TSHTreeViewShowPlace {
public:
    explicit TSHTreeViewShowNetWork(QObject* parent = nullptr);
};

class TSHTreeViewShowBitBucket : public TSHTreeViewShowPlace {
public:
    explicit TSHTreeViewShowBitBucket(QObject* parent = nullptr);
};

class TSHTreeViewShowInterNet : public TSHTreeViewShowPlace {
public:
    explicit TSHTreeViewShowInterNet(QObject* parent = nullptr);
};

// Shows or hides hidden items in the tree and its file list; checked
// while they are shown.
class TSHTreeViewShowHideFile : public TTreeViewAction {
public:
    explicit TSHTreeViewShowHideFile(QObject* parent = nullptr);

protected:
    bool CheckedOn(TSHTreeView& tree) override;
    void ExecuteOn(TSHTreeView& tree) override;
};

// Commands on the file list bound to the target tree, disabled while the
// tree has none. The bare command is enabled with a bound list.
class TSHListViewMDI : public TTreeViewAction {
public:
    explicit TSHListViewMDI(QObject* parent = nullptr);

    void SettleState(QObject* Target) override;

protected:
    bool EnabledOn(TSHTreeView& tree) final;
    bool CheckedOn(TSHTreeView& tree) final;
    void ExecuteOn(TSHTreeView& tree) final;

    virtual bool EnabledOnList(TSHListView&) { return true; }
    virtual bool CheckedOnList(TSHListView&) { return false; }
    virtual void ExecuteOnList(TSHListView&) {}
};

// Locks the list's folder or releases it; checked while locked.
class TSHListViewLock : public TSHListViewMDI {
public:
    explicit TSHListViewLock(QObject* parent = nullptr);

protected:
    bool CheckedOnList(TSHListView& list) override;
    void ExecuteOnList(TSHListView& list) override;
};

// Enabled while exactly one entry is selected and it is a file of the
// file system.
class TSHListViewSingleFile : public TSHListViewMDI {
public:
    explicit TSHListViewSingleFile(QObject* parent = nullptr);

protected:
    bool EnabledOnList(TSHListView& list) override;
};

// Enabled while the selection is in the file system and holds no drive.
class TSHListViewNotDrive : public TSHListViewMDI {
public:
    explicit TSHListViewNotDrive(QObject* parent = nullptr);

protected:
    bool EnabledOnList(TSHListView& list) override;
};

// Enabled while the first selected row has a row before it.
class TSHListViewUp : public TSHListViewMDI {
public:
    explicit TSHListViewUp(QObject* parent = nullptr);

protected:
    bool EnabledOnList(TSHListView& list) override;
};

// Enabled while the first selected row has a row after it.
class TSHListViewDown : public TSHListViewMDI {
public:
    explicit TSHListViewDown(QObject* parent = nullptr);

protected:
    bool EnabledOnList(TSHListView& list) override;
};
