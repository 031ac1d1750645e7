#include "open_with_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "platform/file_operations.h"
#include "platform/message_box.h"

namespace {

void ShowCannotOpen(QWidget* owner) {
    platform::ShowMessage(owner, QStringLiteral("アプリケーションの関連付けを行えません。"),
                          platform::MessageIcon::Error);
}

}  // namespace

TOpenWithDialog::TOpenWithDialog(const QString& fileName,
                                 std::vector<platform::RegisteredApplication> applications,
                                 QWidget* owner)
    : QDialog(owner), applications_(std::move(applications)) {
    setWindowTitle(QStringLiteral("アプリケーションの選択"));
    auto* intro = new QLabel(
        QStringLiteral("「%1」を開くアプリケーションを選択してください。").arg(fileName), this);
    intro->setWordWrap(true);
    list_ = new QListWidget(this);
    list_->setIconSize(QSize(24, 24));
    for (const platform::RegisteredApplication& application : applications_) {
        const QIcon icon = application.Icon();
        list_->addItem(new QListWidgetItem(
            icon.isNull() ? style()->standardIcon(QStyle::SP_FileIcon) : icon, application.Name()));
    }
    auto* buttons = new QDialogButtonBox(this);
    ok_ = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    ok_->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QListWidget::itemActivated, this, &QDialog::accept);
    connect(list_, &QListWidget::currentRowChanged, this,
            [this](int row) { ok_->setEnabled(row >= 0); });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(list_);
    layout->addWidget(buttons);
    list_->setCurrentRow(applications_.empty() ? -1 : 0);
    ok_->setEnabled(!applications_.empty());
    resize(420, 360);
}

const platform::RegisteredApplication* TOpenWithDialog::Chosen() const {
    const int row = list_->currentRow();
    return row >= 0 && row < static_cast<int>(applications_.size()) ? &applications_[row] : nullptr;
}

bool OpenFileWith(const std::string& path, QWidget* owner) {
    QString error;
    std::vector<platform::RegisteredApplication> applications =
        platform::ApplicationsForFile(path, &error);
    if (applications.empty()) {
        ShowCannotOpen(owner);
        return false;
    }
    TOpenWithDialog dialog(platform::DisplayName(platform::BaseName(path)), std::move(applications),
                           owner);
    if (dialog.exec() != QDialog::Accepted || dialog.Chosen() == nullptr) return false;
    if (dialog.Chosen()->LaunchFile(path, &error)) return true;
    ShowCannotOpen(owner);
    return false;
}
