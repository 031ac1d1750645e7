#include "shell_folder_dialog.h"

#include <algorithm>
#include <vector>

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "platform/message_box.h"

namespace {

constexpr int kIDListRole = Qt::UserRole;
constexpr int kFilledRole = Qt::UserRole + 1;

QByteArray IDListData(ConstIDList list) {
    return QByteArray(reinterpret_cast<const char*>(platform::IDListBytes(list)),
                      static_cast<qsizetype>(IDListSize(list)));
}

// The list an item carries. The bytes are shared with the item's own
// copy, so they stay valid while the item lives.
ConstIDList ItemIDList(const QTreeWidgetItem* item) {
    if (item == nullptr) return nullptr;
    const QByteArray data = item->data(0, kIDListRole).toByteArray();
    return data.isEmpty() ? nullptr : platform::IDListAt(reinterpret_cast<const std::uint8_t*>(data.constData()));
}

// Whether whole is list followed by more items (or list itself).
bool StartsWithIDList(ConstIDList whole, ConstIDList list) {
    const std::size_t prefix = IDListSize(list) - 2;
    return IDListSize(whole) >= prefix + 2 &&
           std::equal(platform::IDListBytes(list), platform::IDListBytes(list) + prefix,
                      platform::IDListBytes(whole));
}

// The first count items of absolute.
TIDListHolder LeadingItems(ConstIDList absolute, int count) {
    TIDListHolder list(CopyIDList(absolute));
    while (list && IDListLevel(list.get()) > count) list.reset(ParentIDList(list.get()));
    return list;
}

// A typed name with "~" standing for the home folder, as shells read it.
QString ExpandHome(const QString& typed) {
    if (typed == QLatin1String("~")) return QDir::homePath();
    if (typed.startsWith(QLatin1String("~/"))) return QDir::homePath() + typed.mid(1);
    return typed;
}

const std::vector<std::pair<TSelectFolderOption, unsigned>>& OptionFlags() {
    using enum TSelectFolderOption;
    static const std::vector<std::pair<TSelectFolderOption, unsigned>> flags = {
        {bifReturnOnlyFSDIRs, 0x1},    {bifDontGoBelowDomain, 0x2},   {bifStatusText, 0x4},
        {bifReturnFSAncestors, 0x8},   {bifBrowseForComputer, 0x1000}, {bifBrowseForPrinter, 0x2000},
        {bifBrowseIncludeFiles, 0x4000}, {bifEditBox, 0x10},          {bifValiDate, 0x20},
        {bifBrowseIncludeUrls, 0x80},  {bifNewDialogStyle, 0x40},     {bifShareAble, 0x8000},
        {bifUseNewUI, 0x50},
    };
    return flags;
}

}  // namespace

unsigned BrowseFlags(const TSelectFolderOptions& options) {
    unsigned flags = 0;
    for (const auto& [option, flag] : OptionFlags())
        if (options.contains(option)) flags |= flag;
    return flags;
}

// ---- TShellFolderBrowser ---------------------------------------------------

TShellFolderBrowser::TShellFolderBrowser(QWidget* parent, ConstIDList root, const QString& title,
                                         unsigned flags)
    : QDialog(parent), flags_(flags), tree_(new QTreeWidget(this)), status_(new QLabel(this)),
      buttons_(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this)) {
    setWindowTitle(QStringLiteral("フォルダの参照"));
    auto* layout = new QVBoxLayout(this);
    auto* instruction = new QLabel(title, this);
    instruction->setWordWrap(true);
    layout->addWidget(instruction);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(status_);
    tree_->setHeaderHidden(true);
    tree_->setUniformRowHeights(true);
    tree_->setIconSize(QSize(16, 16));
    layout->addWidget(tree_, 1);
    if ((flags_ & BIF_EDITBOX) != 0) {
        edit_ = new QLineEdit(this);
        layout->addWidget(edit_);
    }
    buttons_->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons_->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
    layout->addWidget(buttons_);
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(tree_, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) { FillChildren(item); });
    connect(tree_, &QTreeWidget::currentItemChanged, this, [this] { SelectionChanged(); });
    resize(360, 420);

    QTreeWidgetItem* rootItem = AddItem(nullptr, root);
    rootItem->setExpanded(true);
    tree_->setCurrentItem(rootItem);
    SelectionChanged();
}

TShellFolderBrowser::~TShellFolderBrowser() = default;

QTreeWidgetItem* TShellFolderBrowser::AddItem(QTreeWidgetItem* parent, ConstIDList absolute) {
    auto* item = parent != nullptr ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree_);
    item->setData(0, kIDListRole, IDListData(absolute));
    QString name;
    StrRetToString(GetDesktopFolder(), absolute, SHGDN_NORMAL, name);
    item->setText(0, name);
    item->setIcon(0, GetSysImageList(false).Icon(GetSysIconIndex(absolute, false, false)));
    const bool folder = IsDesktopIDList(GetDesktopFolder(), absolute) || AbsoluteHasAttribute(absolute, saFolder);
    item->setChildIndicatorPolicy(folder ? QTreeWidgetItem::ShowIndicator
                                         : QTreeWidgetItem::DontShowIndicatorWhenChildless);
    return item;
}

void TShellFolderBrowser::FillChildren(QTreeWidgetItem* item) {
    if (item->data(0, kFilledRole).toBool()) return;
    item->setData(0, kFilledRole, true);
    const ConstIDList parent = ItemIDList(item);
    const ShellFolderPtr folder = BindToFolder(parent);
    std::unique_ptr<platform::ShellEnumerator> children;
    if (folder) {
        const unsigned what = SHCONTF_FOLDERS | ((flags_ & BIF_BROWSEINCLUDEFILES) != 0 ? SHCONTF_NONFOLDERS : 0);
        children = folder->EnumObjects(what);
    }
    std::vector<platform::UniqueIDList> relatives;
    if (children)
        while (auto child = children->Next()) relatives.push_back(std::move(child));
    std::sort(relatives.begin(), relatives.end(), [&folder](const auto& a, const auto& b) {
        return folder->CompareIDs(0, a.get(), b.get()).value_or(0) < 0;
    });
    for (const auto& relative : relatives) {
        const TIDListHolder absolute(ConcatIDList(parent, relative.get()));
        if (absolute) AddItem(item, absolute.get());
    }
    if (item->childCount() == 0) item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
}

bool TShellFolderBrowser::SelectIDList(ConstIDList absolute) {
    QTreeWidgetItem* item = tree_->topLevelItem(0);
    if (item == nullptr || absolute == nullptr || !StartsWithIDList(absolute, ItemIDList(item))) return false;
    while (!SameIDList(ItemIDList(item), absolute)) {
        FillChildren(item);
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < item->childCount() && next == nullptr; ++i)
            if (StartsWithIDList(absolute, ItemIDList(item->child(i)))) next = item->child(i);
        if (next == nullptr) {
            // A typed path may lead through a folder the tree leaves out,
            // a hidden one.
            const TIDListHolder step = LeadingItems(absolute, IDListLevel(ItemIDList(item)) + 1);
            if (!step) return false;
            next = AddItem(item, step.get());
        }
        item->setExpanded(true);
        item = next;
    }
    tree_->setCurrentItem(item);
    tree_->scrollToItem(item);
    return true;
}

ConstIDList TShellFolderBrowser::SelectedIDList() const { return ItemIDList(tree_->currentItem()); }

QString TShellFolderBrowser::SelectedPath() const {
    QString path;
    PathFromIDList(SelectedIDList(), path);
    return path;
}

QString TShellFolderBrowser::SelectedDisplayName() const {
    const QTreeWidgetItem* item = tree_->currentItem();
    return item != nullptr ? item->text(0) : QString();
}

bool TShellFolderBrowser::OkEnabled() const { return buttons_->button(QDialogButtonBox::Ok)->isEnabled(); }

void TShellFolderBrowser::SelectionChanged() {
    const QString path = SelectedPath();
    status_->setText(path);
    buttons_->button(QDialogButtonBox::Ok)->setEnabled(!path.isEmpty());
    if (edit_ != nullptr) edit_->setText(SelectedDisplayName());
}

bool TShellFolderBrowser::SelectPath(const QString& path) {
    IDList list = nullptr;
    const bool found = !path.isEmpty() && IDListFromPath(path, list) && AbsoluteHasAttribute(list, saFolder);
    const TIDListHolder holder(list);
    return found && SelectIDList(holder.get());
}

bool TShellFolderBrowser::AcceptTypedName() {
    const QString typed = ExpandHome(edit_->text().trimmed());
    if (typed == SelectedDisplayName()) return true;
    const QString path = typed.startsWith(QLatin1Char('/')) ? typed : JoinPath(SelectedPath(), typed);
    if (SelectPath(path)) return true;
    platform::ShowMessage(this, QStringLiteral("フォルダ名に無効な文字が含まれています"),
                          platform::MessageIcon::Error);
    return false;
}

void TShellFolderBrowser::accept() {
    if (edit_ != nullptr && !AcceptTypedName()) return;
    if (SelectedPath().isEmpty()) return;
    QDialog::accept();
}

// ---- TShellFolderDialog ----------------------------------------------------

TShellFolderDialog::TShellFolderDialog(QObject* parent) : QObject(parent) {}

TShellFolderDialog::~TShellFolderDialog() = default;

bool TShellFolderDialog::Execute() {
    const platform::UniqueIDList root = platform::SpecialFolderIDList(static_cast<int>(rootFolder_));
    const platform::UniqueIDList init = platform::SpecialFolderIDList(static_cast<int>(initFolder_));
    if (!root || !init) return false;
    TShellFolderBrowser browser(QApplication::activeWindow(), root.get(), title_, BrowseFlags(options_));
    if (!browser.SelectPath(initPath_)) browser.SelectIDList(init.get());
    if (browser.exec() != QDialog::Accepted) return false;
    idList_.reset(CopyIDList(browser.SelectedIDList()));
    folderName_ = browser.SelectedPath();
    displayName_ = browser.SelectedDisplayName();
    return true;
}
