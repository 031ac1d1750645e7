#pragma once

#include <Qt>

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
