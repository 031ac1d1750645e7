#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <QTimer>

#include "id_lists.h"
#include "platform/shell_collation.h"
#include "platform/shell_item_id.h"
#include "shell/shell_list_view.h"
#include "support/event_wait.h"
#include "support/listing_wait.h"
#include "support/slow_mount.h"
#include "support/temp_folder.h"

namespace {

#define SKIP_WITHOUT_FUSE()                                                                       \
    if (const std::string reason = TSlowMount::Unavailable(); !reason.empty()) GTEST_SKIP() << reason

// The absolute list of a folder below root, made without asking the file
// system about it (which would wait for ever on a folder that hangs).
IDList ListBelow(const std::string& root, const std::string& name) {
    IDList parent = PathList(root);
    const platform::UniqueIDList item = platform::MakeItem(platform::ShellItemKind::Folder, name);
    IDList absolute = ConcatIDList(parent, item.get());
    FreeIDList(parent);
    return absolute;
}

void Show(TSHListView& view, IDList folder) {
    ASSERT_NE(folder, nullptr);
    view.SetFolderIDList(folder);
    FreeIDList(folder);
}

std::vector<std::string> Names(TSHFileList& list) {
    std::vector<std::string> names;
    for (int row = 0; row < list.Count(); ++row) names.push_back(list.GetItem(row)->GetDisplayName().toStdString());
    return names;
}

bool InNameOrder(TSHFileList& list) {
    const std::vector<std::string> names = Names(list);
    return std::is_sorted(names.begin(), names.end(),
                          [](const std::string& a, const std::string& b) { return platform::NaturalCompare(a, b) < 0; });
}

class FolderListingTest : public ::testing::Test {
protected:
    void SetUp() override {
        view.resize(400, 300);
        view.SetViewStyle(vsReport);
        view.show();
    }

    TempFolder source;
    TSHListView view;
};

TEST_F(FolderListingTest, RowsComeInOrderWhileTheWindowAnswersAndTheUserKeepsHisPlace) {
    SKIP_WITHOUT_FUSE();
    std::vector<std::string> expected;
    for (int i = 0; i < 40; ++i) {
        const std::string name = "photo" + std::to_string(i) + ".png";
        WriteBytes(source.File(name), static_cast<std::size_t>(1 + (i * 37) % 100));
        expected.push_back(name);
    }
    std::sort(expected.begin(), expected.end(),
              [](const std::string& a, const std::string& b) { return platform::NaturalCompare(a, b) < 0; });
    TSlowMount mount(source.Path(), {.delay = std::chrono::milliseconds(15), .hungPaths = {}});
    ASSERT_TRUE(mount.Mounted()) << mount.Error();

    TSHFileList& list = view.FileList();
    bool alwaysInOrder = true;
    QObject::connect(&view, &TSHListView::FileListChanged, [&] { alwaysInOrder = alwaysInOrder && InNameOrder(list); });
    Show(view, PathList(mount.Path()));

    // The window answers while the folder is read: a timer fires, and a
    // row can be chosen among those already in.
    bool timerFired = false;
    QTimer::singleShot(0, [&] { timerFired = true; });
    ASSERT_TRUE(ProcessEventsUntil([&] { return timerFired; }));
    ASSERT_TRUE(ProcessEventsUntil([&] { return list.Count() >= 2 || !list.Listing(); }));
    EXPECT_TRUE(list.Listing()) << "forty entries at 15 ms a call are not read at once";
    const QString chosen = list.GetItem(1)->GetDisplayName();
    view.SetSelectedRows({1});
    view.SetFocusedRow(1);

    ASSERT_TRUE(WaitUntilListed(view));
    EXPECT_TRUE(alwaysInOrder);
    EXPECT_EQ(Names(list), expected) << "every entry once";
    ASSERT_EQ(view.SelectedRows().size(), 1u);
    EXPECT_EQ(list.GetItem(view.SelectedRows().front())->GetDisplayName(), chosen) << "the choice stays on its entry";
    EXPECT_EQ(list.GetItem(view.FocusedRow())->GetDisplayName(), chosen);

    // An entry asked for before it came is selected when it comes, and a new
    // order asked for during the reading holds for all entries.
    list.Reload();
    ASSERT_TRUE(list.Listing());
    list.SelectEntryWhenListed(expected.back());
    alwaysInOrder = true;
    view.SetSort(hcSize, 1);
    ASSERT_TRUE(WaitUntilListed(view));
    ASSERT_EQ(list.Count(), 40);
    for (int row = 0; row + 1 < list.Count(); ++row) EXPECT_LE(list.GetItem(row)->Size(), list.GetItem(row + 1)->Size());
    ASSERT_EQ(view.SelectedRows().size(), 1u);
    EXPECT_EQ(list.GetItem(view.SelectedRows().front())->GetDisplayName().toStdString(), expected.back());
}

TEST_F(FolderListingTest, AFolderThatNeverAnswersSaysSoWhileTheUserGoesElsewhere) {
    SKIP_WITHOUT_FUSE();
    MakeFolders(source, {"stuck"});
    WriteBytes(source.File("stuck/inside.png"), 10);
    TSlowMount mount(source.Path(), {.delay = std::chrono::milliseconds(0), .hungPaths = {"stuck"}});
    ASSERT_TRUE(mount.Mounted()) << mount.Error();
    TSHFileList& list = view.FileList();

    Show(view, ListBelow(mount.Path(), "stuck"));
    ASSERT_TRUE(ProcessEventsUntil([&] { return list.NotAnswering(); }));
    EXPECT_EQ(list.ReadFailureText(), QStringLiteral("応答がありません"));
    EXPECT_EQ(view.EmptyText(), QStringLiteral("応答がありません"));
    EXPECT_TRUE(list.Listing());

    TempFolder elsewhere;
    WriteBytes(elsewhere.File("here.png"), 5);
    Show(view, PathList(elsewhere.Path()));
    ASSERT_TRUE(WaitUntilListed(view));
    EXPECT_EQ(Names(list), std::vector<std::string>{"here.png"});
    EXPECT_TRUE(view.EmptyText().isEmpty());

    // The answer, when it comes, is shown: here the mount goes, the waiting
    // call fails, and the folder is no more.
    Show(view, ListBelow(mount.Path(), "stuck"));
    ASSERT_TRUE(ProcessEventsUntil([&] { return list.NotAnswering(); }));
    mount.Unmount();
    ASSERT_TRUE(WaitUntilListed(view));
    EXPECT_FALSE(list.NotAnswering());
    EXPECT_EQ(list.Count(), 0);
    EXPECT_TRUE(view.EmptyText().isEmpty());
}

}  // namespace
