// The tools menu's handlers: the plug-in folder, the numbered folders,
// the image copy and the options.
#include "app/main_commands.h"
#include "app/main_form.h"
#include "dialogs/copy_image_dialog.h"
#include "dialogs/numbered_folders_dialog.h"
#include "dialogs/option_settings.h"
#include "dialogs/options_dialog.h"
#include "dialogs/plugin_folder_dialog.h"
#include "platform/path_text.h"
#include "raster/raster.h"
#include "shell/shell_tree_view.h"

void TMainCommands::PluginSettings() {
    TPluginFolderDialog dialog(&form_, form_.Raster()->Plugs());
    // The list shows what the plug-ins of the new folder read.
    if (dialog.exec() == QDialog::Accepted) form_.Refresh();
}

void TMainCommands::CreateNumberedFolders() {
    TNumberedFoldersDialog dialog(&form_, platform::PathBytes(form_.ShellTreeView()->SelectedPath()));
    dialog.exec();
}

void TMainCommands::CopyImage() {
    TCopyImageDialog dialog(&form_, form_.Raster());
    dialog.exec();
}

void TMainCommands::Options() {
    TOptionsDialog dialog(&form_, form_.OptionSettings());
    if (dialog.exec() == QDialog::Accepted) form_.SetOptionSettings(dialog.Settings());
}
