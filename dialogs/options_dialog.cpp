#include "options_dialog.h"

#include <QButtonGroup>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "components/help_file.h"
#include "components/shell_folder_dialog.h"

namespace {

struct AttributeCaption {
    const char* panel;
    const char* button;
};

const AttributeCaption kAttributeCaptions[kAttributeColorCount] = {
    {"&ReadOnly", "読取り専用(&R)..."}, {"Hide&n", "隠しファイル(&N)..."}, {"&System", "システム(&S)..."},
    {"&Archive", "アーカイブ(&A)..."},  {"&Directory", "ディレクトリ(&D)..."}, {"&Temporary", "テンポラリ(&T)..."},
    {"&Compress", "圧縮(&C)..."},       {"&Offline", "オフライン(&O)..."},
};

// A caption's "&" marks the letter after it, shown underlined; "&&" is a
// plain "&".
QString CaptionRichText(const QString& caption) {
    QString text;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        const bool marker = caption[i] == QLatin1Char('&') && i + 1 < caption.size();
        if (marker && caption[i + 1] != QLatin1Char('&')) {
            text += QStringLiteral("<u>") + QString(caption[++i]).toHtmlEscaped() + QStringLiteral("</u>");
            continue;
        }
        if (marker) ++i;
        text += QString(caption[i]).toHtmlEscaped();
    }
    return text;
}

QLabel* MakeSample(const QString& caption, QWidget* parent) {
    auto* panel = new QLabel(CaptionRichText(caption), parent);
    panel->setTextFormat(Qt::RichText);
    panel->setAlignment(Qt::AlignCenter);
    panel->setAutoFillBackground(true);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    panel->setMinimumSize(110, 28);
    return panel;
}

void ShowLook(QLabel* panel, std::uint32_t background, const TFontLook& font, std::uint32_t fontColor) {
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, ColorOfValue(background));
    palette.setColor(QPalette::WindowText, ColorOfValue(fontColor));
    panel->setPalette(palette);
    panel->setFont(font.Font());
}

QGroupBox* Group(const QString& caption, const QString& label, QWidget* parent, QVBoxLayout*& layout) {
    auto* group = new QGroupBox(caption, parent);
    layout = new QVBoxLayout(group);
    if (!label.isEmpty()) layout->addWidget(new QLabel(label, group));
    return group;
}

QString ChooseFolderWithShellDialog(const QString& current) {
    TShellFolderDialog dialog;
    dialog.SetTitle(QStringLiteral("デフォルトフォルダを選択"));
    dialog.SetRootFolder(TSpecialFolder::sfDesktop);
    dialog.SetInitFolder(TSpecialFolder::sfDesktop);
    dialog.SetInitPath(current);
    dialog.SetOptions({TSelectFolderOption::bifReturnOnlyFSDIRs, TSelectFolderOption::bifEditBox,
                       TSelectFolderOption::bifValiDate, TSelectFolderOption::bifNewDialogStyle});
    return dialog.Execute() ? dialog.FolderName() : QString();
}

}  // namespace

TOptionsDialog::TOptionsDialog(QWidget* owner, const TOptionSettings& current)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), settings_(current) {
    setObjectName(QStringLiteral("OptionsDialog"));
    setWindowTitle(QStringLiteral("オプション"));
    setProperty("HelpContext", 8050);
    ChooseColor = [this](const QColor& initial) -> std::optional<QColor> {
        const QColor color = QColorDialog::getColor(initial, this);
        return color.isValid() ? std::optional<QColor>(color) : std::nullopt;
    };
    ChooseFont = [this](const QFont& initial) -> std::optional<QFont> {
        bool ok = false;
        const QFont font = QFontDialog::getFont(&ok, initial, this);
        return ok ? std::optional<QFont>(font) : std::nullopt;
    };
    ChooseFolder = [](const QString& current) -> std::optional<QString> {
        const QString folder = ChooseFolderWithShellDialog(current);
        return folder.isEmpty() ? std::nullopt : std::optional<QString>(folder);
    };

    pages_ = new QTabWidget(this);
    pages_->addTab(BuildStartPage(), QStringLiteral("　起 動　"));
    pages_->addTab(BuildLookPage(), QStringLiteral("　表 示　"));
    pages_->addTab(BuildOperationPage(), QStringLiteral("　操 作　"));

    auto* buttons = new QDialogButtonBox(this);
    ok_ = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    buttons->addButton(MakeHelpButton(8050, this), QDialogButtonBox::HelpRole);
    ok_->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages_);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    ShowSamples();
    ok_->setFocus();
}

QWidget* TOptionsDialog::BuildStartPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    QVBoxLayout* inner = nullptr;

    auto* folderGroup = Group(QStringLiteral("デフォルトフォルダ"), {}, page, inner);
    defaultFolder_ = new QLineEdit(settings_.DefaultPath, folderGroup);
    auto* folderLabel = new QLabel(QStringLiteral("起動時にオープンするフォルダを設定します(&D)"), folderGroup);
    folderLabel->setBuddy(defaultFolder_);
    defaultFolderButton_ = new QToolButton(folderGroup);
    defaultFolderButton_->setText(QStringLiteral("..."));
    defaultFolderButton_->setIcon(QIcon::fromTheme(QStringLiteral("folder-open")));
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(defaultFolder_, 1);
    folderRow->addWidget(defaultFolderButton_);
    inner->addWidget(folderLabel);
    inner->addLayout(folderRow);
    connect(defaultFolderButton_, &QToolButton::clicked, this, &TOptionsDialog::PickFolder);

    auto* windowGroup =
        Group(QStringLiteral("アプリケーションウィンドウ"),
              QStringLiteral("アプリケーションウィンドウの位置・サイズを設定します。"), page, inner);
    maximized_ = new QRadioButton(QStringLiteral("画面領域に最大化する(&X)"), windowGroup);
    lastPlacement_ = new QRadioButton(QStringLiteral("前回の終了時の設定で起動する(&B)"), windowGroup);
    (settings_.Initialize == 1 ? lastPlacement_ : maximized_)->setChecked(true);
    inner->addWidget(maximized_);
    inner->addWidget(lastPlacement_);

    auto* portableGroup = Group(QStringLiteral("CD-ROM等でのポータブル設定"), {}, page, inner);
    portableFolder_ = new QLineEdit(settings_.CdFolderPath, portableGroup);
    portablePluginFolder_ = new QLineEdit(settings_.CdSusiePath, portableGroup);
    auto* folderText = new QLabel(QStringLiteral("起動時にオープンするフォルダを相対パスで設定します(&A)"), portableGroup);
    folderText->setBuddy(portableFolder_);
    auto* pluginText = new QLabel(QStringLiteral("Susieプラグインが置かれたフォルダを相対パスで設定します(&P)"), portableGroup);
    pluginText->setBuddy(portablePluginFolder_);
    inner->addWidget(folderText);
    inner->addWidget(portableFolder_);
    inner->addWidget(pluginText);
    inner->addWidget(portablePluginFolder_);

    layout->addWidget(folderGroup);
    layout->addWidget(windowGroup);
    layout->addWidget(portableGroup);
    layout->addStretch();
    return page;
}

QWidget* TOptionsDialog::BuildLookPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    QVBoxLayout* inner = nullptr;
    const auto sampleRow = [](QLabel* panel, QPushButton* color, QPushButton* font) {
        auto* row = new QHBoxLayout;
        row->addWidget(panel, 1);
        row->addWidget(color);
        if (font != nullptr) row->addWidget(font);
        return row;
    };

    auto* treeGroup =
        Group(QStringLiteral("ツリービュー"), QStringLiteral("ツリービューの背景色、フォントを設定します。"), page, inner);
    treeSample_ = MakeSample(QStringLiteral("フォント様式"), treeGroup);
    treeColor_ = new QPushButton(QStringLiteral("背景色(&B)..."), treeGroup);
    treeFont_ = new QPushButton(QStringLiteral("フォント(&F)..."), treeGroup);
    inner->addLayout(sampleRow(treeSample_, treeColor_, treeFont_));

    auto* listGroup = Group(QStringLiteral("リストビュー"),
                            QStringLiteral("リストビューの背景色、フォント様式を設定します。"), page, inner);
    listSample_ = MakeSample(QStringLiteral("フォント様式"), listGroup);
    listColor_ = new QPushButton(QStringLiteral("背景色(&K)..."), listGroup);
    listFont_ = new QPushButton(QStringLiteral("フォント(&V)..."), listGroup);
    inner->addLayout(sampleRow(listSample_, listColor_, listFont_));
    inner->addWidget(new QLabel(QStringLiteral("フォルダ固定時の背景色を設定します。"), listGroup));
    lockedListSample_ = MakeSample(QStringLiteral("フォント様式"), listGroup);
    lockColor_ = new QPushButton(QStringLiteral("背景色(&L)..."), listGroup);
    lockFont_ = new QPushButton(QStringLiteral("フォント(&I)..."), listGroup);
    inner->addLayout(sampleRow(lockedListSample_, lockColor_, lockFont_));

    auto* attributeGroup = Group(QStringLiteral("リストビュー属性"),
                                 QStringLiteral("ファイル属性ごとに個別の表示色を設定します。"), page, inner);
    auto* grid = new QGridLayout;
    for (int i = 0; i < kAttributeColorCount; ++i) {
        attributePanels_[i] = MakeSample(QString::fromUtf8(kAttributeCaptions[i].panel), attributeGroup);
        attributeButtons_[i] = new QPushButton(QString::fromUtf8(kAttributeCaptions[i].button), attributeGroup);
        grid->addWidget(attributePanels_[i], i / 2, (i % 2) * 2);
        grid->addWidget(attributeButtons_[i], i / 2, (i % 2) * 2 + 1);
        connect(attributeButtons_[i], &QPushButton::clicked, this, [this, i] { PickColor(settings_.AttributeColors[i]); });
    }
    inner->addLayout(grid);

    connect(treeColor_, &QPushButton::clicked, this, [this] { PickColor(settings_.Tree.Color); });
    connect(treeFont_, &QPushButton::clicked, this, [this] { PickFont(settings_.Tree); });
    connect(listColor_, &QPushButton::clicked, this, [this] { PickColor(settings_.List.Color); });
    connect(listFont_, &QPushButton::clicked, this, [this] { PickFont(settings_.List); });
    connect(lockColor_, &QPushButton::clicked, this, [this] { PickColor(settings_.LockedList.Color); });
    connect(lockFont_, &QPushButton::clicked, this, [this] { PickFont(settings_.LockedList); });

    layout->addWidget(treeGroup);
    layout->addWidget(listGroup);
    layout->addWidget(attributeGroup);
    return page;
}

QWidget* TOptionsDialog::BuildOperationPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    QVBoxLayout* inner = nullptr;
    auto* clickGroup = Group(QStringLiteral("クリック方法"),
                             QStringLiteral("フォルダ・ファイルの選択方法を設定します。"), page, inner);
    pointToSelect_ = new QRadioButton(QStringLiteral("ポイントして選択し、シングルクリックで開く(&S)"), clickGroup);
    clickToSelect_ = new QRadioButton(QStringLiteral("シングルクリックで選択し、ダブルクリックで開く(&D)"), clickGroup);
    (settings_.ClickType == 1 ? clickToSelect_ : pointToSelect_)->setChecked(true);
    inner->addWidget(pointToSelect_);
    inner->addWidget(clickToSelect_);

    auto* wheelGroup = Group(QStringLiteral("マウスホイールの設定"),
                             QStringLiteral("マウスホイールによる拡大・縮小の割付を設定します。"), page, inner);
    wheelUpShrinks_ = new QRadioButton(QStringLiteral("ホイールのアップで縮小、ダウンで拡大(&T)"), wheelGroup);
    wheelUpEnlarges_ = new QRadioButton(QStringLiteral("ホイールのアップで拡大、ダウンで縮小(&F)"), wheelGroup);
    (settings_.MouseWheel == 1 ? wheelUpEnlarges_ : wheelUpShrinks_)->setChecked(true);
    inner->addWidget(wheelUpShrinks_);
    inner->addWidget(wheelUpEnlarges_);

    layout->addWidget(clickGroup);
    layout->addWidget(wheelGroup);
    layout->addStretch();
    return page;
}

// The attribute samples show the list's background and font in their own
// colours, so a change of the list look reaches all of them.
void TOptionsDialog::ShowSamples() {
    ShowLook(treeSample_, settings_.Tree.Color, settings_.Tree, settings_.Tree.FontColor);
    ShowLook(listSample_, settings_.List.Color, settings_.List, settings_.List.FontColor);
    ShowLook(lockedListSample_, settings_.LockedList.Color, settings_.LockedList, settings_.LockedList.FontColor);
    for (int i = 0; i < kAttributeColorCount; ++i)
        ShowLook(attributePanels_[i], settings_.List.Color, settings_.List, settings_.AttributeColors[i]);
}

void TOptionsDialog::PickColor(std::uint32_t& value) {
    if (const std::optional<QColor> color = ChooseColor(ColorOfValue(value))) {
        value = ValueOfColor(*color);
        ShowSamples();
    }
}

void TOptionsDialog::PickFont(TFontLook& look) {
    if (const std::optional<QFont> font = ChooseFont(look.Font())) {
        look.SetFont(*font);
        ShowSamples();
    }
}

void TOptionsDialog::PickFolder() {
    if (const std::optional<QString> folder = ChooseFolder(defaultFolder_->text().trimmed()))
        defaultFolder_->setText(*folder);
}

void TOptionsDialog::accept() {
    settings_.DefaultPath = defaultFolder_->text();
    settings_.Initialize = lastPlacement_->isChecked() ? 1 : 0;
    settings_.CdFolderPath = portableFolder_->text();
    settings_.CdSusiePath = portablePluginFolder_->text();
    settings_.ClickType = clickToSelect_->isChecked() ? 1 : 0;
    settings_.MouseWheel = wheelUpEnlarges_->isChecked() ? 1 : 0;
    QDialog::accept();
}
