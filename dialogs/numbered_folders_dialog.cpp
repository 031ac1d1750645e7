#include "numbered_folders_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "components/help_file.h"
#include "components/int_spin_edit.h"
#include "dialogs/name_sequence.h"
#include "platform/hourglass_cursor.h"
#include "platform/message_box.h"

namespace {

TIntSpinEdit* MakeNumberField(QWidget* parent, int minimum, int maximum, int maxLength, int value) {
    auto* field = new TIntSpinEdit(parent);
    field->setRange(minimum, maximum);
    field->SetMaxLength(maxLength);
    field->setValue(value);
    return field;
}

}  // namespace

TNumberedFoldersDialog::TNumberedFoldersDialog(QWidget* owner, std::string target)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), target_(std::move(target)) {
    setObjectName(QStringLiteral("NumberedFoldersDialog"));
    setWindowTitle(QStringLiteral("連続フォルダの作成"));
    setProperty("HelpContext", 8020);

    count_ = MakeNumberField(this, 1, 9999, 4, 1);
    auto* sentence = new QHBoxLayout;
    auto* before = new QLabel(QStringLiteral("連続した名称のフォルダを"), this);
    before->setBuddy(count_);
    sentence->addWidget(before);
    sentence->addWidget(count_);
    sentence->addWidget(new QLabel(QStringLiteral("個作成します。"), this));
    sentence->addStretch();

    auto* group = new QGroupBox(QStringLiteral("フォルダ名の設定"), this);
    auto* form = new QFormLayout(group);
    header_ = new QLineEdit(QStringLiteral("新しいフォルダ ("), group);
    digits_ = MakeNumberField(group, 1, 99, 2, 1);
    start_ = MakeNumberField(group, 0, 999999999, 9, 1);
    increment_ = MakeNumberField(group, 1, 999999999, 9, 1);
    footer_ = new QLineEdit(QStringLiteral(")"), group);
    sample_ = new QLabel(group);
    form->addRow(QStringLiteral("ヘッダー(&A) :"), header_);
    form->addRow(QStringLiteral("桁数(&S) :"), digits_);
    form->addRow(QStringLiteral("開始(&B) :"), start_);
    form->addRow(QStringLiteral("増分(&I) :"), increment_);
    form->addRow(QStringLiteral("フッター(&F) :"), footer_);
    form->addRow(QStringLiteral("サンプル :"), sample_);

    auto* buttons = new QDialogButtonBox(this);
    ok_ = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    buttons->addButton(MakeHelpButton(8020, this), QDialogButtonBox::HelpRole);
    ok_->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    for (QLineEdit* edit : {header_, footer_})
        connect(edit, &QLineEdit::textChanged, this, &TNumberedFoldersDialog::SampleUpdate);
    for (TIntSpinEdit* field : {count_, digits_, start_, increment_})
        connect(field, &QSpinBox::valueChanged, this, &TNumberedFoldersDialog::SampleUpdate);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(sentence);
    layout->addWidget(group);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    SampleUpdate();
    ok_->setFocus();
}

TFolderSequence TNumberedFoldersDialog::Sequence() const {
    TFolderSequence sequence;
    sequence.Count = count_->value();
    sequence.Header = header_->text();
    sequence.Digits = digits_->value();
    sequence.Start = start_->value();
    sequence.Increment = increment_->value();
    sequence.Footer = footer_->text();
    return sequence;
}

void TNumberedFoldersDialog::SampleUpdate() { sample_->setText(FolderSequencePreview(Sequence())); }

void TNumberedFoldersDialog::accept() {
    const TFolderSequence sequence = Sequence();
    if (HasForbiddenCharacter(sequence.Header + sequence.Footer)) {
        platform::ShowMessage(this, ForbiddenCharacterMessage(), platform::MessageIcon::Error);
        return;
    }
    TFolderCreationResult result;
    {
        platform::HourglassCursor busy;
        result = CreateNumberedFolders(target_, sequence);
    }
    if (!result.Failure.isEmpty()) platform::ShowMessage(this, result.Failure, platform::MessageIcon::Error);
    QDialog::accept();
}
