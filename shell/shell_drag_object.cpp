#include "shell/shell_drag_object.h"

TSHDragObject::TSHDragObject(const QMimeData* dataObject) : dataObject_(dataObject) {
    if (!dataObject_) throw EInvalidOperation("パラメータが不正です。");
}

bool TSHDragObject::IsShellData() const { return ::IsShellData(dataObject_); }
