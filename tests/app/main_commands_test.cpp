#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>
#include <string_view>

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QRadioButton>
#include <QTimer>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>

#include "app/main_command_table.h"
#include "app/main_commands.h"
#include "dialogs/batch_rename_dialog.h"
#include "dialogs/options_dialog.h"
#include "main_form_fixture.h"
#include "platform/action_list.h"
#include "platform/list_view.h"
#include "raster/raster.h"
#include "raster/raster_layers.h"
#include "raster/raster_list_view.h"
#include "raster/raster_tree_view.h"
#include "shell/shell_list_view.h"
#include "shell/shell_tree_view.h"

namespace {

// The real main window started on a folder with test images and two
// subfolders, the test plug-in as its plug-in folder.
class MainCommandsTest : public MainFormTest {
protected:
    void SetUp() override {
        std::filesystem::create_directories(folder.File("pictures/first/inner"));
        std::filesystem::create_directories(folder.File("pictures/second"));
        TestImage("pictures/first/inner/kept.ktest", "width=4 height=4");
        for (const char* name : {"a.ktest", "b.ktest", "c.ktest"})
            TestImage(std::string("pictures/") + name, "width=8 height=8");
        WriteIni(StartIni());
        Start();
    }

    void TearDown() override {
        if (form) Close();
    }

    void SelectRows(const QStringList& names) {
        std::vector<int> rows;
        for (const QString& name : names) rows.push_back(RowOf(name));
        std::sort(rows.begin(), rows.end());
        List().SetSelectedRows(rows);
    }

    // Answers the next modal window of type Dialog by rejecting it, after
    // noting that it came.
    template <class Dialog>
    void RejectNextDialog(bool& shown) {
        QTimer::singleShot(0, form.get(), [&shown] {
            ProcessEventsUntil([] { return QApplication::activeModalWidget() != nullptr; });
            if (auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
                shown = true;
                dialog->reject();
            } else if (QWidget* other = QApplication::activeModalWidget()) {
                other->close();
            }
        });
    }

    bool CheckedNow(TCommand command) const {
        Commands().ActionList().UpdateActions();
        return Command(command)->isChecked();
    }

    void OpenTestImage(const std::string& words = "width=64 height=48") {
        ASSERT_TRUE(form->OpenImage(TestImage("picture.ktest", words)));
    }

    QMenu* TopMenu(const QString& caption) const {
        for (QAction* entry : Commands().MainMenu()->actions())
            if (entry->text() == caption) return entry->menu();
        return nullptr;
    }

    // A menu's entries as a user reads them: captions, "-" for separators,
    // hidden entries left out.
    static QStringList Entries(const QMenu* menu) {
        QStringList entries;
        for (QAction* entry : menu->actions())
            if (entry->isVisible()) entries << (entry->isSeparator() ? QStringLiteral("-") : entry->text());
        return entries;
    }

};

// --- Menus, shortcuts and hints ----------------------------------------------

TEST_F(MainCommandsTest, TheMainMenuOffersItsColumnsInOrderWithTheLayerAndObjectMenusHidden) {
    QStringList visible;
    for (QAction* entry : Commands().MainMenu()->actions())
        if (entry->isVisible()) visible << entry->text();
    EXPECT_EQ(visible, QStringList({"ファイル(&F)", "編集(&E)", "表示(&V)", "移動(&G)", "画像(&R)", "ツール(&T)",
                                    "ヘルプ(&H)"}));
    ASSERT_NE(TopMenu("レイヤ(&L)"), nullptr);
    EXPECT_FALSE(TopMenu("レイヤ(&L)")->menuAction()->isVisible());
    EXPECT_FALSE(TopMenu("オブジェクト(&O)")->menuAction()->isVisible());

    EXPECT_EQ(Entries(TopMenu("ファイル(&F)")),
              QStringList({"開く(&O)", "閉じる(&C)", "-", "名前をつけて保存(&A)...", "-", "プリンタの設定(&U)...",
                           "印刷(&P)", "-", "日付・時刻・属性の変更(&D)...", "名前の変更(&M)",
                           "アプリケーションの関連付け(&E)...", "プロパティ(&R)...", "-", "終了(&X)"}));
    EXPECT_EQ(Entries(TopMenu("移動(&G)")),
              QStringList({"前に戻る(&B)", "次に進む(&F)", "-", "一つ上の階層へ(&U)", "-", "上のフォルダ(&P)",
                           "下のフォルダ(&N)", "-", "フォルダの固定(&L)", "-", "前のファイル(&O)", "次のファイル(&D)",
                           "-", "中止(&C)"}));
    EXPECT_EQ(Entries(TopMenu("ヘルプ(&H)")),
              QStringList({"目次とキーワード(&C)", "-", "Kelvandorのホームページ(&W)...", "サポート情報を送信(&S)...",
                           "-", "バージョン情報(&A)..."}));
    // The measuring submenu stays out of sight.
    QStringList tools = Entries(TopMenu("ツール(&T)"));
    EXPECT_FALSE(tools.contains("画像上での計測(&M)"));
    EXPECT_TRUE(tools.contains("オプション(&O)..."));
    EXPECT_EQ(TopMenu("画像(&R)")->menuAction()->statusTip(), "画像の操作に関するコマンドです。");
}

TEST_F(MainCommandsTest, ThePopupMenusOfListViewAndLayersOfferTheirCommands) {
    EXPECT_EQ(Entries(Commands().ImagePopupMenu()),
              QStringList({"ポイントツール(&P)", "-", "矩形範囲を拡大(&R)", "拡大(&I)", "縮小(&O)", "-",
                           "スクロール(&S)", "センターリング(&G)", "-", "全体表示(&E)", "-", "再描画(&U)"}));
    EXPECT_EQ(Entries(Commands().ListPopupMenu()),
              QStringList({"表示(&V)", "アイコンの整列(&I)", "-", "最新の情報に更新(&R)", "-", "貼り付け(&P)", "-",
                           "新規作成(&N)", "-", "すべて選択(&A)", "フォルダを選択(&D)", "ファイルを選択(&S)"}));
    EXPECT_EQ(Entries(Commands().LayerPopupMenu()),
              QStringList({"アクティブ(&A)", "表示(&V)", "非表示(&I)", "-", "新規レイヤ(&N)", "レイヤ削除(&E)",
                           "レイヤ名の変更(&R)", "-", "上層に移動(&U)", "下層に移動(&D)"}));
}

// A command added with a number or a name already taken would shadow the
// other one in every lookup.
TEST(MainCommandTableTest, NumbersAndNamesLeadToOneCommandEachWay) {
    int previous = 0;
    std::set<std::string_view> names;
    for (const TCommandRow& row : MainCommandTable()) {
        EXPECT_GT(NumberOf(row.Id), previous) << row.Name;
        previous = NumberOf(row.Id);
        EXPECT_TRUE(names.insert(row.Name).second) << row.Name;
        EXPECT_EQ(FindCommand(NumberOf(row.Id)), &row) << row.Name;
        EXPECT_EQ(FindCommand(row.Name), &row) << row.Name;
        EXPECT_FALSE(row.Handler != nullptr && row.FormHandler != nullptr) << row.Name;
    }
    EXPECT_EQ(std::string_view(FindCommand(1050)->Name), "SaveAsBitmap");
    EXPECT_EQ(FindCommand("SaveAsBitmap")->Id, TCommand::SaveAsBitmap);
    EXPECT_EQ(FindCommand(1055), nullptr);
    EXPECT_EQ(FindCommand("Action1050"), nullptr);
}

TEST_F(MainCommandsTest, CommandsCarryTheirShortcutsHintsAndHelpContexts) {
    using enum TCommand;
    const std::pair<TCommand, const char*> shortcuts[] = {
        {OpenFile, "Ctrl+O"},    {Print, "Ctrl+P"},       {Properties, "F12"},    {Cut, "Ctrl+X"},
        {Copy, "Ctrl+C"},        {Paste, "Ctrl+V"},       {Delete, "Del"},        {SelectAll, "Ctrl+A"},
        {Back, "Alt+Left"},      {Forward, "Alt+Right"},  {UpOneLevel, "Ctrl+Up"}, {PreviousFile, "Alt+Up"},
        {NextFile, "Alt+Down"},  {CancelLoad, "Esc"},     {WholeImage, "Home"},   {Redraw, "F5"},
        {HelpContents, "F1"}};
    for (const auto& [command, keys] : shortcuts)
        EXPECT_EQ(Command(command)->shortcut().toString(), keys) << command;

    EXPECT_EQ(Command(SaveAsBitmap)->toolTip(), "別名保存");
    EXPECT_EQ(Command(SaveAsBitmap)->statusTip(), "作業中の画像ファイルに別の名前をつけて保存します。");
    EXPECT_EQ(Command(SaveAsBitmap)->objectName(), "SaveAsBitmap");

    const std::pair<TCommand, int> contexts[] = {
        {ChangeTimeAttributes, 1080}, {ShowViewToolBar, 3010}, {ShowStatusBar, 3020}, {SortByType, 3040},
        {ShowTrash, 3050},            {ExpandedViewMode, 3070}, {ColorPaintMode, 3080}, {ShowLayer, 6040},
        {LayerDown, 6050},            {ShowVersion, 9040}};
    for (const auto& [command, context] : contexts) EXPECT_EQ(Command(command)->HelpContext(), context) << command;

    // The status bar's first panel shows the long hint of the entry under
    // the pointer.
    QMenu* file = TopMenu("ファイル(&F)");
    file->popup(form->mapToGlobal(QPoint(10, 10)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(file));
    file->setActiveAction(Command(PrinterSetup));
    EXPECT_EQ(Panel(0), "使用するプリンタの設定を行います。");
    EXPECT_TRUE(form->StatusBar()->currentMessage().isEmpty());
    file->close();
}

TEST_F(MainCommandsTest, EveryToolbarButtonAndMenuCommandHasAnIconOfTheTheme) {
    using enum TCommand;
    for (const QToolBar* bar : form->ToolBars())
        for (QAction* button : bar->actions()) {
            if (button->isSeparator() || !qobject_cast<platform::Action*>(button)) continue;
            EXPECT_FALSE(button->icon().isNull()) << button->objectName().toStdString();
            EXPECT_FALSE(button->icon().pixmap(16).isNull()) << button->objectName().toStdString();
        }
    // Check and radio entries show their mark instead.
    for (TCommand command : {OpenFile, SaveAsBitmap, Exit, CopyToFolder, InvertSelection, Refresh, LockFolder,
                             CreateNumberedFolders, Options, ShowVersion}) {
        EXPECT_FALSE(Command(command)->icon().isNull()) << command;
    }
}

TEST_F(MainCommandsTest, ToolbarsOfARowDoNotCoverEachOther) {
    const std::pair<const QToolBar*, const QToolBar*> rows[] = {{form->StandardToolBar(), form->ViewToolBar()},
                                                                {form->GoToolBar(), form->ImageToolBar()}};
    for (const auto& [left, right] : rows) {
        EXPECT_EQ(left->y(), right->y());
        EXPECT_GE(right->x(), left->x() + left->sizeHint().width()) << left->objectName().toStdString();
    }
}

TEST_F(MainCommandsTest, TheHistoryButtonsDropDownTheirMenus) {
    auto* back = qobject_cast<QToolButton*>(form->GoToolBar()->widgetForAction(Command(TCommand::Back)));
    auto* forward = qobject_cast<QToolButton*>(form->GoToolBar()->widgetForAction(Command(TCommand::Forward)));
    ASSERT_TRUE(back && forward);
    EXPECT_EQ(back->menu(), Commands().PopupUndo());
    EXPECT_EQ(back->popupMode(), QToolButton::MenuButtonPopup);
    EXPECT_EQ(back->contextMenuPolicy(), Qt::CustomContextMenu);
    EXPECT_EQ(forward->menu(), Commands().PopupRedo());
}

// --- Enabling follows the targets --------------------------------------------

TEST_F(MainCommandsTest, ImageCommandsFollowTheViewAndTheToolsAreOneRadioGroup) {
    using enum TCommand;
    for (TCommand command : {CloseFile, SaveAsBitmap, Print, ZoomInTool, WholeImage, CopyImage})
        EXPECT_FALSE(EnabledNow(command)) << command;
    EXPECT_TRUE(EnabledNow(NormalViewMode));
    EXPECT_TRUE(CheckedNow(NormalViewMode));
    EXPECT_FALSE(CheckedNow(ExpandedViewMode));

    OpenTestImage();
    for (TCommand command : {CloseFile, SaveAsBitmap, Print, PointTool, ZoomInTool, CopyImage})
        EXPECT_TRUE(EnabledNow(command)) << command;
    Run(ZoomInTool);
    EXPECT_TRUE(CheckedNow(ZoomInTool));
    EXPECT_FALSE(CheckedNow(PointTool));
    Run(ExpandedViewMode);
    EXPECT_EQ(form->Raster()->ViewMode(), vmExpand);
    EXPECT_FALSE(CheckedNow(NormalViewMode));

    Run(CloseFile);
    EXPECT_FALSE(form->Raster()->HasImage());
    EXPECT_FALSE(EnabledNow(CloseFile));
}

TEST_F(MainCommandsTest, HelpIsOfferedAndHiddenCommandsStayOutOfSight) {
    using enum TCommand;
    EXPECT_TRUE(EnabledNow(HelpContents));
    // Hidden commands stay out of sight on menus and toolbars alike.
    for (TCommand command : {NewFile, Save, Undo, ShowObjectToolBar})
        EXPECT_FALSE(Command(command)->isVisible()) << command;
}

TEST_F(MainCommandsTest, BarTogglesShowAndHideTheirBarsAndFollowThem) {
    EXPECT_TRUE(CheckedNow(TCommand::ShowViewToolBar));
    Run(TCommand::ShowViewToolBar);
    EXPECT_TRUE(form->ViewToolBar()->isHidden());
    EXPECT_FALSE(CheckedNow(TCommand::ShowViewToolBar));
    Run(TCommand::ShowViewToolBar);
    EXPECT_FALSE(form->ViewToolBar()->isHidden());
    EXPECT_TRUE(CheckedNow(TCommand::ShowViewToolBar));

    Run(TCommand::ShowStatusBar);
    EXPECT_TRUE(form->StatusBar()->isHidden());
    EXPECT_FALSE(CheckedNow(TCommand::ShowStatusBar));
}

// --- Handlers -----------------------------------------------------------------

TEST_F(MainCommandsTest, SaveAsBitmapWritesA24BitBitmapTheUserCanOpen) {
    OpenTestImage("width=40 height=30");
    const QString target = QString::fromStdString(folder.File("out/copy.bmp"));
    std::filesystem::create_directories(folder.File("out"));
    Commands().ChooseSaveFile = [&](const QString&) { return target; };
    Run(TCommand::SaveAsBitmap);
    EXPECT_TRUE(messages.Texts().isEmpty()) << messages.Texts().join("\n").toStdString();
    QImage written(target, "BMP");
    ASSERT_FALSE(written.isNull());
    EXPECT_EQ(written.size(), QSize(40, 30));
    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray header = file.read(30);
    EXPECT_EQ(header.left(2), "BM");
    EXPECT_EQ(static_cast<unsigned char>(header[28]), 24);  // bits per pixel

    // Cancelling the chooser writes nothing.
    std::filesystem::remove(target.toStdString());
    Commands().ChooseSaveFile = [](const QString&) { return QString(); };
    Run(TCommand::SaveAsBitmap);
    EXPECT_FALSE(QFile::exists(target));
}

TEST_F(MainCommandsTest, SaveAsBitmapProposesTheImagesNameInItsFolderThenTheFolderLastUsed) {
    ASSERT_TRUE(form->OpenImage(TestImage("pictures/first/inner/kept.ktest", "width=4 height=4")));
    QString proposed;
    Commands().ChooseSaveFile = [&](const QString& path) {
        proposed = path;
        return QString();
    };
    Run(TCommand::SaveAsBitmap);
    EXPECT_EQ(proposed, QString::fromStdString(folder.File("pictures/first/inner/kept.bmp")));

    std::filesystem::create_directories(folder.File("exports"));
    Commands().ChooseSaveFile = [&](const QString&) { return QString::fromStdString(folder.File("exports/one.bmp")); };
    Run(TCommand::SaveAsBitmap);
    ASSERT_TRUE(form->OpenImage(TestImage("pictures/a.ktest", "width=8 height=8")));
    Commands().ChooseSaveFile = [&](const QString& path) {
        proposed = path;
        return QString();
    };
    Run(TCommand::SaveAsBitmap);
    EXPECT_EQ(proposed, QString::fromStdString(folder.File("exports/a.bmp")));
}

TEST_F(MainCommandsTest, HomePageOpensTheProjectAddressOrSaysWhyNot) {
    QUrl opened;
    Commands().OpenAddress = [&](const QUrl& address) {
        opened = address;
        return true;
    };
    Run(TCommand::HomePage);
    EXPECT_EQ(opened, QUrl(TMainCommands::HomePageAddress()));
    EXPECT_TRUE(messages.Messages().empty());

    Commands().OpenAddress = [](const QUrl&) { return false; };
    Run(TCommand::HomePage);
    ASSERT_EQ(messages.Messages().size(), 1u);
    EXPECT_EQ(messages.Messages()[0].icon, platform::MessageIcon::Error);
}

TEST_F(MainCommandsTest, ExitClosesTheWindowAndWritesTheSettings) {
    Run(TCommand::Exit);
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(std::filesystem::exists(IniPath()));
}

TEST_F(MainCommandsTest, OptionsAcceptedApplyAtOnceAndCancelledOnesDoNot) {
    ASSERT_EQ(form->MouseWheel(), 0);
    auto answer = [this](bool accept) {
        QTimer::singleShot(0, form.get(), [accept] {
            ProcessEventsUntil([] { return qobject_cast<TOptionsDialog*>(QApplication::activeModalWidget()); });
            auto* dialog = qobject_cast<TOptionsDialog*>(QApplication::activeModalWidget());
            dialog->WheelUpEnlargesRadio()->setChecked(true);
            accept ? dialog->accept() : dialog->reject();
        });
    };
    answer(false);
    Run(TCommand::Options);
    EXPECT_EQ(form->MouseWheel(), 0);
    answer(true);
    Run(TCommand::Options);
    EXPECT_EQ(form->MouseWheel(), 1);
    Close();
    EXPECT_EQ(Ini("Kelvandor/MouseWheel"), "1");
}

// --- Folders: history, copy and move, rename ---------------------------------

TEST_F(MainCommandsTest, TheBackDropDownListsTheNewestFolderFirstAndGoesBackToTheOneChosen) {
    for (const char* name : {"first", "second", "first/inner"})
        ASSERT_TRUE(Tree().SelectPath(Pictures() + "/" + name));
    QMenu* back = Commands().PopupUndo();
    emit back->aboutToShow();
    QStringList entries;
    for (QAction* entry : back->actions()) entries << entry->text();
    // Older entries (the start's) follow below.
    EXPECT_EQ(entries.mid(0, 3), QStringList({"second", "first", "pictures"}));
    EXPECT_FALSE(back->actions().at(0)->icon().isNull());

    back->actions().at(1)->trigger();
    EXPECT_EQ(Tree().SelectedPath(), Pictures() + "/first");
    QMenu* forward = Commands().PopupRedo();
    emit forward->aboutToShow();
    entries.clear();
    for (QAction* entry : forward->actions()) entries << entry->text();
    EXPECT_EQ(entries, QStringList({"second", "inner"}));
    // Reopening rebuilds the menu rather than adding to it.
    emit forward->aboutToShow();
    EXPECT_EQ(forward->actions().size(), 2);
}

TEST_F(MainCommandsTest, CopyToFolderTakesTheSelectionOrElseTheTreesFolderAndNeverCopiesAFolderIntoItself) {
    const std::string target = folder.File("target");
    std::filesystem::create_directories(target);
    QString askedTitle;
    Commands().ChooseFolder = [&](const QString& title) {
        askedTitle = title;
        return QString::fromStdString(target);
    };
    ASSERT_TRUE(Tree().SelectPath(Pictures() + "/first"));
    ASSERT_TRUE(ProcessEventsUntil([&] { return List().FolderPath() == Pictures() + "/first"; }));
    List().SetSelectedRows({});
    Commands().CopyToFolder();
    EXPECT_EQ(askedTitle, "コピー先のフォルダを選択");
    EXPECT_TRUE(std::filesystem::exists(target + "/first/inner/kept.ktest"));
    EXPECT_TRUE(std::filesystem::exists(folder.File("pictures/first/inner/kept.ktest")));

    // The selected entries go, not the folder.
    ASSERT_TRUE(Tree().SelectPath(Pictures()));
    ASSERT_TRUE(ProcessEventsUntil([&] { return List().FolderPath() == Pictures(); }));
    SelectRows({"a.ktest", "b.ktest"});
    Commands().MoveToFolder();
    EXPECT_EQ(askedTitle, "移動先のフォルダを選択");
    EXPECT_TRUE(std::filesystem::exists(target + "/a.ktest"));
    EXPECT_FALSE(std::filesystem::exists(folder.File("pictures/a.ktest")));
    EXPECT_FALSE(std::filesystem::exists(target + "/c.ktest"));
    EXPECT_TRUE(messages.Messages().empty());

    // A folder into its own subfolder is refused with a message.
    ASSERT_TRUE(ProcessEventsUntil([&] { return List().RowCount() == 3; }));
    SelectRows({"first"});
    Commands().ChooseFolder = [&](const QString&) { return Pictures() + "/first/inner"; };
    Commands().CopyToFolder();
    ASSERT_EQ(messages.Messages().size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(folder.File("pictures/first/inner/first")));

    // Cancelling the chooser does nothing.
    Commands().ChooseFolder = [](const QString&) { return QString(); };
    Commands().MoveToFolder();
    EXPECT_TRUE(std::filesystem::exists(folder.File("pictures/first")));
}

TEST_F(MainCommandsTest, RenamingSeveralFilesOpensBatchRenameAndMixedKindsAreRefused) {
    bool accept = true;
    SelectRows({"a.ktest"});
    Commands().ShellListViewShListRename(1, accept);
    EXPECT_TRUE(accept);

    bool shown = false;
    SelectRows({"a.ktest", "b.ktest", "c.ktest"});
    RejectNextDialog<TBatchRenameDialog>(shown);
    Commands().ShellListViewShListRename(3, accept);
    EXPECT_TRUE(shown);
    EXPECT_FALSE(accept);
    EXPECT_TRUE(messages.Messages().empty());

    shown = false;
    accept = true;
    SelectRows({"first", "a.ktest", "b.ktest"});
    Commands().ShellListViewShListRename(3, accept);
    EXPECT_FALSE(accept);
    ASSERT_EQ(messages.Messages().size(), 1u);
    EXPECT_EQ(messages.Messages()[0].text, "フォルダとファイルの混在処理は行えません。");
    EXPECT_EQ(messages.Messages()[0].icon, platform::MessageIcon::Warning);
    EXPECT_TRUE(std::filesystem::exists(folder.File("pictures/a.ktest")));
}

TEST_F(MainCommandsTest, TheShellMenusSelectionToggleShowsOnlyWithASelection) {
    QAction* toggle = Commands().InvertSelectionEntry();
    ASSERT_EQ(form->SHPopupMenu()->actions().value(0), toggle);
    EXPECT_EQ(toggle->text(), "選択の切り替え(&I)");
    List().SetSelectedRows({});
    Commands().SHPopupMenuShBeforPopup();
    EXPECT_FALSE(toggle->isVisible());
    SelectRows({"b.ktest"});
    Commands().SHPopupMenuShBeforPopup();
    EXPECT_TRUE(toggle->isVisible());
    EXPECT_FALSE(form->SHPopupMenu()->ReadOnly());
}

}  // namespace

namespace {

// --- Layers and objects dragged ------------------------------------------------

TEST_F(MainCommandsTest, ALayerDroppedOnAnotherTakesItsPlaceAndTheImagesNodeTakesNothing) {
    OpenTestImage();
    TRasterLayers& layers = form->Raster()->Layers();
    TRasterLayer* lower = layers.NewLayer();
    TRasterLayer* upper = layers.NewLayer();
    TRasterTreeView* tree = form->RasterTreeView();
    EXPECT_FALSE(Commands().RasterTreeViewDragOver(tree, tree->RootNode()));
    EXPECT_FALSE(Commands().RasterTreeViewDragOver(form->ShellListView(), LayerNode(upper)));
    EXPECT_TRUE(Commands().RasterTreeViewDragOver(tree, LayerNode(upper)));
    EXPECT_TRUE(Commands().RasterTreeViewDragOver(form->RasterListView()->ReportView(), LayerNode(upper)));

    form->Raster()->SetModified(false);
    tree->setCurrentItem(LayerNode(lower));
    Commands().RasterTreeViewStartDrag();
    Commands().RasterTreeViewDragDrop(tree, tree->RootNode());
    EXPECT_EQ(layers.IndexOf(lower), 0);
    EXPECT_FALSE(form->Raster()->Modified());
    Commands().RasterTreeViewDragDrop(tree, LayerNode(upper));
    EXPECT_EQ(layers.IndexOf(lower), 1);
    EXPECT_EQ(layers.IndexOf(upper), 0);
    EXPECT_TRUE(form->Raster()->Modified());
}

TEST_F(MainCommandsTest, AnObjectDroppedOnALayerMovesThereUnselected) {
    OpenTestImage();
    const auto [from, to, object] = AddMarkedLayers();
    ASSERT_TRUE(form->RasterListView()->ShowObject(object));
    Commands().RasterListViewStartDrag();
    EXPECT_TRUE(Commands().RasterListViewDragOver(form->RasterListView()->ReportView()));
    EXPECT_FALSE(Commands().RasterListViewDragOver(form->RasterTreeView()));

    Commands().RasterTreeViewDragDrop(form->RasterListView()->ReportView(), LayerNode(to));
    EXPECT_EQ(from->Count(), 0);
    ASSERT_EQ(to->Count(), 1);
    EXPECT_EQ(to->Objects(0)->Name(), "目印");
    EXPECT_EQ(to->Objects(0)->State(), 0);
    EXPECT_TRUE(form->Raster()->Modified());
}

}  // namespace

namespace {

// --- Commands of the file list and the folder tree ----------------------------

TEST_F(MainCommandsTest, FileCommandsFollowTheListsSelectionWhileTheListHasTheFocus) {
    List().CurrentView()->setFocus();
    List().SetSelectedRows({});
    EXPECT_FALSE(EnabledNow(TCommand::Copy));
    EXPECT_FALSE(EnabledNow(TCommand::Delete));
    SelectRows({"a.ktest"});
    EXPECT_TRUE(EnabledNow(TCommand::Copy));
    EXPECT_TRUE(EnabledNow(TCommand::Delete));
    EXPECT_TRUE(CheckedNow(TCommand::SortByName));

    Run(TCommand::Details);
    EXPECT_EQ(List().ViewStyle(), vsReport);
    EXPECT_TRUE(CheckedNow(TCommand::Details));
    EXPECT_FALSE(CheckedNow(TCommand::LargeIcons));
}

TEST_F(MainCommandsTest, CopyToFolderFromTheMenuCopiesTheTreesFolderWhenTheListHasNoSelection) {
    const std::string target = folder.File("target");
    std::filesystem::create_directories(target);
    Commands().ChooseFolder = [&](const QString&) { return QString::fromStdString(target); };
    ASSERT_TRUE(Tree().SelectPath(Pictures() + "/second"));
    ASSERT_TRUE(ProcessEventsUntil([&] { return List().FolderPath() == Pictures() + "/second"; }));
    ASSERT_TRUE(ReadingsDone(Tree())) << "the commands go by what the node's reading found";
    Tree().setFocus();
    ASSERT_TRUE(EnabledNow(TCommand::CopyToFolder));
    Run(TCommand::CopyToFolder);
    EXPECT_TRUE(std::filesystem::is_directory(target + "/second"));
}

}  // namespace
