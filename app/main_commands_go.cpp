// The go menu's handlers: moving through the folder tree, the folder
// lock, and the history drop-downs of the back and forward buttons.
#include <QMenu>

#include "app/main_commands.h"
#include "app/main_form.h"
#include "shell/shell_list_view.h"
#include "shell/shell_tree_view.h"

namespace {

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
