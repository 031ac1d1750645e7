// The file or folder named on the command line: its folder is shown in
// place of the start folder, and a file is opened once the window is up.
#include <QFileInfo>

#include <optional>

#include "app/main_form.h"
#include "components/prg_status_bar.h"
#include "platform/file_names.h"
#include "platform/folder_scan.h"
#include "platform/path_text.h"
#include "shell/shell_list_view.h"

namespace {

// The widest panel, the list's count, which takes the rest of the bar.
constexpr int kMessagePanel = 0;

bool SameFolder(const QString& a, const QString& b) {
    const std::optional<platform::FileIdentity> first = platform::IdentityOfPath(platform::PathBytes(a));
    const std::optional<platform::FileIdentity> second = platform::IdentityOfPath(platform::PathBytes(b));
    return first && second && first->device == second->device && first->inode == second->inode;
}

// QFileInfo only splits paths here: asked about the file itself, it would
// re-encode a name that is not UTF-8 and look for another one.
platform::PathTarget TargetOf(const QString& path) { return platform::TargetOf(platform::PathBytes(path)); }

}  // namespace

QString TMainForm::StartFolder() const {
    if (startPath_.isEmpty()) return defaultPath_;
    const QFileInfo start(startPath_);
    switch (TargetOf(startPath_)) {
        case platform::PathTarget::Nothing: return defaultPath_;
        case platform::PathTarget::Folder: return start.absoluteFilePath();
        default: return start.absolutePath();
    }
}

void TMainForm::OpenStartPath() {
    if (startPath_.isEmpty()) return;
    const QFileInfo start(startPath_);
    const QString shown = platform::ShownText(startPath_);
    switch (TargetOf(startPath_)) {
        case platform::PathTarget::Folder: return;
        case platform::PathTarget::File: break;
        case platform::PathTarget::Nothing:
            // A name that leads nowhere is told without stopping the start.
            ShowStartNote(QStringLiteral("「%1」が見つかりません。").arg(shown));
            return;
        case platform::PathTarget::Other:
            ShowStartNote(QStringLiteral("「%1」は画像ファイルでもフォルダでもありません。").arg(shown));
            return;
    }
    SelectListEntry(start);
    // Opened even when the list leaves it out (a hidden file, a pattern
    // no plug-in claims): the user asked for this file.
    if (OpenImage(start.absoluteFilePath())) AimReadAhead();
}

// The note stays over the list's count while the start folder is still
// being read, so that the end of the reading does not hide it.
void TMainForm::ShowStartNote(const QString& text) {
    statusBar_->SetPanelText(kMessagePanel, text);
    if (shellListView_->FileList().Listing()) startNote_ = text;
}

void TMainForm::SelectListEntry(const QFileInfo& file) {
    // The tree stops short of a folder it does not show (a hidden one):
    // then a file of the same name in the list is another file.
    if (!SameFolder(shellListView_->FolderPath(), file.absolutePath())) return;
    // Selected now, or as soon as the folder's listing reaches it.
    shellListView_->FileList().SelectEntryWhenListed(platform::PathBytes(file.fileName()));
}
