#pragma once

#include <QCursor>
#include <QTest>
#include <QWidget>

// Moves the pointer to a point of widget as a hand on the mouse would: the
// widget gets the move even when the pointer stood there already (the
// cursor drops a move to where it is).
inline void PointAt(QWidget* widget, QPoint at) {
    if (QCursor::pos() == widget->mapToGlobal(at)) QTest::mouseMove(widget, at + QPoint(1, 0));
    QTest::mouseMove(widget, at);
}
