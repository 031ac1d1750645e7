#include "app/main_commands.h"

#include <algorithm>

#include <QActionGroup>
#include <QStatusTipEvent>
#include <QCoreApplication>
#include <QKeySequence>
#include <QMenu>
#include <QToolBar>

#include "app/command_icons.h"
#include "app/control_bar.h"
#include "app/main_form.h"
#include "components/help_file.h"
#include "components/prg_status_bar.h"
#include "dialogs/support_report_dialog.h"
#include "platform/action_list.h"
#include "platform/application_help.h"
#include "raster/raster.h"
#include "raster/raster_actions.h"
#include "raster/raster_tree_view.h"
#include "shell/shell_file_actions.h"
#include "shell/shell_list_view.h"
#include "shell/shell_list_view_actions.h"
#include "shell/shell_sort_actions.h"
#include "shell/shell_tree_view.h"
#include "shell/shell_tree_view_actions.h"

namespace {

// Caption, hint ("short|long", empty: the class's own) and shortcut of a
// command as the window binds it.
struct TCommandText {
    int Number;
    const char* Caption;
    const char* Hint;
    const char* Shortcut;
};

constexpr TCommandText kCommandTexts[] = {
    {1010, "新規作成(&N)", "新規作成|新規ファイルを作成します。", "Ctrl+N"},
    {1020, "開く(&O)", "開く|選択された画像ファイルを開きます。", "Ctrl+O"},
    {1030, "閉じる(&C)", "閉じる|参照中の画像ファイルを閉じます。", ""},
    {1040, "上書き保存(&S)", "保存 |作業中の画像ファイルを保存します。", "Ctrl+S"},
    {1050, "名前をつけて保存(&A)...", "別名保存|作業中の画像ファイルに別の名前をつけて保存します。", ""},
    {1060, "プリンタの設定(&U)...", "プリンタ設定|使用するプリンタの設定を行います。", ""},
    {1070, "印刷(&P)", "印刷|参照中の画像ファイルを印刷します。", "Ctrl+P"},
    {1080, "日付・時刻・属性の変更(&D)...",
     "日付・時刻・属性の変更|選択されたフォルダ・画像ファイルの日付・時刻・属性を変更します。", ""},
    {1090, "名前の変更(&M)", "名前の変更|選択されたオブジェクトの名前を変更します。", ""},
    {1100, "アプリケーションの関連付け(&E)...",
     "関連付け|選択された画像ファイルを開くアプリケーションを関連付けます。", ""},
    {1110, "プロパティ(&R)", "プロパティ|選択されたオブジェクトのプロパティを表示します。", "F12"},
    {1120, "終了(&X)", "終了|システムを終了します。", ""},
    {2010, "元に戻す(&U)", "元に戻す|直前に実行したコマンドを取り消します。", "Ctrl+Z"},
    {2020, "切り取り(&T)", "切り取り|選択されたオブジェクトを削除し、クリップボードにコピーします。", "Ctrl+X"},
    {2030, "コピー(&C)",
     "コピー|選択されたオブジェクトをクリップボードにコピーします。新しい位置に挿入するには [貼り付け] "
     "を選んでください。",
     "Ctrl+C"},
    {2040, "貼り付け(&P)", "貼り付け|コピーしたまたは切り取ったオブジェクトを、選択された位置に貼り付けます。",
     "Ctrl+V"},
    {2050, "削除(&D)", "削除|選択されたオブジェクトを削除します。", "Del"},
    {2060, "フォルダへコピー(&F)...", "フォルダへコピー|選択したフォルダ・画像ファイルを別の場所にコピーします。",
     ""},
    {2070, "フォルダへ移動(&V)...", "フォルダへ移動|選択したフォルダ・画像ファイルを別の場所に移動します。", ""},
    {2080, "すべて選択(&A)", "すべて選択|ウインドウ内のすべてのオブジェクトを選択します。", "Ctrl+A"},
    {2090, "フォルダを選択(&D)", "フォルダ選択|ウインドウ内のフォルダオブジェクトを選択します。", ""},
    {2100, "ファイルを選択(&S)", "ファイル選択|ウインドウ内のファイルオブジェクトを選択します。", ""},
    {2110, "選択の切り替え(&I)",
     "選択の切り替え|選択されているオブジェクトと選択されていないオブジェクトを切り替えます。", ""},
    {3011, "標準ツールバー(&S)", "標準ツールバー|標準ツールバーの表示/非表示を切り替えます。", ""},
    {3012, "表示ツールバー(&V)", "表示ツールバー|表示ツールバーの表示/非表示を切り替えます。", ""},
    {3013, "移動ツールバー(&G)", "移動ツールバー|移動ツールバーの表示/非表示を切り替えます。", ""},
    {3014, "画像ツールバー(&R)", "画像ツールバー|画像ツールバーの表示/非表示を切り替えます。", ""},
    {3015, "オブジェクトツールバー(&O)",
     "オブジェクトツールバー|オブジェクトツールバーの表示/非表示を切り替えます。", ""},
    {3020, "ステータスバー(&S)", "ステータスバー|ステータス バーの表示/非表示を切り替えます。", ""},
    {3031, "大きいアイコン(&G)", "大きいアイコン|オブジェクトを大きいアイコンで表示します。", ""},
    {3032, "小さいアイコン(&M)", "小さいアイコン|オブジェクトを小さいアイコンで表示します。", ""},
    {3033, "一覧(&L)", "一覧|オブジェクトを一覧表示します。", ""},
    {3034, "詳細(&D)", "詳細|ウインドウ内の各オブジェクトの情報を表示します。", ""},
    {3041, "名前順(&N)", "名前順|オブジェクトを名前順に並び替えます。", ""},
    {3042, "サイズ順(&Z)", "サイズ順|オブジェクトをサイズ順に並び替えます。", ""},
    {3043, "種類順(&T)", "種類順|オブジェクトを種類順に並び替えます。", ""},
    {3044, "日付順(&D)", "日付順|オブジェクトを日付順に並び替えます。", ""},
    {3045, "属性順(&A)", "属性順|オブジェクトを属性順に並び替えます。", ""},
    {3046, "昇順で並び替え(&U)", "昇順|オブジェクトを昇順に並び替えます。", ""},
    {3047, "降順で並び替え(&L)", "降順|オブジェクトを降順に並び替えます。", ""},
    {3051, "仮想フォルダを表示(&V)", "仮想フォルダ|仮想フォルダの表示/非表示を切り替えます。", ""},
    {3052, "ネットワーク(&N)", "ネットワーク|ネットワークフォルダの表示/非表示を切り替えます。", ""},
    {3053, "ごみ箱(&R)", "ごみ箱|ごみ箱フォルダの表示/非表示を切り替えます。", ""},
    {3054, "インターネット(&I)", "インターネット|インターネットフォルダの表示/非表示を切り替えます。", ""},
    {3060, "隠しファイルを表示(&H)", "隠しファイル|隠しファイルの表示/非表示を切り替えます。", ""},
    {3071, "標準モード(&N)", "", ""},
    {3072, "拡張モード(&E)", "", ""},
    {3081, "標準描画(&C)", "", ""},
    {3082, "詳細描画(&H)", "", ""},
    {3090, "最新の情報に更新(&R)", "最新情報|ウインドウ内のフォルダ・画像ファイルを最新の情報に更新します。", ""},
    {4010, "前に戻る(&B)", "戻る|前の選択フォルダに戻ります。", "Alt+Left"},
    {4020, "次に進む(&F)", "進む|次の選択フォルダに進みます。", "Alt+Right"},
    {4030, "一つ上の階層へ(&U)", "上の階層|一つ上の階層へ移動します。", "Ctrl+Up"},
    {4040, "上のフォルダ(&P)", "上のフォルダ|現在選択されているフォルダを一つ上に移動します。", ""},
    {4050, "下のフォルダ(&N)", "下のフォルダ|現在選択されているフォルダを一つ下に移動します。", ""},
    {4060, "フォルダの固定(&L)", "フォルダの固定|選択されているフォルダの移動を固定します。", ""},
    {4070, "前のファイル(&O)", "前のファイル|前の画像ファイルを参照します。", "Alt+Up"},
    {4080, "次のファイル(&D)", "次のファイル|次の画像ファイルを参照します。", "Alt+Down"},
    {4090, "中止(&C)", "", "Esc"},
    {5010, "ポイントツール(&P)", "ポイントツール|ポイントツールをアクティブにします。", ""},
    {5020, "矩形範囲を拡大(&R)", "", ""},
    {5030, "拡大(&I)", "", ""},
    {5040, "縮小(&O)", "", ""},
    {5050, "スクロール(&S)", "", ""},
    {5060, "センターリング(&G)", "", ""},
    {5070, "全体表示(&E)", "", "Home"},
    {5080, "再描画(&U)", "", "F5"},
    {6010, "新規レイヤ(&N)", "", ""},
    {6020, "レイヤ削除(&E)", "", ""},
    {6030, "レイヤ名の変更(&R)", "", ""},
    {6041, "アクティブ(&A)", "", ""},
    {6042, "表示(&V)", "", ""},
    {6043, "非表示(&I)", "", ""},
    {6051, "上層に移動(&U)", "", ""},
    {6052, "下層に移動(&D)", "", ""},
    {7010, "新規オブジェクト(&N)", "", ""},
    {7020, "オブジェクト移動(&M)", "", ""},
    {7030, "オブジェクト編集(&E)", "オブジェクト編集|選択されているオブジェクトを編集します。", ""},
    {7040, "オブジェクト削除(&D)", "", ""},
    {8010, "プラグインの設定(&P)...", "プラグインの設定|Susieプラグインの設定処理を行います。", ""},
    {8020, "連続したフォルダの作成(&F)...", "連続フォルダ|連続した複数の新規フォルダを作成します。", ""},
    {8030, "画像のコピー(&C)...", "画像のコピー|表示されている画像をクリップボードにコピーします。", ""},
    {8041, "距離の計測(&D)...", "距離の計測|画像上の２点間の距離を計測します。", ""},
    {8042, "面積の計測(&A)...", "面積の計測|画像上の範囲の面積を計測します。", ""},
    {8050, "オプション(&O)...", "オプション|システムの設定を変更します。", ""},
    {9010, "目次とキーワード(&C)", "ヘルプ|Kelvandorのヘルプ トピックを表示します。", "F1"},
    {9020, "Kelvandorのホームページ(&W)...", "ホームページ|インターネット上のKelvandorホームページに接続します。",
     ""},
    {9030, "サポート情報を送信(&S)...", "サポート情報|電子メールで障害報告を送信します。", ""},
    {9040, "バージョン情報(&A)...", "バージョン|バージョン情報を返します。", ""},
};

// The help context of a command: its number, but one number for each
// family of toggles and modes.
int HelpContextOf(int number) {
    if (number >= 3011 && number <= 3015) return 3010;
    if (number >= 3041 && number <= 3047) return 3040;
    if (number >= 3051 && number <= 3054) return 3050;
    if (number == 3071 || number == 3072) return 3070;
    if (number == 3081 || number == 3082) return 3080;
    if (number >= 6041 && number <= 6043) return 6040;
    if (number == 6051 || number == 6052) return 6050;
    return number;
}

bool IsWindowCommand(int number) {
    switch (number) {
    case 1060: case 1120: case 3090:
    case 3011: case 3012: case 3013: case 3014: case 3015: case 3020:
    case 8010: case 8050:
    case 9010: case 9020: case 9030: case 9040:
        return true;
    default:
        return false;
    }
}

}  // namespace

// --- Window commands -----------------------------------------------------------

TWindowAction::TWindowAction(QWidget* window) : platform::Action(window), window_(window) {}

bool TWindowAction::HandlesTarget(QObject* Target) { return Target && Target == window_; }

void TWindowAction::UpdateTarget(QObject*) { SetCheckedState(true, Checked ? Checked() : isChecked()); }

// --- The command set ------------------------------------------------------------

TMainCommands::TMainCommands(TMainForm& form)
    : QObject(&form), form_(form), actionList_(new platform::ActionList(this)) {
    setObjectName(QStringLiteral("ActionList"));
    command_icons::UseCommandTheme();
    // F1 in the controls below the window (the shell menu) opens the manual.
    platform::SetHelpHandler([](int context, QWidget* owner) { return ShowHelp(context, owner); });
    CreateCommands();
    BindHandlers();
    CreateMainMenu();
    CreateToolButtons();
    CreatePopupMenus();
    BindShellControls();
    BindLayerDragging();
    actionList_->AddTarget(form_.Raster());
    actionList_->AddTarget(form_.RasterTreeView());
    actionList_->AddTarget(form_.ShellTreeView());
    actionList_->AddTarget(form_.ShellListView());
    actionList_->AddTarget(&form_);
    form_.installEventFilter(this);
    connect(&form_, &TMainForm::StartFinished, this, &TMainCommands::SeparateToolBars);
}

bool TMainCommands::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &form_) return LayerDragEvent(watched, event);
    if (event->type() == QEvent::StatusTip) {
        // Leaving an entry sends an empty tip: the last hint stays.
        const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
        if (!tip.isEmpty()) form_.StatusBar()->SetPanelText(0, tip);
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void TMainCommands::SeparateToolBars() {
    constexpr int kGap = 4;
    TControlBar& band = *form_.ControlBar();
    std::vector<QToolBar*> bars = band.ToolBars();
    std::sort(bars.begin(), bars.end(), [](const QToolBar* a, const QToolBar* b) {
        return std::pair(a->y(), a->x()) < std::pair(b->y(), b->x());
    });
    for (std::size_t i = 1; i < bars.size(); ++i) {
        const QToolBar* before = bars[i - 1];
        if (bars[i]->y() != before->y() || before->isHidden()) continue;
        const int end = before->x() + before->sizeHint().width() + kGap;
        if (bars[i]->x() < end) band.PlaceToolBar(bars[i], end, bars[i]->y());
    }
}

TMainCommands::~TMainCommands() = default;

QWidget* TMainCommands::Owner() const { return &form_; }

platform::Action* TMainCommands::Command(int number) const {
    const auto found = commands_.find(number);
    return found == commands_.end() ? nullptr : found->second;
}

platform::Action* TMainCommands::NewCommand(int number) {
    QWidget* owner = Owner();
    if (IsWindowCommand(number)) return new TWindowAction(owner);
    switch (number) {
    case 1030: case 1040: case 1050: case 1070: case 8030: case 8041: case 8042:
        return new TRasterAction(owner);
    case 3071: return new TRasterViewModeNormalAction(owner);
    case 3072: return new TRasterViewModeExpandAction(owner);
    case 3081: return new TRasterPaintModeColorOnAction(owner);
    case 3082: return new TRasterPaintModeHalfToneAction(owner);
    case 4090: return new TRasterLoadCancelAction(owner);
    case 5010: return new TRasterObjectSelectToolAction(owner);
    case 5020: return new TRasterZoomRectToolAction(owner);
    case 5030: return new TRasterZoomInToolAction(owner);
    case 5040: return new TRasterZoomOutToolAction(owner);
    case 5050: return new TRasterScrollToolAction(owner);
    case 5060: return new TRasterCenteringToolAction(owner);
    case 5070: return new TRasterViewExtentAction(owner);
    case 5080: return new TRasterViewRefreshAction(owner);
    case 6010: return new TRasterLayerCreateAction(owner);
    case 6020: return new TRasterLayerDeleteAction(owner);
    case 6030: return new TRasterLayerRenameAction(owner);
    case 6041: case 6042: case 6043: {
        auto* action = new TRasterLayerModeAction(owner);
        action->SetLayerMode(number == 6041 ? lmActive : number == 6042 ? lmVisible : lmInvisible);
        return action;
    }
    case 6051: return new TRasterLayerOrderUpAction(owner);
    case 6052: return new TRasterLayerOrderDownAction(owner);
    case 7010: return new TRasterObjectCreateToolAction(owner);
    case 7020: return new TRasterObjectMoveToolAction(owner);
    case 7030: return new TRasterObjectEditAction(owner);
    case 7040: return new TRasterObjectDeleteAction(owner);
    case 1090: return new TSHFileRename(owner);
    case 1110: return new TSHFileProperty(owner);
    case 2020: case 2070: return new TSHFileCut(owner);
    case 2030: case 2060: return new TSHFileCopy(owner);
    case 2040: return new TSHFilePaste(owner);
    case 2050: return new TSHFileDelete(owner);
    case 2080: return new TSelectAllItem(owner);
    case 2090: return new TSelectFolderItem(owner);
    case 2100: return new TSelectFileItem(owner);
    case 2110: return new TReverseSelectedItem(owner);
    case 3031: return new TLargeIcon(owner);
    case 3032: return new TSmallIcon(owner);
    case 3033: return new TListIcon(owner);
    case 3034: return new TReportIcon(owner);
    case 3041: return new TSHFileSortByName(owner);
    case 3042: return new TSHFileSortBySize(owner);
    case 3043: return new TSHFileSortByType(owner);
    case 3044: return new TSHFileSortByLastWrite(owner);
    case 3045: return new TSHFileSortByAttr(owner);
    case 3046: return new TSHFileAscSort(owner);
    case 3047: return new TSHFileDescSort(owner);
    case 8020: return new TSHFileCreate(owner);
    case 1010: return new TSHTreeViewSelect(owner);
    case 1020: case 1100: return new TSHListViewSingleFile(owner);
    case 1080: return new TSHListViewNotDrive(owner);
    case 3051: return new TSHTreeViewShowVirtual(owner);
    case 3052: return new TSHTreeViewShowNetWork(owner);
    case 3053: return new TSHTreeViewShowBitBucket(owner);
    case 3054: return new TSHTreeViewShowInterNet(owner);
    case 3060: return new TSHTreeViewShowHideFile(owner);
    case 4010: return new TSHUndoItem(owner);
    case 4020: return new TSHRedoItem(owner);
    case 4030: case 4040: return new TSHTreeViewUp(owner);
    case 4050: return new TSHTreeViewDown(owner);
    case 4060: return new TSHListViewLock(owner);
    case 4070: return new TSHListViewUp(owner);
    case 4080: return new TSHListViewDown(owner);
    default:
        // Undo has no history on this window: never enabled.
        return new platform::Action(owner);
    }
}

void TMainCommands::CreateCommands() {
    for (const TCommandText& text : kCommandTexts) {
        platform::Action* action = NewCommand(text.Number);
        action->setObjectName(QStringLiteral("Action%1").arg(text.Number));
        commands_[text.Number] = action;
        SetTexts(text.Number, QString::fromUtf8(text.Caption), QString::fromUtf8(text.Hint),
                 QString::fromLatin1(text.Shortcut));
        action->SetHelpContext(HelpContextOf(text.Number));
        action->setIcon(command_icons::CommandIcon(text.Number));
        // Menus show their own icons; a check or radio mark takes the place.
        action->setIconVisibleInMenu(!action->isCheckable());
        action->setShortcutContext(Qt::WindowShortcut);
        actionList_->Add(action);
        form_.addAction(action);
    }
    for (int number : {3011, 3012, 3013, 3014, 3015, 3020, 3051, 3052, 3053, 3054, 3060, 4060})
        Command(number)->setCheckable(true);
    MakeRadioGroup({3031, 3032, 3033, 3034});
    MakeRadioGroup({3041, 3042, 3043, 3044, 3045});
    MakeRadioGroup({3046, 3047});
    MakeRadioGroup({3071, 3072});
    MakeRadioGroup({3081, 3082});
    MakeRadioGroup({5010, 5020, 5030, 5040, 5050, 5060});
    MakeRadioGroup({6041, 6042, 6043});
    // Kept for the designed layout but not offered on this window.
    for (int number : {1010, 1040}) Command(number)->setVisible(false);
}

void TMainCommands::SetTexts(int number, const QString& caption, const QString& hint, const QString& shortcut) {
    platform::Action* action = Command(number);
    action->setText(caption);
    if (!hint.isEmpty()) action->SetHint(hint);
    action->setShortcut(QKeySequence(shortcut));
}

void TMainCommands::MakeRadioGroup(std::initializer_list<int> numbers) {
    auto* group = new QActionGroup(this);
    // Optional: a command without target shows no mark at all.
    group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (int number : numbers) {
        Command(number)->setCheckable(true);
        Command(number)->setIconVisibleInMenu(false);
        group->addAction(Command(number));
    }
}

void TMainCommands::Bind(int number, std::function<void()> handler) {
    Command(number)->OnExecute = [handler = std::move(handler)](platform::Action*) { handler(); };
}

void TMainCommands::BindHandlers() {
    Bind(1020, [this] { form_.OpenFile(); });
    Bind(1030, [this] { form_.CloseFile(); });
    Bind(3090, [this] { form_.Refresh(); });
    Bind(4070, [this] { form_.PreviousFile(); });
    Bind(4080, [this] { form_.NextFile(); });
    Bind(1050, [this] { SaveAsBitmap(); });
    Bind(1060, [this] { PrinterSetup(); });
    Bind(1070, [this] { Print(); });
    Bind(1120, [this] { Exit(); });
    for (int bar = 1; bar <= 4; ++bar) {
        Bind(3010 + bar, [this, bar] { ToggleToolBar(bar); });
        static_cast<TWindowAction*>(Command(3010 + bar))->Checked = [this, bar] {
            return !form_.ToolBar(bar)->isHidden();
        };
    }
    Bind(3015, [this] { ShowObjectToolBar(); });
    static_cast<TWindowAction*>(Command(3015))->Checked = [this] { return objectToolBarChecked_; };
    Bind(3020, [this] { ShowStatusBar(); });
    static_cast<TWindowAction*>(Command(3020))->Checked = [this] { return !form_.StatusBar()->isHidden(); };
    Bind(1080, [this] { ChangeTimeAttributes(); });
    Bind(2060, [this] { CopyToFolder(); });
    Bind(2070, [this] { MoveToFolder(); });
    Bind(4030, [this] { UpOneLevel(); });
    Bind(4040, [this] { PreviousFolder(); });
    Bind(4050, [this] { NextFolder(); });
    Bind(4060, [this] { LockFolder(); });
    Bind(7030, [this] { EditObject(); });
    Bind(8010, [this] { PluginSettings(); });
    Bind(8020, [this] { CreateNumberedFolders(); });
    Bind(8030, [this] { CopyImage(); });
    Bind(8050, [this] { Options(); });
    Bind(9020, [this] { HomePage(); });
    Bind(9030, [this] {
        TSupportReportDialog dialog(&form_, SupportAddress(), QCoreApplication::applicationFilePath());
        dialog.exec();
    });
    Bind(9040, [this] { ShowVersion(); });
    Bind(1100, [this] { OpenWith(); });
    Bind(9010, [this] { ShowHelp(0, &form_); });
}
