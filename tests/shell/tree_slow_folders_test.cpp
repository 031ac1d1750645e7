#include <gtest/gtest.h>

#include <string>

#include <QTimer>

#include "id_lists.h"
#include "main_thread_wait.h"
#include "shell/shell_file_actions.h"
#include "shell/shell_tree_view.h"
#include "support/action_state.h"
#include "support/scripted_message_boxes.h"
#include "support/slow_mount.h"
#include "support/temp_folder.h"
#include "support/tree_readings.h"

namespace {

#define SKIP_WITHOUT_FUSE()                                                                       \
    if (const std::string reason = TSlowMount::Unavailable(); !reason.empty()) GTEST_SKIP() << reason

const QString kNotAnswering = QStringLiteral("応答がありません");

// Whether the main thread still runs its events: a queued call comes
// through.
bool EventsFlow() {
    bool ran = false;
    QTimer::singleShot(0, [&ran] { ran = true; });
    return ProcessEventsUntil([&ran] { return ran; });
}

TSHTreeNode* ChildCalled(const TSHTreeNode* node, const QString& name) {
    for (int i = 0; node && i < node->childCount(); ++i)
        if (node->ChildNode(i)->Item()->GetDisplayName() == name) return node->ChildNode(i);
    return nullptr;
}

// A shown tree beside a folder mirrored through the slow file system, in
// which "stuck" never answers until the mount goes.
class TreeSlowFolders : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_WITHOUT_FUSE();
        MakeFolders(source_, {"fine", "fine/inner", "stuck", "stuck/deeper"});
        MakeFolders(local_, {"here", "here/below"});
        mount_ = std::make_unique<TSlowMount>(source_.Path(), TSlowMount::TOptions{.delay = {}, .hungPaths = {"stuck"}});
        ASSERT_TRUE(mount_->Mounted()) << mount_->Error();
        QObject::connect(&tree_, &TSHTreeView::FolderUnreadable, [this](const QString& text) { said_ << text; });
        tree_.resize(400, 600);
        tree_.show();
        ASSERT_TRUE(ReadingsDone(tree_));
    }
    void TearDown() override {
        if (mount_) mount_->Unmount();
    }
    TSHTreeNode* Select(const std::string& path) {
        return tree_.SelectPath(QString::fromStdString(path)) ? tree_.SelectedNode() : nullptr;
    }

    ScriptedMessageBoxes boxes_;
    TempFolder source_;
    TempFolder local_;
    std::unique_ptr<TSlowMount> mount_;
    TSHTreeView tree_;
    QStringList said_;
};

// The mount's folder lists its children at once; looking at the stuck one
// never ends, so the folder says it does not answer, and the user works
// elsewhere meanwhile. When the mount goes, the answer is shown.
TEST_F(TreeSlowFolders, AFolderThatDoesNotAnswerSaysSoAndTheRestStaysUsable) {
    TSHTreeNode* top = Select(mount_->Path());
    ASSERT_NE(top, nullptr);
    top->setExpanded(true);
    ASSERT_TRUE(ProcessEventsUntil([&] { return top->NotAnswering(); }));
    EXPECT_TRUE(top->isExpanded()) << "the expansion asked for holds";
    EXPECT_TRUE(tree_.IsReading(top));
    EXPECT_TRUE(top->text(0).contains(kNotAnswering));
    EXPECT_EQ(top->data(0, Qt::ToolTipRole).toString(), kNotAnswering);
    EXPECT_TRUE(said_.contains(kNotAnswering)) << "the status tells of a folder the user opened";
    TSHTreeNode* fine = ChildCalled(top, "fine");
    TSHTreeNode* stuck = ChildCalled(top, "stuck");
    ASSERT_NE(fine, nullptr) << "the names come before the children's facts";
    ASSERT_NE(stuck, nullptr);
    EXPECT_TRUE(stuck->HasChildren()) << "a child not yet looked at offers to expand";

    // Elsewhere, on the same mount and off it, folders open as ever.
    fine->setExpanded(true);
    ASSERT_TRUE(ProcessEventsUntil([&] { return !tree_.IsReading(fine); }));
    EXPECT_EQ(fine->childCount(), 1);
    EXPECT_TRUE(ChildCalled(fine, "inner"));
    TSHTreeNode* here = Select(local_.File("here"));
    ASSERT_NE(here, nullptr);
    here->setExpanded(true);
    ASSERT_TRUE(ProcessEventsUntil([&] { return !tree_.IsReading(here); }));
    EXPECT_TRUE(ChildCalled(here, "below"));
    EXPECT_TRUE(top->NotAnswering());

    // The stuck folder itself, opened, waits too, without holding anything.
    stuck->setExpanded(true);
    ASSERT_TRUE(ProcessEventsUntil([&] { return stuck->NotAnswering(); }));
    EXPECT_TRUE(EventsFlow());
    EXPECT_EQ(tree_.SelectedNode(), here);

    // The mount going fails the hung calls: the answers come and are shown.
    mount_->Unmount();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !tree_.IsReading(top) && !tree_.IsReading(stuck); }));
    EXPECT_FALSE(top->NotAnswering());
    EXPECT_FALSE(stuck->NotAnswering());
    EXPECT_FALSE(top->text(0).contains(kNotAnswering));
    EXPECT_TRUE(boxes_.Messages().empty());
}

// The list follows a folder below the stuck one: the tree selects it at
// once from its list alone, the way there expanded, and fills in the
// folders as they answer.
TEST_F(TreeSlowFolders, APlaceBelowAFolderThatDoesNotAnswerIsSelectedAtOnce) {
    const platform::UniqueIDList top = platform::IDListOfPath(mount_->Path());
    ASSERT_NE(top, nullptr);
    const platform::UniqueIDList stuck = platform::MakeItem(platform::ShellItemKind::Folder, "stuck");
    const platform::UniqueIDList deeper = platform::MakeItem(platform::ShellItemKind::Folder, "deeper");
    const platform::UniqueIDList way = platform::JoinIDLists(top.get(), stuck.get());
    const platform::UniqueIDList place = platform::JoinIDLists(way.get(), deeper.get());

    ASSERT_TRUE(tree_.SelectIDList(place.get()));
    TSHTreeNode* selected = tree_.SelectedNode();
    ASSERT_NE(selected, nullptr);
    EXPECT_EQ(selected->text(0), "deeper");
    EXPECT_EQ(selected->Item()->GetNativePath(), mount_->File("stuck/deeper"));
    EXPECT_TRUE(selected->ParentNode()->isExpanded());
    ASSERT_TRUE(ProcessEventsUntil([&] { return selected->ParentNode()->NotAnswering(); }));
    EXPECT_TRUE(EventsFlow());
    // The commands' idle pass asks the node, not its file system: off
    // until the folder answers.
    TSHFileRename rename;
    TSHFileDelete remove;
    EXPECT_FALSE(EnabledOn(rename, &tree_));
    EXPECT_FALSE(EnabledOn(remove, &tree_));
    // Back goes where the tree was.
    EXPECT_FALSE(tree_.Back(-1));
    EXPECT_EQ(tree_.SelectedNode(), tree_.RootNode());
}

// A tree closed while a reading hangs goes at once; the reading's thread
// ends when its call does and finds nobody to answer to.
TEST_F(TreeSlowFolders, ATreeGoesAtOnceWhileAFolderDoesNotAnswer) {
    auto tree = std::make_unique<TSHTreeView>();
    ASSERT_TRUE(tree->SelectPath(QString::fromStdString(mount_->File("fine"))));
    TSHTreeNode* top = tree->SelectedNode()->ParentNode();
    top->setExpanded(true);
    ASSERT_TRUE(ProcessEventsUntil([&] { return top->NotAnswering(); }));
    {
        HangGuard guard(std::chrono::seconds(20));
        tree.reset();
    }
    mount_->Unmount();
    EXPECT_TRUE(EventsFlow());
}

}  // namespace
