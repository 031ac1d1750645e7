#include "batch_rename_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "components/help_file.h"
#include "components/int_spin_edit.h"
#include "platform/file_operations.h"
#include "platform/hourglass_cursor.h"
#include "platform/message_box.h"
#include "platform/shell_icons.h"

namespace {

constexpr int kOldNameRole = Qt::UserRole;
constexpr int kSkipRole = Qt::UserRole + 1;
constexpr int kNewNameRole = Qt::UserRole + 2;

TIntSpinEdit* MakeNumberField(QWidget* parent, int minimum, int maximum, int maxLength, int value) {
    auto* field = new TIntSpinEdit(parent);
    field->setRange(minimum, maximum);
    field->SetMaxLength(maxLength);
    field->setValue(value);
    return field;
}

QString NameText(const std::string& name) { return platform::DisplayName(name); }

}  // namespace

TBatchRenameDialog::TBatchRenameDialog(QWidget* owner, bool folders, const std::vector<std::string>& paths,
                                       std::string folder)
    : QDialog(owner), folder_(std::move(folder)) {
    setObjectName(QStringLiteral("BatchRenameDialog"));
    setWindowTitle(QStringLiteral("名前の変更"));
    setProperty("HelpContext", 1090);
    BuildControls(folders);
    for (const std::string& path : paths) AddItemRow(path, folders);
    SampleUpdate();
    UpdateButtons();
}

void TBatchRenameDialog::BuildControls(bool folders) {
    list_ = new QTreeWidget(this);
    list_->setColumnCount(2);
    list_->setHeaderLabels({QStringLiteral("変更前"), QStringLiteral("変更後")});
    list_->setRootIsDecorated(false);
    list_->setSortingEnabled(false);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setDragDropMode(QAbstractItemView::InternalMove);
    list_->setDefaultDropAction(Qt::MoveAction);
    list_->header()->setSectionResizeMode(QHeaderView::Stretch);
    list_->invisibleRootItem()->setFlags(list_->invisibleRootItem()->flags() | Qt::ItemIsDropEnabled);

    auto* group = new QGroupBox(QStringLiteral("名前の設定"), this);
    auto* form = new QGridLayout(group);
    header_ = new QLineEdit(folders ? QStringLiteral("新しいフォルダ (") : QStringLiteral("新しいファイル ("), group);
    quoteOldName_ = new QCheckBox(QStringLiteral("変更前の名前を引用"), group);
    digits_ = MakeNumberField(group, 0, 99, 2, 1);
    start_ = MakeNumberField(group, 0, 999999999, 9, 1);
    increment_ = MakeNumberField(group, 1, 999999999, 9, 1);
    footer_ = new QLineEdit(QStringLiteral(")"), group);
    unifyExtension_ = new QCheckBox(QStringLiteral("で統一する"), group);
    extension_ = new QLineEdit(folders ? QString() : QStringLiteral("tmp"), group);
    extensionLabel_ = new QLabel(QStringLiteral("拡張子(&E) :"), group);
    extensionLabel_->setBuddy(extension_);
    const auto addRow = [&](int row, const QString& label, QWidget* field) {
        auto* caption = new QLabel(label, group);
        caption->setBuddy(field);
        form->addWidget(caption, row, 0);
        form->addWidget(field, row, 1, 1, 2);
    };
    addRow(0, QStringLiteral("ヘッダー(&A) :"), header_);
    addRow(1, QStringLiteral("ボディー(&B) :"), quoteOldName_);
    addRow(2, QStringLiteral("桁数(&S) :"), digits_);
    addRow(3, QStringLiteral("開始(&B) :"), start_);
    addRow(4, QStringLiteral("増分(&I) :"), increment_);
    addRow(5, QStringLiteral("フッター(&F) :"), footer_);
    form->addWidget(extensionLabel_, 6, 0);
    form->addWidget(extension_, 6, 1);
    form->addWidget(unifyExtension_, 6, 2);
    unifyExtension_->setEnabled(!folders);
    extensionLabel_->setEnabled(!folders);
    extension_->setEnabled(false);

    up_ = new QPushButton(QStringLiteral("上へ(&U)"), this);
    down_ = new QPushButton(QStringLiteral("下へ(&D)"), this);
    exclude_ = new QPushButton(QStringLiteral("除外(&R)"), this);
    skip_ = new QPushButton(QStringLiteral("スキップ(&S)"), this);
    auto* rowButtons = new QHBoxLayout;
    for (QPushButton* button : {up_, down_, exclude_, skip_}) {
        button->setAutoDefault(false);
        rowButtons->addWidget(button);
    }
    rowButtons->addStretch();

    auto* buttons = new QDialogButtonBox(this);
    ok_ = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    buttons->addButton(MakeHelpButton(1090, this), QDialogButtonBox::HelpRole);
    ok_->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(rowButtons);
    layout->addWidget(group);
    layout->addWidget(buttons);
    resize(480, 520);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    for (QLineEdit* edit : {header_, footer_, extension_})
        connect(edit, &QLineEdit::textChanged, this, &TBatchRenameDialog::SampleUpdate);
    for (TIntSpinEdit* field : {digits_, start_, increment_})
        connect(field, &QSpinBox::valueChanged, this, &TBatchRenameDialog::SampleUpdate);
    connect(quoteOldName_, &QCheckBox::toggled, this, &TBatchRenameDialog::SampleUpdate);
    connect(unifyExtension_, &QCheckBox::toggled, this, [this](bool checked) {
        extension_->setEnabled(checked);
        SampleUpdate();
    });
    connect(list_, &QTreeWidget::itemSelectionChanged, this, &TBatchRenameDialog::UpdateButtons);
    // A drop inside the list reorders the rows; the numbers follow.
    connect(list_->model(), &QAbstractItemModel::rowsInserted, this, &TBatchRenameDialog::SampleUpdate,
            Qt::QueuedConnection);
    connect(up_, &QPushButton::clicked, this, [this] { MoveSelected(-1); });
    connect(down_, &QPushButton::clicked, this, [this] { MoveSelected(1); });
    connect(exclude_, &QPushButton::clicked, this, &TBatchRenameDialog::ExcludeSelected);
    connect(skip_, &QPushButton::clicked, this, &TBatchRenameDialog::InsertSkip);
}

void TBatchRenameDialog::AddItemRow(const std::string& path, bool folders) {
    const std::string name = platform::BaseName(path);
    auto* item = new QTreeWidgetItem(list_, {NameText(name), QString()});
    const auto type = folders ? platform::FileObjectType::Folder : platform::FileObjectType::Regular;
    item->setIcon(0, QIcon::fromTheme(platform::FileIconName(name, type, false)));
    item->setData(0, kOldNameRole, QByteArray::fromStdString(name));
    item->setData(0, kSkipRole, false);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled);
}

std::vector<TRenameRow> TBatchRenameDialog::Rows() const {
    std::vector<TRenameRow> rows;
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = list_->topLevelItem(i);
        TRenameRow row;
        row.Skip = item->data(0, kSkipRole).toBool();
        row.OldName = item->data(0, kOldNameRole).toByteArray().toStdString();
        row.NewName = item->data(0, kNewNameRole).toByteArray().toStdString();
        rows.push_back(std::move(row));
    }
    return rows;
}

TRenamePattern TBatchRenameDialog::Pattern() const {
    TRenamePattern pattern;
    pattern.Header = header_->text();
    pattern.QuoteOldName = quoteOldName_->isChecked();
    pattern.Digits = digits_->value();
    pattern.Start = start_->value();
    pattern.Increment = increment_->value();
    pattern.Footer = footer_->text();
    pattern.UnifyExtension = unifyExtension_->isChecked();
    pattern.Extension = extension_->text();
    return pattern;
}

void TBatchRenameDialog::SampleUpdate() {
    const TRenamePattern pattern = Pattern();
    if (HasForbiddenCharacter(pattern.Header + pattern.Footer + pattern.Extension)) {
        platform::ShowMessage(this, ForbiddenCharacterMessage(), platform::MessageIcon::Error);
        return;
    }
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = list_->topLevelItem(i);
        if (item->data(0, kSkipRole).toBool()) continue;
        const std::string oldName = item->data(0, kOldNameRole).toByteArray().toStdString();
        const std::string newName = NewNameOf(pattern, oldName, i);
        item->setText(1, NameText(newName));
        item->setData(0, kNewNameRole, QByteArray::fromStdString(newName));
    }
}

int TBatchRenameDialog::SelectedRow() const {
    const QList<QTreeWidgetItem*> selected = list_->selectedItems();
    return selected.isEmpty() ? -1 : list_->indexOfTopLevelItem(selected.front());
}

void TBatchRenameDialog::SelectRow(int row) {
    list_->clearSelection();
    if (QTreeWidgetItem* item = list_->topLevelItem(row)) {
        item->setSelected(true);
        list_->setCurrentItem(item);
    }
    UpdateButtons();
}

void TBatchRenameDialog::UpdateButtons() {
    const int row = SelectedRow();
    const int count = list_->topLevelItemCount();
    up_->setEnabled(row > 0 && count >= 2);
    down_->setEnabled(row >= 0 && row < count - 1 && count >= 2);
    exclude_->setEnabled(row >= 0);
    skip_->setEnabled(row >= 0);
}

void TBatchRenameDialog::MoveSelected(int step) {
    const int row = SelectedRow();
    const int target = row + step;
    if (row < 0 || target < 0 || target >= list_->topLevelItemCount()) return;
    QTreeWidgetItem* item = list_->takeTopLevelItem(row);
    list_->insertTopLevelItem(target, item);
    SelectRow(target);
    SampleUpdate();
}

void TBatchRenameDialog::ExcludeSelected() {
    const int row = SelectedRow();
    if (row < 0) return;
    delete list_->takeTopLevelItem(row);
    const int count = list_->topLevelItemCount();
    if (count > 0) SelectRow(std::min(row, count - 1));
    else UpdateButtons();
    SampleUpdate();
}

void TBatchRenameDialog::InsertSkip() {
    const int row = SelectedRow();
    if (row < 0) return;
    auto* skip = new QTreeWidgetItem({QStringLiteral("【 スキップ 】"), QString()});
    skip->setIcon(0, QIcon::fromTheme(QStringLiteral("media-skip-forward")));
    skip->setData(0, kSkipRole, true);
    skip->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled);
    list_->insertTopLevelItem(row, skip);
    SelectRow(row);
    SampleUpdate();
}

void TBatchRenameDialog::accept() {
    const std::vector<TRenameRow> rows = Rows();
    TBatchRenameResult result;
    {
        platform::HourglassCursor busy;
        result = BatchRename(folder_, rows);
    }
    if (!result.Renamed) {
        platform::ShowMessage(this, result.Message, platform::MessageIcon::Error);
        return;
    }
    QDialog::accept();
}
