#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>
#include <QTreeView>

#include "id_lists.h"
#include "platform/action_list.h"
#include "shell/shell_file_actions.h"
#include "shell/shell_list_view.h"
#include "shell/shell_tree_view.h"
#include "support/action_state.h"
#include "support/event_wait.h"
#include "support/scripted_message_boxes.h"
#include "support/temp_folder.h"
#include "support/tree_readings.h"

namespace fs = std::filesystem;

namespace {

void ShowFolder(TSHListView& view, IDList folder) {
    ASSERT_NE(folder, nullptr);
    view.SetFolderIDList(folder);
    FreeIDList(folder);
    ASSERT_TRUE(ProcessEventsUntil([&] { return !view.FileList().Listing(); }));
}

int RowOf(TSHListView& view, const QString& name) {
    for (int row = 0; row < view.RowCount(); ++row)
        if (view.Model()->index(row, hcName).data().toString() == name) return row;
    return -1;
}

void CloseEditors(QWidget& owner) {
    for (auto* editor : owner.findChildren<QLineEdit*>())
        if (editor->isVisible()) QTest::keyClick(editor, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

class FileActionsTest : public ::testing::Test {
protected:
    FileActionsTest() {
        view.resize(500, 400);
        view.SetViewStyle(vsReport);
        view.show();
    }
    ~FileActionsTest() override { QApplication::clipboard()->clear(); }

    void Show(const std::string& path) { ShowFolder(view, PathList(path)); }
    void Select(std::initializer_list<const char*> names) {
        std::vector<int> rows;
        for (const char* name : names) rows.push_back(RowOf(view, QString::fromUtf8(name)));
        std::sort(rows.begin(), rows.end());
        view.SetSelectedRows(rows);
    }

    ScriptedMessageBoxes boxes;
    TempFolder folder;
    TSHListView view;
    TSHFileAction bare;
    TSHFileCut cut;
    TSHFileCopy copy;
    TSHFilePaste paste;
    TSHFileDelete remove;
    TSHFileProperty property;
    TSHFileCreate create;
    TSHFileRename rename;
};

TEST_F(FileActionsTest, OnTheListTheyFollowWhatTheWholeSelectionHolds) {
    WriteBytes(folder.File("locked.png"), 3);
    ASSERT_EQ(chmod(folder.File("locked.png").c_str(), 0444), 0);
    WriteBytes(folder.File("plain.png"), 3);
    fs::create_directory(folder.File("sub"));
    Show(folder.Path());

    for (platform::Action* action : std::initializer_list<platform::Action*>{&bare, &cut, &copy, &remove, &property, &rename})
        EXPECT_FALSE(EnabledOn(*action, &view)) << action->text().toStdString() << " without selection";
    EXPECT_TRUE(EnabledOn(create, &view));

    Select({"locked.png"});
    EXPECT_TRUE(EnabledOn(remove, &view)) << "a read-only file in a writable folder can be deleted";
    EXPECT_TRUE(EnabledOn(cut, &view));
    for (platform::Action* action : std::initializer_list<platform::Action*>{&bare, &copy, &property, &rename})
        EXPECT_TRUE(EnabledOn(*action, &view)) << action->text().toStdString();

    Select({"locked.png", "plain.png", "sub"});
    EXPECT_TRUE(EnabledOn(copy, &view)) << "every entry of a mixed selection can be copied";

    view.EditRow(RowOf(view, QStringLiteral("plain.png")));
    ASSERT_TRUE(view.IsEditing());
    EXPECT_FALSE(EnabledOn(remove, &view)) << "Delete belongs to the editor while a name is edited";
    EXPECT_FALSE(EnabledOn(create, &view));
    CloseEditors(view);
    EXPECT_FALSE(view.IsEditing());
    EXPECT_TRUE(EnabledOn(remove, &view));

    fs::remove(folder.File("plain.png"));
    ASSERT_TRUE(ProcessEventsUntil([&] { return RowOf(view, QStringLiteral("plain.png")) < 0; }));
    Select({"locked.png"});
    EXPECT_TRUE(EnabledOn(copy, &view)) << "the facts are worked out again after the entries changed";
}

TEST_F(FileActionsTest, OutsideTheFileSystemOrOnAHiddenListTheyAreDisabled) {
    auto* files = new QMimeData;
    files->setUrls({QUrl::fromLocalFile(QString::fromStdString(folder.Path()))});
    QApplication::clipboard()->setMimeData(files);
    ASSERT_TRUE(ProcessEventsUntil([&] { return view.ClipboardHasFiles(); }));

    ShowFolder(view, Special(sfDrives));
    ASSERT_GT(view.RowCount(), 0);
    view.SetSelectedRows({0});
    EXPECT_FALSE(EnabledOn(paste, &view)) << "the drives folder has no path to paste into";
    EXPECT_FALSE(EnabledOn(create, &view));
    EXPECT_FALSE(EnabledOn(remove, &view)) << "a drive cannot be deleted";
    EXPECT_FALSE(EnabledOn(cut, &view));
    EXPECT_TRUE(EnabledOn(property, &view));

    Show(folder.Path());
    EXPECT_TRUE(EnabledOn(paste, &view));
    view.hide();
    EXPECT_FALSE(paste.HandlesTarget(&view)) << "a hidden list is no target";
    view.show();

    TSHListView other;
    other.show();
    paste.SetControl(&other);
    EXPECT_FALSE(paste.HandlesTarget(&view)) << "with an assigned list only that one is a target";
    EXPECT_TRUE(paste.HandlesTarget(&other));
    {
        QLineEdit unrelated;
        unrelated.show();
        paste.SetControl(&unrelated);
        EXPECT_FALSE(EnabledOn(paste, &unrelated)) << "a control that is neither tree nor list disables";
    }
    EXPECT_EQ(paste.Control(), nullptr) << "a destroyed control is forgotten";
}

TEST_F(FileActionsTest, CopyAndPasteGoThroughTheClipboardAndItsWatch) {
    fs::create_directory(folder.File("from"));
    fs::create_directory(folder.File("to"));
    WriteBytes(folder.File("from/a.png"), 7);
    QApplication::clipboard()->setText(QStringLiteral("words"));
    Show(folder.File("to"));
    ASSERT_TRUE(ProcessEventsUntil([&] { return !view.ClipboardHasFiles(); }));
    EXPECT_FALSE(EnabledOn(paste, &view)) << "text is nothing to paste";

    platform::ActionList actions;
    actions.AddTarget(&view);
    actions.Add(&copy);
    actions.Add(&paste);
    Show(folder.File("from"));
    Select({"a.png"});
    ASSERT_TRUE(copy.Execute());
    ASSERT_TRUE(ProcessEventsUntil([&] { return view.ClipboardHasFiles(); }));

    Show(folder.File("to"));
    actions.UpdateActions();
    ASSERT_TRUE(paste.isEnabled());
    ASSERT_TRUE(paste.Execute());
    EXPECT_TRUE(ProcessEventsUntil([&] { return fs::exists(folder.File("to/a.png")); }));
    EXPECT_TRUE(fs::exists(folder.File("from/a.png"))) << "copied, not moved";
    EXPECT_TRUE(ProcessEventsUntil([&] { return RowOf(view, QStringLiteral("a.png")) >= 0; }));
}

TEST_F(FileActionsTest, RenameAsksTheOwnerWithTheNumberOfSelectedEntries) {
    WriteBytes(folder.File("a.png"), 1);
    WriteBytes(folder.File("b.png"), 1);
    Show(folder.Path());
    std::vector<int> counts;
    bool answer = false;
    view.OnShListRename = [&](TSHListView* sender, int count, bool& accept) {
        EXPECT_EQ(sender, &view);
        counts.push_back(count);
        accept = answer;
    };
    Select({"a.png", "b.png"});
    EXPECT_FALSE(rename.ExecuteOn(&view));
    EXPECT_FALSE(view.IsEditing()) << "a refused rename opens no editor";

    answer = true;
    Select({"b.png"});
    EXPECT_TRUE(rename.ExecuteOn(&view));
    EXPECT_EQ(counts, (std::vector<int>{2, 1}));
    auto* editor = view.ReportView()->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), QStringLiteral("b.png"));
}

TEST_F(FileActionsTest, NewFolderOpensItsNameForEditingOrReportsFailure) {
    fs::create_directory(folder.File("parent"));
    Show(folder.Path());
    ASSERT_TRUE(create.ExecuteOn(&view));
    EXPECT_TRUE(fs::is_directory(folder.File("新しいフォルダ")));
    EXPECT_TRUE(ProcessEventsUntil([&] { return view.IsEditing(); }));
    CloseEditors(view);

    TSHTreeView tree;
    tree.resize(300, 400);
    tree.show();
    ASSERT_TRUE(tree.SelectPath(QString::fromStdString(folder.File("parent"))));
    ASSERT_TRUE(ReadingsDone(tree));
    EXPECT_TRUE(EnabledOn(create, &tree));
    ASSERT_TRUE(create.ExecuteOn(&tree));
    EXPECT_TRUE(fs::is_directory(folder.File("parent/新しいフォルダ")));
    ASSERT_NE(tree.SelectedNode(), nullptr);
    EXPECT_EQ(tree.SelectedNode()->text(0), QStringLiteral("新しいフォルダ")) << "the new node is selected";
    EXPECT_TRUE(tree.IsEditing());
    EXPECT_FALSE(EnabledOn(create, &tree)) << "not while a name is edited";
    CloseEditors(tree);

    ASSERT_TRUE(tree.SelectPath(QString::fromStdString(folder.File("parent"))));
    fs::remove(folder.File("parent/新しいフォルダ"));
    WriteBytes(folder.File("parent/新しいフォルダ"), 1);
    EXPECT_FALSE(create.ExecuteOn(&tree)) << "a file of that name makes the folder fail";
    EXPECT_FALSE(tree.IsEditing());
    EXPECT_TRUE(fs::is_regular_file(folder.File("parent/新しいフォルダ")));
}

TEST_F(FileActionsTest, OnTheTreeTheyFollowTheSelectedNode) {
    fs::create_directory(folder.File("node"));
    TSHTreeView tree;
    tree.resize(300, 400);
    tree.show();
    ASSERT_TRUE(tree.SelectPath(QString::fromStdString(folder.File("node"))));
    ASSERT_TRUE(ReadingsDone(tree)) << "the commands go by what the node's reading found";
    for (platform::Action* action : std::initializer_list<platform::Action*>{&bare, &cut, &copy, &remove, &property, &rename})
        EXPECT_TRUE(EnabledOn(*action, &tree)) << action->text().toStdString();
    EXPECT_TRUE(rename.ExecuteOn(&tree));
    EXPECT_TRUE(tree.IsEditing());
    EXPECT_FALSE(EnabledOn(remove, &tree));
    CloseEditors(tree);

    auto* files = new QMimeData;
    files->setUrls({QUrl::fromLocalFile(QString::fromStdString(folder.Path()))});
    QApplication::clipboard()->setMimeData(files);
    ASSERT_TRUE(ProcessEventsUntil([&] { return view.ClipboardHasFiles(); }));
    EXPECT_FALSE(EnabledOn(paste, &tree)) << "without a file list the tree has no clipboard watch";
    tree.SetShellListView(&view);
    EXPECT_TRUE(EnabledOn(paste, &tree)) << "the bound list's watch serves the tree";

    tree.setCurrentItem(tree.RootNode());
    EXPECT_FALSE(EnabledOn(cut, &tree)) << "the desktop cannot be cut";
    EXPECT_FALSE(EnabledOn(rename, &tree));
    EXPECT_TRUE(EnabledOn(create, &tree)) << "the desktop has its directory";
}

}  // namespace
