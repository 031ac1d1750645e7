#pragma once

#include <memory>

#include <QDragEnterEvent>
#include <Qt>

#include "platform/shell_data_object.h"
#include "raster/raster_tools.h"
#include "shell/shell_drag_object.h"

class QMimeData;
class QWidget;
class TSHDataItem;

// What the shell controls share as drop targets: each hands a drag over
// one of its items to that item's own drop target.

// The key state of a drag (platform::DragKeyState bits).
unsigned DropKeyState(Qt::KeyboardModifiers keys, Qt::MouseButtons buttons);
// The allowed effects of a drag (platform::DropEffect bits).
unsigned DropEffects(Qt::DropActions actions);
Qt::DropAction DropActionOf(unsigned effect);

// The effect a drop of data on item would carry out; none when the item
// takes no drops (only the desktop and folders that are drop targets do).
unsigned ProbeDrop(TSHDataItem& item, QWidget* owner, const QMimeData* data, unsigned keyState, unsigned allowed);

// Carries out the drop on item and returns the effect done. startButton is
// the button that began the drag, which the key state at the drop lacks.
unsigned CarryDrop(TSHDataItem& item, QWidget* owner, const QMimeData* data, unsigned keyState,
                   unsigned startButton, unsigned allowed);

// The data object of a drag entering control: none (and the event ignored)
// when the drag carries no shell data or the owner's enter hook refuses it.
template <typename Control, typename EnterHook>
std::unique_ptr<TSHDragObject> EnterShellDrag(Control* control, const EnterHook& onEnter, QDragEnterEvent* event) {
    if (!platform::OffersShellData(event->mimeData())) {
        event->ignore();
        return nullptr;
    }
    auto dragObject = std::make_unique<TSHDragObject>(event->mimeData());
    bool accept = true;
    if (onEnter)
        onEnter(control, dragObject.get(), ShiftStateOf(event->modifiers(), event->buttons()),
                control->mapToGlobal(event->position().toPoint()), accept);
    if (!accept) {
        event->ignore();
        return nullptr;
    }
    return dragObject;
}
