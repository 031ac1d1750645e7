#include "control_bar.h"

#include <algorithm>

#include <QEvent>
#include <QToolBar>

namespace {

constexpr int kInnerMargin = 2;

}  // namespace

TControlBar::TControlBar(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void TControlBar::AddToolBar(QToolBar* toolBar, int left, int row) {
    toolBar->setParent(this);
    toolBar->setMovable(false);
    toolBar->setFloatable(false);
    toolBar->installEventFilter(this);
    toolBars_.push_back(toolBar);
    PlaceToolBar(toolBar, left, kInnerMargin + row * rowSize_);
}

void TControlBar::SetRowSize(int size) {
    size = std::max(size, 1);
    if (size == rowSize_) return;
    // Keep every toolbar in its row.
    for (QToolBar* toolBar : toolBars_) {
        const int row = (toolBar->y() - kInnerMargin) / rowSize_;
        toolBar->move(toolBar->x(), kInnerMargin + row * size);
    }
    rowSize_ = size;
    Relayout();
}

int TControlBar::RowTop(int top) const {
    const int row = std::max(0, (top - kInnerMargin + rowSize_ / 2) / rowSize_);
    return kInnerMargin + row * rowSize_;
}

void TControlBar::PlaceToolBar(QToolBar* toolBar, int left, int top) {
    toolBar->move(std::max(0, left), RowTop(top));
    Relayout();
}

void TControlBar::Relayout() {
    for (QToolBar* toolBar : toolBars_) toolBar->resize(toolBar->sizeHint().width(), rowSize_ - 2);
    updateGeometry();
}

QSize TControlBar::sizeHint() const {
    int bottom = 0;
    for (QToolBar* toolBar : toolBars_)
        if (!toolBar->isHidden()) bottom = std::max(bottom, toolBar->y() + rowSize_);
    // An empty band still shows its frame.
    return QSize(QFrame::sizeHint().width(), std::max(bottom, kInnerMargin + 2) + kInnerMargin);
}

bool TControlBar::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent ||
        event->type() == QEvent::LayoutRequest)
        Relayout();
    return QFrame::eventFilter(watched, event);
}
