#include "shell/shell_action.h"

#include "shell/shell_tree_view.h"

QString SelectedFolderPath(const TSHTreeView& tree) {
    const TSHTreeNode* node = tree.SelectedNode();
    return node ? node->Item()->GetPath() : QString();
}
