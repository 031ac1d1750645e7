#pragma once

#include <set>

#include <QDialog>
#include <QObject>
#include <QString>

#include "shell/shell_id_func.h"

class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

// The special folders a folder dialog can start from, by their classic
// numbers.
enum class TSpecialFolder : int {
    sfDesktop = 0x00, sfPrograms = 0x02, sfControls = 0x03, sfPrinters = 0x04, sfPersonal = 0x05,
    sfFavorites = 0x06, sfStartup = 0x07, sfRecent = 0x08, sfSendTo = 0x09, sfBitnucket = 0x0A,
    sfStartMenu = 0x0B, sfDesktopDirectory = 0x10, sfDrives = 0x11, sfNetWork = 0x12, sfNetHood = 0x13,
    sfFonts = 0x14, sfTemplates = 0x15, sfCommon_StartMenu = 0x16, sfCommon_Programs = 0x17,
    sfCommon_Startup = 0x18, sfCommon_DesktopDirectory = 0x19, sfAppData = 0x1A, sfPrintHood = 0x1B,
};

enum class TSelectFolderOption {
    bifReturnOnlyFSDIRs, bifDontGoBelowDomain, bifStatusText, bifReturnFSAncestors,
    bifBrowseForComputer, bifBrowseForPrinter, bifBrowseIncludeFiles, bifEditBox, bifValiDate,
    bifBrowseIncludeUrls, bifNewDialogStyle, bifShareAble, bifUseNewUI,
};
using TSelectFolderOptions = std::set<TSelectFolderOption>;

// The browse flags of a set of options, combined.
unsigned BrowseFlags(const TSelectFolderOptions& options);

// Browse flags this chooser acts on.
enum TBrowseFlag : unsigned {
    BIF_RETURNONLYFSDIRS = 0x1,
    BIF_STATUSTEXT = 0x4,
    BIF_EDITBOX = 0x10,
    BIF_VALIDATE = 0x20,
    BIF_NEWDIALOGSTYLE = 0x40,
    BIF_BROWSEINCLUDEFILES = 0x4000,
};

// The folder chooser: the namespace below a root as a tree (filled as the
// user opens it), the instruction text above it, the selected item's
// path as status text, and optionally an edit box for a typed name.
class TShellFolderBrowser : public QDialog {
    Q_OBJECT

public:
    // root must stay valid for the dialog's life.
    TShellFolderBrowser(QWidget* parent, ConstIDList root, const QString& title, unsigned flags);
    ~TShellFolderBrowser() override;

    // Selects the item named by an absolute list below the root, opening
    // the tree down to it; false when it is not in the tree.
    bool SelectIDList(ConstIDList absolute);
    // The same for a folder's path; false when it is no folder in the tree.
    bool SelectPath(const QString& path);

    // The selected item's absolute list (null when nothing is selected),
    // path ("" outside the file system) and display name.
    ConstIDList SelectedIDList() const;
    QString SelectedPath() const;
    QString SelectedDisplayName() const;

    QTreeWidget* Tree() const { return tree_; }
    QLabel* StatusLabel() const { return status_; }
    QLineEdit* EditBox() const { return edit_; }  // null without BIF_EDITBOX
    bool OkEnabled() const;

    void accept() override;

private:
    QTreeWidgetItem* AddItem(QTreeWidgetItem* parent, ConstIDList absolute);
    void FillChildren(QTreeWidgetItem* item);
    void SelectionChanged();
    // The folder the edit box names, relative to the selection or absolute.
    bool AcceptTypedName();

    unsigned flags_;
    QTreeWidget* tree_;
    QLabel* status_;
    QLineEdit* edit_ = nullptr;
    QDialogButtonBox* buttons_;
};

// Runs the folder chooser: the user picks a folder below RootFolder,
// starting at InitFolder. Keeps the last chosen folder until the next run.
class TShellFolderDialog : public QObject {
    Q_OBJECT

public:
    explicit TShellFolderDialog(QObject* parent = nullptr);
    ~TShellFolderDialog() override;

    TSpecialFolder RootFolder() const { return rootFolder_; }
    void SetRootFolder(TSpecialFolder folder) { rootFolder_ = folder; }
    TSpecialFolder InitFolder() const { return initFolder_; }
    void SetInitFolder(TSpecialFolder folder) { initFolder_ = folder; }
    // A folder to start at instead of InitFolder; ignored when it is
    // empty or no folder below the root.
    const QString& InitPath() const { return initPath_; }
    void SetInitPath(const QString& path) { initPath_ = path; }
    const QString& Title() const { return title_; }
    void SetTitle(const QString& title) { title_ = title; }
    const TSelectFolderOptions& Options() const { return options_; }
    void SetOptions(TSelectFolderOptions options) { options_ = std::move(options); }

    // True when the user chose a folder; false when cancelled or when the
    // root or initial folder does not exist here.
    bool Execute();

    // The results of the last successful run.
    const QString& FolderName() const { return folderName_; }
    const QString& DisplayName() const { return displayName_; }
    ConstIDList IDList() const { return idList_.get(); }

private:
    TSpecialFolder rootFolder_ = TSpecialFolder::sfDesktop;
    TSpecialFolder initFolder_ = TSpecialFolder::sfDrives;
    QString initPath_;
    QString title_;
    TSelectFolderOptions options_{TSelectFolderOption::bifReturnOnlyFSDIRs};
    QString folderName_;
    QString displayName_;
    TIDListHolder idList_;
};
