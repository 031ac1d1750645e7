#include "hourglass_cursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace platform {

HourglassCursor::HourglassCursor() : active_(qGuiApp != nullptr) {
    if (active_) QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

HourglassCursor::~HourglassCursor() {
    if (active_) QGuiApplication::restoreOverrideCursor();
}

}  // namespace platform
