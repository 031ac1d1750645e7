#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <future>
#include <string>

#include "support/slow_mount.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;
using std::chrono::milliseconds;

namespace {

#define SKIP_WITHOUT_FUSE()                                                                       \
    if (const std::string reason = TSlowMount::Unavailable(); !reason.empty()) GTEST_SKIP() << reason

// The error of a stat through the mount; 0 when it succeeded.
int StatError(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? 0 : errno;
}

TEST(SlowMount, MirrorsTheFolderReadWrite) {
    SKIP_WITHOUT_FUSE();
    TempFolder source;
    source.Write("before.txt", "from the source");
    MakeFolders(source, {"sub"});
    TSlowMount mount(source.Path(), {});
    ASSERT_TRUE(mount.Mounted()) << mount.Error();

    const std::vector<unsigned char> read = ReadFileBytes(mount.File("before.txt"));
    EXPECT_EQ(std::string(read.begin(), read.end()), "from the source");
    EXPECT_TRUE(fs::is_directory(mount.File("sub")));

    TempFolder scratch;
    fs::copy_file(scratch.Write("made.txt", "through the mount"), mount.File("sub/made.txt"));
    const std::vector<unsigned char> written = ReadFileBytes(source.File("sub/made.txt"));
    EXPECT_EQ(std::string(written.begin(), written.end()), "through the mount");

    fs::rename(mount.File("before.txt"), mount.File("after.txt"));
    fs::remove(mount.File("sub/made.txt"));
    EXPECT_FALSE(Exists(source.File("before.txt")));
    EXPECT_TRUE(Exists(source.File("after.txt")));
    EXPECT_FALSE(Exists(source.File("sub/made.txt")));
}

// Only the lower bound is checked: a call can never be quicker than its
// delay, however loaded the machine.
TEST(SlowMount, EveryCallWaitsTheDelay) {
    SKIP_WITHOUT_FUSE();
    TempFolder source;
    source.Write("file.txt", "x");
    const milliseconds delay(300);
    TSlowMount mount(source.Path(), {.delay = delay, .hungPaths = {}});
    ASSERT_TRUE(mount.Mounted()) << mount.Error();

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(StatError(mount.File("file.txt")), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, delay);
}

// The hung call is still waiting after a call elsewhere on the mount has
// been answered, and ends, failed, only when the mount goes.
TEST(SlowMount, HungPathBlocksUntilUnmountedWhileOthersAnswer) {
    SKIP_WITHOUT_FUSE();
    TempFolder source;
    MakeFolders(source, {"stuck", "fine"});
    TSlowMount mount(source.Path(), {.delay = {}, .hungPaths = {"stuck"}});
    ASSERT_TRUE(mount.Mounted()) << mount.Error();

    std::future<int> hung = std::async(std::launch::async, StatError, mount.File("stuck/inner"));
    EXPECT_EQ(StatError(mount.File("fine")), 0);
    EXPECT_EQ(hung.wait_for(milliseconds(0)), std::future_status::timeout);

    mount.Unmount();
    EXPECT_NE(hung.get(), 0);
    EXPECT_FALSE(IsMountPoint(mount.Path()));
    EXPECT_FALSE(Exists(mount.Path()));
}

TEST(SlowMount, HungRootGoesWithTheObject) {
    SKIP_WITHOUT_FUSE();
    TempFolder source;
    std::string mountPoint;
    std::future<int> hung;
    {
        TSlowMount mount(source.Path(), {.delay = {}, .hungPaths = {"/"}});
        ASSERT_TRUE(mount.Mounted()) << mount.Error();
        mountPoint = mount.Path();
        EXPECT_TRUE(IsMountPoint(mountPoint));
        hung = std::async(std::launch::async, StatError, mount.File("anything"));
    }
    EXPECT_NE(hung.get(), 0);
    EXPECT_FALSE(IsMountPoint(mountPoint));
    EXPECT_FALSE(Exists(mountPoint));
}

TEST(SlowMount, AMissingSourceIsReportedNotMounted) {
    SKIP_WITHOUT_FUSE();
    TempFolder temp;
    TSlowMount mount(temp.File("missing"), {});
    EXPECT_FALSE(mount.Mounted());
    EXPECT_NE(mount.Error().find("did not mount"), std::string::npos) << mount.Error();
    EXPECT_FALSE(IsMountPoint(mount.Path()));
}

}  // namespace
