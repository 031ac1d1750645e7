// The file or folder named on the command line: its folder is shown in
// place of the start folder, and a file is opened once the window is up.
#include <QFileInfo>

#include "app/main_form.h"
#include "components/prg_status_bar.h"
#include "shell/shell_list_view.h"

namespace {

// The widest panel, the list's count, which takes the rest of the bar.
constexpr int kMessagePanel = 0;

bool SameFolder(const QString& a, const QString& b) {
    const QString canonical = QFileInfo(a).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(b).canonicalFilePath();
}

}  // namespace

QString TMainForm::StartFolder() const {
    if (startPath_.isEmpty()) return defaultPath_;
    const QFileInfo start(startPath_);
    if (!start.exists()) return defaultPath_;
    return start.isDir() ? start.absoluteFilePath() : start.absolutePath();
}

void TMainForm::OpenStartPath() {
    if (startPath_.isEmpty()) return;
    const QFileInfo start(startPath_);
    // A name that leads nowhere is told without stopping the start.
    if (!start.exists()) {
        statusBar_->SetPanelText(kMessagePanel, QStringLiteral("「%1」が見つかりません。").arg(startPath_));
        return;
    }
    if (start.isDir()) return;
    if (!start.isFile()) {
        statusBar_->SetPanelText(kMessagePanel,
                                 QStringLiteral("「%1」は画像ファイルでもフォルダでもありません。").arg(startPath_));
        return;
    }
    SelectListEntry(start);
    // Opened even when the list leaves it out (a hidden file, a pattern
    // no plug-in claims): the user asked for this file.
    if (OpenImage(start.absoluteFilePath())) AimReadAhead();
}

void TMainForm::SelectListEntry(const QFileInfo& file) {
    // The tree stops short of a folder it does not show (a hidden one):
    // then a file of the same name in the list is another file.
    if (!SameFolder(shellListView_->FolderPath(), file.absolutePath())) return;
    const TSHFileList& list = shellListView_->FileList();
    for (int row = 0; row < list.Count(); ++row) {
        if (QFileInfo(list.GetItem(row)->GetPath()).fileName() != file.fileName()) continue;
        shellListView_->SetSelectedRows({row});
        shellListView_->SetFocusedRow(row);
        shellListView_->ScrollToRow(row, false);
        return;
    }
}
