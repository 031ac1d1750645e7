#include "prg_status_bar.h"

#include <algorithm>

#include <QPainter>
#include <QProgressBar>
#include <QStyleOptionFrame>

namespace {

constexpr int kPanelGap = 2;
constexpr int kTextMargin = 3;

}  // namespace

TPrgStatusBar::TPrgStatusBar(QWidget* parent)
    : QStatusBar(parent), progressBar_(new QProgressBar(this)) {
    progressBar_->setObjectName(QStringLiteral("ProgressBar"));
    progressBar_->setRange(0, 100);
    progressBar_->setValue(0);
    progressBar_->setTextVisible(false);
    progressBar_->hide();
    panels_.push_back(TStatusPanel{QString(), 50, pbNone, Qt::AlignLeft});
}

void TPrgStatusBar::SetPanels(std::vector<TStatusPanel> panels) {
    panels_ = std::move(panels);
    PlaceProgressBar();
    update();
}

void TPrgStatusBar::SetPanelText(int index, const QString& text) {
    if (index < 0 || index >= PanelCount() || panels_[index].Text == text) return;
    panels_[index].Text = text;
    update(PanelRect(index));
}

void TPrgStatusBar::SetPanelWidth(int index, int width) {
    if (index < 0 || index >= PanelCount()) return;
    panels_[index].Width = std::max(0, width);
    PlaceProgressBar();
    update();
}

QRect TPrgStatusBar::PanelRect(int index) const {
    if (index < 0 || index >= PanelCount()) return QRect();
    int left = 0;
    for (int i = 0; i < index; ++i) left += panels_[i].Width + kPanelGap;
    const bool last = index == PanelCount() - 1;
    const int width = last ? std::max(panels_[index].Width, this->width() - left) : panels_[index].Width;
    return QRect(left, 0, width, height());
}

void TPrgStatusBar::paintEvent(QPaintEvent* event) {
    QStatusBar::paintEvent(event);
    QPainter painter(this);
    for (int i = 0; i < PanelCount(); ++i) {
        const TStatusPanel& panel = panels_[i];
        const QRect area = PanelRect(i).adjusted(0, 1, 0, -1);
        if (panel.Bevel != pbNone) {
            QStyleOptionFrame frame;
            frame.initFrom(this);
            frame.rect = area;
            frame.lineWidth = 1;
            frame.state |= panel.Bevel == pbLowered ? QStyle::State_Sunken : QStyle::State_Raised;
            style()->drawPrimitive(QStyle::PE_Frame, &frame, &painter, this);
        }
        const QRect textArea = area.adjusted(kTextMargin, 0, -kTextMargin, 0);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(textArea, static_cast<int>(panel.Alignment | Qt::AlignVCenter),
                         fontMetrics().elidedText(panel.Text, Qt::ElideRight, textArea.width()));
    }
}

void TPrgStatusBar::resizeEvent(QResizeEvent* event) {
    QStatusBar::resizeEvent(event);
    if (OnResize) OnResize(this);
    PlaceProgressBar();
}

void TPrgStatusBar::PlaceProgressBar() {
    if (panels_.empty()) return;
    progressBar_->setGeometry(0, 1, panels_[0].Width, height() - 2);
}
