#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "main_thread_wait.h"
#include "platform/inotify_watch.h"
#include "shell/shell_id_func.h"
#include "shell/shell_list_view.h"
#include "shell/shell_notify.h"
#include "support/slow_mount.h"
#include "support/temp_folder.h"

using std::chrono::milliseconds;

namespace {

// Long enough for a look that finds a change, its quiet period and a
// second look that would report it again.
const milliseconds kAfterTwoLooks(2 * kFolderPollMs + kFolderQuietMs + 700);

#define SKIP_WITHOUT_FUSE()                                                                       \
    if (const std::string reason = TSlowMount::Unavailable(); !reason.empty()) GTEST_SKIP() << reason

// A file made in the mirrored folder itself never passes through the
// mount, so inotify on the mount cannot see it: only a look can.
TEST(FilesWatcherPolling, AFileAddedBehindTheMountIsReportedOnce) {
    SKIP_WITHOUT_FUSE();
    TempFolder source;
    TSlowMount mount(source.Path(), {});
    ASSERT_TRUE(mount.Mounted()) << mount.Error();
    std::vector<std::string> reported;
    TShFilesWatcher watcher(mount.Path(), platform::kChangeFileName,
                            [&](TShFilesWatcher*, const std::string& path) { reported.push_back(path); });
    // The first look, which finds the kind and the starting point, is
    // taken before the file comes.
    ProcessEventsFor(milliseconds(kFolderPollMs / 2));

    source.Write("behind.txt", "x");
    ASSERT_TRUE(ProcessEventsUntil([&] { return !reported.empty(); }));
    EXPECT_EQ(reported[0], mount.Path());
    ProcessEventsFor(kAfterTwoLooks);
    EXPECT_EQ(reported.size(), 1u);
}

// Every look at a mount that never answers hangs in its first call; the
// watcher must still move on and end at once.
TEST(FilesWatcherPolling, AHungLookHoldsUpNeitherANewPathNorTheEnd) {
    SKIP_WITHOUT_FUSE();
    HangGuard guard(std::chrono::seconds(60));
    TempFolder source;
    TempFolder local;
    TSlowMount mount(source.Path(), {.delay = {}, .hungPaths = {"/"}});
    ASSERT_TRUE(mount.Mounted()) << mount.Error();
    std::vector<std::string> reported;
    auto watcher = std::make_unique<TShFilesWatcher>(
        mount.Path(), platform::kChangeFileName,
        [&](TShFilesWatcher*, const std::string& path) { reported.push_back(path); });
    ProcessEventsFor(milliseconds(kFolderPollMs / 2));

    watcher->SetPath(local.Path());
    local.Write("seen.txt", "x");
    ASSERT_TRUE(ProcessEventsUntil([&] { return !reported.empty(); }));
    EXPECT_EQ(reported[0], local.Path());

    watcher->SetPath(mount.Path());
    ProcessEventsFor(milliseconds(kFolderPollMs / 2));
    watcher.reset();
    mount.Unmount();
}

// The list itself, over a folder on the mount: what others add there
// shows up.
TEST(FilesWatcherPolling, TheListShowsAFileAddedBehindTheMount) {
    SKIP_WITHOUT_FUSE();
    TempFolder source;
    source.Write("first.txt", "x");
    TSlowMount mount(source.Path(), {});
    ASSERT_TRUE(mount.Mounted()) << mount.Error();
    TSHListView view;
    view.show();
    IDList folder = nullptr;
    ASSERT_TRUE(IDListFromNativePath(mount.Path(), folder));
    view.SetFolderIDList(folder);
    FreeIDList(folder);
    ASSERT_TRUE(ProcessEventsUntil([&] { return view.RowCount() == 1; }));
    ProcessEventsFor(milliseconds(kFolderPollMs / 2));

    source.Write("second.txt", "y");
    ASSERT_TRUE(ProcessEventsUntil([&] { return view.RowCount() == 2; }));
}

}  // namespace
