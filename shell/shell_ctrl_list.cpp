#include "shell/shell_ctrl_list.h"

#include <QSocketNotifier>

#include <algorithm>
#include <exception>

#include "platform/message_box.h"
#include "platform/path_text.h"
#include "platform/shell_collation.h"
#include "platform/shell_namespace.h"
#include "shell/shell_id_func.h"

namespace {

QString SystemVolumeLabel(const platform::MountEntry& mount) {
    return GetVolumeLabel(platform::PathText(mount.mountPoint));
}

}  // namespace

TSHCtrlList::TSHCtrlList(std::string mountInfoPath, TVolumeLabelFunc volumeLabel,
                         TDriveIDListFunc driveIDList)
    : mountInfoPath_(std::move(mountInfoPath)),
      volumeLabel_(volumeLabel ? std::move(volumeLabel) : TVolumeLabelFunc(SystemVolumeLabel)),
      driveIDList_(driveIDList ? std::move(driveIDList) : TDriveIDListFunc(platform::DriveIDList)) {}

TSHCtrlList::~TSHCtrlList() = default;

TSHCtrlList& TSHCtrlList::Instance() {
    static TSHCtrlList registry;
    return registry;
}

void TSHCtrlList::Register(QObject* control, TShDeviceChangeTarget* target) {
    if (!control) return;
    const auto known = std::find_if(controls_.begin(), controls_.end(),
                                    [&](const TControl& entry) { return entry.control == control; });
    if (known != controls_.end()) {
        known->target = target;
        return;
    }
    controls_.push_back(TControl{control, target});
    if (!monitor_) StartListening();
}

void TSHCtrlList::Unregister(QObject* control) {
    std::erase_if(controls_, [&](const TControl& entry) { return entry.control == control; });
    if (controls_.empty()) StopListening();
}

// The mounts present now are the starting point: only later changes count.
void TSHCtrlList::StartListening() {
    monitor_ = std::make_unique<platform::MountMonitor>(mountInfoPath_);
    if (monitor_->Fd() < 0) return;
    // The kernel marks the mount table with an exceptional condition
    // (POLLPRI) when a mount comes or goes.
    notifier_ = std::make_unique<QSocketNotifier>(monitor_->Fd(), QSocketNotifier::Exception);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                     [this] { CheckMounts(); });
}

void TSHCtrlList::StopListening() {
    notifier_.reset();
    monitor_.reset();
}

void TSHCtrlList::CheckMounts() {
    if (!monitor_) return;
    try {
        const platform::MountChanges changes = monitor_->Update();
        for (const platform::MountEntry& mount : changes.removed) Broadcast(mount, kDeviceRemoveComplete);
        for (const platform::MountEntry& mount : changes.added) Broadcast(mount, kDeviceArrival);
    } catch (const std::exception& error) {
        platform::ShowMessage(nullptr, QString::fromLocal8Bit(error.what()),
                              platform::MessageIcon::Error);
    }
}

// A network share tells the trees only that something changed; a drive
// comes with its title and list. Other mounts (system and pseudo file
// systems) are no drives and are left out.
void TSHCtrlList::Broadcast(const platform::MountEntry& mount, int event) {
    if (platform::IsNetworkFileSystem(mount.fileSystem)) {
        PostToTrees(QString(), event, kDeviceKindNetwork, nullptr);
        return;
    }
    if (!platform::IsDriveMount(mount)) return;
    const platform::UniqueIDList driveID = driveIDList_(mount.mountPoint);
    if (!driveID) return;
    const QString place = QStringLiteral(" (%1)").arg(platform::DisplayTextOfName(mount.mountPoint));
    const QString text = event == kDeviceArrival ? volumeLabel_(mount) + place : place;
    PostToTrees(text, event, kDeviceKindMedia, driveID.get());
}

void TSHCtrlList::PostToTrees(const QString& text, int event, int kind,
                              const platform::ItemIDList* driveID) {
    // A copy: a target may register or unregister controls while posting.
    const std::vector<TControl> controls = controls_;
    for (const TControl& entry : controls) {
        if (!entry.target) continue;
        auto record = std::make_unique<TDeviceChangeData>();
        record->Text = text;
        record->Event = event;
        record->Kind = kind;
        if (driveID) record->DriveID = platform::CopyItemIDList(driveID);
        entry.target->PostDeviceChange(std::move(record));
    }
}
