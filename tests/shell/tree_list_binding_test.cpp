#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <QLineEdit>
#include <QTest>

#include "id_lists.h"
#include "shell/shell_list_view.h"
#include "shell/shell_tree_view.h"
#include "support/event_wait.h"
#include "support/listing_wait.h"
#include "support/scripted_message_boxes.h"
#include "support/temp_folder.h"
#include "support/tree_readings.h"

namespace {

// A shown folder tree and file list bound to each other over a temporary
// folder; either may be destroyed early by a test.
class TreeListBinding : public ::testing::Test {
protected:
    TreeListBinding() : tree(std::make_unique<TSHTreeView>()), list(std::make_unique<TSHListView>()) {
        tree->resize(300, 500);
        list->resize(500, 400);
        list->SetViewStyle(vsReport);
        tree->show();
        list->show();
    }

    std::string TreePath() const {
        const TSHTreeNode* node = tree->SelectedNode();
        return node ? node->Item()->GetNativePath() : std::string();
    }
    std::string ListPath() const { return list->FolderPath().toStdString(); }
    void SelectInTree(const std::string& path) {
        ASSERT_TRUE(tree->SelectPath(QString::fromStdString(path))) << path;
        ASSERT_TRUE(ReadingsDone(*tree));
        if (list) {
            ASSERT_TRUE(WaitUntilListed(*list));
        }
    }
    // The list's row of name once its folder has been read; -1 for none.
    int RowOf(const QString& name) const {
        WaitUntilListed(*list);
        for (int row = 0; row < list->RowCount(); ++row)
            if (list->Model()->index(row, hcName).data().toString() == name) return row;
        return -1;
    }
    // Opens a row of the list as a double-click does.
    void Open(const QString& name) {
        ASSERT_TRUE(WaitUntilListed(*list));
        const int row = RowOf(name);
        ASSERT_GE(row, 0) << name.toStdString();
        list->ExecuteItem(row, 0, {}, QPoint());
    }

    ScriptedMessageBoxes boxes;
    TempFolder temp;
    std::unique_ptr<TSHTreeView> tree;
    std::unique_ptr<TSHListView> list;
};

TEST_F(TreeListBinding, TheListShowsTheTreesFolderAndTheTreeFollowsFoldersOpenedInTheList) {
    MakeFolders(temp, {"a", "a/inner", "b"});
    SelectInTree(temp.File("b"));
    tree->SetShellListView(list.get());
    EXPECT_EQ(tree->ShellListView(), list.get());
    EXPECT_EQ(list->ShellTreeView(), tree.get());
    EXPECT_EQ(ListPath(), temp.File("b")) << "binding points the list at the selection";

    SelectInTree(temp.Path());
    EXPECT_EQ(ListPath(), temp.Path());
    Open(QStringLiteral("a"));
    EXPECT_EQ(ListPath(), temp.File("a"));
    EXPECT_EQ(TreePath(), temp.File("a"));
    Open(QStringLiteral("inner"));
    EXPECT_EQ(TreePath(), temp.File("a/inner"));
    ASSERT_GE(tree->BackList().size(), 2u);
    EXPECT_EQ(tree->BackList().back()->Item()->GetNativePath(), temp.File("a")) << "openings enter the history";

    tree->Back();
    EXPECT_EQ(ListPath(), temp.File("a"));
}

TEST_F(TreeListBinding, TheLockHoldsBothAndDisplaySettingsPassBothWays) {
    MakeFolders(temp, {"a", "b", ".hidden"});
    tree->SetShellListView(list.get());
    SelectInTree(temp.Path());
    ASSERT_GE(RowOf(QStringLiteral(".hidden")), 0);

    list->SetLocked(true);
    EXPECT_FALSE(tree->SelectPath(QString::fromStdString(temp.File("b"))));
    EXPECT_EQ(TreePath(), temp.Path());
    Open(QStringLiteral("a"));
    EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral("フォルダ固定により移動が制限されています。")});
    EXPECT_EQ(ListPath(), temp.Path());
    EXPECT_EQ(TreePath(), temp.Path());
    list->SetLocked(false);

    tree->SetIncludeHidden(false);
    EXPECT_FALSE(list->IncludeHidden());
    EXPECT_LT(RowOf(QStringLiteral(".hidden")), 0) << "the list is read again without hidden entries";
    list->SetIncludeHidden(true);
    EXPECT_TRUE(tree->IncludeHidden());
    EXPECT_GE(RowOf(QStringLiteral(".hidden")), 0);

    const TShVirtuaItems items = TShVirtuaItems::Default().With(itVirtual);
    tree->SetShVirtuaItems(items);
    EXPECT_EQ(list->ShVirtuaItems(), items);
    list->SetShVirtuaItems(TShVirtuaItems::Default());
    EXPECT_EQ(tree->ShVirtuaItems(), TShVirtuaItems::Default());
}

TEST_F(TreeListBinding, RenamesInTheTreeAndDeletesInTheListKeepTheOtherSideCurrent) {
    MakeFolders(temp, {"data", "old", "doomed"});
    tree->SetShellListView(list.get());
    SelectInTree(temp.Path());
    tree->SelectedNode()->setExpanded(true);
    SelectInTree(temp.File("old"));

    tree->setFocus();
    QTest::keyClick(tree.get(), Qt::Key_F2);
    auto* editor = tree->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->setText(QStringLiteral("new"));
    QTest::keyClick(editor, Qt::Key_Return);
    ASSERT_TRUE(ProcessEventsUntil([&] { return Exists(temp.File("new")); }));
    EXPECT_EQ(ListPath(), temp.File("new")) << "the list follows its renamed folder";
    EXPECT_TRUE(list->FileList().Watching());

    SelectInTree(temp.Path());
    const QByteArray oldDataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(temp.File("data")));
    list->SetSelectedRows({RowOf(QStringLiteral("doomed"))});
    boxes.Answer(platform::MessageResult::Yes);
    const bool deleted = list->ExecuteShellCommand(TSHListView::scDelete);
    qputenv("XDG_DATA_HOME", oldDataHome);
    ASSERT_TRUE(deleted);
    EXPECT_FALSE(Exists(temp.File("doomed")));
    EXPECT_LT(RowOf(QStringLiteral("doomed")), 0);
    IDList doomed = PathList(temp.File("doomed"));
    EXPECT_EQ(tree->FindNode(doomed), nullptr) << "the tree drops the deleted folder at once";
    FreeIDList(doomed);
}

// The list's watcher and the tree's each report a rename in their own
// time: whichever comes first, the list ends up on the renamed folder.
TEST_F(TreeListBinding, TheListFollowsItsFolderRenamedOnDiskWhateverTheTreeHasSeen) {
    MakeFolders(temp, {"old", "parent", "parent/child"});
    temp.Write("old/a.png", "a");
    temp.Write("old/b.png", "b");
    tree->SetShellListView(list.get());
    SelectInTree(temp.File("old"));
    list->SetSelectedRows({RowOf(QStringLiteral("b.png"))});

    // The list's own report comes before the tree has seen anything.
    ASSERT_EQ(rename(temp.File("old").c_str(), temp.File("new").c_str()), 0);
    list->FileList().FolderChanged(nullptr, temp.File("old"));
    EXPECT_EQ(ListPath(), temp.File("new"));
    EXPECT_EQ(list->SelectedRows(), std::vector<int>{RowOf(QStringLiteral("b.png"))}) << "the selection stays";
    EXPECT_TRUE(list->FileList().Watching());
    platform::FolderChanges renamed;
    renamed.Add(temp.Path(), "old");
    renamed.Add(temp.Path(), "new");
    tree->DirectoryChanged(renamed);
    ASSERT_TRUE(ReadingsDone(*tree));
    EXPECT_EQ(TreePath(), temp.File("new"));
    EXPECT_EQ(ListPath(), temp.File("new"));

    // A folder above the list's is renamed: only the tree hears of it.
    SelectInTree(temp.File("parent/child"));
    ASSERT_EQ(rename(temp.File("parent").c_str(), temp.File("moved").c_str()), 0);
    platform::FolderChanges above;
    above.Add(temp.Path(), "parent");
    above.Add(temp.Path(), "moved");
    tree->DirectoryChanged(above);
    ASSERT_TRUE(ReadingsDone(*tree));
    EXPECT_EQ(TreePath(), temp.File("moved/child"));
    EXPECT_EQ(ListPath(), temp.File("moved/child"));
}

TEST_F(TreeListBinding, EitherSideGoingAwayUnbindsTheOther) {
    MakeFolders(temp, {"a", "b"});
    tree->SetShellListView(list.get());
    SelectInTree(temp.Path());
    list.reset();
    EXPECT_EQ(tree->ShellListView(), nullptr);
    SelectInTree(temp.File("a"));
    tree->SetIncludeHidden(false);

    list = std::make_unique<TSHListView>();
    list->show();
    tree->SetShellListView(list.get());
    EXPECT_EQ(ListPath(), temp.File("a"));
    tree.reset();
    EXPECT_EQ(list->ShellTreeView(), nullptr);
    list->SetIncludeHidden(true);
    IDList folder = PathList(temp.Path());
    list->SetFolderIDList(folder);
    FreeIDList(folder);
    Open(QStringLiteral("b"));
    EXPECT_EQ(ListPath(), temp.File("b"));
    ASSERT_TRUE(WaitUntilListed(*list));
    // The folder shown goes (as its watcher reports): without a tree to
    // ask for a folder, the list empties and stays.
    ASSERT_EQ(rmdir(temp.File("b").c_str()), 0);
    list->FileList().FolderChanged(nullptr, temp.File("b"));
    EXPECT_EQ(list->RowCount(), 0);
    EXPECT_TRUE(list->FolderPath().isEmpty());
}

TEST_F(TreeListBinding, BindingAnotherTreeOrListReleasesThePreviousPartner) {
    TSHTreeView second;
    tree->SetShellListView(list.get());
    second.SetShellListView(list.get());
    EXPECT_EQ(tree->ShellListView(), nullptr);
    EXPECT_EQ(list->ShellTreeView(), &second);

    TSHListView other;
    second.SetShellListView(&other);
    EXPECT_EQ(list->ShellTreeView(), nullptr);
    EXPECT_EQ(other.ShellTreeView(), &second);
    second.SetShellListView(nullptr);
    EXPECT_EQ(other.ShellTreeView(), nullptr);
}

}  // namespace
