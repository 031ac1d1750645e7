#pragma once

#include "shell/shell_action.h"
#include "shell/shell_id_func.h"
#include "shell/shell_id_list.h"

class TSHListView;
class TSHTreeView;

// File commands on the folder tree (its selected node) or the file list
// (its selection). They never copy, move or delete files themselves: the
// shell's verb for the selection does, through the tree's and the list's
// shell-command operations, so confirmations and progress are the shell's.
// The bare command is enabled while the node or the selection is in the
// file system and no verb is running; the owner gives it its effect.
class TSHFileAction : public TSHAction {
public:
    explicit TSHFileAction(QObject* parent = nullptr);

    bool HandlesTarget(QObject* Target) override;
    void UpdateTarget(QObject* Target) override;
    void ExecuteTarget(QObject* Target) override;
    void SettleState(QObject* Target) override;

    // The command's own effect on a tree or list; false when the operation
    // failed, was refused or cancelled, or the target is neither.
    bool ExecuteOn(QObject* target);

protected:
    virtual bool EnabledOnTree(TSHTreeView& tree);
    virtual bool EnabledOnList(TSHListView& list);
    virtual bool ExecuteOnTree(TSHTreeView&) { return false; }
    virtual bool ExecuteOnList(TSHListView&) { return false; }

    // The tree has a selected node whose item holds the attribute.
    static bool NodeHolds(const TSHTreeView& tree, TShAttribute attribute);
};

// Runs one shell verb on the selection while it holds the verb's
// precondition attribute.
class TSHFileVerbAction : public TSHFileAction {
protected:
    TSHFileVerbAction(QObject* parent, TShAttribute precondition, TShVerbKind verb);

    bool EnabledOnTree(TSHTreeView& tree) override;
    bool EnabledOnList(TSHListView& list) override;
    bool ExecuteOnTree(TSHTreeView& tree) override;
    bool ExecuteOnList(TSHListView& list) override;

private:
    TShAttribute precondition_;
    TShVerbKind verb_;
};

class TSHFileCut : public TSHFileVerbAction {
public:
    explicit TSHFileCut(QObject* parent = nullptr);
};

class TSHFileCopy : public TSHFileVerbAction {
public:
    explicit TSHFileCopy(QObject* parent = nullptr);
};

// Disabled while a name is being edited, where Delete belongs to the editor.
class TSHFileDelete : public TSHFileVerbAction {
public:
    explicit TSHFileDelete(QObject* parent = nullptr);

protected:
    bool EnabledOnTree(TSHTreeView& tree) override;
    bool EnabledOnList(TSHListView& list) override;
};

class TSHFileProperty : public TSHFileVerbAction {
public:
    explicit TSHFileProperty(QObject* parent = nullptr);
};

// Pastes into the shown folder (list) or the selected folder (tree) while
// the clipboard offers files, as the file list's clipboard watch last saw:
// the clipboard itself is never read to update the command.
class TSHFilePaste : public TSHFileAction {
public:
    explicit TSHFilePaste(QObject* parent = nullptr);

protected:
    bool EnabledOnTree(TSHTreeView& tree) override;
    bool EnabledOnList(TSHListView& list) override;
    bool ExecuteOnTree(TSHTreeView& tree) override;
    bool ExecuteOnList(TSHListView& list) override;
};

// Makes a new folder ("新しいフォルダ", numbered past existing ones) and
// opens its name for editing.
class TSHFileCreate : public TSHFileAction {
public:
    explicit TSHFileCreate(QObject* parent = nullptr);

protected:
    bool EnabledOnTree(TSHTreeView& tree) override;
    bool EnabledOnList(TSHListView& list) override;
    bool ExecuteOnTree(TSHTreeView& tree) override;
    bool ExecuteOnList(TSHListView& list) override;
};

// Opens the selected node's or row's name for editing. On the list the
// owner's OnShListRename is asked first (with the number of selected
// entries) and may refuse, e.g. to rename several files its own way.
class TSHFileRename : public TSHFileAction {
public:
    explicit TSHFileRename(QObject* parent = nullptr);

protected:
    bool EnabledOnTree(TSHTreeView& tree) override;
    bool EnabledOnList(TSHListView& list) override;
    bool ExecuteOnTree(TSHTreeView& tree) override;
    bool ExecuteOnList(TSHListView& list) override;
};
