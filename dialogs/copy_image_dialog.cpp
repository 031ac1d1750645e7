#include "copy_image_dialog.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "components/help_file.h"
#include "raster/raster.h"

TCopyImageDialog::TCopyImageDialog(QWidget* owner, TRaster* raster)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint),
      raster_(raster), kinds_(new QButtonGroup(this)) {
    setObjectName(QStringLiteral("CopyImageDialog"));
    setWindowTitle(QStringLiteral("画像のコピー"));
    auto* group = new QGroupBox(QStringLiteral("コピーの種別"), this);
    auto* groupLayout = new QVBoxLayout(group);
    const QString captions[] = {QStringLiteral("データの実サイズでコピー(&N)"),
                                QStringLiteral("画面表示のサイズでコピー(&Z)")};
    for (int index = 0; index < 2; ++index) {
        auto* item = new QRadioButton(captions[index], group);
        kinds_->addButton(item, index);
        groupLayout->addWidget(item);
    }
    SetItemIndex(0);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    buttons->addButton(MakeHelpButton(8030, this), QDialogButtonBox::HelpRole);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

int TCopyImageDialog::ItemIndex() const { return kinds_->checkedId(); }

void TCopyImageDialog::SetItemIndex(int index) {
    if (QAbstractButton* item = kinds_->button(index)) item->setChecked(true);
}

QRadioButton* TCopyImageDialog::Item(int index) const { return qobject_cast<QRadioButton*>(kinds_->button(index)); }

void TCopyImageDialog::accept() {
    const int index = ItemIndex();
    if (raster_ != nullptr && (index == 0 || index == 1)) raster_->CopyToClipboard(index);
    QDialog::accept();
}
