#include "splash_window.h"

#include <QVBoxLayout>

#include "dialogs/version_panel.h"
#include "dialogs/window_placement.h"

TSplashWindow::TSplashWindow(QWidget* owner)
    : QWidget(owner, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      panel_(new TVersionPanel(QFrame::Raised, this)) {
    setObjectName(QStringLiteral("SplashWindow"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(panel_);
    setFixedSize(350, 212);
    CentreOnScreen(this);
}
