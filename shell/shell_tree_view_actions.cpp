#include "shell/shell_tree_view_actions.h"

#include "shell/shell_list_view.h"
#include "shell/shell_tree_view.h"

namespace {

QTreeWidgetItem* SiblingAfter(QTreeWidgetItem* item) {
    QTreeWidgetItem* parent = item->parent();
    if (!parent) {
        QTreeWidget* tree = item->treeWidget();
        const int index = tree->indexOfTopLevelItem(item);
        return index + 1 < tree->topLevelItemCount() ? tree->topLevelItem(index + 1) : nullptr;
    }
    const int index = parent->indexOfChild(item);
    return index + 1 < parent->childCount() ? parent->child(index + 1) : nullptr;
}

bool HasNodeAfter(QTreeWidgetItem* item) {
    if (item->childCount() > 0) return true;
    for (QTreeWidgetItem* at = item; at; at = at->parent())
        if (SiblingAfter(at)) return true;
    return false;
}

bool HasNodeBefore(QTreeWidgetItem* item) {
    return item->parent() || item->treeWidget()->indexOfTopLevelItem(item) > 0;
}

}  // namespace

TTreeViewAction::TTreeViewAction(QObject* parent) : TSHAction(parent) {}

bool TTreeViewAction::HandlesTarget(QObject* Target) {
    return TakesTarget(Target, qobject_cast<TSHTreeView*>(Target) != nullptr);
}

void TTreeViewAction::UpdateTarget(QObject* Target) {
    auto* tree = qobject_cast<TSHTreeView*>(Target);
    const bool enabled = tree && EnabledOn(*tree);
    SetCheckedState(enabled, enabled && CheckedOn(*tree));
}

void TTreeViewAction::ExecuteTarget(QObject* Target) {
    if (auto* tree = qobject_cast<TSHTreeView*>(Target)) ExecuteOn(*tree);
}

// --- History ------------------------------------------------------------

TSHUndoItem::TSHUndoItem(QObject* parent) : TTreeViewAction(parent) {
    SetTexts(QStringLiteral("前に戻る(&B)"), QStringLiteral("戻る|前の選択フォルダに戻ります。"));
    setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
}

bool TSHUndoItem::EnabledOn(TSHTreeView& tree) { return !tree.BackList().empty(); }

void TSHUndoItem::ExecuteOn(TSHTreeView& tree) {
    if (!tree.BackList().empty()) tree.Back(-1);
}

TSHRedoItem::TSHRedoItem(QObject* parent) : TTreeViewAction(parent) {
    SetTexts(QStringLiteral("次に進む(&F)"), QStringLiteral("進む|次の選択フォルダに進みます。"));
    setShortcut(QKeySequence(Qt::ALT | Qt::Key_Right));
}

bool TSHRedoItem::EnabledOn(TSHTreeView& tree) { return !tree.ForwardList().empty(); }

void TSHRedoItem::ExecuteOn(TSHTreeView& tree) {
    if (!tree.ForwardList().empty()) tree.Forward(-1);
}

// --- Where the selection can go -----------------------------------------

TSHTreeViewUp::TSHTreeViewUp(QObject* parent) : TTreeViewAction(parent) {}

bool TSHTreeViewUp::EnabledOn(TSHTreeView& tree) {
    TSHTreeNode* node = tree.SelectedNode();
    return node && HasNodeBefore(node);
}

TSHTreeViewDown::TSHTreeViewDown(QObject* parent) : TTreeViewAction(parent) {}

bool TSHTreeViewDown::EnabledOn(TSHTreeView& tree) {
    TSHTreeNode* node = tree.SelectedNode();
    return node && HasNodeAfter(node);
}

TSHTreeViewSelect::TSHTreeViewSelect(QObject* parent) : TTreeViewAction(parent) {}

bool TSHTreeViewSelect::EnabledOn(TSHTreeView& tree) { return !SelectedFolderPath(tree).isEmpty(); }

// --- What the tree and its list show ------------------------------------

TSHTreeViewShowPlace::TSHTreeViewShowPlace(QObject* parent, TShItemIDType place)
    : TTreeViewAction(parent), place_(place) {
    setCheckable(true);
}

bool TSHTreeViewShowPlace::CheckedOn(TSHTreeView& tree) { return tree.ShVirtuaItems().Contains(place_); }

void TSHTreeViewShowPlace::ExecuteOn(TSHTreeView& tree) {
    const TShVirtuaItems shown = tree.ShVirtuaItems();
    tree.SetShVirtuaItems(shown.Contains(place_) ? shown.Without(place_) : shown.With(place_));
}

TSHTreeViewShowVirtual::TSHTreeViewShowVirtual(QObject* parent) : TSHTreeViewShowPlace(parent, itVirtual) {
    SetTexts(QStringLiteral("仮想フォルダ(&V)"), QStringLiteral("仮想フォルダ|仮想フォルダの表示/非表示を切り替えます。"));
}

TSHTreeViewShowNetWork::TSHTreeViewShowNetWork(QObject* parent) : TSHTreeViewShowPlace(parent, itNetWork) {
    SetTexts(QStringLiteral("ネットワーク(&N)"),
             QStringLiteral("ネットワーク|ネットワークフォルダの表示/非表示を切り替えます。"));
}

TSHTreeViewShowBitBucket::TSHTreeViewShowBitBucket(QObject* parent) : TSHTreeViewShowPlace(parent, itBitBucket) {
    SetTexts(QStringLiteral("ごみ箱(&R)"), QStringLiteral("ごみ箱|ごみ箱フォルダの表示/非表示を切り替えます。"));
}

TSHTreeViewShowInterNet::TSHTreeViewShowInterNet(QObject* parent) : TSHTreeViewShowPlace(parent, itInterNet) {
    SetTexts(QStringLiteral("インターネット(&I)"),
             QStringLiteral("インターネット|インターネットフォルダの表示/非表示を切り替えます。"));
}

TSHTreeViewShowHideFile::TSHTreeViewShowHideFile(QObject* parent) : TTreeViewAction(parent) {
    SetTexts(QStringLiteral("隠しファイルを表示(&H)"), QStringLiteral("隠しファイル|隠しファイルの表示/非表示を切り替えます。"));
    setCheckable(true);
}

bool TSHTreeViewShowHideFile::CheckedOn(TSHTreeView& tree) { return tree.IncludeHidden(); }

void TSHTreeViewShowHideFile::ExecuteOn(TSHTreeView& tree) { tree.SetIncludeHidden(!tree.IncludeHidden()); }

// --- The bound file list ------------------------------------------------

TSHListViewMDI::TSHListViewMDI(QObject* parent) : TTreeViewAction(parent) {}

bool TSHListViewMDI::EnabledOn(TSHTreeView& tree) {
    TSHListView* list = tree.ShellListView();
    // A running verb may be taking the list's files away.
    return list && !ShellVerbRunning() && EnabledOnList(*list);
}

void TSHListViewMDI::SettleState(QObject* Target) {
    auto* tree = qobject_cast<TSHTreeView*>(Target);
    if (TSHListView* list = tree ? tree->ShellListView() : nullptr) list->SettleSelectionFacts();
}

bool TSHListViewMDI::CheckedOn(TSHTreeView& tree) {
    TSHListView* list = tree.ShellListView();
    return list && CheckedOnList(*list);
}

void TSHListViewMDI::ExecuteOn(TSHTreeView& tree) {
    if (TSHListView* list = tree.ShellListView()) ExecuteOnList(*list);
}

TSHListViewLock::TSHListViewLock(QObject* parent) : TSHListViewMDI(parent) { setCheckable(true); }

bool TSHListViewLock::CheckedOnList(TSHListView& list) { return list.Locked(); }

void TSHListViewLock::ExecuteOnList(TSHListView& list) { list.SetLocked(!list.Locked()); }

TSHListViewSingleFile::TSHListViewSingleFile(QObject* parent) : TSHListViewMDI(parent) {}

bool TSHListViewSingleFile::EnabledOnList(TSHListView& list) {
    return list.SelectionFacts().Count == 1 && list.SelectionHolds(saFileSystem) && !list.SelectionHolds(saFolder);
}

TSHListViewNotDrive::TSHListViewNotDrive(QObject* parent) : TSHListViewMDI(parent) {}

bool TSHListViewNotDrive::EnabledOnList(TSHListView& list) {
    return !list.SelectionFacts().HasDriveRoot && list.SelectionHolds(saFileSystem);
}

TSHListViewUp::TSHListViewUp(QObject* parent) : TSHListViewMDI(parent) {}

bool TSHListViewUp::EnabledOnList(TSHListView& list) { return list.SelectionFacts().FirstRow > 0; }

TSHListViewDown::TSHListViewDown(QObject* parent) : TSHListViewMDI(parent) {}

bool TSHListViewDown::EnabledOnList(TSHListView& list) {
    const int first = list.SelectionFacts().FirstRow;
    return first >= 0 && first < list.RowCount() - 1;
}
