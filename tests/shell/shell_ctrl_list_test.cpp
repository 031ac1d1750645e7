#include <gtest/gtest.h>

#include <QObject>

#include <memory>
#include <string>
#include <vector>

#include "main_thread_wait.h"
#include "platform/shell_namespace.h"
#include "shell/shell_ctrl_list.h"
#include "shell/shell_notify.h"
#include "support/temp_folder.h"

namespace {

const std::string kSystem =
    "22 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw\n"
    "23 22 0:21 / /proc rw,nosuid - proc proc rw\n";
const std::string kStick = "90 22 8:17 / /media/usb rw,nosuid shared:40 - vfat /dev/sdb1 rw\n";
const std::string kUnlabelled = "91 22 8:33 / /mnt/backup rw - ext4 /dev/sdc1 rw\n";
const std::string kShare = "92 22 0:55 / /srv/share rw - nfs4 server:/export rw\n";
const std::string kRuntime = "93 22 0:60 / /run/user/1000 rw - tmpfs tmpfs rw\n";

// A mount table of the test's own, rewritten to play mounts coming and
// going, and a registry that reads it. Only the stick has a label.
struct SimulatedMounts {
    TempFolder folder;
    std::string table = folder.Write("mountinfo", kSystem);
    TSHCtrlList registry{table, [](const platform::MountEntry& mount) {
                             return mount.mountPoint == "/media/usb" ? QStringLiteral("Data") : QString();
                         }};

    void Mount(const std::string& lines) {
        folder.Write("mountinfo", kSystem + lines);
        registry.CheckMounts();
    }
};

// Records each device change as posted, before any folding.
struct RecordingTarget : TShDeviceChangeTarget {
    std::vector<std::unique_ptr<TDeviceChangeData>> records;
    void PostDeviceChange(std::unique_ptr<TDeviceChangeData> data) override {
        records.push_back(std::move(data));
    }
};

bool IsDriveList(const platform::ItemIDList* list, const std::string& mountPoint) {
    const platform::UniqueIDList expected = platform::DriveIDList(mountPoint);
    return platform::SameIDList(list, expected.get());
}

}  // namespace

TEST(TSHCtrlList, TurnsMountsThatComeAndGoIntoDeviceRecordsForEachTree) {
    SimulatedMounts mounts;
    QObject tree1, tree2, fileList;
    RecordingTarget target1, target2;
    mounts.registry.Register(&tree1, &target1);
    mounts.registry.Register(&tree2, &target2);
    mounts.registry.Register(&fileList);

    // A system mount is no drive and tells the trees nothing.
    mounts.Mount(kStick + kUnlabelled + kShare + kRuntime);
    ASSERT_EQ(target1.records.size(), 3u);
    const TDeviceChangeData& stick = *target1.records[0];
    EXPECT_EQ(stick.Text, QStringLiteral("Data (/media/usb)"));
    EXPECT_EQ(stick.Event, kDeviceArrival);
    EXPECT_EQ(stick.Kind, kDeviceKindMedia);
    EXPECT_TRUE(IsDriveList(stick.DriveID.get(), "/media/usb"));
    EXPECT_EQ(target1.records[1]->Text, QStringLiteral(" (/mnt/backup)"));
    const TDeviceChangeData& share = *target1.records[2];
    EXPECT_TRUE(share.Text.isEmpty());
    EXPECT_EQ(share.Event, kDeviceArrival);
    EXPECT_EQ(share.Kind, kDeviceKindNetwork);
    EXPECT_EQ(share.DriveID, nullptr);

    // Every tree gets a record of its own.
    ASSERT_EQ(target2.records.size(), 3u);
    EXPECT_NE(target2.records[0]->DriveID.get(), stick.DriveID.get());
    EXPECT_TRUE(IsDriveList(target2.records[0]->DriveID.get(), "/media/usb"));

    // Removal: the drive's place alone, and the list of the drive that went.
    mounts.Mount(kUnlabelled + kShare + kRuntime);
    ASSERT_EQ(target1.records.size(), 4u);
    const TDeviceChangeData& removed = *target1.records[3];
    EXPECT_EQ(removed.Text, QStringLiteral(" (/media/usb)"));
    EXPECT_EQ(removed.Event, kDeviceRemoveComplete);
    EXPECT_EQ(removed.Kind, kDeviceKindMedia);
    EXPECT_TRUE(IsDriveList(removed.DriveID.get(), "/media/usb"));

    // An unregistered tree hears nothing more.
    mounts.registry.Unregister(&tree2);
    mounts.Mount(kUnlabelled + kRuntime);
    EXPECT_EQ(target1.records.size(), 5u);
    EXPECT_EQ(target1.records[4]->Event, kDeviceRemoveComplete);
    EXPECT_EQ(target1.records[4]->Kind, kDeviceKindNetwork);
    EXPECT_EQ(target2.records.size(), 4u);
}

TEST(TSHCtrlList, ListensOnlyWhileControlsAreRegistered) {
    SimulatedMounts mounts;
    QObject tree;
    RecordingTarget target;
    EXPECT_FALSE(mounts.registry.IsListening());
    mounts.registry.Register(&tree, &target);
    mounts.registry.Register(&tree, &target);
    EXPECT_EQ(mounts.registry.Count(), 1u);
    EXPECT_TRUE(mounts.registry.IsListening());

    mounts.registry.Unregister(&tree);
    EXPECT_FALSE(mounts.registry.IsListening());
    // What changed while nobody listened is the starting point later on,
    // not a change.
    mounts.Mount(kStick);
    mounts.registry.Register(&tree, &target);
    mounts.registry.CheckMounts();
    EXPECT_TRUE(target.records.empty());
    mounts.Mount("");
    ASSERT_EQ(target.records.size(), 1u);
    EXPECT_EQ(target.records[0]->Event, kDeviceRemoveComplete);
    mounts.registry.Unregister(&tree);
}

TEST(TSHCtrlList, ADriveThatComesAndGoesReachesTheTreeOnceAsItsNewestRecord) {
    SimulatedMounts mounts;
    std::vector<std::pair<QString, int>> delivered;
    TShDirWatcher watcher({}, platform::kChangeDirName,
                          [&](TShDirWatcher*, const TDeviceChangeData& data) {
                              delivered.emplace_back(data.Text, data.Event);
                          },
                          {});
    QObject tree;
    mounts.registry.Register(&tree, &watcher);

    mounts.Mount(kStick);
    mounts.Mount("");
    ASSERT_TRUE(ProcessEventsUntil([&] { return !delivered.empty(); }));
    ProcessEventsFor(std::chrono::milliseconds(kDeviceQuietMs + 700));
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(delivered[0].first, QStringLiteral(" (/media/usb)"));
    EXPECT_EQ(delivered[0].second, kDeviceRemoveComplete);
    mounts.registry.Unregister(&tree);
}
