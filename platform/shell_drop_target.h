#pragma once

#include <string>

#include <QPoint>

#include "platform/shell_namespace.h"

class QMimeData;
class QWidget;

namespace platform {

// Effects of a drop, as bits.
enum DropEffect : unsigned {
    kDropEffectNone = 0,
    kDropEffectCopy = 1,
    kDropEffectMove = 2,
    kDropEffectLink = 4,
};

// Buttons and keys held during a drag, as bits.
enum DragKeyState : unsigned {
    kKeyLeftButton = 0x1,
    kKeyRightButton = 0x2,
    kKeyShift = 0x4,
    kKeyControl = 0x8,
    kKeyMiddleButton = 0x10,
    kKeyAlt = 0x20,
};

// The drop target of a folder (or the trash): told about a drag as it
// enters, moves and leaves, and carries out the drop by copying, moving,
// linking or trashing the dropped files.
class ShellDropTarget {
public:
    ShellDropTarget(ShellItem target, QWidget* owner);

    // effect: in the effects the source allows, out the one a drop here
    // would carry out. False only for a missing data object.
    bool DragEnter(const QMimeData* data, unsigned keyState, QPoint point, unsigned& effect);
    bool DragOver(unsigned keyState, QPoint point, unsigned& effect);
    void DragLeave();
    // Carries out the drop; effect out is what was done (none when the
    // user cancelled or it failed). A drop that the right button started
    // first asks what to do.
    bool Drop(const QMimeData* data, unsigned keyState, QPoint point, unsigned& effect);

    const ShellItem& Target() const { return target_; }

    // The effect a drop of these files here would carry out.
    unsigned ChooseEffect(const std::vector<std::string>& sources, unsigned keyState, unsigned allowed) const;

private:
    unsigned AskEffect(unsigned proposed, unsigned allowed) const;
    bool Carry(const std::vector<std::string>& sources, unsigned effect);

    ShellItem target_;
    QWidget* owner_;
    std::vector<std::string> sources_;
    bool rightButtonDrag_ = false;
};

}  // namespace platform
