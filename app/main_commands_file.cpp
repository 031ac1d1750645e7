// The file menu's handlers: saving a copy as BMP, the printer, printing,
// the times and attributes of the selection, opening it with another
// program, renaming several items at once, ending.
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPrintDialog>

#include "app/main_commands.h"
#include "app/main_form.h"
#include "components/open_with_dialog.h"
#include "dialogs/batch_rename_dialog.h"
#include "dialogs/time_attribute_dialog.h"
#include "platform/message_box.h"
#include "platform/path_text.h"
#include "raster/raster.h"
#include "shell/shell_list_view.h"

namespace {

QString AskBitmapName(QWidget* owner, const QString& proposed) {
    const QFileInfo file(proposed);
    QFileDialog dialog(owner, QStringLiteral("ファイルを保存"), file.absolutePath(),
                       QStringLiteral("24ビット ビットマップ(*.bmp)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("bmp"));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.setSizeGripEnabled(true);
    dialog.selectFile(file.fileName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

std::vector<std::string> SelectedPaths(TSHListView& list) {
    std::vector<std::string> paths;
    TSHIDList& selection = list.FileList().SelectedIDList();
    for (int i = 0; i < selection.Count(); ++i) paths.push_back(selection.NativePath(i));
    return paths;
}

}  // namespace

QString TMainCommands::ProposedBitmapPath() const {
    const QFileInfo image(form_.Raster()->FileName());
    QString folder = image.absolutePath();
    if (!bitmapFolder_.isEmpty() && QFileInfo(bitmapFolder_).isDir()) folder = bitmapFolder_;
    return QDir(folder).filePath(image.completeBaseName() + QStringLiteral(".bmp"));
}

void TMainCommands::SaveAsBitmap() {
    const QString proposed = ProposedBitmapPath();
    const QString path = ChooseSaveFile ? ChooseSaveFile(proposed) : AskBitmapName(&form_, proposed);
    if (path.isEmpty()) return;
    bitmapFolder_ = QFileInfo(path).absolutePath();
    // The view reports its own failures.
    form_.Raster()->SaveAsBitmap(path);
}

void TMainCommands::PrinterSetup() {
    QPrintDialog dialog(&form_.Raster()->Printer(), &form_);
    dialog.setWindowTitle(QStringLiteral("プリンタの設定"));
    dialog.setOption(QAbstractPrintDialog::PrintToFile, true);
    dialog.exec();
}

void TMainCommands::Print() { form_.Raster()->Print(); }

void TMainCommands::Exit() { form_.close(); }

void TMainCommands::ChangeTimeAttributes() {
    TTimeAttributeDialog dialog(&form_, SelectedPaths(*form_.ShellListView()));
    dialog.exec();
}

void TMainCommands::OpenWith() {
    const std::vector<std::string> paths = SelectedPaths(*form_.ShellListView());
    // The chooser says itself when nothing can open the file.
    if (!paths.empty()) OpenFileWith(paths.front(), &form_);
}

void TMainCommands::ShellListViewShListRename(int count, bool& accept) {
    if (count <= 1) return;
    accept = false;
    TSHListView& list = *form_.ShellListView();
    TSHIDList& selection = list.FileList().SelectedIDList();
    if (selection.Count() == 0) return;
    const bool folders = selection.HasAttribute(0, saFolder);
    for (int i = 1; i < selection.Count(); ++i) {
        if (selection.HasAttribute(i, saFolder) != folders) {
            platform::ShowMessage(&form_, QStringLiteral("フォルダとファイルの混在処理は行えません。"),
                                  platform::MessageIcon::Warning);
            return;
        }
    }
    TBatchRenameDialog dialog(&form_, folders, SelectedPaths(list), platform::PathBytes(list.FolderPath()));
    if (dialog.exec() == QDialog::Accepted) list.RefreshList();
}
