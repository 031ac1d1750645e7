// The folder commands: copy and move to a chosen folder, moving through the
// folder tree, the folder lock, the history drop-downs and the numbered
// folders.
#include <QMenu>

#include "app/main_commands.h"
#include "app/main_form.h"
#include "components/shell_folder_dialog.h"
#include "dialogs/numbered_folders_dialog.h"
#include "platform/file_operations.h"
#include "platform/path_text.h"
#include "shell/shell_list_view.h"
#include "shell/shell_tree_view.h"

namespace {

QString AskTargetFolder(const QString& title) {
    TShellFolderDialog dialog;
    dialog.SetTitle(title);
    dialog.SetRootFolder(TSpecialFolder::sfDesktop);
    dialog.SetInitFolder(TSpecialFolder::sfDrives);
    dialog.SetOptions({TSelectFolderOption::bifReturnOnlyFSDIRs, TSelectFolderOption::bifEditBox,
                       TSelectFolderOption::bifValiDate, TSelectFolderOption::bifNewDialogStyle});
    return dialog.Execute() ? dialog.FolderName() : QString();
}

// The node after node in the tree's full order (children first, as made
// so far), or null.
QTreeWidgetItem* NextInFullOrder(QTreeWidgetItem* node) {
    if (node->childCount() > 0) return node->child(0);
    for (QTreeWidgetItem* up = node; up != nullptr; up = up->parent()) {
        QTreeWidgetItem* parent = up->parent();
        const int count = parent ? parent->childCount() : up->treeWidget()->topLevelItemCount();
        const int index = parent ? parent->indexOfChild(up) : up->treeWidget()->indexOfTopLevelItem(up);
        if (index + 1 < count) return parent ? parent->child(index + 1) : up->treeWidget()->topLevelItem(index + 1);
    }
    return nullptr;
}

// The node before node in full order: the previous sibling's last
// descendant, else the parent.
QTreeWidgetItem* PreviousInFullOrder(QTreeWidgetItem* node) {
    QTreeWidgetItem* parent = node->parent();
    const int index = parent ? parent->indexOfChild(node) : node->treeWidget()->indexOfTopLevelItem(node);
    if (index == 0) return parent;
    QTreeWidgetItem* previous = parent ? parent->child(index - 1) : node->treeWidget()->topLevelItem(index - 1);
    while (previous->childCount() > 0) previous = previous->child(previous->childCount() - 1);
    return previous;
}

}  // namespace

// --- Copy and move to a folder ----------------------------------------------------

std::vector<std::string> TMainCommands::TransferSources() const {
    std::vector<std::string> sources;
    TSHListView* list = form_.ShellListView();
    if (list && !list->SelectedRows().empty()) {
        TSHIDList& selection = list->FileList().SelectedIDList();
        for (int i = 0; i < selection.Count(); ++i) sources.push_back(selection.NativePath(i));
    } else {
        sources.push_back(platform::PathBytes(form_.ShellTreeView()->SelectedPath()));
    }
    // Places outside the file system have no path to copy from.
    std::erase_if(sources, [](const std::string& path) { return path.empty(); });
    return sources;
}

void TMainCommands::TransferToFolder(bool move) {
    if (form_.ShellTreeView()->SelectedNode() == nullptr) return;
    const QString title = move ? QStringLiteral("移動先のフォルダを選択") : QStringLiteral("コピー先のフォルダを選択");
    const QString target = ChooseFolder ? ChooseFolder(title) : AskTargetFolder(title);
    if (target.isEmpty()) return;
    const std::vector<std::string> sources = TransferSources();
    if (sources.empty()) return;
    // Progress, overwrite questions, refusals (a folder into itself or its
    // own subfolder) and failures are shown by the transfer itself; the
    // list follows through its watcher.
    platform::TransferFiles(move ? platform::TransferMode::Move : platform::TransferMode::Copy, sources,
                            platform::PathBytes(target), &form_);
}

void TMainCommands::CopyToFolder() { TransferToFolder(false); }

void TMainCommands::MoveToFolder() { TransferToFolder(true); }

// --- Moving through the tree ---------------------------------------------------

void TMainCommands::UpOneLevel() {
    TSHTreeView* tree = form_.ShellTreeView();
    if (TSHTreeNode* node = tree->SelectedNode(); node && node->parent()) tree->setCurrentItem(node->parent());
}

void TMainCommands::PreviousFolder() {
    TSHTreeView* tree = form_.ShellTreeView();
    TSHTreeNode* node = tree->SelectedNode();
    if (node == nullptr) return;
    QTreeWidgetItem* previous = PreviousInFullOrder(node);
    if (previous == nullptr) return;
    node->setExpanded(true);
    tree->setCurrentItem(previous);
}

void TMainCommands::NextFolder() {
    TSHTreeView* tree = form_.ShellTreeView();
    TSHTreeNode* node = tree->SelectedNode();
    if (node == nullptr) return;
    // Expanding makes the children, so the next node is the first child.
    node->setExpanded(true);
    if (QTreeWidgetItem* next = NextInFullOrder(node)) tree->setCurrentItem(next);
}

void TMainCommands::LockFolder() {
    TSHListView* list = form_.ShellListView();
    list->SetLocked(!list->Locked());
}

// --- History drop-downs ----------------------------------------------------------

void TMainCommands::Popup_Undo_Redo(QMenu* menu) {
    menu->clear();
    TSHTreeView* tree = form_.ShellTreeView();
    const std::vector<TSHTreeNode*>& nodes = menu == popupUndo_ ? tree->BackList() : tree->ForwardList();
    for (auto node = nodes.rbegin(); node != nodes.rend(); ++node) {
        QAction* entry = menu->addAction((*node)->icon(0), (*node)->text(0));
        connect(entry, &QAction::triggered, this, [this, menu, entry] { HistoryItemClick(menu, entry); });
    }
}

void TMainCommands::HistoryItemClick(QMenu* menu, QAction* entry) {
    const int count = static_cast<int>(menu->actions().size());
    const int index = count - static_cast<int>(menu->actions().indexOf(entry)) - 1;
    if (menu == popupUndo_)
        form_.ShellTreeView()->Back(index);
    else
        form_.ShellTreeView()->Forward(index);
}

// --- Numbered folders ------------------------------------------------------------

void TMainCommands::CreateNumberedFolders() {
    TNumberedFoldersDialog dialog(&form_, platform::PathBytes(form_.ShellTreeView()->SelectedPath()));
    dialog.exec();
}
