#include "shell/shell_drop_support.h"

#include <memory>

#include "platform/shell_drop_target.h"
#include "shell/shell_data_item.h"

namespace {

std::unique_ptr<platform::ShellDropTarget> DropTargetOf(TSHDataItem& item, QWidget* owner) {
    if (item.GetLevel() != 0 && !item.HasAttribute(saDropTarget)) return nullptr;
    return item.GetDropTarget(owner);
}

}  // namespace

unsigned DropKeyState(Qt::KeyboardModifiers keys, Qt::MouseButtons buttons) {
    unsigned state = 0;
    if (buttons & Qt::LeftButton) state |= platform::kKeyLeftButton;
    if (buttons & Qt::RightButton) state |= platform::kKeyRightButton;
    if (buttons & Qt::MiddleButton) state |= platform::kKeyMiddleButton;
    if (keys & Qt::ShiftModifier) state |= platform::kKeyShift;
    if (keys & Qt::ControlModifier) state |= platform::kKeyControl;
    if (keys & Qt::AltModifier) state |= platform::kKeyAlt;
    return state;
}

unsigned DropEffects(Qt::DropActions actions) {
    unsigned effects = platform::kDropEffectNone;
    if (actions & Qt::CopyAction) effects |= platform::kDropEffectCopy;
    if (actions & Qt::MoveAction) effects |= platform::kDropEffectMove;
    if (actions & Qt::LinkAction) effects |= platform::kDropEffectLink;
    return effects;
}

Qt::DropAction DropActionOf(unsigned effect) {
    if (effect & platform::kDropEffectMove) return Qt::MoveAction;
    if (effect & platform::kDropEffectCopy) return Qt::CopyAction;
    if (effect & platform::kDropEffectLink) return Qt::LinkAction;
    return Qt::IgnoreAction;
}

unsigned ProbeDrop(TSHDataItem& item, QWidget* owner, const QMimeData* data, unsigned keyState, unsigned allowed) {
    const std::unique_ptr<platform::ShellDropTarget> target = DropTargetOf(item, owner);
    if (!target) return platform::kDropEffectNone;
    unsigned effect = allowed;
    target->DragEnter(data, keyState, QPoint(), effect);
    effect = allowed;
    target->DragOver(keyState, QPoint(), effect);
    target->DragLeave();
    return effect;
}

unsigned CarryDrop(TSHDataItem& item, QWidget* owner, const QMimeData* data, unsigned keyState,
                   unsigned startButton, unsigned allowed) {
    const std::unique_ptr<platform::ShellDropTarget> target = DropTargetOf(item, owner);
    if (!target) return platform::kDropEffectNone;
    unsigned effect = allowed;
    target->DragEnter(data, keyState | startButton, QPoint(), effect);
    effect = allowed;
    target->DragOver(keyState | startButton, QPoint(), effect);
    effect = allowed;
    target->Drop(data, keyState, QPoint(), effect);
    return effect;
}
