#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QString>

#include "platform/mount_monitor.h"
#include "platform/shell_item_id.h"

class QObject;
class QSocketNotifier;

// Events and kinds of a device change.
constexpr int kDeviceArrival = 0x8000;
constexpr int kDeviceRemoveComplete = 0x8004;
constexpr int kDeviceKindMedia = 1;
constexpr int kDeviceKindNetwork = 2;

// One device change as a folder tree receives it: a drive's medium came or
// went (kind media, with the drive's title and item identifier list), or a
// network share was mounted or unmounted (kind network, nothing else).
struct TDeviceChangeData {
    QString Text;  // the drive node's title: "Data (/media/usb)", " (/media/usb)"
    int Event = 0;
    int Kind = 0;
    platform::UniqueIDList DriveID;  // the drive's absolute list, or none
};

// What a registered control offers to receive device changes; a folder
// tree hands them to its drive watcher.
class TShDeviceChangeTarget {
public:
    virtual ~TShDeviceChangeTarget() = default;
    virtual void PostDeviceChange(std::unique_ptr<TDeviceChangeData> data) = 0;
};

// The registry of live folder trees and file lists. While it holds a
// control it follows the mount table; each mount that comes or goes
// becomes a device change for every registered folder tree. Main thread
// only.
class TSHCtrlList {
public:
    // The volume label part of a drive's title (may be empty).
    using TVolumeLabelFunc = std::function<QString(const platform::MountEntry& mount)>;
    // The absolute item identifier list of the drive mounted at a folder.
    using TDriveIDListFunc = std::function<platform::UniqueIDList(const std::string& mountPoint)>;

    // The defaults read the system's mount table, its volume labels and
    // the namespace's drive lists; tests hand in a table of their own.
    explicit TSHCtrlList(std::string mountInfoPath = "/proc/self/mountinfo",
                         TVolumeLabelFunc volumeLabel = {}, TDriveIDListFunc driveIDList = {});
    ~TSHCtrlList();
    TSHCtrlList(const TSHCtrlList&) = delete;
    TSHCtrlList& operator=(const TSHCtrlList&) = delete;

    // The registry the controls use.
    static TSHCtrlList& Instance();

    // A folder tree registers with its target; a file list with none (it
    // receives nothing, but keeps the registry listening). Registering a
    // registered control again replaces its target.
    void Register(QObject* control, TShDeviceChangeTarget* target = nullptr);
    void Unregister(QObject* control);
    std::size_t Count() const { return controls_.size(); }
    // True while the mount table is followed (some control registered).
    bool IsListening() const { return monitor_ != nullptr; }

    // Reads the mount table again and posts what changed. The table's
    // notifier calls it; anyone may call it to look now.
    void CheckMounts();

private:
    struct TControl {
        QObject* control;
        TShDeviceChangeTarget* target;
    };

    void StartListening();
    void StopListening();
    void Broadcast(const platform::MountEntry& mount, int event);
    void PostToTrees(const QString& text, int event, int kind, const platform::ItemIDList* driveID);

    std::string mountInfoPath_;
    TVolumeLabelFunc volumeLabel_;
    TDriveIDListFunc driveIDList_;
    std::vector<TControl> controls_;
    std::unique_ptr<platform::MountMonitor> monitor_;
    std::unique_ptr<QSocketNotifier> notifier_;
};
