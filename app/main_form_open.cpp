// Opening, closing and stepping through the images of the file list.
#include <QProgressBar>

#include "app/main_commands.h"
#include "app/main_form.h"
#include "components/float_edit.h"
#include "components/prg_status_bar.h"
#include "platform/action_list.h"
#include "raster/raster.h"
#include "raster/raster_tree_view.h"
#include "shell/shell_id_func.h"
#include "shell/shell_list_view.h"
#include "shell/shell_tree_view.h"

bool TMainForm::OpenImage(const QString& path) { return Open(path) == TOpenOutcome::Opened; }

TMainForm::TOpenOutcome TMainForm::Open(const QString& path) {
    // The view is closing its image before a load or showing one after it,
    // and may be asking the user: that load goes on first.
    if (!raster_->LoadCanStart()) return TOpenOutcome::Failed;
    const std::uint64_t open = ++opens_;
    floatEditX_->SetValue(0);
    floatEditY_->SetValue(0);
    QProgressBar* progress = statusBar_->ProgressBar();
    cancelLoadAction_->setEnabled(true);
    progress->setRange(0, 100);
    progress->setValue(0);
    progress->setTextVisible(false);
    progress->show();
    progressShown_.start();
    // The image node shows the file's own icon only when it comes from the
    // list (OpenItem); the load closes the image before, so this is not seen.
    rasterTreeView_->SetNodeImage(TRasterTreeView::niImage, QPixmap());
    const bool loaded = raster_->LoadFromFile(path);
    if (open != opens_) return TOpenOutcome::TakenOver;
    progress->hide();
    ShowAwaitedPlugin();
    // Cancel goes, and the image's commands follow the new image now.
    commands_->ActionList().UpdateActions();
    ShowImageProperties(loaded);
    return loaded ? TOpenOutcome::Opened : TOpenOutcome::Failed;
}

void TMainForm::OpenFile() {
    const std::vector<int> selected = shellListView_->SelectedRows();
    if (selected.empty()) return;
    travel_ = +1;
    OpenItem(shellListView_->FileList().GetItem(selected.front()));
}

void TMainForm::OpenItem(TSHFileItem* item) {
    if (item == nullptr || !raster_->LoadCanStart()) return;
    // Read before the load: the list may be read again while it runs.
    const int iconIndex = item->GetIconIndex();
    switch (Open(item->GetPath())) {
    case TOpenOutcome::TakenOver: return;
    case TOpenOutcome::Failed: raster_->ReadAhead(QString()); return;
    case TOpenOutcome::Opened: break;
    }
    const TSysImageList smallIcons = GetSysImageList(false);
    rasterTreeView_->SetNodeImage(TRasterTreeView::niImage,
                                  smallIcons.Icon(iconIndex).pixmap(smallIcons.IconSize(), smallIcons.IconSize()));
    AimReadAhead();
}

void TMainForm::ShellListViewShExecute(TSHFileItem* item, bool& defaultAction) {
    defaultAction = false;
    travel_ = +1;
    OpenItem(item);
}

void TMainForm::PreviousFile() { StepFile(-1); }

void TMainForm::NextFile() { StepFile(+1); }

namespace {

bool IsImageFile(TSHFileItem* item) { return item->HasAttribute(saFileSystem) && !item->IsDirectory(); }

}  // namespace

void TMainForm::AimReadAhead() {
    const std::vector<int> selected = shellListView_->SelectedRows();
    const TSHFileList& list = shellListView_->FileList();
    TSHFileItem* shown = selected.empty() ? nullptr : list.GetItem(selected.front());
    // Only while the list still shows the image where it was opened: a
    // new folder or a file opened from elsewhere has no next file.
    if (!raster_->HasImage() || shown == nullptr || shown->GetPath() != raster_->FileName()) {
        raster_->ReadAhead(QString());
        return;
    }
    TSHFileItem* next = list.GetItem(selected.front() + travel_);
    raster_->ReadAhead(next != nullptr && IsImageFile(next) ? next->GetPath() : QString());
}

void TMainForm::StepFile(int step) {
    if (!raster_->LoadCanStart()) return;
    travel_ = step;
    const std::vector<int> selected = shellListView_->SelectedRows();
    const int target = (selected.empty() ? -1 : selected.front()) + step;
    TSHFileItem* item = shellListView_->FileList().GetItem(target);
    // Past either end the selection stays where it is.
    if (item == nullptr) return;
    shellListView_->SetSelectedRows({target});
    shellListView_->SetFocusedRow(target);
    shellListView_->ScrollToRow(target, false);
    if (IsImageFile(item)) OpenItem(item);
}

void TMainForm::Refresh() {
    FilterListByPlugins();
    shellListView_->RefreshList();
    shellTreeView_->RefreshAll();
}

void TMainForm::FilterListByPlugins() {
    TSHFileFilter& filter = shellListView_->Filter();
    filter.Masks.clear();
    raster_->GetPluginFilters(filter.Masks);
    filter.Options |= TSHFileFilter::foMask;
}

void TMainForm::CloseFile() {
    raster_->ReadAhead(QString());
    raster_->CloseImage();
    rasterTreeView_->SetNodeImage(TRasterTreeView::niImage, QPixmap());
    ShowImageProperties(false);
    floatEditX_->SetValue(0);
    floatEditY_->SetValue(0);
}

void TMainForm::CancelLoad() { raster_->SetLoadCancel(true); }
