#include "platform/shell_drop_target.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCursor>
#include <QMenu>

#include "platform/desktop_services.h"
#include "platform/file_operations.h"
#include "platform/message_box.h"
#include "platform/shell_data_object.h"
#include "platform/trash.h"

namespace platform {
namespace {

bool SameDevice(const std::string& a, const std::string& b) {
    struct stat x {};
    struct stat y {};
    return lstat(a.c_str(), &x) == 0 && stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev;
}

unsigned FirstAllowed(unsigned allowed) {
    for (const unsigned effect : {kDropEffectMove, kDropEffectCopy, kDropEffectLink})
        if (allowed & effect) return effect;
    return kDropEffectNone;
}

bool IsDirectoryPath(const std::string& path) {
    struct stat info {};
    return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsSameOrInside(const std::string& path, const std::string& folder) {
    return path.compare(0, folder.size(), folder) == 0 && (path.size() == folder.size() || path[folder.size()] == '/');
}

bool IsFolderTarget(ShellPlace place) {
    return place == ShellPlace::Home || place == ShellPlace::Drive || place == ShellPlace::FileSystem;
}

}  // namespace

ShellDropTarget::ShellDropTarget(ShellItem target, QWidget* owner) : target_(std::move(target)), owner_(owner) {}

unsigned ShellDropTarget::ChooseEffect(const std::vector<std::string>& sources, unsigned keyState,
                                       unsigned allowed) const {
    if (sources.empty()) return kDropEffectNone;
    if (target_.place == ShellPlace::Trash) return allowed & kDropEffectMove;
    if (!IsFolderTarget(target_.place)) return kDropEffectNone;
    for (const std::string& source : sources)
        if (IsSameOrInside(target_.path, source)) return kDropEffectNone;  // a folder onto itself or into itself
    if (access(target_.path.c_str(), W_OK | X_OK) != 0) return kDropEffectNone;  // nothing may be put there
    unsigned wanted;
    if ((keyState & kKeyAlt) || ((keyState & kKeyControl) && (keyState & kKeyShift)))
        wanted = kDropEffectLink;
    else if (keyState & kKeyControl)
        wanted = kDropEffectCopy;
    else if (keyState & kKeyShift)
        wanted = kDropEffectMove;
    else
        wanted = SameDevice(sources.front(), target_.path) ? kDropEffectMove : kDropEffectCopy;
    if (allowed & wanted) return wanted;
    if (wanted == kDropEffectMove && (allowed & kDropEffectCopy)) return kDropEffectCopy;
    return FirstAllowed(allowed);
}

bool ShellDropTarget::DragEnter(const QMimeData* data, unsigned keyState, QPoint /*point*/, unsigned& effect) {
    if (!data) return false;
    sources_ = PathsOfShellData(data);
    rightButtonDrag_ = (keyState & kKeyRightButton) != 0;
    effect = ChooseEffect(sources_, keyState, effect);
    return true;
}

bool ShellDropTarget::DragOver(unsigned keyState, QPoint /*point*/, unsigned& effect) {
    if (keyState & kKeyRightButton) rightButtonDrag_ = true;
    effect = ChooseEffect(sources_, keyState, effect);
    return true;
}

void ShellDropTarget::DragLeave() {
    sources_.clear();
    rightButtonDrag_ = false;
}

unsigned ShellDropTarget::AskEffect(unsigned proposed, unsigned allowed) const {
    QMenu menu(owner_);
    struct Choice {
        unsigned effect;
        const char* text;
    };
    const Choice choices[] = {{kDropEffectCopy, "ここにコピー(&C)"},
                              {kDropEffectMove, "ここに移動(&M)"},
                              {kDropEffectLink, "ここにショートカットを作成(&S)"}};
    for (const Choice& choice : choices) {
        if (!(allowed & choice.effect)) continue;
        QAction* action = menu.addAction(QString::fromUtf8(choice.text));
        action->setData(choice.effect);
        if (choice.effect == proposed) menu.setDefaultAction(action);
    }
    menu.addSeparator();
    menu.addAction(QStringLiteral("キャンセル"))->setData(0u);
    const QAction* chosen = menu.exec(QCursor::pos());
    return chosen ? chosen->data().toUInt() : kDropEffectNone;
}

bool ShellDropTarget::Carry(const std::vector<std::string>& sources, unsigned effect) {
    if (target_.place == ShellPlace::Trash) return MoveToTrash(sources, owner_, true).Succeeded();
    switch (effect) {
        case kDropEffectCopy: return TransferFiles(TransferMode::Copy, sources, target_.path, owner_).Succeeded();
        case kDropEffectMove: return TransferFiles(TransferMode::Move, sources, target_.path, owner_).Succeeded();
        case kDropEffectLink: {
            QString errors;
            for (const std::string& source : sources) {
                QString error;
                if (CreateShortcut(source, target_.path, &error).empty()) errors += error + QLatin1Char('\n');
            }
            if (!errors.isEmpty()) ShowMessage(owner_, errors.trimmed(), MessageIcon::Error);
            return errors.isEmpty();
        }
        default: return false;
    }
}

bool ShellDropTarget::Drop(const QMimeData* data, unsigned keyState, QPoint /*point*/, unsigned& effect) {
    if (!data) return false;
    const std::vector<std::string> sources = PathsOfShellData(data);
    const unsigned allowed = effect;
    effect = ChooseEffect(sources, keyState, allowed);
    if (effect != kDropEffectNone && rightButtonDrag_ && target_.place != ShellPlace::Trash)
        effect = AskEffect(effect, allowed);
    if (effect != kDropEffectNone && !Carry(sources, effect)) effect = kDropEffectNone;
    DragLeave();
    return true;
}

std::unique_ptr<ShellDropTarget> ShellFolder::GetDropTarget(QWidget* owner, const ItemIDList* item) const {
    const ItemIDList* last = nullptr;
    const auto folder = FolderOfLast(item, last);
    if (!folder || IsEmptyIDList(last)) return nullptr;
    ShellItem target = folder->Describe(last);
    if (target.place != ShellPlace::Trash && !(IsFolderTarget(target.place) && IsDirectoryPath(target.path)))
        return nullptr;
    return std::make_unique<ShellDropTarget>(std::move(target), owner);
}

}  // namespace platform
