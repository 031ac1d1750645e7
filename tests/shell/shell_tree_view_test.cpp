#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <QUrl>

#include "id_lists.h"
#include "platform/shell_data_object.h"
#include "popup_driver.h"
#include "shell/shell_list_view.h"
#include "shell/shell_popup_menu.h"
#include "shell/shell_tree_view.h"
#include "support/event_wait.h"
#include "support/pointer.h"
#include "support/scoped_environment_variable.h"
#include "support/scripted_message_boxes.h"
#include "support/temp_folder.h"
#include "support/tree_readings.h"
#include "support/unprivileged_child.h"

namespace {

QStringList ChildTexts(const QTreeWidgetItem* node) {
    QStringList texts;
    for (int i = 0; node && i < node->childCount(); ++i) texts << node->child(i)->text(0);
    return texts;
}

std::string Joined(const QStringList& texts) { return texts.join(QLatin1Char('|')).toStdString(); }

std::string NodePath(const TSHTreeNode* node) { return node ? node->Item()->GetNativePath() : std::string(); }

QStringList Texts(const std::vector<TSHTreeNode*>& nodes) {
    QStringList texts;
    for (const TSHTreeNode* node : nodes) texts << node->text(0);
    return texts;
}

// Drags the files at paths over node and drops them there, as another
// program's drag would; the action carried out, or none when refused.
Qt::DropAction DropFiles(TSHTreeView& tree, TSHTreeNode* node, const std::vector<std::string>& paths,
                         Qt::KeyboardModifiers keys) {
    QMimeData data;
    QList<QUrl> urls;
    for (const std::string& path : paths) urls << QUrl::fromLocalFile(QString::fromStdString(path));
    data.setUrls(urls);
    // Away from the edges, where hovering scrolls the rows under the pointer.
    tree.scrollToItem(node, QAbstractItemView::PositionAtCenter);
    const QPoint pos = tree.visualItemRect(node).center();
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    QDragEnterEvent enter(pos, actions, &data, Qt::LeftButton, keys);
    QApplication::sendEvent(tree.viewport(), &enter);
    QDragMoveEvent move(pos, actions, &data, Qt::LeftButton, keys);
    QApplication::sendEvent(tree.viewport(), &move);
    const bool over = move.isAccepted();
    QDropEvent dropped(pos, actions, &data, Qt::NoButton, keys);
    QApplication::sendEvent(tree.viewport(), &dropped);
    return over && dropped.isAccepted() ? dropped.dropAction() : Qt::IgnoreAction;
}

// The node of path in tree; null when the tree has none.
TSHTreeNode* NodeIn(TSHTreeView& tree, const std::string& path) {
    IDList list = PathList(path);
    TSHTreeNode* node = tree.FindNode(list);
    FreeIDList(list);
    return node;
}

// Shows tree with base selected and expanded, as an unprivileged case
// starts; false when base cannot be selected. The case runs in a forked
// child, where painting would wait for the painter's helper threads, which
// live in the parent only: the tree is laid out but never painted.
bool ShowExpanded(TSHTreeView& tree, const std::string& base) {
    tree.resize(300, 400);
    tree.setUpdatesEnabled(false);
    tree.show();
    if (!tree.SelectPath(QString::fromStdString(base))) return false;
    return ExpandRead(tree, tree.SelectedNode()) != nullptr;
}

// A shown tree over a temporary folder that the other users of the
// machine may enter (for the unprivileged cases).
class TreeView : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(chmod(temp_.Path().c_str(), 0755), 0);
        tree_.resize(400, 700);
        tree_.show();
        ASSERT_TRUE(ReadingsDone(tree_));
    }
    TSHTreeNode* NodeOf(const std::string& path) { return NodeIn(tree_, path); }
    TSHTreeNode* Select(const std::string& path) {
        EXPECT_TRUE(tree_.SelectPath(QString::fromStdString(path))) << path;
        EXPECT_TRUE(ReadingsDone(tree_));
        return tree_.SelectedNode();
    }
    TSHTreeNode* Expand(TSHTreeNode* node) { return ExpandRead(tree_, node); }
    bool Settled() { return ReadingsDone(tree_); }
    // Right-clicks a node; step acts on its menu. Whether a menu opened.
    bool RightClick(TSHTreeNode* node, PopupDriver::TStep step) {
        PopupDriver driver(std::move(step));
        const QPoint pos = PointOf(node);
        QTest::mousePress(tree_.viewport(), Qt::RightButton, {}, pos);
        QTest::mouseRelease(tree_.viewport(), Qt::RightButton, {}, pos);
        return driver.Opened();
    }
    QPoint PointOf(TSHTreeNode* node) {
        tree_.scrollToItem(node);
        return tree_.visualItemRect(node).center();
    }

    TempFolder temp_;
    ScriptedMessageBoxes boxes_;
    TSHTreeView tree_;
};

TEST_F(TreeView, StartsAtTheDesktopWithItsPlaces) {
    TSHTreeNode* root = tree_.RootNode();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(tree_.SelectedNode(), root);
    EXPECT_TRUE(root->isExpanded());
    const QStringList places = ChildTexts(root);
    for (const char* place : {"ホーム", "コンピュータ", "ネットワーク", "ごみ箱", "インターネット"})
        EXPECT_TRUE(places.contains(QString::fromUtf8(place))) << place;
    EXPECT_TRUE(root->child(0)->isExpanded());

    tree_.SetShVirtuaItems(TShVirtuaItems::Default().Without(itInterNet).Without(itNetWork));
    ASSERT_TRUE(Settled());
    EXPECT_FALSE(ChildTexts(root).contains(QStringLiteral("インターネット")));
    EXPECT_FALSE(ChildTexts(root).contains(QStringLiteral("ネットワーク")));
    EXPECT_TRUE(ChildTexts(root).contains(QStringLiteral("ごみ箱")));

    // The drives folder lists the root file system as a drive.
    IDList drives = Special(sfDrives);
    ASSERT_TRUE(tree_.SelectIDList(drives));
    FreeIDList(drives);
    Expand(tree_.SelectedNode());
    EXPECT_GE(tree_.SelectedNode()->childCount(), 1);
}

TEST_F(TreeView, ExpandsFoldersOnlyWithTheirSubfoldersInOrder) {
    MakeFolders(temp_, {"folder10", "folder9", "empty", ".hidden", "folder9/inner"});
    temp_.Write("file.txt", "x");
    TSHTreeNode* node = Select(temp_.Path());
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(NodePath(node), temp_.Path());
    Expand(node);
    EXPECT_EQ(Joined(ChildTexts(node)), ".hidden|empty|folder9|folder10");
    EXPECT_TRUE(NodeOf(temp_.File("folder9"))->HasChildren());
    EXPECT_FALSE(NodeOf(temp_.File("empty"))->HasChildren());

    tree_.SetIncludeHidden(false);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(Joined(ChildTexts(NodeOf(temp_.Path()))), "empty|folder9|folder10");
    EXPECT_EQ(tree_.SelectedPath(), QString::fromStdString(temp_.Path()));
}

TEST_F(TreeView, SelectsByPathAndKeepsNineFoldersOfHistory) {
    std::vector<std::string> folders;
    for (int i = 1; i <= 11; ++i) {
        folders.push_back(temp_.File("S", i));
        ASSERT_EQ(mkdir(folders.back().c_str(), 0755), 0);
    }
    for (const std::string& folder : folders) Select(folder);
    // The first selection's predecessor (the desktop) and S1 fell out.
    EXPECT_EQ(Joined(Texts(tree_.BackList())), "S2|S3|S4|S5|S6|S7|S8|S9|S10");

    EXPECT_TRUE(tree_.Back(-1));
    EXPECT_EQ(tree_.SelectedNode()->text(0), "S10");
    EXPECT_EQ(Joined(Texts(tree_.ForwardList())), "S11");
    EXPECT_TRUE(tree_.Forward(-1) || tree_.ForwardList().empty());
    EXPECT_EQ(tree_.SelectedNode()->text(0), "S11");

    EXPECT_FALSE(tree_.Back(0));
    EXPECT_EQ(tree_.SelectedNode()->text(0), "S2");
    EXPECT_EQ(Joined(Texts(tree_.ForwardList())), "S11|S10|S9|S8|S7|S6|S5|S4|S3");
    tree_.Forward(-1);
    EXPECT_EQ(tree_.SelectedNode()->text(0), "S3");
    EXPECT_FALSE(tree_.Back(5));

    // A folder that does not exist leaves the selection where it was.
    EXPECT_FALSE(tree_.SelectPath(QString::fromStdString(temp_.File("missing/deeper"))));
    EXPECT_EQ(tree_.SelectedNode()->text(0), "S3");
}

TEST_F(TreeView, HotTrackingMarksTheNodeUnderThePointerAndAClickStillSelects) {
    MakeFolders(temp_, {"one", "two"});
    Select(temp_.File("one"));
    TSHTreeNode* two = NodeOf(temp_.File("two"));
    ASSERT_NE(two, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&tree_));
    const QPoint onTwo = PointOf(two);

    // Off (as made), the pointer marks nothing.
    PointAt(tree_.viewport(), onTwo);
    EXPECT_EQ(tree_.HotNode(), nullptr);
    EXPECT_FALSE(two->data(0, Qt::FontRole).value<QFont>().underline());

    tree_.SetHotTrack(true);
    PointAt(tree_.viewport(), onTwo);
    EXPECT_EQ(tree_.HotNode(), two);
    EXPECT_TRUE(two->data(0, Qt::FontRole).value<QFont>().underline());
    EXPECT_EQ(two->data(0, Qt::ForegroundRole).value<QBrush>().color(), tree_.palette().color(QPalette::Link));
    EXPECT_EQ(tree_.viewport()->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(tree_.SelectedNode()->text(0), "one") << "pointing alone does not select";

    QTest::mouseClick(tree_.viewport(), Qt::LeftButton, {}, onTwo);
    EXPECT_EQ(tree_.SelectedNode(), two);
    // Selected, it is drawn as selected rather than as a link.
    EXPECT_FALSE(two->data(0, Qt::ForegroundRole).isValid());

    // Beside the node, in its indentation, is not on it.
    PointAt(tree_.viewport(), QPoint(tree_.visualItemRect(two).left() - 4, onTwo.y()));
    EXPECT_EQ(tree_.HotNode(), nullptr);
    EXPECT_NE(tree_.viewport()->cursor().shape(), Qt::PointingHandCursor);

    // A hot node that goes leaves no trace; switching off clears the mark.
    PointAt(tree_.viewport(), PointOf(NodeOf(temp_.File("one"))));
    ASSERT_EQ(tree_.HotNode(), NodeOf(temp_.File("one")));
    ASSERT_EQ(rmdir(temp_.File("one").c_str()), 0);
    tree_.RefreshAll();
    ASSERT_TRUE(Settled());
    EXPECT_EQ(tree_.HotNode(), nullptr);
    PointAt(tree_.viewport(), PointOf(two));
    ASSERT_EQ(tree_.HotNode(), two);
    tree_.SetHotTrack(false);
    EXPECT_EQ(tree_.HotNode(), nullptr);
    EXPECT_FALSE(two->data(0, Qt::FontRole).value<QFont>().underline());
}

TEST_F(TreeView, ShowsHostileNamesAndSurvivesLinkLoops) {
    const std::string invalid = std::string("bad\xff") + "name";
    MakeFolders(temp_, {invalid, "line\nbreak", "loop"});
    ASSERT_EQ(symlink("..", temp_.File("loop/up").c_str()), 0);
    TSHTreeNode* node = Expand(Select(temp_.Path()));
    ASSERT_EQ(node->childCount(), 3);
    TSHTreeNode* loop = Expand(NodeOf(temp_.File("loop")));
    ASSERT_NE(loop, nullptr);
    ASSERT_EQ(loop->childCount(), 1);
    Expand(loop->ChildNode(0));
    EXPECT_EQ(loop->ChildNode(0)->childCount(), 3);

    IDList list = PathList(temp_.File(invalid));
    ASSERT_TRUE(tree_.SelectIDList(list));
    FreeIDList(list);
    EXPECT_EQ(NodePath(tree_.SelectedNode()), temp_.File(invalid));
}

TEST_F(TreeView, RenamesInPlaceAndSaysWhyARenameIsRefused) {
    MakeFolders(temp_, {"old", "other"});
    TSHTreeNode* node = Select(temp_.File("old"));
    ASSERT_NE(node, nullptr);
    tree_.setFocus();
    QTest::keyClick(&tree_, Qt::Key_F2);
    auto* editor = tree_.findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->setText(QStringLiteral("新しい名前"));
    QTest::keyClick(editor, Qt::Key_Return);
    ASSERT_TRUE(ProcessEventsUntil([&] { return Exists(temp_.File("新しい名前")); }));
    EXPECT_FALSE(Exists(temp_.File("old")));
    EXPECT_EQ(tree_.SelectedNode()->text(0), QStringLiteral("新しい名前"));
    EXPECT_EQ(NodePath(tree_.SelectedNode()), temp_.File("新しい名前"));

    QTest::keyClick(&tree_, Qt::Key_F2);
    editor = tree_.findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->setText(QStringLiteral("other"));
    QTest::keyClick(editor, Qt::Key_Return);
    ASSERT_TRUE(ProcessEventsUntil([&] { return !boxes_.Messages().empty(); }));
    EXPECT_TRUE(Exists(temp_.File("新しい名前")));
    EXPECT_EQ(tree_.SelectedNode()->text(0), QStringLiteral("新しい名前"));

    // The desktop is never renamed.
    tree_.setCurrentItem(tree_.RootNode());
    QTest::keyClick(&tree_, Qt::Key_F2);
    EXPECT_EQ(tree_.findChild<QLineEdit*>(), nullptr);
}

// The system's temporary folder changes all the time (other programs'
// folders come and go there), and a change anywhere under a watched folder
// postpones the refresh; this case works in a quiet folder of the home.
std::unique_ptr<TempFolder> QuietFolder() {
    const QByteArray old = qgetenv("TMPDIR");
    qputenv("TMPDIR", QByteArray::fromStdString(platform::HomeDirectory()));
    auto folder = std::make_unique<TempFolder>();
    if (old.isEmpty())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", old);
    return folder;
}

TEST_F(TreeView, FollowsFoldersCreatedRemovedAndRenamedOnDisk) {
    const auto quiet = QuietFolder();
    MakeFolders(*quiet, {"b", "d", "kept", "kept/child", "kept/child/deep"});
    TSHTreeNode* parent = Expand(Select(quiet->Path()));
    Expand(NodeOf(quiet->File("kept")));
    Expand(Select(quiet->File("kept/child")));
    // Watching follows the expansions once the event loop runs.
    QApplication::processEvents();

    MakeFolders(*quiet, {"c"});
    ASSERT_EQ(rmdir(quiet->File("d").c_str()), 0);
    ASSERT_EQ(rename(quiet->File("kept").c_str(), quiet->File("moved").c_str()), 0);
    ASSERT_TRUE(ProcessEventsUntil([&] { return ChildTexts(parent).contains("moved"); }));
    EXPECT_EQ(Joined(ChildTexts(parent)), "b|c|moved");
    TSHTreeNode* moved = NodeOf(quiet->File("moved"));
    ASSERT_NE(moved, nullptr);
    EXPECT_TRUE(moved->isExpanded());
    EXPECT_EQ(NodePath(tree_.SelectedNode()), quiet->File("moved/child"));
    EXPECT_TRUE(tree_.SelectedNode()->isExpanded());
    EXPECT_EQ(Joined(ChildTexts(tree_.SelectedNode())), "deep");
    EXPECT_EQ(NodePath(tree_.SelectedNode()->ChildNode(0)), quiet->File("moved/child/deep"));

    // Removing the selected folder moves the selection to its parent. (The
    // watch follows the renamed folders first: a burst under way while it
    // changes would be dropped.)
    QApplication::processEvents();
    ASSERT_TRUE(RunCommand("rm -r '" + quiet->File("moved") + "'"));
    ASSERT_TRUE(ProcessEventsUntil([&] { return !ChildTexts(parent).contains("moved"); }));
    EXPECT_EQ(tree_.SelectedNode(), parent);
}

TEST_F(TreeView, DeepFoldersAreDrawnAndReachedByScrollingSideways) {
    std::string path = temp_.Path();
    for (int level = 0; level < 16; ++level) {
        path += "/" + std::to_string(level) + std::string(200, 'x');
        ASSERT_EQ(mkdir(path.c_str(), 0755), 0) << level;
    }
    TSHTreeNode* deepest = Select(path);
    ASSERT_NE(deepest, nullptr);
    ASSERT_EQ(NodePath(deepest), path);
    // Selected, the deep folder's row is scrolled to, its name first; the
    // root's row takes the view back to the left edge.
    const auto rowStart = [this](TSHTreeNode* node) { return tree_.visualItemRect(node).left(); };
    EXPECT_GE(rowStart(deepest), 0);
    EXPECT_LT(rowStart(deepest), tree_.viewport()->width() / 2);
    tree_.setCurrentItem(tree_.RootNode());
    EXPECT_EQ(tree_.horizontalScrollBar()->value(), 0);
    tree_.setCurrentItem(deepest);
    EXPECT_GE(rowStart(deepest), 0);
    EXPECT_LT(rowStart(deepest), tree_.viewport()->width() / 2);
    const int textWidth = tree_.fontMetrics().horizontalAdvance(deepest->text(0));
    EXPECT_GE(tree_.visualItemRect(deepest).width(), textWidth) << "the row has room for its name";
    EXPECT_GT(tree_.horizontalScrollBar()->maximum(), 0);
    // A shallow row still spans the view, as the selection is drawn along it.
    EXPECT_GE(tree_.visualItemRect(tree_.RootNode()).right(), tree_.viewport()->width() - 1);
}

// A report names the folders and entries that changed: only those are
// looked at again, and each is taken as it is on disk now.
TEST_F(TreeView, AReportRefreshesTheNamedEntriesAsTheyAreNow) {
    MakeFolders(temp_, {"a", "leaf", "untouched", "open", "open/inner"});
    TSHTreeNode* parent = Expand(Select(temp_.Path()));
    Expand(NodeOf(temp_.File("open")));
    TSHTreeNode* untouched = NodeOf(temp_.File("untouched"));
    EXPECT_FALSE(NodeOf(temp_.File("leaf"))->HasChildren());

    MakeFolders(temp_, {"b", "c", "leaf/sub", "open/more"});
    ASSERT_EQ(rmdir(temp_.File("a").c_str()), 0);
    temp_.Write("file.txt", "x");
    platform::FolderChanges changes;
    // Entries named but not changed (or not folders) change nothing; "c"
    // is left out of the report and so stays unseen.
    for (const char* name : {"a", "b", "file.txt", "gone", "untouched"}) changes.Add(temp_.Path(), name);
    changes.Add(temp_.File("leaf"), "sub");
    changes.Add(temp_.File("open"), "more");
    tree_.DirectoryChanged(changes);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(Joined(ChildTexts(parent)), "b|leaf|open|untouched");
    EXPECT_EQ(NodeOf(temp_.File("untouched")), untouched);
    EXPECT_TRUE(NodeOf(temp_.File("leaf"))->HasChildren()) << "a collapsed child's expand button follows its folder";
    EXPECT_EQ(Joined(ChildTexts(NodeOf(temp_.File("open")))), "inner|more");

    // A whole report reads every expanded folder again.
    platform::FolderChanges whole;
    whole.SetWhole();
    tree_.DirectoryChanged(whole);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(Joined(ChildTexts(parent)), "b|c|leaf|open|untouched");
}

// A change reported while a button is held on a node is not lost: it is
// shown once the button is up.
TEST_F(TreeView, ChangesReportedDuringAPressAreShownAfterIt) {
    MakeFolders(temp_, {"one"});
    TSHTreeNode* parent = Expand(Select(temp_.Path()));
    const QPoint pos = PointOf(NodeOf(temp_.File("one")));
    QTest::mousePress(tree_.viewport(), Qt::LeftButton, {}, pos);
    MakeFolders(temp_, {"two"});
    platform::FolderChanges changes;
    changes.Add(temp_.Path(), "two");
    tree_.DirectoryChanged(changes);
    EXPECT_EQ(Joined(ChildTexts(parent)), "one");
    QTest::mouseRelease(tree_.viewport(), Qt::LeftButton, {}, pos);
    ASSERT_TRUE(ProcessEventsUntil([&] { return ChildTexts(parent).contains("two"); }));
    EXPECT_EQ(Joined(ChildTexts(parent)), "one|two");
}

TEST_F(TreeView, DropsOfFileListsCopyOrMoveIntoTheFolderUnderThePointer) {
    MakeFolders(temp_, {"source", "target", "source/sub"});
    temp_.Write("source/a.txt", "alpha");
    temp_.Write("source/b.txt", "beta");
    Expand(Select(temp_.Path()));
    TSHTreeNode* target = NodeOf(temp_.File("target"));
    ASSERT_NE(target, nullptr);

    auto drop = [&](TSHTreeNode* node, std::initializer_list<std::string> names, Qt::KeyboardModifiers keys) {
        std::vector<std::string> paths;
        for (const std::string& name : names) paths.push_back(temp_.File(name));
        return DropFiles(tree_, node, paths, keys);
    };
    EXPECT_EQ(drop(target, {"source/a.txt"}, Qt::ControlModifier), Qt::CopyAction);
    EXPECT_EQ(ReadFileBytes(temp_.File("target/a.txt")).size(), 5u);
    EXPECT_TRUE(Exists(temp_.File("source/a.txt")));
    EXPECT_EQ(drop(target, {"source/b.txt"}, Qt::ShiftModifier), Qt::MoveAction);
    EXPECT_TRUE(Exists(temp_.File("target/b.txt")));
    EXPECT_FALSE(Exists(temp_.File("source/b.txt")));

    // A folder onto itself or into its own subfolder is refused, untouched.
    TSHTreeNode* source = NodeOf(temp_.File("source"));
    EXPECT_EQ(drop(source, {"source"}, Qt::ShiftModifier), Qt::IgnoreAction);
    Expand(source);
    EXPECT_EQ(drop(NodeOf(temp_.File("source/sub")), {"source"}, Qt::ShiftModifier), Qt::IgnoreAction);
    EXPECT_TRUE(Exists(temp_.File("source/sub")));
    EXPECT_FALSE(Exists(temp_.File("source/sub/source")));
    EXPECT_TRUE(boxes_.Messages().empty());
}

TEST_F(TreeView, RightClickShowsTheContextMenuOfTheNode) {
    MakeFolders(temp_, {"doomed"});
    TSHPopupMenu menu(&tree_);
    menu.SetReadOnly(false);
    tree_.SetShellPopupMenu(&menu);
    TSHTreeNode* parent = Expand(Select(temp_.Path()));
    QStringList texts;
    auto record = [&](QMenu* shown) {
        texts = MenuTexts(shown);
        return nullptr;
    };
    ASSERT_TRUE(RightClick(NodeOf(temp_.File("doomed")), record));
    EXPECT_TRUE(texts.contains(QStringLiteral("貼り付け(&P)")));
    EXPECT_TRUE(texts.contains(QStringLiteral("名前の変更(&M)")));
    EXPECT_EQ(tree_.SelectedNode(), parent);

    IDList trash = Special(sfBitBucket);
    ASSERT_TRUE(RightClick(tree_.FindNode(trash), record));
    FreeIDList(trash);
    EXPECT_EQ(Joined(texts), "ごみ箱を空にする(&B)");
    // The desktop has no menu.
    EXPECT_FALSE(RightClick(tree_.RootNode(), record));

    // Choosing rename edits the node in place.
    RightClick(NodeOf(temp_.File("doomed")),
               [](QMenu* shown) { return ActionNamed(shown, QStringLiteral("名前の変更(&M)")); });
    EXPECT_NE(tree_.findChild<QLineEdit*>(), nullptr);
}

TEST_F(TreeView, DeletingTheSelectedFolderFromItsMenuMovesTreeAndListToTheParent) {
    MakeFolders(temp_, {"data", "doomed"});
    const ScopedEnvironmentVariable dataHome("XDG_DATA_HOME", temp_.File("data"));
    TSHPopupMenu menu(&tree_);
    tree_.SetShellPopupMenu(&menu);
    TSHListView list;
    tree_.SetShellListView(&list);
    Expand(Select(temp_.Path()));
    Select(temp_.File("doomed"));
    boxes_.Answer(platform::MessageResult::Yes);
    EXPECT_TRUE(RightClick(NodeOf(temp_.File("doomed")),
                           [](QMenu* shown) { return ActionNamed(shown, QStringLiteral("削除(&D)")); }));
    EXPECT_FALSE(Exists(temp_.File("doomed")));
    EXPECT_EQ(tree_.SelectedNode(), NodeOf(temp_.Path()));
    EXPECT_EQ(list.FolderPath().toStdString(), temp_.Path());
    EXPECT_TRUE(list.FileList().Watching()) << "the list watches again after the delete";
    ASSERT_TRUE(Settled());
    EXPECT_FALSE(ChildTexts(NodeOf(temp_.Path())).contains("doomed"));
}

TEST_F(TreeView, ShellCommandsActOnTheSelectionAndOnTheDesktopOnlyPaste) {
    MakeFolders(temp_, {"copied"});
    Select(temp_.File("copied"));
    ASSERT_TRUE(tree_.ShellCommand(vkCopy));
    EXPECT_EQ(platform::PathsOfShellData(QApplication::clipboard()->mimeData()),
              std::vector<std::string>{temp_.File("copied")});
    tree_.setCurrentItem(tree_.RootNode());
    EXPECT_FALSE(tree_.ShellCommand(vkCopy));
    EXPECT_FALSE(tree_.ShellCommand(vkDelete));
    QApplication::clipboard()->clear();
}

TEST_F(TreeView, RefusalsOfPermissionShowNoChildrenTakeNoDropAndAskNothing) {
    MakeFolders(temp_, {"locked", "locked/inside", "open", "readonly"});
    ASSERT_EQ(chmod(temp_.File("locked").c_str(), 0700), 0);
    temp_.Write("drop.txt", "d");
    const std::string base = temp_.Path();
    EXPECT_TRUE(RunUnprivileged([&] {
        ScriptedMessageBoxes boxes;
        TSHTreeView tree;
        if (!ShowExpanded(tree, base)) return false;
        TSHTreeNode* locked = NodeIn(tree, base + "/locked");
        if (!locked) return false;
        ExpandRead(tree, locked);
        const bool unreadable = locked->childCount() == 0 && !locked->HasChildren();
        // A folder the user may not write to takes no drop.
        TSHTreeNode* readonly = NodeIn(tree, base + "/readonly");
        const bool refused = readonly && DropFiles(tree, readonly, {base + "/drop.txt"}, Qt::ControlModifier) ==
                                             Qt::IgnoreAction;
        struct stat info {};
        return unreadable && refused && lstat((base + "/readonly/drop.txt").c_str(), &info) != 0 &&
               boxes.Messages().empty();
    }));
}

TEST_F(TreeView, ExpandingAnUnreadableFolderSaysItCannotBeRead) {
    MakeFolders(temp_, {"locked", "locked/inside", "open", "open/inner"});
    ASSERT_EQ(chmod(temp_.File("locked").c_str(), 0700), 0);
    const std::string base = temp_.Path();
    EXPECT_TRUE(RunUnprivileged([&] {
        ScriptedMessageBoxes boxes;
        TSHTreeView tree;
        QStringList said;
        QObject::connect(&tree, &TSHTreeView::FolderUnreadable, [&said](const QString& text) { said << text; });
        if (!ShowExpanded(tree, base)) return false;
        TSHTreeNode* open = NodeIn(tree, base + "/open");
        TSHTreeNode* locked = NodeIn(tree, base + "/locked");
        if (!open || !locked) return false;
        ExpandRead(tree, open);
        const bool quietWhenRead = said.isEmpty() && open->data(0, Qt::ToolTipRole).toString().isEmpty();
        ExpandRead(tree, locked);
        return quietWhenRead && said.size() == 1 && said[0].contains(QStringLiteral("読み取れません")) &&
               said[0].contains(QStringLiteral("アクセスが拒否されました")) &&
               locked->data(0, Qt::ToolTipRole).toString() == said[0] && boxes.Messages().empty();
    }));
}

TEST_F(TreeView, ALockedFileListHoldsTheSelectionUntilItsFolderGoes) {
    MakeFolders(temp_, {"one", "two", "other"});
    TSHListView list;
    std::vector<bool> lockEvents;
    list.OnShFolderLock = [&](TSHListView*, bool lock) { lockEvents.push_back(lock); };
    tree_.SetShellListView(&list);
    Select(temp_.File("one"));
    EXPECT_EQ(list.FolderPath().toStdString(), temp_.File("one"));
    list.SetLocked(true);
    EXPECT_FALSE(tree_.SelectPath(QString::fromStdString(temp_.File("two"))));
    EXPECT_EQ(NodePath(tree_.SelectedNode()), temp_.File("one"));
    EXPECT_EQ(list.FolderPath().toStdString(), temp_.File("one"));

    ASSERT_EQ(rmdir(temp_.File("other").c_str()), 0);
    tree_.RefreshAll();
    ASSERT_TRUE(Settled());
    EXPECT_TRUE(list.Locked()) << "another folder going leaves the lock";
    ASSERT_EQ(rmdir(temp_.File("one").c_str()), 0);
    tree_.RefreshAll();
    ASSERT_TRUE(Settled());
    EXPECT_FALSE(list.Locked());
    EXPECT_EQ(lockEvents, (std::vector<bool>{true, false}));
    EXPECT_EQ(list.FolderPath().toStdString(), temp_.Path());
}

// A real mount: a memory file system mounted below /mnt, as a stick is.
class TestMount {
public:
    TestMount() : point_("/mnt/kelvandor-tree-" + std::to_string(getpid())) { mkdir(point_.c_str(), 0755); }
    ~TestMount() {
        Unmount();
        rmdir(point_.c_str());
    }
    bool Mount() { return mounted_ = RunCommand("mount -t tmpfs kelvandor-test '" + point_ + "' 2>/dev/null"); }
    void Unmount() {
        if (mounted_) RunCommand("umount '" + point_ + "'");
        mounted_ = false;
    }
    const std::string& Point() const { return point_; }

private:
    std::string point_;
    bool mounted_ = false;
};

TEST_F(TreeView, DrivesAppearWhenMountedAndTakeTheSelectionUpWhenUnmounted) {
    IDList drivesList = Special(sfDrives);
    ASSERT_TRUE(tree_.SelectIDList(drivesList));
    FreeIDList(drivesList);
    TSHTreeNode* drives = Expand(tree_.SelectedNode());
    TestMount stick;
    if (!stick.Mount()) GTEST_SKIP() << "this system lets no test mount a file system";
    const platform::UniqueIDList driveList = platform::DriveIDList(stick.Point());
    ASSERT_TRUE(ProcessEventsUntil([&] { return tree_.FindNode(driveList.get()) != nullptr; }));

    ASSERT_EQ(mkdir((stick.Point() + "/photos").c_str(), 0755), 0);
    Select(stick.Point() + "/photos");
    ASSERT_EQ(NodePath(tree_.SelectedNode()), stick.Point() + "/photos");
    stick.Unmount();
    ASSERT_TRUE(ProcessEventsUntil([&] { return tree_.FindNode(driveList.get()) == nullptr; }));
    EXPECT_EQ(tree_.SelectedNode(), drives);
}

TEST(FolderTreeView, ListsMatchingFilesBesideTheFolders) {
    TempFolder temp;
    ASSERT_EQ(mkdir(temp.File("photos").c_str(), 0755), 0);
    temp.Write("photos/a.JPG", "j");
    temp.Write("photos/b.txt", "t");
    TSHFolderTreeView tree;
    ASSERT_TRUE(tree.SelectPath(QString::fromStdString(temp.Path())));
    ExpandRead(tree, tree.SelectedNode());
    IDList photosList = PathList(temp.File("photos"));
    TSHTreeNode* photos = tree.FindNode(photosList);
    ASSERT_NE(photos, nullptr);
    // No mask lists no files, yet the folder first offers to expand.
    EXPECT_TRUE(photos->HasChildren());
    ExpandRead(tree, photos);
    EXPECT_EQ(photos->childCount(), 0);
    EXPECT_FALSE(photos->HasChildren());

    tree.SetFileMask(QStringLiteral("*.jpg;*.png"));
    ASSERT_TRUE(ReadingsDone(tree));
    photos = ExpandRead(tree, tree.FindNode(photosList));
    ASSERT_NE(photos, nullptr);
    EXPECT_EQ(Joined(ChildTexts(photos)), "a.JPG");
    FreeIDList(photosList);
}

}  // namespace
