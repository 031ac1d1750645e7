#include "version_dialog.h"

#include <QPushButton>
#include <QVBoxLayout>

#include "dialogs/version_panel.h"
#include "dialogs/window_placement.h"

TVersionDialog::TVersionDialog(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint),
      panel_(new TVersionPanel(QFrame::Sunken, this)), okButton_(new QPushButton(QStringLiteral("OK"), this)) {
    setObjectName(QStringLiteral("VersionDialog"));
    setWindowTitle(QStringLiteral("バージョン情報"));
    okButton_->setDefault(true);
    connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(panel_, 1);
    layout->addWidget(okButton_, 0, Qt::AlignHCenter);
    setFixedSize(349, 237);
    CentreOnScreen(this);
}
