// The main menu, the toolbar buttons and the popup menus (also the shell
// menu of the folder tree and the file list): each entry points at a
// command of the list.
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>

#include "app/control_bar.h"
#include "app/main_commands.h"
#include "app/main_form.h"
#include "platform/application_help.h"
#include "raster/raster.h"
#include "raster/raster_tree_view.h"
#include "shell/shell_list_view.h"
#include "shell/shell_popup_menu.h"
#include "shell/shell_tree_view.h"

namespace {

constexpr int kToolIconSize = 16;

QString ShortHint(const QString& hint) { return hint.section(QLatin1Char('|'), 0, 0); }
QString LongHint(const QString& hint) { return hint.section(QLatin1Char('|'), -1); }

}  // namespace

void TMainCommands::AddEntries(QWidget* menu, std::initializer_list<TCommand> commands) {
    for (TCommand command : commands) {
        if (command == kSeparator)
            menu->addAction([menu] {
                auto* separator = new QAction(menu);
                separator->setSeparator(true);
                return separator;
            }());
        else
            menu->addAction(Command(command));
    }
}

QMenu* TMainCommands::AddMenu(QMenuBar* bar, const QString& caption, const QString& hint) {
    auto* menu = new QMenu(caption, bar);
    menu->menuAction()->setStatusTip(hint);
    menu->setToolTipsVisible(false);
    bar->addMenu(menu);
    return menu;
}

QMenu* TMainCommands::AddSubMenu(QMenu* menu, const QString& caption, const QString& hint) {
    auto* sub = new QMenu(caption, menu);
    sub->menuAction()->setToolTip(ShortHint(hint));
    sub->menuAction()->setStatusTip(LongHint(hint));
    menu->addMenu(sub);
    return sub;
}

// An entry with a caption of its own for a command: it mirrors the
// command's state and runs it. Its shortcut is only shown, the command
// keeps the key.
QAction* TMainCommands::AddMenuEntryAs(QMenu* menu, TCommand id, const QString& caption) {
    platform::Action* command = Command(id);
    auto* entry = new QAction(caption, menu);
    entry->setObjectName(command->objectName() + QStringLiteral("Entry"));
    auto mirror = [command, entry] {
        entry->setEnabled(command->isEnabled());
        entry->setVisible(command->isVisible());
        entry->setIcon(command->icon());
        entry->setStatusTip(command->statusTip());
        entry->setToolTip(command->toolTip());
        entry->setShortcut(command->shortcut());
    };
    mirror();
    entry->setShortcutContext(Qt::WidgetShortcut);
    connect(command, &QAction::changed, entry, mirror);
    connect(entry, &QAction::triggered, command, [command] { command->trigger(); });
    menu->addAction(entry);
    return entry;
}

void TMainCommands::CreateMainMenu() {
    using enum TCommand;
    mainMenu_ = new QMenuBar(&form_);
    mainMenu_->setObjectName(QStringLiteral("MainMenu"));
    form_.setMenuBar(mainMenu_);

    QMenu* file = AddMenu(mainMenu_, QStringLiteral("ファイル(&F)"), QStringLiteral("システムの制御に関するコマンドです。"));
    AddEntries(file, {NewFile, OpenFile, CloseFile, kSeparator, Save, SaveAsBitmap, kSeparator, PrinterSetup, Print,
                      kSeparator, ChangeTimeAttributes, Rename, OpenWith});
    AddMenuEntryAs(file, Properties, QStringLiteral("プロパティ(&R)..."));
    AddEntries(file, {kSeparator, Exit});

    QMenu* edit = AddMenu(mainMenu_, QStringLiteral("編集(&E)"), QStringLiteral("オブジェクトの編集に関するコマンドです。"));
    AddEntries(edit, {Undo, kSeparator, Cut, Copy, Paste, kSeparator, Delete, kSeparator, CopyToFolder, MoveToFolder,
                      kSeparator, SelectAll, SelectFolders, SelectFiles, kSeparator, InvertSelection});
    // Nothing to undo on this window: the entry is not offered.
    Command(Undo)->setVisible(false);

    QMenu* view = AddMenu(mainMenu_, QStringLiteral("表示(&V)"), QStringLiteral("オブジェクトの表示に関するコマンドです。"));
    QMenu* toolBars = AddSubMenu(view, QStringLiteral("ツール バー(&T)"),
                                 QStringLiteral("ツールバー|各種ツール バーの表示/非表示を切り替えます。"));
    AddEntries(toolBars, {ShowStandardToolBar, ShowViewToolBar, ShowGoToolBar, ShowImageToolBar, ShowObjectToolBar});
    Command(ShowObjectToolBar)->setVisible(false);
    AddEntries(view, {ShowStatusBar, kSeparator, LargeIcons, SmallIcons, ListStyle, Details, kSeparator});
    QMenu* arrange = AddSubMenu(view, QStringLiteral("アイコンの整列(&I)"),
                                QStringLiteral("アイコンの整列|ウインドウ内のオブジェクトを整列するコマンドです。"));
    AddEntries(arrange, {SortByName, SortBySize, SortByType, SortByDate, SortByAttributes, kSeparator, SortAscending,
                         SortDescending});
    view->addSeparator();
    QMenu* folders = AddSubMenu(view, QStringLiteral("フォルダ オプション(&O)"),
                                QStringLiteral("オプション|フォルダの表示/非表示を切り替えます。"));
    AddEntries(folders, {ShowVirtualFolders, ShowNetwork, ShowTrash, ShowInternet});
    AddEntries(view, {ShowHiddenFiles, kSeparator});
    QMenu* viewModes = AddSubMenu(view, QStringLiteral("画像のビューモードを設定(&V)"),
                                  QStringLiteral("ビューモード|画像のビューモードを切り替えます。"));
    AddEntries(viewModes, {NormalViewMode, ExpandedViewMode});
    QMenu* paintModes = AddSubMenu(view, QStringLiteral("画像の描画モードを設定(&P)"),
                                   QStringLiteral("描画モード|画像の描画モードを切り替えます。"));
    AddEntries(paintModes, {ColorPaintMode, HalftonePaintMode});
    AddEntries(view, {kSeparator, Refresh});

    QMenu* go = AddMenu(mainMenu_, QStringLiteral("移動(&G)"), QStringLiteral("フォルダの移動操作に関するコマンドです。"));
    AddEntries(go, {Back, Forward, kSeparator, UpOneLevel, kSeparator, PreviousFolder, NextFolder, kSeparator,
                    LockFolder, kSeparator, PreviousFile, NextFile, kSeparator, CancelLoad});

    QMenu* image = AddMenu(mainMenu_, QStringLiteral("画像(&R)"), QStringLiteral("画像の操作に関するコマンドです。"));
    AddEntries(image, {PointTool, kSeparator, ZoomRectTool, ZoomInTool, ZoomOutTool, kSeparator, ScrollTool,
                       CenteringTool, kSeparator, WholeImage, kSeparator, Redraw});

    // Layers and objects are drawn, not edited, on this window.
    QMenu* layer = AddMenu(mainMenu_, QStringLiteral("レイヤ(&L)"), QString());
    AddEntries(layer, {NewLayer, kSeparator, DeleteLayer, RenameLayer, kSeparator, ActivateLayer, ShowLayer, HideLayer,
                       kSeparator, LayerUp, LayerDown});
    layer->menuAction()->setVisible(false);
    QMenu* object = AddMenu(mainMenu_, QStringLiteral("オブジェクト(&O)"), QStringLiteral("オブジェクトの操作に関するコマンドです。"));
    AddEntries(object, {NewObjectTool, kSeparator, MoveObjectTool, kSeparator, EditObject, DeleteObject});
    object->menuAction()->setVisible(false);

    QMenu* tools = AddMenu(mainMenu_, QStringLiteral("ツール(&T)"), QStringLiteral("ツールの制御に関するコマンドです。"));
    AddEntries(tools, {PluginSettings, kSeparator, CreateNumberedFolders, kSeparator, CopyImage, kSeparator});
    QMenu* measure = AddSubMenu(tools, QStringLiteral("画像上での計測(&M)"),
                                QStringLiteral("計測|画像上で、各種の計測処理を行います。"));
    AddEntries(measure, {MeasureDistance, MeasureArea});
    measure->menuAction()->setVisible(false);
    AddEntries(tools, {kSeparator, Options});

    QMenu* help = AddMenu(mainMenu_, QStringLiteral("ヘルプ(&H)"), QStringLiteral("ヘルプに関するコマンドです。"));
    AddEntries(help, {HelpContents, kSeparator, HomePage, SendSupportReport, kSeparator, ShowVersion});
}

void TMainCommands::CreateToolButtons() {
    using enum TCommand;
    auto fill = [this](QToolBar* bar, std::initializer_list<TCommand> commands, QAction* before) {
        bar->setIconSize(QSize(kToolIconSize, kToolIconSize));
        bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
        for (TCommand command : commands) {
            if (command == kSeparator)
                bar->insertSeparator(before);
            else
                bar->insertAction(before, Command(command));
        }
    };
    fill(form_.StandardToolBar(), {NewFile, OpenFile, Save, kSeparator, Print, Properties, kSeparator, Cut, Copy, Paste,
                                   Delete, kSeparator, HelpContents}, nullptr);
    fill(form_.ViewToolBar(), {LargeIcons, SmallIcons, ListStyle, Details, kSeparator, NormalViewMode, ExpandedViewMode,
                               kSeparator, ColorPaintMode, HalftonePaintMode, kSeparator, Refresh}, nullptr);
    fill(form_.GoToolBar(), {Back, Forward, CancelLoad, kSeparator, UpOneLevel, PreviousFolder, NextFolder, kSeparator,
                             LockFolder, kSeparator, PreviousFile, NextFile}, nullptr);
    // The tool buttons go before the coordinate fields.
    QToolBar* imageBar = form_.ImageToolBar();
    QAction* firstField = imageBar->actions().isEmpty() ? nullptr : imageBar->actions().first();
    fill(imageBar, {PointTool, kSeparator, ZoomRectTool, ZoomInTool, ZoomOutTool, kSeparator, ScrollTool, CenteringTool,
                    kSeparator, WholeImage, Redraw, kSeparator}, firstField);

    popupUndo_ = new QMenu(&form_);
    popupUndo_->setObjectName(QStringLiteral("Popup_Undo"));
    popupRedo_ = new QMenu(&form_);
    popupRedo_->setObjectName(QStringLiteral("Popup_Redo"));
    auto* back = qobject_cast<QToolButton*>(form_.GoToolBar()->widgetForAction(Command(Back)));
    auto* forward = qobject_cast<QToolButton*>(form_.GoToolBar()->widgetForAction(Command(Forward)));
    back->setMenu(popupUndo_);
    back->setPopupMode(QToolButton::MenuButtonPopup);
    // A right click on the back button offers the forward history.
    back->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(back, &QWidget::customContextMenuRequested, this,
            [this, back](const QPoint& point) { popupRedo_->popup(back->mapToGlobal(point)); });
    forward->setMenu(popupRedo_);
    forward->setPopupMode(QToolButton::MenuButtonPopup);
}

void TMainCommands::CreatePopupMenus() {
    using enum TCommand;
    listPopupMenu_ = new QMenu(&form_);
    listPopupMenu_->setObjectName(QStringLiteral("ListPopupMenu"));
    QMenu* styles = AddSubMenu(listPopupMenu_, QStringLiteral("表示(&V)"), QString());
    AddEntries(styles, {LargeIcons, SmallIcons, ListStyle, Details});
    QMenu* arrange = AddSubMenu(listPopupMenu_, QStringLiteral("アイコンの整列(&I)"), QString());
    AddEntries(arrange, {SortByName, SortBySize, SortByType, SortByDate, SortByAttributes, kSeparator, SortAscending,
                         SortDescending});
    AddEntries(listPopupMenu_, {kSeparator, Refresh, kSeparator, Paste, kSeparator});
    QMenu* create = AddSubMenu(listPopupMenu_, QStringLiteral("新規作成(&N)"),
                               QStringLiteral("新規作成|新規フォルダ・ショートカット|新規ショートカットを作成します。"));
    newFolderEntry_ = create->addAction(QStringLiteral("フォルダ(&F)"));
    newFolderEntry_->setObjectName(QStringLiteral("PopupItemNewFolder"));
    newFolderEntry_->setToolTip(QStringLiteral("新規作成"));
    newFolderEntry_->setStatusTip(QStringLiteral("新規フォルダを作成します。"));
    newFolderEntry_->setIcon(Command(CreateNumberedFolders)->icon());
    AddEntries(create, {CreateNumberedFolders});
    AddEntries(listPopupMenu_, {kSeparator, SelectAll, SelectFolders, SelectFiles});

    imagePopupMenu_ = new QMenu(&form_);
    imagePopupMenu_->setObjectName(QStringLiteral("ImagePopupMenu"));
    AddEntries(imagePopupMenu_, {PointTool, kSeparator, ZoomRectTool, ZoomInTool, ZoomOutTool, kSeparator, ScrollTool,
                                 CenteringTool, kSeparator, WholeImage, kSeparator, Redraw});
    form_.Raster()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(form_.Raster(), &QWidget::customContextMenuRequested, this,
            [this](const QPoint& point) { imagePopupMenu_->popup(form_.Raster()->mapToGlobal(point)); });

    layerPopupMenu_ = new QMenu(&form_);
    layerPopupMenu_->setObjectName(QStringLiteral("LayerPopupMenu"));
    AddEntries(layerPopupMenu_, {ActivateLayer, ShowLayer, HideLayer, kSeparator, NewLayer, DeleteLayer, RenameLayer,
                                 kSeparator, LayerUp, LayerDown});
    TRasterTreeView* layers = form_.RasterTreeView();
    layers->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(layers, &QWidget::customContextMenuRequested, this, [this, layers](const QPoint& point) {
        // The node under the pointer is the one the commands act on.
        if (QTreeWidgetItem* node = layers->itemAt(point)) layers->setCurrentItem(node);
        layerPopupMenu_->popup(layers->viewport()->mapToGlobal(point));
    });
}

void TMainCommands::BindShellControls() {
    TSHListView* list = form_.ShellListView();
    TSHTreeView* tree = form_.ShellTreeView();
    TSHPopupMenu* shellMenu = form_.SHPopupMenu();

    // The shell menu of tree and list, with renaming offered and the
    // selection toggle on top.
    shellMenu->SetReadOnly(false);
    invertSelectionEntry_ = new QAction(QStringLiteral("選択の切り替え(&I)"), shellMenu);
    invertSelectionEntry_->setObjectName(QStringLiteral("InvertSelectionEntry"));
    invertSelectionEntry_->setToolTip(QStringLiteral("選択の切り替え"));
    invertSelectionEntry_->setStatusTip(QStringLiteral("選択されているオブジェクトと選択されていないオブジェクトを切り替えます。"));
    invertSelectionEntry_->setIcon(Command(TCommand::InvertSelection)->icon());
    invertSelectionEntry_->setProperty(platform::kHelpContextProperty, 2110);
    shellMenu->insertAction(shellMenu->actions().value(0), invertSelectionEntry_);
    connect(invertSelectionEntry_, &QAction::triggered, this, &TMainCommands::InvertSelectionEntryClick);
    shellMenu->OnShBeforPopup = [this](TSHPopupMenu*, const TSHIDList&, QPoint, bool&) { SHPopupMenuShBeforPopup(); };
    tree->SetShellPopupMenu(shellMenu);

    // The list's empty space offers the view, sort and new commands.
    connect(list, &TListView::ContextMenuAsked, this, [this](const QPoint& globalPos, int row) {
        if (row < 0) listPopupMenu_->popup(globalPos);
    });
    connect(newFolderEntry_, &QAction::triggered, list, [list] { list->CreateNewFolder(); });
    connect(listPopupMenu_, &QMenu::aboutToShow, this,
            [this, list] { newFolderEntry_->setEnabled(!list->FolderPath().isEmpty()); });

    list->OnShListRename = [this](TSHListView*, int count, bool& accept) { ShellListViewShListRename(count, accept); };

    for (QMenu* history : {popupUndo_, popupRedo_})
        connect(history, &QMenu::aboutToShow, this, [this, history] { Popup_Undo_Redo(history); });
}

void TMainCommands::SHPopupMenuShBeforPopup() {
    // Asked of the tree's list, whichever control opened the menu.
    invertSelectionEntry_->setVisible(form_.ShellListView()->SelectedCount() > 0);
}

void TMainCommands::InvertSelectionEntryClick() {
    Command(TCommand::InvertSelection)->Execute();
}
