#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/inotify_watch.h"
#include "platform/wait_event.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;
using platform::InotifyWatch;
using platform::WaitEvent;
using ReadResult = InotifyWatch::ReadResult;

namespace {

// inotify queues events during the system call that causes them, so a read
// right after an operation sees them without waiting.
ReadResult ChangesAfter(InotifyWatch& watch, const std::function<void()>& operation) {
    operation();
    return watch.ReadChanges();
}

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

}  // namespace

TEST(InotifyWatch, TheFilterDecidesWhichChangesCount) {
    TempFolder folder;
    WriteText(folder.File("existing.txt"), "old");

    InotifyWatch folderNames(platform::kChangeDirName);
    ASSERT_TRUE(folderNames.Add(folder.Path()));
    EXPECT_EQ(ChangesAfter(folderNames, [&] { WriteText(folder.File("new.txt"), "x"); }),
              ReadResult::NoChange);
    EXPECT_EQ(ChangesAfter(folderNames, [&] { fs::create_directory(folder.File("sub")); }),
              ReadResult::Changed);
    EXPECT_EQ(ChangesAfter(folderNames, [&] { fs::rename(folder.File("sub"), folder.File("moved")); }),
              ReadResult::Changed);

    InotifyWatch fileNames(platform::kChangeFileName);
    ASSERT_TRUE(fileNames.Add(folder.Path()));
    EXPECT_EQ(ChangesAfter(fileNames, [&] { fs::create_directory(folder.File("other")); }),
              ReadResult::NoChange);
    EXPECT_EQ(ChangesAfter(fileNames, [&] { fs::rename(folder.File("new.txt"), folder.File("renamed.txt")); }),
              ReadResult::Changed);
    EXPECT_EQ(ChangesAfter(fileNames, [&] { fs::remove(folder.File("renamed.txt")); }),
              ReadResult::Changed);

    InotifyWatch details(platform::kChangeAttributes | platform::kChangeSize | platform::kChangeLastWrite);
    ASSERT_TRUE(details.Add(folder.Path()));
    EXPECT_EQ(ChangesAfter(details, [&] { fs::create_directory(folder.File("third")); }),
              ReadResult::NoChange);
    EXPECT_EQ(ChangesAfter(details, [&] { WriteText(folder.File("existing.txt"), "longer text"); }),
              ReadResult::Changed);
    EXPECT_EQ(ChangesAfter(details, [&] { chmod(folder.File("existing.txt").c_str(), 0400); }),
              ReadResult::Changed);
}

TEST(InotifyWatch, SubfoldersAreWatchedDownToTheDepthAsked) {
    TempFolder folder;
    fs::create_directories(folder.File("a/b"));

    InotifyWatch flat(platform::kChangeDirName);
    ASSERT_TRUE(flat.Add(folder.Path(), 0));
    EXPECT_EQ(ChangesAfter(flat, [&] { fs::create_directory(folder.File("a/x")); }), ReadResult::NoChange);

    InotifyWatch oneLevel(platform::kChangeDirName);
    ASSERT_TRUE(oneLevel.Add(folder.Path(), 1));
    EXPECT_EQ(ChangesAfter(oneLevel, [&] { fs::create_directory(folder.File("a/y")); }), ReadResult::Changed);
    EXPECT_EQ(ChangesAfter(oneLevel, [&] { fs::create_directory(folder.File("a/b/z")); }),
              ReadResult::NoChange);

    InotifyWatch whole(platform::kChangeDirName);
    ASSERT_TRUE(whole.Add(folder.Path(), InotifyWatch::kUnlimitedDepth));
    EXPECT_EQ(ChangesAfter(whole, [&] { fs::create_directory(folder.File("a/b/z2")); }), ReadResult::Changed);
    // A whole branch made at once: its inner folders exist before the
    // watch of its top does, and must still be watched.
    EXPECT_EQ(ChangesAfter(whole, [&] { fs::create_directories(folder.File("c/d/e")); }), ReadResult::Changed);
    EXPECT_EQ(ChangesAfter(whole, [&] { fs::create_directory(folder.File("c/d/e/f")); }), ReadResult::Changed);
    // A folder moved in from outside is watched at its new place.
    TempFolder outside;
    fs::create_directory(outside.File("m"));
    EXPECT_EQ(ChangesAfter(whole, [&] { fs::rename(outside.File("m"), folder.File("a/m")); }), ReadResult::Changed);
    EXPECT_EQ(ChangesAfter(whole, [&] { fs::create_directory(folder.File("a/m/n")); }), ReadResult::Changed);
}

TEST(InotifyWatch, RenamedFoldersKeepTheirWholeSubtreeWatched) {
    TempFolder folder;
    fs::create_directories(folder.File("tree/a/b"));
    InotifyWatch whole(platform::kChangeDirName);
    ASSERT_TRUE(whole.Add(folder.File("tree"), InotifyWatch::kUnlimitedDepth));

    // A folder renamed inside the tree: folders made below it later are
    // watched, so changes inside those are reported.
    EXPECT_EQ(ChangesAfter(whole, [&] { fs::rename(folder.File("tree/a"), folder.File("tree/c")); }),
              ReadResult::Changed);
    EXPECT_EQ(ChangesAfter(whole, [&] { fs::create_directory(folder.File("tree/c/b/new")); }), ReadResult::Changed);
    EXPECT_EQ(ChangesAfter(whole, [&] { fs::create_directory(folder.File("tree/c/b/new/deeper")); }),
              ReadResult::Changed);
    // Moved to another place in the tree.
    EXPECT_EQ(ChangesAfter(whole, [&] { fs::rename(folder.File("tree/c/b"), folder.File("tree/b")); }),
              ReadResult::Changed);
    EXPECT_EQ(ChangesAfter(whole, [&] { fs::create_directory(folder.File("tree/b/new/deeper/x")); }),
              ReadResult::Changed);
    EXPECT_EQ(ChangesAfter(whole, [&] { fs::create_directory(folder.File("tree/b/new/deeper/x/y")); }),
              ReadResult::Changed);

    // The watched folder itself renamed.
    EXPECT_EQ(ChangesAfter(whole, [&] { fs::rename(folder.File("tree"), folder.File("renamed")); }),
              ReadResult::Changed);
    EXPECT_EQ(ChangesAfter(whole, [&] { fs::create_directory(folder.File("renamed/top")); }), ReadResult::Changed);
    EXPECT_EQ(ChangesAfter(whole, [&] { fs::create_directory(folder.File("renamed/top/inner")); }),
              ReadResult::Changed);

    // A folder moved out of the tree no longer reports.
    EXPECT_EQ(ChangesAfter(whole, [&] { fs::rename(folder.File("renamed/b"), folder.File("outside")); }),
              ReadResult::Changed);
    EXPECT_EQ(ChangesAfter(whole, [&] { fs::create_directory(folder.File("outside/new/later")); }),
              ReadResult::NoChange);

    // The same with the depth the folder tree uses: a renamed root still
    // watches the subfolders made in it.
    fs::create_directory(folder.File("shallow"));
    InotifyWatch oneLevel(platform::kChangeDirName);
    ASSERT_TRUE(oneLevel.Add(folder.File("shallow"), 1));
    EXPECT_EQ(ChangesAfter(oneLevel, [&] { fs::rename(folder.File("shallow"), folder.File("moved")); }),
              ReadResult::Changed);
    EXPECT_EQ(ChangesAfter(oneLevel, [&] { fs::create_directory(folder.File("moved/sub")); }), ReadResult::Changed);
    EXPECT_EQ(ChangesAfter(oneLevel, [&] { fs::create_directory(folder.File("moved/sub/child")); }),
              ReadResult::Changed);
    EXPECT_EQ(ChangesAfter(oneLevel, [&] { fs::create_directory(folder.File("moved/sub/child/too-deep")); }),
              ReadResult::NoChange);
}

TEST(InotifyWatch, ChangesAreToldByFolderAndName) {
    TempFolder folder;
    fs::create_directories(folder.File("tree/a"));
    InotifyWatch watch(platform::kChangeDirName);
    ASSERT_TRUE(watch.Add(folder.File("tree"), 1));
    ASSERT_TRUE(watch.Add(folder.File("tree/a"), 1));
    platform::FolderChanges changes;
    EXPECT_EQ(ChangesAfter(watch, [&] {}), ReadResult::NoChange);
    fs::create_directory(folder.File("tree/new"));
    fs::create_directory(folder.File("tree/a/inner"));
    WriteText(folder.File("tree/a file"), "x");  // not a folder: not asked for
    ASSERT_EQ(watch.ReadChanges(&changes), ReadResult::Changed);
    // A watched folder renamed inside a watched folder is told by name there.
    fs::rename(folder.File("tree/a"), folder.File("tree/b"));
    ASSERT_EQ(watch.ReadChanges(&changes), ReadResult::Changed);
    EXPECT_FALSE(changes.whole);
    using Names = std::set<std::string>;
    EXPECT_EQ(changes.names, (std::map<std::string, Names>{{folder.File("tree"), Names{"a", "b", "new"}},
                                                          {folder.File("tree/a"), Names{"inner"}}}));

    // A watched folder gone with nothing watched holding it: only a whole
    // refresh can tell.
    platform::FolderChanges gone;
    fs::remove_all(folder.File("tree"));
    ASSERT_EQ(watch.ReadChanges(&gone), ReadResult::Changed);
    EXPECT_TRUE(gone.whole);
    EXPECT_TRUE(gone.names.empty());
}

TEST(InotifyWatch, LinkLoopsAreNotFollowed) {
    TempFolder folder;
    fs::create_directories(folder.File("a/b"));
    fs::create_directory_symlink(folder.Path(), folder.File("a/b/loop"));
    InotifyWatch whole(platform::kChangeDirName);
    ASSERT_TRUE(whole.Add(folder.Path(), InotifyWatch::kUnlimitedDepth));
    EXPECT_EQ(whole.WatchCount(), 3u);
}

TEST(InotifyWatch, FoldersThatCannotBeWatchedAndFoldersThatGo) {
    TempFolder folder;
    WriteText(folder.File("file"), "x");
    InotifyWatch watch(platform::kChangeFileName);
    EXPECT_FALSE(watch.Add(folder.File("missing")));
    EXPECT_FALSE(watch.Add(folder.File("file")));

    fs::create_directory(folder.File("gone"));
    ASSERT_TRUE(watch.Add(folder.File("gone")));
    // Whatever the filter, the watched folder going away is a change.
    InotifyWatch details(platform::kChangeSize);
    ASSERT_TRUE(details.Add(folder.File("gone")));
    fs::remove(folder.File("gone"));
    EXPECT_EQ(watch.ReadChanges(), ReadResult::Changed);
    EXPECT_EQ(details.ReadChanges(), ReadResult::Changed);
    EXPECT_EQ(watch.WatchCount(), 0u);
}

TEST(WaitForAny, ReportsTheFirstReadySourceAndResetsAutomaticEvents) {
    WaitEvent manual(WaitEvent::ResetMode::Manual);
    WaitEvent automatic(WaitEvent::ResetMode::Automatic);
    WaitEvent* events[] = {&manual, &automatic};
    using std::chrono::milliseconds;

    EXPECT_EQ(platform::WaitForAny(events, -1, milliseconds(0)), platform::kWaitTimedOut);

    automatic.Set();
    automatic.Set();  // two sets before a wait are one signal
    EXPECT_EQ(platform::WaitForAny(events, -1, milliseconds(0)), 1);
    EXPECT_EQ(platform::WaitForAny(events, -1, milliseconds(0)), platform::kWaitTimedOut);

    manual.Set();
    automatic.Set();
    EXPECT_EQ(platform::WaitForAny(events, -1, milliseconds(0)), 0);
    manual.Clear();
    EXPECT_EQ(platform::WaitForAny(events, -1, milliseconds(0)), 1);

    TempFolder folder;
    InotifyWatch watch(platform::kChangeDirName);
    ASSERT_TRUE(watch.Add(folder.Path()));
    fs::create_directory(folder.File("sub"));
    EXPECT_EQ(platform::WaitForAny(events, watch.Fd(), milliseconds(0)), 2);
    EXPECT_EQ(platform::WaitForAny(events, watch.Fd(), std::nullopt), 2);  // still pending
    watch.ReadChanges();
    EXPECT_EQ(platform::WaitForAny(events, watch.Fd(), milliseconds(0)), platform::kWaitTimedOut);

    // Another thread wakes a wait without time-out.
    std::thread setter([&] { automatic.Set(); });
    EXPECT_EQ(platform::WaitForAny(events, watch.Fd(), std::nullopt), 1);
    setter.join();
}
