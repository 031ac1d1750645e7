#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include "id_lists.h"
#include "shell/shell_combo_box.h"
#include "shell/shell_tree_view.h"
#include "support/scripted_message_boxes.h"
#include "support/temp_folder.h"

namespace {

std::string EntryPath(TSHComboItem* entry) { return entry ? entry->GetNativePath() : std::string(); }

// A tree and a combo bound to each other over a temporary folder tree.
class ComboBox : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"a", "a/b", "a/b/c", "target"}) ASSERT_EQ(mkdir(temp_.File(name).c_str(), 0755), 0);
        tree_.SetShellComboBox(&combo_);
        combo_.resize(400, 30);
        combo_.show();
    }
    TSHComboItem* Current() { return combo_.Entry(combo_.currentIndex()); }
    int TemporaryCount() {
        int count = 0;
        for (int i = 0; i < combo_.EntryCount(); ++i) count += combo_.Entry(i)->Temporary() ? 1 : 0;
        return count;
    }

    TempFolder temp_;
    ScriptedMessageBoxes boxes_;
    TSHTreeView tree_;
    TSHComboBox combo_;
};

TEST_F(ComboBox, ListsTheDesktopItsPlacesAndTheFirstPlacesChildrenIndented) {
    ASSERT_GT(combo_.EntryCount(), 5);
    EXPECT_EQ(combo_.Entry(0)->GetLevel(), 0);
    EXPECT_EQ(combo_.Entry(0)->GetDisplayName(), QStringLiteral("デスクトップ"));
    EXPECT_EQ(combo_.EditText(combo_.Entry(0)), QStringLiteral("デスクトップ"));
    EXPECT_EQ(combo_.Entry(1)->GetDisplayName(), QStringLiteral("ホーム"));
    for (int i = 1; i < combo_.EntryCount(); ++i) {
        EXPECT_LE(combo_.Entry(i)->GetLevel(), 2);
        EXPECT_FALSE(combo_.Entry(i)->Temporary());
    }
    EXPECT_EQ(combo_.count(), combo_.EntryCount());
    EXPECT_GE(combo_.ItemHeight(), TSHComboBox::kMinItemHeight);
    EXPECT_EQ(Current(), combo_.Entry(0));
}

TEST_F(ComboBox, FollowsTheTreeWithAnIndentedChainThatGoesWhenItMovesOn) {
    ASSERT_TRUE(tree_.SelectPath(QString::fromStdString(temp_.File("a/b/c"))));
    EXPECT_EQ(EntryPath(Current()), temp_.File("a/b/c"));
    EXPECT_EQ(combo_.EditText(Current()), QString::fromStdString(temp_.File("a/b/c")));
    const int level = Current()->GetLevel();
    EXPECT_EQ(combo_.Entry(combo_.currentIndex() - 1)->GetLevel(), level - 1);
    EXPECT_EQ(EntryPath(combo_.Entry(combo_.currentIndex() - 1)), temp_.File("a/b"));
    EXPECT_GT(TemporaryCount(), 3);

    // The home place is in the list for good: the chain goes.
    IDList home = PathList(platform::HomeDirectory());
    ASSERT_TRUE(tree_.SelectIDList(home));
    FreeIDList(home);
    EXPECT_EQ(EntryPath(Current()), platform::HomeDirectory());
    EXPECT_EQ(TemporaryCount(), 0);
}

TEST_F(ComboBox, PickingAnEntryOfTheChainMovesTheTreeAndCutsTheChainBelow) {
    ASSERT_TRUE(tree_.SelectPath(QString::fromStdString(temp_.File("a/b/c"))));
    const int entries = combo_.EntryCount();
    combo_.setFocus();
    QTest::keyClick(&combo_, Qt::Key_Up);
    EXPECT_EQ(EntryPath(Current()), temp_.File("a/b"));
    EXPECT_EQ(tree_.SelectedPath(), QString::fromStdString(temp_.File("a/b")));
    EXPECT_EQ(combo_.EntryCount(), entries - 1);
}

TEST_F(ComboBox, FilesDroppedOnItGoIntoTheCurrentFolder) {
    temp_.Write("a/photo.jpg", "jpeg");
    ASSERT_TRUE(tree_.SelectPath(QString::fromStdString(temp_.File("target"))));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(temp_.File("a/photo.jpg")))});
    const QPoint pos(20, 10);
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(pos, actions, &data, Qt::LeftButton, Qt::ControlModifier);
    QApplication::sendEvent(&combo_, &enter);
    QDragMoveEvent move(pos, actions, &data, Qt::LeftButton, Qt::ControlModifier);
    QApplication::sendEvent(&combo_, &move);
    ASSERT_TRUE(move.isAccepted());
    QDropEvent drop(pos, actions, &data, Qt::NoButton, Qt::ControlModifier);
    QApplication::sendEvent(&combo_, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(ReadFileBytes(temp_.File("target/photo.jpg")).size(), 4u);
    EXPECT_EQ(ReadFileBytes(temp_.File("a/photo.jpg")).size(), 4u);

    // Text is no shell data.
    QMimeData text;
    text.setText(QStringLiteral("hello"));
    QDragEnterEvent refused(pos, actions, &text, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&combo_, &refused);
    EXPECT_FALSE(refused.isAccepted());
}

}  // namespace
