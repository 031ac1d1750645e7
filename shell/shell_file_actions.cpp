#include "shell/shell_file_actions.h"

#include <QFileInfo>

#include "shell/shell_list_view.h"
#include "shell/shell_tree_view.h"

namespace {

bool SelectedFolderHasPath(const TSHTreeView& tree) { return !SelectedFolderPath(tree).isEmpty(); }

}  // namespace

TSHFileAction::TSHFileAction(QObject* parent) : TSHAction(parent) {}

bool TSHFileAction::HandlesTarget(QObject* Target) {
    return TakesTarget(Target, qobject_cast<TSHTreeView*>(Target) || qobject_cast<TSHListView*>(Target));
}

void TSHFileAction::UpdateTarget(QObject* Target) {
    if (ShellVerbRunning())
        setEnabled(false);
    else if (auto* tree = qobject_cast<TSHTreeView*>(Target))
        setEnabled(EnabledOnTree(*tree));
    else if (auto* list = qobject_cast<TSHListView*>(Target))
        setEnabled(EnabledOnList(*list));
    else
        setEnabled(false);
}

void TSHFileAction::ExecuteTarget(QObject* Target) { ExecuteOn(Target); }

void TSHFileAction::SettleState(QObject* Target) {
    if (auto* list = qobject_cast<TSHListView*>(Target)) list->SettleSelectionFacts();
}

bool TSHFileAction::ExecuteOn(QObject* target) {
    if (auto* tree = qobject_cast<TSHTreeView*>(target)) return ExecuteOnTree(*tree);
    if (auto* list = qobject_cast<TSHListView*>(target)) return ExecuteOnList(*list);
    return false;
}

bool TSHFileAction::EnabledOnTree(TSHTreeView& tree) { return NodeHolds(tree, saFileSystem); }

bool TSHFileAction::EnabledOnList(TSHListView& list) { return list.SelectionHolds(saFileSystem); }

bool TSHFileAction::NodeHolds(const TSHTreeView& tree, TShAttribute attribute) {
    const TSHTreeNode* node = tree.SelectedNode();
    return node && node->HoldsAttribute(attribute);
}

// --- One verb on the selection ------------------------------------------

TSHFileVerbAction::TSHFileVerbAction(QObject* parent, TShAttribute precondition, TShVerbKind verb)
    : TSHFileAction(parent), precondition_(precondition), verb_(verb) {}

bool TSHFileVerbAction::EnabledOnTree(TSHTreeView& tree) { return NodeHolds(tree, precondition_); }

bool TSHFileVerbAction::EnabledOnList(TSHListView& list) { return list.SelectionHolds(precondition_); }

bool TSHFileVerbAction::ExecuteOnTree(TSHTreeView& tree) { return tree.ShellCommand(verb_); }

bool TSHFileVerbAction::ExecuteOnList(TSHListView& list) { return list.ExecuteShellCommand(verb_); }

TSHFileCut::TSHFileCut(QObject* parent) : TSHFileVerbAction(parent, saCanDelete, vkCut) {
    SetTexts(QStringLiteral("切り取り(&T)"),
             QStringLiteral("切り取り|選択されたオブジェクトを削除し、クリップボードにコピーします。"));
}

TSHFileCopy::TSHFileCopy(QObject* parent) : TSHFileVerbAction(parent, saCanCopy, vkCopy) {
    SetTexts(QStringLiteral("コピー(&C)"),
             QStringLiteral("コピー|選択されたオブジェクトをクリップボードにコピーします。"
                            "新しい位置に挿入するには [貼り付け] を選んでください。"));
}

TSHFileDelete::TSHFileDelete(QObject* parent) : TSHFileVerbAction(parent, saCanDelete, vkDelete) {
    SetTexts(QStringLiteral("削除(&D)"), QStringLiteral("削除|選択されたオブジェクトを削除します。"));
}

bool TSHFileDelete::EnabledOnTree(TSHTreeView& tree) {
    return !tree.IsEditing() && TSHFileVerbAction::EnabledOnTree(tree);
}

bool TSHFileDelete::EnabledOnList(TSHListView& list) {
    return !list.IsEditing() && TSHFileVerbAction::EnabledOnList(list);
}

TSHFileProperty::TSHFileProperty(QObject* parent) : TSHFileVerbAction(parent, saHasPropSheet, vkProperties) {
    SetTexts(QStringLiteral("プロパティ(&R)"),
             QStringLiteral("プロパティ|選択されたオブジェクトのプロパティを表示します。"));
}

// --- Paste --------------------------------------------------------------

TSHFilePaste::TSHFilePaste(QObject* parent) : TSHFileAction(parent) {
    SetTexts(QStringLiteral("貼り付け(&P)"),
             QStringLiteral("貼り付け|コピーしたまたは切り取ったオブジェクトを、選択された位置に貼り付けます。"));
}

bool TSHFilePaste::EnabledOnTree(TSHTreeView& tree) {
    // The tree keeps no clipboard watch of its own: its file list's serves.
    const TSHListView* list = tree.ShellListView();
    return list && list->ClipboardHasFiles() && SelectedFolderHasPath(tree);
}

bool TSHFilePaste::EnabledOnList(TSHListView& list) {
    return list.ClipboardHasFiles() && list.HasFolderPath();
}

bool TSHFilePaste::ExecuteOnTree(TSHTreeView& tree) { return tree.ShellCommand(vkPaste); }

bool TSHFilePaste::ExecuteOnList(TSHListView& list) { return list.ExecuteShellCommand(TSHListView::scPaste); }

// --- New folder ---------------------------------------------------------

TSHFileCreate::TSHFileCreate(QObject* parent) : TSHFileAction(parent) {
    SetTexts(QStringLiteral("新規作成(&N)..."), QStringLiteral("新規作成|新規フォルダを作成します。"));
}

bool TSHFileCreate::EnabledOnTree(TSHTreeView& tree) { return !tree.IsEditing() && SelectedFolderHasPath(tree); }

bool TSHFileCreate::EnabledOnList(TSHListView& list) { return !list.IsEditing() && list.HasFolderPath(); }

bool TSHFileCreate::ExecuteOnTree(TSHTreeView& tree) {
    TSHTreeNode* node = tree.SelectedNode();
    const QString folderPath = SelectedFolderPath(tree);
    if (!node || folderPath.isEmpty()) return false;
    const QString path = NewFolderName(folderPath);
    if (!MakeNewFolder(path)) return false;
    if (TSHTreeNode* child = tree.ShowNewEntry(node, QFileInfo(path).fileName())) {
        node->setExpanded(true);
        tree.setCurrentItem(child);
        tree.editItem(child, 0);
    }
    return true;
}

bool TSHFileCreate::ExecuteOnList(TSHListView& list) { return list.CreateNewFolder(); }

// --- Rename -------------------------------------------------------------

TSHFileRename::TSHFileRename(QObject* parent) : TSHFileAction(parent) {
    SetTexts(QStringLiteral("名前の変更(&M)"), QStringLiteral("名前の変更|選択されたオブジェクトの名前を変更します。"));
}

bool TSHFileRename::EnabledOnTree(TSHTreeView& tree) { return NodeHolds(tree, saCanRename); }

bool TSHFileRename::EnabledOnList(TSHListView& list) { return list.SelectionHolds(saCanRename); }

bool TSHFileRename::ExecuteOnTree(TSHTreeView& tree) {
    TSHTreeNode* node = tree.SelectedNode();
    if (!node) return false;
    tree.editItem(node, 0);
    return tree.IsEditing();
}

bool TSHFileRename::ExecuteOnList(TSHListView& list) {
    const TSHListView::TSelectionFacts& facts = list.SelectionFacts();
    if (facts.Count == 0) return false;
    const int row = facts.FirstRow;
    bool accept = true;
    if (list.OnShListRename) list.OnShListRename(&list, facts.Count, accept);
    if (!accept) return false;
    list.EditRow(row);
    return list.IsEditing();
}
