// The main menu, the toolbar buttons and the popup menus: each entry points
// at a command of the list.
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>

#include "app/control_bar.h"
#include "app/main_commands.h"
#include "app/main_form.h"
#include "raster/raster.h"
#include "raster/raster_tree_view.h"

namespace {

constexpr int kToolIconSize = 16;

QString ShortHint(const QString& hint) { return hint.section(QLatin1Char('|'), 0, 0); }
QString LongHint(const QString& hint) { return hint.section(QLatin1Char('|'), -1); }

}  // namespace

void TMainCommands::AddEntries(QWidget* menu, std::initializer_list<int> numbers) {
    for (int number : numbers) {
        if (number == 0)
            menu->addAction([menu] {
                auto* separator = new QAction(menu);
                separator->setSeparator(true);
                return separator;
            }());
        else
            menu->addAction(Command(number));
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
QAction* TMainCommands::AddMenuEntryAs(QMenu* menu, int number, const QString& caption) {
    platform::Action* command = Command(number);
    auto* entry = new QAction(caption, menu);
    entry->setObjectName(QStringLiteral("MenuItem%1").arg(number));
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
    mainMenu_ = new QMenuBar(&form_);
    mainMenu_->setObjectName(QStringLiteral("MainMenu"));
    form_.setMenuBar(mainMenu_);

    QMenu* file = AddMenu(mainMenu_, QStringLiteral("ファイル(&F)"), QStringLiteral("システムの制御に関するコマンドです。"));
    AddEntries(file, {1010, 1020, 1030, 0, 1040, 1050, 0, 1060, 1070, 0, 1080, 1090, 1100});
    AddMenuEntryAs(file, 1110, QStringLiteral("プロパティ(&R)..."));
    AddEntries(file, {0, 1120});

    QMenu* edit = AddMenu(mainMenu_, QStringLiteral("編集(&E)"), QStringLiteral("オブジェクトの編集に関するコマンドです。"));
    AddEntries(edit, {2010, 0, 2020, 2030, 2040, 0, 2050, 0, 2060, 2070, 0, 2080, 2090, 2100, 0, 2110});
    // Nothing to undo on this window: the entry is not offered.
    Command(2010)->setVisible(false);

    QMenu* view = AddMenu(mainMenu_, QStringLiteral("表示(&V)"), QStringLiteral("オブジェクトの表示に関するコマンドです。"));
    QMenu* toolBars = AddSubMenu(view, QStringLiteral("ツール バー(&T)"),
                                 QStringLiteral("ツールバー|各種ツール バーの表示/非表示を切り替えます。"));
    AddEntries(toolBars, {3011, 3012, 3013, 3014, 3015});
    Command(3015)->setVisible(false);
    AddEntries(view, {3020, 0, 3031, 3032, 3033, 3034, 0});
    QMenu* arrange = AddSubMenu(view, QStringLiteral("アイコンの整列(&I)"),
                                QStringLiteral("アイコンの整列|ウインドウ内のオブジェクトを整列するコマンドです。"));
    AddEntries(arrange, {3041, 3042, 3043, 3044, 3045, 0, 3046, 3047});
    view->addSeparator();
    QMenu* folders = AddSubMenu(view, QStringLiteral("フォルダ オプション(&O)"),
                                QStringLiteral("オプション|フォルダの表示/非表示を切り替えます。"));
    AddEntries(folders, {3051, 3052, 3053, 3054});
    AddEntries(view, {3060, 0});
    QMenu* viewModes = AddSubMenu(view, QStringLiteral("画像のビューモードを設定(&V)"),
                                  QStringLiteral("ビューモード|画像のビューモードを切り替えます。"));
    AddEntries(viewModes, {3071, 3072});
    QMenu* paintModes = AddSubMenu(view, QStringLiteral("画像の描画モードを設定(&P)"),
                                   QStringLiteral("描画モード|画像の描画モードを切り替えます。"));
    AddEntries(paintModes, {3081, 3082});
    AddEntries(view, {0, 3090});

    QMenu* go = AddMenu(mainMenu_, QStringLiteral("移動(&G)"), QStringLiteral("フォルダの移動操作に関するコマンドです。"));
    AddEntries(go, {4010, 4020, 0, 4030, 0, 4040, 4050, 0, 4060, 0, 4070, 4080, 0, 4090});

    QMenu* image = AddMenu(mainMenu_, QStringLiteral("画像(&R)"), QStringLiteral("画像の操作に関するコマンドです。"));
    AddEntries(image, {5010, 0, 5020, 5030, 5040, 0, 5050, 5060, 0, 5070, 0, 5080});

    // Layers and objects are drawn, not edited, on this window.
    QMenu* layer = AddMenu(mainMenu_, QStringLiteral("レイヤ(&L)"), QString());
    AddEntries(layer, {6010, 0, 6020, 6030, 0, 6041, 6042, 6043, 0, 6051, 6052});
    layer->menuAction()->setVisible(false);
    QMenu* object = AddMenu(mainMenu_, QStringLiteral("オブジェクト(&O)"), QStringLiteral("オブジェクトの操作に関するコマンドです。"));
    AddEntries(object, {7010, 0, 7020, 0, 7030, 7040});
    object->menuAction()->setVisible(false);

    QMenu* tools = AddMenu(mainMenu_, QStringLiteral("ツール(&T)"), QStringLiteral("ツールの制御に関するコマンドです。"));
    AddEntries(tools, {8010, 0, 8020, 0, 8030, 0});
    QMenu* measure = AddSubMenu(tools, QStringLiteral("画像上での計測(&M)"),
                                QStringLiteral("計測|画像上で、各種の計測処理を行います。"));
    AddEntries(measure, {8041, 8042});
    measure->menuAction()->setVisible(false);
    AddEntries(tools, {0, 8050});

    QMenu* help = AddMenu(mainMenu_, QStringLiteral("ヘルプ(&H)"), QStringLiteral("ヘルプに関するコマンドです。"));
    AddEntries(help, {9010, 0, 9020, 9030, 0, 9040});
}

void TMainCommands::CreateToolButtons() {
    auto fill = [this](QToolBar* bar, std::initializer_list<int> numbers, QAction* before) {
        bar->setIconSize(QSize(kToolIconSize, kToolIconSize));
        bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
        for (int number : numbers) {
            if (number == 0)
                bar->insertSeparator(before);
            else
                bar->insertAction(before, Command(number));
        }
    };
    fill(form_.ToolBar(1), {1010, 1020, 1040, 0, 1070, 1110, 0, 2020, 2030, 2040, 2050, 0, 9010}, nullptr);
    fill(form_.ToolBar(2), {3031, 3032, 3033, 3034, 0, 3071, 3072, 0, 3081, 3082, 0, 3090}, nullptr);
    fill(form_.ToolBar(3), {4010, 4020, 4090, 0, 4030, 4040, 4050, 0, 4060, 0, 4070, 4080}, nullptr);
    // The tool buttons go before the coordinate fields.
    QToolBar* imageBar = form_.ToolBar(4);
    QAction* firstField = imageBar->actions().isEmpty() ? nullptr : imageBar->actions().first();
    fill(imageBar, {5010, 0, 5020, 5030, 5040, 0, 5050, 5060, 0, 5070, 5080, 0}, firstField);

    popupUndo_ = new QMenu(&form_);
    popupUndo_->setObjectName(QStringLiteral("Popup_Undo"));
    popupRedo_ = new QMenu(&form_);
    popupRedo_->setObjectName(QStringLiteral("Popup_Redo"));
    auto* back = qobject_cast<QToolButton*>(form_.ToolBar(3)->widgetForAction(Command(4010)));
    auto* forward = qobject_cast<QToolButton*>(form_.ToolBar(3)->widgetForAction(Command(4020)));
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
    listPopupMenu_ = new QMenu(&form_);
    listPopupMenu_->setObjectName(QStringLiteral("ListPopupMenu"));
    QMenu* styles = AddSubMenu(listPopupMenu_, QStringLiteral("表示(&V)"), QString());
    AddEntries(styles, {3031, 3032, 3033, 3034});
    QMenu* arrange = AddSubMenu(listPopupMenu_, QStringLiteral("アイコンの整列(&I)"), QString());
    AddEntries(arrange, {3041, 3042, 3043, 3044, 3045, 0, 3046, 3047});
    AddEntries(listPopupMenu_, {0, 3090, 0, 2040, 0});
    QMenu* create = AddSubMenu(listPopupMenu_, QStringLiteral("新規作成(&N)"),
                               QStringLiteral("新規作成|新規フォルダ・ショートカット|新規ショートカットを作成します。"));
    newFolderEntry_ = create->addAction(QStringLiteral("フォルダ(&F)"));
    newFolderEntry_->setObjectName(QStringLiteral("PopupItemNewFolder"));
    newFolderEntry_->setToolTip(QStringLiteral("新規作成"));
    newFolderEntry_->setStatusTip(QStringLiteral("新規フォルダを作成します。"));
    newFolderEntry_->setIcon(Command(8020)->icon());
    AddEntries(create, {8020});
    AddEntries(listPopupMenu_, {0, 2080, 2090, 2100});

    imagePopupMenu_ = new QMenu(&form_);
    imagePopupMenu_->setObjectName(QStringLiteral("ImagePopupMenu"));
    AddEntries(imagePopupMenu_, {5010, 0, 5020, 5030, 5040, 0, 5050, 5060, 0, 5070, 0, 5080});
    form_.Raster()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(form_.Raster(), &QWidget::customContextMenuRequested, this,
            [this](const QPoint& point) { imagePopupMenu_->popup(form_.Raster()->mapToGlobal(point)); });

    layerPopupMenu_ = new QMenu(&form_);
    layerPopupMenu_->setObjectName(QStringLiteral("LayerPopupMenu"));
    AddEntries(layerPopupMenu_, {6041, 6042, 6043, 0, 6010, 6020, 6030, 0, 6051, 6052});
    TRasterTreeView* layers = form_.RasterTreeView();
    layers->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(layers, &QWidget::customContextMenuRequested, this, [this, layers](const QPoint& point) {
        // The node under the pointer is the one the commands act on.
        if (QTreeWidgetItem* node = layers->itemAt(point)) layers->setCurrentItem(node);
        layerPopupMenu_->popup(layers->viewport()->mapToGlobal(point));
    });
}
