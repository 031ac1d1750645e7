#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/folder_polling.h"
#include "platform/inotify_watch.h"
#include "support/slow_mount.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

constexpr unsigned kNames = platform::kChangeFileName | platform::kChangeDirName;
constexpr unsigned kDetails = platform::kChangeAttributes | platform::kChangeSize | platform::kChangeLastWrite;

void SetModified(const std::string& path, long seconds) {
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST(InotifyBlindness, NetworkAndFuseFileSystemsAreBlindLocalOnesAreNot) {
    EXPECT_TRUE(platform::IsInotifyBlindType(0x6969));      // NFS
    EXPECT_TRUE(platform::IsInotifyBlindType(0xFF534D42));  // CIFS
    EXPECT_TRUE(platform::IsInotifyBlindType(0x65735546));  // FUSE
    EXPECT_FALSE(platform::IsInotifyBlindType(0xEF53));     // ext4
    EXPECT_FALSE(platform::IsInotifyBlindType(0x01021994)); // tmpfs

    TempFolder local;
    EXPECT_EQ(platform::IsInotifyBlindAt(local.Path()), false);
    EXPECT_EQ(platform::IsInotifyBlindAt(local.File("missing")), std::nullopt);
}

TEST(InotifyBlindness, AFuseMountIsTold) {
    if (const std::string reason = TSlowMount::Unavailable(); !reason.empty()) GTEST_SKIP() << reason;
    TempFolder source;
    MakeFolders(source, {"sub"});
    TSlowMount mount(source.Path(), {});
    ASSERT_TRUE(mount.Mounted()) << mount.Error();
    EXPECT_EQ(platform::IsInotifyBlindAt(mount.Path()), true);
    EXPECT_EQ(platform::IsInotifyBlindAt(mount.File("sub")), true);
}

TEST(FolderSignature, StaysWhileNothingChangesAndMovesWithEachKindOfChange) {
    TempFolder folder;
    const std::string file = folder.Write("a.txt", "one");
    SetModified(file, 1000);
    MakeFolders(folder, {"sub"});
    const std::uint64_t first = platform::FolderSignature(folder.Path(), kDetails);
    EXPECT_EQ(platform::FolderSignature(folder.Path(), kDetails), first);

    folder.Write("b.txt", "");
    const std::uint64_t added = platform::FolderSignature(folder.Path(), kDetails);
    EXPECT_NE(added, first);
    fs::rename(folder.File("b.txt"), folder.File("c.txt"));
    const std::uint64_t renamed = platform::FolderSignature(folder.Path(), kDetails);
    EXPECT_NE(renamed, added);
    fs::remove(folder.File("c.txt"));
    EXPECT_EQ(platform::FolderSignature(folder.Path(), kDetails), first);

    std::ofstream(file, std::ios::app) << "more";
    SetModified(file, 1000);
    const std::uint64_t longer = platform::FolderSignature(folder.Path(), kDetails);
    EXPECT_NE(longer, first);
    SetModified(file, 2000);
    const std::uint64_t touched = platform::FolderSignature(folder.Path(), kDetails);
    EXPECT_NE(touched, longer);
    fs::permissions(file, fs::perms::owner_read);
    EXPECT_NE(platform::FolderSignature(folder.Path(), kDetails), touched);
}

// The names filter reads names only, as the names watcher asks: sizes and
// times are the details watcher's business.
TEST(FolderSignature, NamesAloneIgnoreSizesAndTimes) {
    TempFolder folder;
    const std::string file = folder.Write("a.txt", "one");
    const std::uint64_t first = platform::FolderSignature(folder.Path(), kNames);
    std::ofstream(file, std::ios::app) << "more";
    SetModified(file, 3000);
    EXPECT_EQ(platform::FolderSignature(folder.Path(), kNames), first);
    MakeFolders(folder, {"new"});
    EXPECT_NE(platform::FolderSignature(folder.Path(), kNames), first);
}

TEST(FolderSignature, AFolderThatCannotBeReadDiffersFromAnEmptyOne) {
    TempFolder folder;
    MakeFolders(folder, {"empty"});
    EXPECT_NE(platform::FolderSignature(folder.File("empty"), kNames),
              platform::FolderSignature(folder.File("missing"), kNames));
}

}  // namespace
