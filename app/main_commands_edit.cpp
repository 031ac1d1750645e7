// The edit menu's handlers: copying and moving the selection, or the
// tree's folder, to a chosen folder.
#include "app/main_commands.h"
#include "app/main_form.h"
#include "components/shell_folder_dialog.h"
#include "platform/file_operations.h"
#include "platform/path_text.h"
#include "shell/shell_list_view.h"
#include "shell/shell_tree_view.h"

namespace {

QString AskTargetFolder(const QString& title) {
    TShellFolderDialog dialog;
    dialog.SetTitle(title);
    dialog.SetRootFolder(TSpecialFolder::sfDesktop);
    dialog.SetInitFolder(TSpecialFolder::sfDrives);
    dialog.SetOptions({TSelectFolderOption::bifReturnOnlyFSDIRs, TSelectFolderOption::bifEditBox,
                       TSelectFolderOption::bifValiDate, TSelectFolderOption::bifNewDialogStyle});
    return dialog.Execute() ? dialog.FolderName() : QString();
}

}  // namespace

std::vector<std::string> TMainCommands::TransferSources() const {
    std::vector<std::string> sources;
    TSHListView* list = form_.ShellListView();
    if (list && !list->SelectedRows().empty()) {
        TSHIDList& selection = list->FileList().SelectedIDList();
        for (int i = 0; i < selection.Count(); ++i) sources.push_back(selection.NativePath(i));
    } else {
        sources.push_back(platform::PathBytes(form_.ShellTreeView()->SelectedPath()));
    }
    // Places outside the file system have no path to copy from.
    std::erase_if(sources, [](const std::string& path) { return path.empty(); });
    return sources;
}

void TMainCommands::TransferToFolder(bool move) {
    if (form_.ShellTreeView()->SelectedNode() == nullptr) return;
    const QString title = move ? QStringLiteral("移動先のフォルダを選択") : QStringLiteral("コピー先のフォルダを選択");
    const QString target = ChooseFolder ? ChooseFolder(title) : AskTargetFolder(title);
    if (target.isEmpty()) return;
    const std::vector<std::string> sources = TransferSources();
    if (sources.empty()) return;
    // Progress, overwrite questions, refusals (a folder into itself or its
    // own subfolder) and failures are shown by the transfer itself; the
    // list follows through its watcher.
    platform::TransferFiles(move ? platform::TransferMode::Move : platform::TransferMode::Copy, sources,
                            platform::PathBytes(target), &form_);
}

void TMainCommands::CopyToFolder() { TransferToFolder(false); }

void TMainCommands::MoveToFolder() { TransferToFolder(true); }
