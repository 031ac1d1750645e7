// The file list's side of the window's commands: its popup menus, the
// timestamps window for its selection and the rename of several items.
#include <QMenu>

#include "app/main_commands.h"
#include "app/main_form.h"
#include "components/open_with_dialog.h"
#include "dialogs/batch_rename_dialog.h"
#include "dialogs/time_attribute_dialog.h"
#include "platform/application_help.h"
#include "platform/message_box.h"
#include "platform/path_text.h"
#include "shell/shell_list_view.h"
#include "shell/shell_popup_menu.h"
#include "shell/shell_tree_view.h"

namespace {

std::vector<std::string> SelectedPaths(TSHListView& list) {
    std::vector<std::string> paths;
    TSHIDList& selection = list.FileList().SelectedIDList();
    for (int i = 0; i < selection.Count(); ++i) paths.push_back(selection.NativePath(i));
    return paths;
}

}  // namespace

void TMainCommands::BindShellControls() {
    TSHListView* list = form_.ShellListView();
    TSHTreeView* tree = form_.ShellTreeView();
    TSHPopupMenu* shellMenu = form_.SHPopupMenu();

    // The shell menu of tree and list, with renaming offered and the
    // selection toggle on top.
    shellMenu->SetReadOnly(false);
    invertSelectionEntry_ = new QAction(QStringLiteral("選択の切り替え(&I)"), shellMenu);
    invertSelectionEntry_->setObjectName(QStringLiteral("InvertSelectionEntry"));
    invertSelectionEntry_->setToolTip(QStringLiteral("選択の切り替え"));
    invertSelectionEntry_->setStatusTip(QStringLiteral("選択されているオブジェクトと選択されていないオブジェクトを切り替えます。"));
    invertSelectionEntry_->setIcon(Command(TCommand::InvertSelection)->icon());
    invertSelectionEntry_->setProperty(platform::kHelpContextProperty, 2110);
    shellMenu->insertAction(shellMenu->actions().value(0), invertSelectionEntry_);
    connect(invertSelectionEntry_, &QAction::triggered, this, &TMainCommands::InvertSelectionEntryClick);
    shellMenu->OnShBeforPopup = [this](TSHPopupMenu*, const TSHIDList&, QPoint, bool&) { SHPopupMenuShBeforPopup(); };
    tree->SetShellPopupMenu(shellMenu);

    // The list's empty space offers the view, sort and new commands.
    connect(list, &TListView::ContextMenuAsked, this, [this](const QPoint& globalPos, int row) {
        if (row < 0) listPopupMenu_->popup(globalPos);
    });
    connect(newFolderEntry_, &QAction::triggered, list, [list] { list->CreateNewFolder(); });
    connect(listPopupMenu_, &QMenu::aboutToShow, this,
            [this, list] { newFolderEntry_->setEnabled(!list->FolderPath().isEmpty()); });

    list->OnShListRename = [this](TSHListView*, int count, bool& accept) { ShellListViewShListRename(count, accept); };

    for (QMenu* history : {popupUndo_, popupRedo_})
        connect(history, &QMenu::aboutToShow, this, [this, history] { Popup_Undo_Redo(history); });
}

void TMainCommands::SHPopupMenuShBeforPopup() {
    // Asked of the tree's list, whichever control opened the menu.
    invertSelectionEntry_->setVisible(form_.ShellListView()->SelectedCount() > 0);
}

void TMainCommands::InvertSelectionEntryClick() {
    Command(TCommand::InvertSelection)->Execute();
}

void TMainCommands::ChangeTimeAttributes() {
    TTimeAttributeDialog dialog(&form_, SelectedPaths(*form_.ShellListView()));
    dialog.exec();
}

void TMainCommands::OpenWith() {
    const std::vector<std::string> paths = SelectedPaths(*form_.ShellListView());
    // The chooser says itself when nothing can open the file.
    if (!paths.empty()) OpenFileWith(paths.front(), &form_);
}

void TMainCommands::ShellListViewShListRename(int count, bool& accept) {
    if (count <= 1) return;
    accept = false;
    TSHListView& list = *form_.ShellListView();
    TSHIDList& selection = list.FileList().SelectedIDList();
    if (selection.Count() == 0) return;
    const bool folders = selection.HasAttribute(0, saFolder);
    for (int i = 1; i < selection.Count(); ++i) {
        if (selection.HasAttribute(i, saFolder) != folders) {
            platform::ShowMessage(&form_, QStringLiteral("フォルダとファイルの混在処理は行えません。"),
                                  platform::MessageIcon::Warning);
            return;
        }
    }
    TBatchRenameDialog dialog(&form_, folders, SelectedPaths(list), platform::PathBytes(list.FolderPath()));
    if (dialog.exec() == QDialog::Accepted) list.RefreshList();
}
