#pragma once

#include "shell/shell_id_func.h"

class QObject;

// What the folder tree needs of the file list bound to it; the file list
// implements it. The tree points the list at every folder it selects,
// passes its display settings on, pauses the list's watching while it
// renames or deletes, and keeps still while the list's folder is locked.
class TSHBoundFileList {
public:
    virtual ~TSHBoundFileList() = default;

    // The list's folder lock: while set, the tree does not change its
    // selection. Setting it raises the list's folder-lock event with the
    // list as sender.
    virtual bool FolderLocked() const = 0;
    virtual void SetFolderLocked(bool locked) = 0;
    // Raises the list's folder-lock event with another sender (the tree
    // that released the lock).
    virtual void RaiseFolderLock(QObject* sender, bool locked) = 0;

    virtual void SetShVirtuaItems(TShVirtuaItems items) = 0;
    virtual void SetIncludeHidden(bool includeHidden) = 0;
    // Shows the folder named by an absolute list.
    virtual void SetFolderIDList(ConstIDList absolute) = 0;
    virtual void PauseWatching() = 0;
    virtual void ResumeWatching() = 0;
};
