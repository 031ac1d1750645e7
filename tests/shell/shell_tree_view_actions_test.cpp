#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <QApplication>

#include "id_lists.h"
#include "shell/shell_list_view.h"
#include "shell/shell_tree_view.h"
#include "shell/shell_tree_view_actions.h"
#include "support/action_state.h"
#include "support/listing_wait.h"
#include "support/temp_folder.h"
#include "support/tree_readings.h"

namespace fs = std::filesystem;

namespace {

class TreeViewActionsTest : public ::testing::Test {
protected:
    TreeViewActionsTest() {
        tree.resize(300, 500);
        list.resize(500, 500);
        list.SetViewStyle(vsReport);
        tree.SetShellListView(&list);
        tree.show();
        list.show();
        ReadingsDone(tree);
    }

    bool Select(const std::string& path) { return tree.SelectPath(QString::fromStdString(path)) && WaitUntilListed(list); }
    bool SelectSpecial(TShSpecialFolder folder) {
        IDList place = Special(folder);
        const bool selected = tree.SelectIDList(place);
        FreeIDList(place);
        return selected;
    }
    int RowOf(const QString& name) const {
        for (int row = 0; row < list.RowCount(); ++row)
            if (list.Model()->index(row, hcName).data().toString() == name) return row;
        return -1;
    }
    void SelectRows(std::initializer_list<const char*> names) {
        std::vector<int> rows;
        for (const char* name : names) rows.push_back(RowOf(QString::fromUtf8(name)));
        std::sort(rows.begin(), rows.end());
        list.SetSelectedRows(rows);
    }
    static bool HasChildNamed(const QTreeWidgetItem* node, const QString& name) {
        for (int i = 0; node && i < node->childCount(); ++i)
            if (node->child(i)->text(0) == name) return true;
        return false;
    }

    TempFolder folder;
    TSHTreeView tree;
    TSHListView list;
};

TEST_F(TreeViewActionsTest, BackAndForwardFollowTheHistoryOfNineSteps) {
    for (int i = 0; i < 11; ++i) fs::create_directory(folder.File("d", i));
    TSHUndoItem back;
    TSHRedoItem forward;
    EXPECT_EQ(back.shortcut(), QKeySequence(Qt::ALT | Qt::Key_Left));

    for (int i = 0; i < 3; ++i) ASSERT_TRUE(Select(folder.File("d", i)));
    EXPECT_TRUE(EnabledOn(back, &tree));
    EXPECT_FALSE(EnabledOn(forward, &tree));
    back.ExecuteTarget(&tree);
    EXPECT_EQ(tree.SelectedPath(), QString::fromStdString(folder.File("d1")));
    EXPECT_EQ(list.FolderPath(), QString::fromStdString(folder.File("d1"))) << "the list follows";
    EXPECT_TRUE(EnabledOn(forward, &tree));
    forward.ExecuteTarget(&tree);
    EXPECT_EQ(tree.SelectedPath(), QString::fromStdString(folder.File("d2")));
    back.ExecuteTarget(&tree);
    ASSERT_TRUE(Select(folder.File("d5")));
    EXPECT_FALSE(EnabledOn(forward, &tree)) << "a new folder empties the forward list";

    for (int i = 0; i < 11; ++i) ASSERT_TRUE(Select(folder.File("d", i)));
    int steps = 0;
    while (EnabledOn(back, &tree) && steps < 20) {
        back.ExecuteTarget(&tree);
        ++steps;
    }
    EXPECT_EQ(steps, 9);
    EXPECT_EQ(tree.SelectedPath(), QString::fromStdString(folder.File("d1")));
    back.ExecuteTarget(&tree);
    EXPECT_EQ(tree.SelectedPath(), QString::fromStdString(folder.File("d1"))) << "an empty back list does nothing";
}

TEST_F(TreeViewActionsTest, UpDownAndSelectFollowTheSelectedNode) {
    TSHTreeViewUp up;
    TSHTreeViewDown down;
    TSHTreeViewSelect select;
    tree.setCurrentItem(tree.RootNode());
    EXPECT_FALSE(EnabledOn(up, &tree)) << "the desktop has no node before it";
    EXPECT_TRUE(EnabledOn(down, &tree));
    EXPECT_TRUE(EnabledOn(select, &tree)) << "the desktop has its directory";
    ASSERT_TRUE(Select(folder.Path()));
    EXPECT_TRUE(EnabledOn(up, &tree));
    ASSERT_TRUE(SelectSpecial(sfBitBucket));
    EXPECT_FALSE(EnabledOn(select, &tree)) << "the trash has no path of the file system";

    tree.hide();
    EXPECT_FALSE(up.HandlesTarget(&tree));
    EXPECT_FALSE(select.HandlesTarget(&list)) << "only a tree is a target";
}

TEST_F(TreeViewActionsTest, TogglesReachTheTreeAndItsList) {
    TSHTreeViewShowNetWork network;
    TSHTreeViewShowHideFile hidden;
    const QString name = QStringLiteral("ネットワーク");
    tree.setCurrentItem(tree.RootNode());
    ASSERT_EQ(list.FolderIDList() ? IDListLevel(list.FolderIDList()) : -1, 0);
    ASSERT_TRUE(HasChildNamed(tree.RootNode(), name));
    ASSERT_GE(RowOf(name), 0);
    EXPECT_TRUE(CheckedOn(network, &tree));

    network.ExecuteTarget(&tree);
    ASSERT_TRUE(ReadingsDone(tree));
    EXPECT_FALSE(HasChildNamed(tree.RootNode(), name));
    EXPECT_LT(RowOf(name), 0);
    EXPECT_FALSE(CheckedOn(network, &tree));
    network.ExecuteTarget(&tree);
    ASSERT_TRUE(ReadingsDone(tree));
    EXPECT_TRUE(HasChildNamed(tree.RootNode(), name));
    EXPECT_GE(RowOf(name), 0);

    EXPECT_TRUE(CheckedOn(hidden, &tree));
    hidden.ExecuteTarget(&tree);
    EXPECT_FALSE(tree.IncludeHidden());
    EXPECT_FALSE(list.IncludeHidden());
    EXPECT_FALSE(CheckedOn(hidden, &tree));
}

TEST_F(TreeViewActionsTest, ListCommandsTestTheBoundListsSelection) {
    WriteBytes(folder.File("a.png"), 1);
    WriteBytes(folder.File("b.png"), 1);
    fs::create_directory(folder.File("c"));
    ASSERT_TRUE(Select(folder.Path()));
    ASSERT_EQ(list.RowCount(), 3);
    TSHListViewSingleFile single;
    TSHListViewNotDrive notDrive;
    TSHListViewUp up;
    TSHListViewDown down;

    EXPECT_FALSE(EnabledOn(notDrive, &tree)) << "nothing selected";
    SelectRows({"a.png"});
    EXPECT_TRUE(EnabledOn(single, &tree));
    EXPECT_TRUE(EnabledOn(notDrive, &tree));
    SelectRows({"a.png", "b.png"});
    EXPECT_FALSE(EnabledOn(single, &tree)) << "two files";
    SelectRows({"c"});
    EXPECT_FALSE(EnabledOn(single, &tree)) << "a folder";
    EXPECT_TRUE(EnabledOn(notDrive, &tree));

    list.SetSelectedRows({0});
    EXPECT_FALSE(EnabledOn(up, &tree));
    EXPECT_TRUE(EnabledOn(down, &tree));
    list.SetSelectedRows({2});
    EXPECT_TRUE(EnabledOn(up, &tree));
    EXPECT_FALSE(EnabledOn(down, &tree));

    ASSERT_TRUE(SelectSpecial(sfDrives));
    ASSERT_GT(list.RowCount(), 0);
    list.SetSelectedRows({0});
    EXPECT_FALSE(EnabledOn(notDrive, &tree)) << "a drive is selected";

    TSHTreeView alone;
    alone.show();
    EXPECT_FALSE(EnabledOn(single, &alone)) << "a tree without a file list";
}

TEST_F(TreeViewActionsTest, TheLockCommandLocksTheBoundList) {
    TSHListViewLock lock;
    std::vector<bool> reports;
    list.OnShFolderLock = [&](TSHListView*, bool locked) { reports.push_back(locked); };
    EXPECT_TRUE(EnabledOn(lock, &tree));
    EXPECT_FALSE(lock.isChecked());
    lock.ExecuteTarget(&tree);
    EXPECT_TRUE(list.Locked());
    EXPECT_TRUE(CheckedOn(lock, &tree));
    lock.ExecuteTarget(&tree);
    EXPECT_FALSE(list.Locked());
    EXPECT_EQ(reports, (std::vector<bool>{true, false}));
}

}  // namespace
