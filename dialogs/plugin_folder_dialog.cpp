#include "plugin_folder_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "components/help_file.h"
#include "components/shell_folder_dialog.h"
#include "platform/code_page.h"
#include "platform/file_operations.h"
#include "platform/path_text.h"
#include "plugins/susie_plug.h"

namespace {

// The information numbers shown, in column order: type, pattern, own text.
constexpr int kShownInfo[] = {3, 2, 1};

// A library that may be a plug-in but cannot be used here is shown greyed
// with the reason, so the user sees why it decodes nothing.
void AddUnavailableRow(QTreeWidget* list, const TSusiePlugs::TUnavailable& plug) {
    const QString reason = QString::fromStdString(plug.reason);
    auto* row = new QTreeWidgetItem(list, {platform::DisplayName(plug.fileName), QString(), QString(), reason});
    row->setIcon(0, QIcon::fromTheme(QStringLiteral("dialog-warning")));
    row->setToolTip(0, reason);
    row->setToolTip(3, reason);
    row->setFlags(row->flags() & ~Qt::ItemIsEnabled);
}

}  // namespace

TPluginFolderDialog::TPluginFolderDialog(QWidget* owner, TSusiePlugs& host) : QDialog(owner), host_(host) {
    setObjectName(QStringLiteral("PluginFolderDialog"));
    setWindowTitle(QStringLiteral("Susieプラグインの設定"));
    setProperty("HelpContext", 8010);

    auto* intro = new QLabel(QStringLiteral("Susieプラグインが置かれたフォルダの設定を行います。"), this);
    folderEdit_ = new QLineEdit(this);
    folderEdit_->setReadOnly(true);
    auto* label = new QLabel(QStringLiteral("フォルダ(&F) :"), this);
    label->setBuddy(folderEdit_);
    browse_ = new QToolButton(this);
    browse_->setText(QStringLiteral("..."));
    browse_->setIcon(QIcon::fromTheme(QStringLiteral("folder-open")));
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(label);
    folderRow->addWidget(folderEdit_, 1);
    folderRow->addWidget(browse_);

    list_ = new QTreeWidget(this);
    list_->setColumnCount(4);
    list_->setHeaderLabels({QStringLiteral("プラグイン名"), QStringLiteral("フォーマットタイプ"), QStringLiteral("拡張子"),
                            QStringLiteral("インフォメーション")});
    list_->setRootIsDecorated(false);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->header()->setSectionsClickable(false);
    list_->header()->setStretchLastSection(true);
    list_->setColumnWidth(0, 80);
    list_->setColumnWidth(1, 100);
    list_->setColumnWidth(2, 80);

    auto* buttons = new QDialogButtonBox(this);
    update_ = buttons->addButton(QStringLiteral("更 新(&U)"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    buttons->addButton(MakeHelpButton(8010, this), QDialogButtonBox::HelpRole);
    update_->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(browse_, &QToolButton::clicked, this, &TPluginFolderDialog::Browse);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(folderRow);
    layout->addWidget(list_, 1);
    layout->addWidget(buttons);
    resize(520, 320);
    SetFolder(host_.Path());
}

void TPluginFolderDialog::SetFolder(const std::string& folder) {
    folder_ = folder;
    folderEdit_->setText(platform::DisplayName(folder));
    FillList();
}

void TPluginFolderDialog::FillList() {
    list_->clear();
    TSusiePlugs registry;
    registry.SetPath(folder_);
    for (int i = 0; i < registry.Count(); ++i) {
        TSusiePlug* plug = registry.Items(i);
        const TSusiePlugUse use(*plug);
        if (!use.Loaded()) continue;
        QStringList texts{platform::DisplayName(plug->FileName())};
        bool complete = true;
        for (const int number : kShownInfo) {
            const std::string info = plug->GetInfo(number);
            complete = complete && !info.empty();
            texts << platform::FromCodePage932(info);
        }
        auto* row = new QTreeWidgetItem(list_, texts);
        // A plug-in that does not describe itself fully gets the error mark.
        if (!complete) row->setIcon(0, QIcon::fromTheme(QStringLiteral("dialog-error")));
    }
    for (const TSusiePlugs::TUnavailable& plug : registry.Unavailable()) AddUnavailableRow(list_, plug);
    list_->sortItems(0, Qt::AscendingOrder);
}

void TPluginFolderDialog::Browse() {
    TShellFolderDialog dialog;
    dialog.SetTitle(QStringLiteral("プラグインの保管先フォルダを選択"));
    dialog.SetRootFolder(TSpecialFolder::sfDesktop);
    dialog.SetInitFolder(TSpecialFolder::sfDrives);
    dialog.SetOptions({TSelectFolderOption::bifReturnOnlyFSDIRs, TSelectFolderOption::bifEditBox,
                       TSelectFolderOption::bifValiDate, TSelectFolderOption::bifNewDialogStyle});
    if (dialog.Execute()) SetFolder(platform::PathBytes(dialog.FolderName()));
}

void TPluginFolderDialog::accept() {
    host_.SetPath(folder_);
    QDialog::accept();
}
