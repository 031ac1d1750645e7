#include "sub0000.h"

#include <QVBoxLayout>

#include "dialogs/version_panel.h"
#include "dialogs/window_placement.h"

TSubForm0000::TSubForm0000(QWidget* owner)
    : QWidget(owner, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      panel_(new TVersionPanel(QFrame::Raised, this)) {
    setObjectName(QStringLiteral("SubForm0000"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(panel_);
    setFixedSize(350, 212);
    CentreOnScreen(this);
}
