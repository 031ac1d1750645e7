// The view menu's bar toggles: each shows or hides its bar, and its check
// follows the bar.
#include <QToolBar>

#include "app/control_bar.h"
#include "app/main_commands.h"
#include "app/main_form.h"
#include "components/prg_status_bar.h"

void TMainCommands::ToggleToolBar(QToolBar* bar) {
    bar->setVisible(bar->isHidden());
    form_.ControlBar()->Relayout();
}

void TMainCommands::ShowStandardToolBar() { ToggleToolBar(form_.StandardToolBar()); }

void TMainCommands::ShowViewToolBar() { ToggleToolBar(form_.ViewToolBar()); }

void TMainCommands::ShowGoToolBar() { ToggleToolBar(form_.GoToolBar()); }

void TMainCommands::ShowImageToolBar() { ToggleToolBar(form_.ImageToolBar()); }

void TMainCommands::ShowObjectToolBar() { objectToolBarChecked_ = !objectToolBarChecked_; }

void TMainCommands::ShowStatusBar() { form_.StatusBar()->setVisible(form_.StatusBar()->isHidden()); }
