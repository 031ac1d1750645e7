#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "platform/mount_monitor.h"
#include "support/temp_folder.h"

using platform::MountEntry;

namespace {

const char* const kRoot = "22 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw\n";
const char* const kProc = "23 22 0:21 / /proc rw,nosuid - proc proc rw\n";
const char* const kStick =
    "90 22 8:17 / /media/me/MY\\040STICK rw,nosuid shared:40 master:3 - vfat /dev/sdb1 rw,uid=1000\n";
const char* const kShare = "91 22 0:55 / /mnt/share rw - cifs //server/share rw,vers=3.0\n";

}  // namespace

TEST(ParseMountInfo, ReadsTheFieldsAroundOptionalOnesAndDecodesEscapes) {
    const std::string text = std::string(kRoot) + "garbage line\n" + kStick +
                             "x 1 8:1 / /bad rw - ext4 /dev/x rw\n"  // no number
                             "24 1 8:1 / /no-separator rw ext4 /dev/x rw\n" +
                             "25 1 0:5 / /last rw - tmpfs tmpfs rw";  // no final newline
    const std::vector<MountEntry> mounts = platform::ParseMountInfo(text);
    ASSERT_EQ(mounts.size(), 3u);
    EXPECT_EQ(mounts[0], (MountEntry{22, "/", "/dev/sda2", "ext4"}));
    EXPECT_EQ(mounts[1], (MountEntry{90, "/media/me/MY STICK", "/dev/sdb1", "vfat"}));
    EXPECT_EQ(mounts[2], (MountEntry{25, "/last", "tmpfs", "tmpfs"}));
}

TEST(MountMonitor, ReportsTheMountsThatCameAndWentSinceTheLastReading) {
    TempFolder folder;
    const std::string table = folder.Write("mountinfo", std::string(kRoot) + kProc + kStick);
    platform::MountMonitor monitor(table);
    EXPECT_EQ(monitor.Mounts().size(), 3u);
    EXPECT_TRUE(monitor.Update().IsEmpty());

    // Replaced by renaming, as an atomic writer does.
    const std::string next = folder.Write("next", std::string(kRoot) + kProc + kShare);
    ASSERT_EQ(std::rename(next.c_str(), table.c_str()), 0);
    platform::MountChanges changes = monitor.Update();
    ASSERT_EQ(changes.removed.size(), 1u);
    EXPECT_EQ(changes.removed[0].mountPoint, "/media/me/MY STICK");
    ASSERT_EQ(changes.added.size(), 1u);
    EXPECT_EQ(changes.added[0].fileSystem, "cifs");
    EXPECT_TRUE(monitor.Update().IsEmpty());

    // The same place mounted again is a new mount (a new id).
    folder.Write("mountinfo", std::string(kRoot) + kProc +
                                  "92 22 0:55 / /mnt/share rw - cifs //server/share rw\n");
    changes = monitor.Update();
    EXPECT_EQ(changes.removed.size(), 1u);
    EXPECT_EQ(changes.added.size(), 1u);

    // A table that cannot be read changes nothing.
    std::filesystem::remove(table);
    EXPECT_TRUE(monitor.Update().IsEmpty());
    EXPECT_EQ(monitor.Mounts().size(), 3u);
}

TEST(MountMonitor, FollowsTheSystemTable) {
    platform::MountMonitor monitor;
    EXPECT_GE(monitor.Fd(), 0);
    bool hasRoot = false;
    for (const MountEntry& mount : monitor.Mounts()) hasRoot = hasRoot || mount.mountPoint == "/";
    EXPECT_TRUE(hasRoot);
}

TEST(MountKinds, DrivesAndNetworkShares) {
    const auto drive = [](const std::string& point, const std::string& type = "ext4") {
        return platform::IsDriveMount(MountEntry{1, point, "/dev/x", type});
    };
    EXPECT_TRUE(drive("/") && drive("/home") && drive("/mnt"));
    EXPECT_TRUE(drive("/media/me/STICK") && drive("/run/media/me/STICK") && drive("/mnt/data"));
    EXPECT_FALSE(drive("/mediacache") || drive("/proc") || drive("/home/me/mount"));
    EXPECT_FALSE(drive("/mnt/auto", "autofs"));

    EXPECT_TRUE(platform::IsNetworkFileSystem("nfs4") && platform::IsNetworkFileSystem("fuse.sshfs"));
    EXPECT_FALSE(platform::IsNetworkFileSystem("vfat") || platform::IsNetworkFileSystem("fuse.portal"));
}
