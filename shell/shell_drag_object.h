#pragma once

#include <stdexcept>

#include <QStringList>

#include "shell/shell_id_list.h"

class QMimeData;

// An operation called in a way it cannot work (a missing argument).
class EInvalidOperation : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

// The data of an incoming drag as the shell controls pass it to their
// drag events. It refers to the drag's data (owned by the drag) and owns a
// text list and an item list, both empty unless a handler fills them.
class TSHDragObject {
public:
    // Throws EInvalidOperation ("パラメータが不正です。") without data.
    explicit TSHDragObject(const QMimeData* dataObject);
    TSHDragObject(const TSHDragObject&) = delete;
    TSHDragObject& operator=(const TSHDragObject&) = delete;

    const QMimeData* DataObject() const { return dataObject_; }
    QStringList& Strings() { return strings_; }
    TSHIDList2& IDList() { return idList_; }

    // Whether the data is shell data (item lists or dropped files).
    bool IsShellData() const;

private:
    const QMimeData* dataObject_;
    QStringList strings_;
    TSHIDList2 idList_;
};
