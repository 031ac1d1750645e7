#pragma once

#include <functional>

#include <QMenu>
#include <QPoint>

#include "shell/shell_id_list.h"

namespace platform {
class ShellContextMenu;
}

// Which shell menu is asked for.
enum TSHContextType {
    shctExplore,      // the full menu of a file manager
    shctNormal,       // the full menu
    shctDefaultOnly,  // the default command alone
};

// The context menu of a set of shell items: the namespace's commands for
// them merged with this menu's own actions. The menu tracks the choice and
// either lets the own action fire or runs the chosen shell command through
// the namespace's verbs (with their progress and overwrite questions).
// While it is open, the highlighted entry's hint goes to the owner
// window's status bar (a status tip: an own action's, or the shell
// command's help text), and F1 opens the help of the highlighted own
// action, else the window's (platform::HelpContextOf).
class TSHPopupMenu : public QMenu {
    Q_OBJECT

public:
    using TShBeforPopupEvent =
        std::function<void(TSHPopupMenu* Sender, const TSHIDList& ShellIDList, QPoint Pt, bool& AllowPopup)>;
    using TShAfterPopupEvent =
        std::function<void(TSHPopupMenu* Sender, QAction* MenuItem, const TSHIDList& ShellIDList)>;

    // Popup results of shell commands (offsets) that callers act on.
    static constexpr int kOffsetDelete = 18;  // the items may be gone
    static constexpr int kOffsetRename = 19;  // the caller edits the name in place

    explicit TSHPopupMenu(QWidget* parent = nullptr);

    // Where the shell's commands go among the own actions; reading clamps
    // it to the number of own actions.
    unsigned InsertPos() const;
    void SetInsertPos(unsigned position) { insertPos_ = position; }
    // When false, the shell offers renaming.
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
    TSHContextType ContextType() const { return contextType_; }
    void SetContextType(TSHContextType type) { contextType_ = type; }

    // The command id of an own action: its position among the actions of
    // this menu, counted from 1; 0 for other actions.
    int CommandOf(const QAction* action) const;

    // Shows the menu for the items at a screen point. 0: nothing chosen,
    // refused or failed; an own action's command id; or the offset of the
    // shell command carried out (kOffsetRename is returned without running
    // anything).
    int Popup(const TSHIDList& items, QPoint screenPoint);

    TShBeforPopupEvent OnShBeforPopup;
    TShAfterPopupEvent OnShAfterPopup;

private:
    unsigned ShellMenuFlags() const;
    QWidget* OwnerWindow() const;
    int AppendOwnActions(QMenu& menu) const;
    void ShowHint(QWidget* owner, QAction* action, int highest, const platform::ShellContextMenu& shellMenu) const;
    void ShowHelp(QWidget* owner, QAction* highlighted) const;

    unsigned insertPos_ = 0;
    bool readOnly_ = true;
    TSHContextType contextType_ = shctExplore;
};
