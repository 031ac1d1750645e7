#include "app/main_command_table.h"

#include <algorithm>

#include "app/main_commands.h"
#include "app/main_form.h"
#include "raster/raster.h"
#include "raster/raster_actions.h"
#include "raster/raster_tree_view.h"
#include "shell/shell_file_actions.h"
#include "shell/shell_list_view_actions.h"
#include "shell/shell_sort_actions.h"
#include "shell/shell_tree_view_actions.h"

namespace {

template <class T>
platform::Action* Make(QWidget* owner) {
    return new T(owner);
}

template <TLayerMode Mode>
platform::Action* MakeLayerMode(QWidget* owner) {
    auto* action = new TRasterLayerModeAction(owner);
    action->SetLayerMode(Mode);
    return action;
}

// Commands made of the plain class do nothing and are never enabled: Undo
// has no history on this window.
constexpr TCommandRow kCommands[] = {
    // File menu
    {TCommand::NewFile, "NewFile", "新規作成(&N)", "新規作成|新規ファイルを作成します。", "Ctrl+N",
     "document-new-symbolic", Make<TSHTreeViewSelect>},
    {TCommand::OpenFile, "OpenFile", "開く(&O)", "開く|選択された画像ファイルを開きます。", "Ctrl+O",
     "document-open-symbolic", Make<TSHListViewSingleFile>, nullptr, &TMainForm::OpenFile},
    {TCommand::CloseFile, "CloseFile", "閉じる(&C)", "閉じる|参照中の画像ファイルを閉じます。", "",
     "window-close-symbolic", Make<TRasterAction>, nullptr, &TMainForm::CloseFile},
    {TCommand::Save, "Save", "上書き保存(&S)", "保存 |作業中の画像ファイルを保存します。", "Ctrl+S",
     "document-save-symbolic", Make<TRasterAction>},
    {TCommand::SaveAsBitmap, "SaveAsBitmap", "名前をつけて保存(&A)...",
     "別名保存|作業中の画像ファイルに別の名前をつけて保存します。", "", "document-save-as-symbolic",
     Make<TRasterAction>, &TMainCommands::SaveAsBitmap},
    {TCommand::PrinterSetup, "PrinterSetup", "プリンタの設定(&U)...", "プリンタ設定|使用するプリンタの設定を行います。",
     "", "document-page-setup-symbolic", Make<TWindowAction>, &TMainCommands::PrinterSetup},
    {TCommand::Print, "Print", "印刷(&P)", "印刷|参照中の画像ファイルを印刷します。", "Ctrl+P",
     "document-print-symbolic", Make<TRasterAction>, &TMainCommands::Print},
    {TCommand::ChangeTimeAttributes, "ChangeTimeAttributes", "日付・時刻・属性の変更(&D)...",
     "日付・時刻・属性の変更|選択されたフォルダ・画像ファイルの日付・時刻・属性を変更します。", "",
     "preferences-system-time-symbolic", Make<TSHListViewNotDrive>, &TMainCommands::ChangeTimeAttributes},
    {TCommand::Rename, "Rename", "名前の変更(&M)", "名前の変更|選択されたオブジェクトの名前を変更します。", "",
     "document-edit-symbolic", Make<TSHFileRename>},
    {TCommand::OpenWith, "OpenWith", "アプリケーションの関連付け(&E)...",
     "関連付け|選択された画像ファイルを開くアプリケーションを関連付けます。", "", "system-run-symbolic",
     Make<TSHListViewSingleFile>, &TMainCommands::OpenWith},
    {TCommand::Properties, "Properties", "プロパティ(&R)",
     "プロパティ|選択されたオブジェクトのプロパティを表示します。", "F12", "document-properties-symbolic",
     Make<TSHFileProperty>},
    {TCommand::Exit, "Exit", "終了(&X)", "終了|システムを終了します。", "", "application-exit-symbolic",
     Make<TWindowAction>, &TMainCommands::Exit},
    // Edit menu
    {TCommand::Undo, "Undo", "元に戻す(&U)", "元に戻す|直前に実行したコマンドを取り消します。", "Ctrl+Z",
     "edit-undo-symbolic", Make<platform::Action>},
    {TCommand::Cut, "Cut", "切り取り(&T)", "切り取り|選択されたオブジェクトを削除し、クリップボードにコピーします。",
     "Ctrl+X", "edit-cut-symbolic", Make<TSHFileCut>},
    {TCommand::Copy, "Copy", "コピー(&C)",
     "コピー|選択されたオブジェクトをクリップボードにコピーします。新しい位置に挿入するには [貼り付け] "
     "を選んでください。", "Ctrl+C", "edit-copy-symbolic", Make<TSHFileCopy>},
    {TCommand::Paste, "Paste", "貼り付け(&P)",
     "貼り付け|コピーしたまたは切り取ったオブジェクトを、選択された位置に貼り付けます。", "Ctrl+V",
     "edit-paste-symbolic", Make<TSHFilePaste>},
    {TCommand::Delete, "Delete", "削除(&D)", "削除|選択されたオブジェクトを削除します。", "Del", "edit-delete-symbolic",
     Make<TSHFileDelete>},
    {TCommand::CopyToFolder, "CopyToFolder", "フォルダへコピー(&F)...",
     "フォルダへコピー|選択したフォルダ・画像ファイルを別の場所にコピーします。", "", "folder-symbolic",
     Make<TSHFileCopy>, &TMainCommands::CopyToFolder},
    {TCommand::MoveToFolder, "MoveToFolder", "フォルダへ移動(&V)...",
     "フォルダへ移動|選択したフォルダ・画像ファイルを別の場所に移動します。", "", "send-to-symbolic", Make<TSHFileCut>,
     &TMainCommands::MoveToFolder},
    {TCommand::SelectAll, "SelectAll", "すべて選択(&A)", "すべて選択|ウインドウ内のすべてのオブジェクトを選択します。",
     "Ctrl+A", "edit-select-all-symbolic", Make<TSelectAllItem>},
    {TCommand::SelectFolders, "SelectFolders", "フォルダを選択(&D)",
     "フォルダ選択|ウインドウ内のフォルダオブジェクトを選択します。", "", "folder-open-symbolic",
     Make<TSelectFolderItem>},
    {TCommand::SelectFiles, "SelectFiles", "ファイルを選択(&S)",
     "ファイル選択|ウインドウ内のファイルオブジェクトを選択します。", "", "text-x-generic-symbolic",
     Make<TSelectFileItem>},
    {TCommand::InvertSelection, "InvertSelection", "選択の切り替え(&I)",
     "選択の切り替え|選択されているオブジェクトと選択されていないオブジェクトを切り替えます。", "",
     "selection-mode-symbolic", Make<TReverseSelectedItem>},
    // View menu
    {TCommand::ShowStandardToolBar, "ShowStandardToolBar", "標準ツールバー(&S)",
     "標準ツールバー|標準ツールバーの表示/非表示を切り替えます。", "", "", Make<TWindowAction>,
     &TMainCommands::ShowStandardToolBar},
    {TCommand::ShowViewToolBar, "ShowViewToolBar", "表示ツールバー(&V)",
     "表示ツールバー|表示ツールバーの表示/非表示を切り替えます。", "", "", Make<TWindowAction>,
     &TMainCommands::ShowViewToolBar},
    {TCommand::ShowGoToolBar, "ShowGoToolBar", "移動ツールバー(&G)",
     "移動ツールバー|移動ツールバーの表示/非表示を切り替えます。", "", "", Make<TWindowAction>,
     &TMainCommands::ShowGoToolBar},
    {TCommand::ShowImageToolBar, "ShowImageToolBar", "画像ツールバー(&R)",
     "画像ツールバー|画像ツールバーの表示/非表示を切り替えます。", "", "", Make<TWindowAction>,
     &TMainCommands::ShowImageToolBar},
    {TCommand::ShowObjectToolBar, "ShowObjectToolBar", "オブジェクトツールバー(&O)",
     "オブジェクトツールバー|オブジェクトツールバーの表示/非表示を切り替えます。", "", "", Make<TWindowAction>,
     &TMainCommands::ShowObjectToolBar},
    {TCommand::ShowStatusBar, "ShowStatusBar", "ステータスバー(&S)",
     "ステータスバー|ステータス バーの表示/非表示を切り替えます。", "", "", Make<TWindowAction>,
     &TMainCommands::ShowStatusBar},
    {TCommand::LargeIcons, "LargeIcons", "大きいアイコン(&G)",
     "大きいアイコン|オブジェクトを大きいアイコンで表示します。", "", "view-grid-symbolic", Make<TLargeIcon>},
    {TCommand::SmallIcons, "SmallIcons", "小さいアイコン(&M)",
     "小さいアイコン|オブジェクトを小さいアイコンで表示します。", "", "view-app-grid-symbolic", Make<TSmallIcon>},
    {TCommand::ListStyle, "ListStyle", "一覧(&L)", "一覧|オブジェクトを一覧表示します。", "", "view-list-symbolic",
     Make<TListIcon>},
    {TCommand::Details, "Details", "詳細(&D)", "詳細|ウインドウ内の各オブジェクトの情報を表示します。", "",
     "view-list-bullet-symbolic", Make<TReportIcon>},
    {TCommand::SortByName, "SortByName", "名前順(&N)", "名前順|オブジェクトを名前順に並び替えます。", "", "",
     Make<TSHFileSortByName>},
    {TCommand::SortBySize, "SortBySize", "サイズ順(&Z)", "サイズ順|オブジェクトをサイズ順に並び替えます。", "", "",
     Make<TSHFileSortBySize>},
    {TCommand::SortByType, "SortByType", "種類順(&T)", "種類順|オブジェクトを種類順に並び替えます。", "", "",
     Make<TSHFileSortByType>},
    {TCommand::SortByDate, "SortByDate", "日付順(&D)", "日付順|オブジェクトを日付順に並び替えます。", "", "",
     Make<TSHFileSortByLastWrite>},
    {TCommand::SortByAttributes, "SortByAttributes", "属性順(&A)", "属性順|オブジェクトを属性順に並び替えます。", "",
     "", Make<TSHFileSortByAttr>},
    {TCommand::SortAscending, "SortAscending", "昇順で並び替え(&U)", "昇順|オブジェクトを昇順に並び替えます。", "",
     "view-sort-ascending-symbolic", Make<TSHFileAscSort>},
    {TCommand::SortDescending, "SortDescending", "降順で並び替え(&L)", "降順|オブジェクトを降順に並び替えます。", "",
     "view-sort-descending-symbolic", Make<TSHFileDescSort>},
    {TCommand::ShowVirtualFolders, "ShowVirtualFolders", "仮想フォルダを表示(&V)",
     "仮想フォルダ|仮想フォルダの表示/非表示を切り替えます。", "", "", Make<TSHTreeViewShowVirtual>},
    {TCommand::ShowNetwork, "ShowNetwork", "ネットワーク(&N)",
     "ネットワーク|ネットワークフォルダの表示/非表示を切り替えます。", "", "", Make<TSHTreeViewShowNetWork>},
    {TCommand::ShowTrash, "ShowTrash", "ごみ箱(&R)", "ごみ箱|ごみ箱フォルダの表示/非表示を切り替えます。", "", "",
     Make<TSHTreeViewShowBitBucket>},
    {TCommand::ShowInternet, "ShowInternet", "インターネット(&I)",
     "インターネット|インターネットフォルダの表示/非表示を切り替えます。", "", "", Make<TSHTreeViewShowInterNet>},
    {TCommand::ShowHiddenFiles, "ShowHiddenFiles", "隠しファイルを表示(&H)",
     "隠しファイル|隠しファイルの表示/非表示を切り替えます。", "", "view-reveal-symbolic",
     Make<TSHTreeViewShowHideFile>},
    {TCommand::NormalViewMode, "NormalViewMode", "標準モード(&N)", "", "", "zoom-original-symbolic",
     Make<TRasterViewModeNormalAction>},
    {TCommand::ExpandedViewMode, "ExpandedViewMode", "拡張モード(&E)", "", "", "view-fullscreen-symbolic",
     Make<TRasterViewModeExpandAction>},
    {TCommand::ColorPaintMode, "ColorPaintMode", "標準描画(&C)", "", "", "image-x-generic-symbolic",
     Make<TRasterPaintModeColorOnAction>},
    {TCommand::HalftonePaintMode, "HalftonePaintMode", "詳細描画(&H)", "", "", "color-select-symbolic",
     Make<TRasterPaintModeHalfToneAction>},
    {TCommand::Refresh, "Refresh", "最新の情報に更新(&R)",
     "最新情報|ウインドウ内のフォルダ・画像ファイルを最新の情報に更新します。", "", "view-refresh-symbolic",
     Make<TWindowAction>, nullptr, &TMainForm::Refresh},
    // Go menu
    {TCommand::Back, "Back", "前に戻る(&B)", "戻る|前の選択フォルダに戻ります。", "Alt+Left", "go-previous-symbolic",
     Make<TSHUndoItem>},
    {TCommand::Forward, "Forward", "次に進む(&F)", "進む|次の選択フォルダに進みます。", "Alt+Right", "go-next-symbolic",
     Make<TSHRedoItem>},
    {TCommand::UpOneLevel, "UpOneLevel", "一つ上の階層へ(&U)", "上の階層|一つ上の階層へ移動します。", "Ctrl+Up",
     "go-up-symbolic", Make<TSHTreeViewUp>, &TMainCommands::UpOneLevel},
    {TCommand::PreviousFolder, "PreviousFolder", "上のフォルダ(&P)",
     "上のフォルダ|現在選択されているフォルダを一つ上に移動します。", "", "go-top-symbolic", Make<TSHTreeViewUp>,
     &TMainCommands::PreviousFolder},
    {TCommand::NextFolder, "NextFolder", "下のフォルダ(&N)",
     "下のフォルダ|現在選択されているフォルダを一つ下に移動します。", "", "go-bottom-symbolic", Make<TSHTreeViewDown>,
     &TMainCommands::NextFolder},
    {TCommand::LockFolder, "LockFolder", "フォルダの固定(&L)",
     "フォルダの固定|選択されているフォルダの移動を固定します。", "", "changes-prevent-symbolic", Make<TSHListViewLock>,
     &TMainCommands::LockFolder},
    {TCommand::PreviousFile, "PreviousFile", "前のファイル(&O)", "前のファイル|前の画像ファイルを参照します。",
     "Alt+Up", "media-skip-backward-symbolic", Make<TSHListViewUp>, nullptr, &TMainForm::PreviousFile},
    {TCommand::NextFile, "NextFile", "次のファイル(&D)", "次のファイル|次の画像ファイルを参照します。", "Alt+Down",
     "media-skip-forward-symbolic", Make<TSHListViewDown>, nullptr, &TMainForm::NextFile},
    {TCommand::CancelLoad, "CancelLoad", "中止(&C)", "", "Esc", "process-stop-symbolic", Make<TRasterLoadCancelAction>},
    // Image menu
    {TCommand::PointTool, "PointTool", "ポイントツール(&P)", "ポイントツール|ポイントツールをアクティブにします。", "",
     "input-mouse-symbolic", Make<TRasterObjectSelectToolAction>},
    {TCommand::ZoomRectTool, "ZoomRectTool", "矩形範囲を拡大(&R)", "", "", "zoom-fit-best-symbolic",
     Make<TRasterZoomRectToolAction>},
    {TCommand::ZoomInTool, "ZoomInTool", "拡大(&I)", "", "", "zoom-in-symbolic", Make<TRasterZoomInToolAction>},
    {TCommand::ZoomOutTool, "ZoomOutTool", "縮小(&O)", "", "", "zoom-out-symbolic", Make<TRasterZoomOutToolAction>},
    {TCommand::ScrollTool, "ScrollTool", "スクロール(&S)", "", "", "find-location-symbolic",
     Make<TRasterScrollToolAction>},
    {TCommand::CenteringTool, "CenteringTool", "センターリング(&G)", "", "", "mark-location-symbolic",
     Make<TRasterCenteringToolAction>},
    {TCommand::WholeImage, "WholeImage", "全体表示(&E)", "", "Home", "view-restore-symbolic",
     Make<TRasterViewExtentAction>},
    {TCommand::Redraw, "Redraw", "再描画(&U)", "", "F5", "video-display-symbolic", Make<TRasterViewRefreshAction>},
    // Layer menu
    {TCommand::NewLayer, "NewLayer", "新規レイヤ(&N)", "", "", "list-add-symbolic", Make<TRasterLayerCreateAction>},
    {TCommand::DeleteLayer, "DeleteLayer", "レイヤ削除(&E)", "", "", "list-remove-symbolic",
     Make<TRasterLayerDeleteAction>},
    {TCommand::RenameLayer, "RenameLayer", "レイヤ名の変更(&R)", "", "", "document-edit-symbolic",
     Make<TRasterLayerRenameAction>},
    {TCommand::ActivateLayer, "ActivateLayer", "アクティブ(&A)", "", "", "", MakeLayerMode<lmActive>},
    {TCommand::ShowLayer, "ShowLayer", "表示(&V)", "", "", "", MakeLayerMode<lmVisible>},
    {TCommand::HideLayer, "HideLayer", "非表示(&I)", "", "", "", MakeLayerMode<lmInvisible>},
    {TCommand::LayerUp, "LayerUp", "上層に移動(&U)", "", "", "go-up-symbolic", Make<TRasterLayerOrderUpAction>},
    {TCommand::LayerDown, "LayerDown", "下層に移動(&D)", "", "", "go-down-symbolic", Make<TRasterLayerOrderDownAction>},
    // Object menu
    {TCommand::NewObjectTool, "NewObjectTool", "新規オブジェクト(&N)", "", "", "list-add-symbolic",
     Make<TRasterObjectCreateToolAction>},
    {TCommand::MoveObjectTool, "MoveObjectTool", "オブジェクト移動(&M)", "", "", "view-more-symbolic",
     Make<TRasterObjectMoveToolAction>},
    {TCommand::EditObject, "EditObject", "オブジェクト編集(&E)",
     "オブジェクト編集|選択されているオブジェクトを編集します。", "", "document-edit-symbolic",
     Make<TRasterObjectEditAction>, &TMainCommands::EditObject},
    {TCommand::DeleteObject, "DeleteObject", "オブジェクト削除(&D)", "", "", "edit-delete-symbolic",
     Make<TRasterObjectDeleteAction>},
    // Tools menu
    {TCommand::PluginSettings, "PluginSettings", "プラグインの設定(&P)...",
     "プラグインの設定|Susieプラグインの設定処理を行います。", "", "application-x-addon-symbolic", Make<TWindowAction>,
     &TMainCommands::PluginSettings},
    {TCommand::CreateNumberedFolders, "CreateNumberedFolders", "連続したフォルダの作成(&F)...",
     "連続フォルダ|連続した複数の新規フォルダを作成します。", "", "folder-new-symbolic", Make<TSHFileCreate>,
     &TMainCommands::CreateNumberedFolders},
    {TCommand::CopyImage, "CopyImage", "画像のコピー(&C)...",
     "画像のコピー|表示されている画像をクリップボードにコピーします。", "", "insert-image-symbolic",
     Make<TRasterAction>, &TMainCommands::CopyImage},
    {TCommand::MeasureDistance, "MeasureDistance", "距離の計測(&D)...", "距離の計測|画像上の２点間の距離を計測します。",
     "", "", Make<TRasterAction>},
    {TCommand::MeasureArea, "MeasureArea", "面積の計測(&A)...", "面積の計測|画像上の範囲の面積を計測します。", "", "",
     Make<TRasterAction>},
    {TCommand::Options, "Options", "オプション(&O)...", "オプション|システムの設定を変更します。", "",
     "preferences-system-symbolic", Make<TWindowAction>, &TMainCommands::Options},
    // Help menu
    {TCommand::HelpContents, "HelpContents", "目次とキーワード(&C)", "ヘルプ|Kelvandorのヘルプ トピックを表示します。",
     "F1", "help-browser-symbolic", Make<TWindowAction>, &TMainCommands::HelpContents},
    {TCommand::HomePage, "HomePage", "Kelvandorのホームページ(&W)...",
     "ホームページ|インターネット上のKelvandorホームページに接続します。", "", "web-browser-symbolic",
     Make<TWindowAction>, &TMainCommands::HomePage},
    {TCommand::SendSupportReport, "SendSupportReport", "サポート情報を送信(&S)...",
     "サポート情報|電子メールで障害報告を送信します。", "", "mail-send-symbolic", Make<TWindowAction>,
     &TMainCommands::SendSupportReport},
    {TCommand::ShowVersion, "ShowVersion", "バージョン情報(&A)...", "バージョン|バージョン情報を返します。", "",
     "help-about-symbolic", Make<TWindowAction>, &TMainCommands::ShowVersion},
};

}  // namespace

std::span<const TCommandRow> MainCommandTable() { return kCommands; }

const TCommandRow* FindCommand(int number) {
    const auto found = std::find_if(std::begin(kCommands), std::end(kCommands),
                                    [number](const TCommandRow& row) { return NumberOf(row.Id) == number; });
    return found == std::end(kCommands) ? nullptr : found;
}

const TCommandRow* FindCommand(std::string_view name) {
    const auto found = std::find_if(std::begin(kCommands), std::end(kCommands),
                                    [name](const TCommandRow& row) { return row.Name == name; });
    return found == std::end(kCommands) ? nullptr : found;
}

const TCommandRow& CommandRow(TCommand command) { return *FindCommand(NumberOf(command)); }

int HelpContextOf(TCommand command) {
    const int number = NumberOf(command);
    if (number >= 3011 && number <= 3015) return 3010;
    if (number >= 3041 && number <= 3047) return 3040;
    if (number >= 3051 && number <= 3054) return 3050;
    if (number == 3071 || number == 3072) return 3070;
    if (number == 3081 || number == 3082) return 3080;
    if (number >= 6041 && number <= 6043) return 6040;
    if (number == 6051 || number == 6052) return 6050;
    return number;
}
