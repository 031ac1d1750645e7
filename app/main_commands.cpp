#include "app/main_commands.h"

#include <algorithm>

#include <QActionGroup>
#include <QStatusTipEvent>
#include <QKeySequence>
#include <QMenu>
#include <QToolBar>

#include "app/command_icons.h"
#include "app/control_bar.h"
#include "app/main_form.h"
#include "components/help_file.h"
#include "components/prg_status_bar.h"
#include "platform/action_list.h"
#include "platform/application_help.h"
#include "raster/raster.h"
#include "raster/raster_tree_view.h"
#include "shell/shell_list_view.h"
#include "shell/shell_tree_view.h"

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
    // A large selection's attributes come from a worker: the commands
    // follow them when they arrive, not a steady beat later.
    connect(form_.ShellListView(), &TSHListView::SelectionFactsChanged, actionList_,
            &platform::ActionList::RequestUpdate);
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

platform::Action* TMainCommands::Command(TCommand command) const {
    const auto found = commands_.find(command);
    return found == commands_.end() ? nullptr : found->second;
}

void TMainCommands::CreateCommands() {
    for (const TCommandRow& row : MainCommandTable()) {
        platform::Action* action = row.Make(Owner());
        action->setObjectName(QString::fromLatin1(row.Name));
        commands_[row.Id] = action;
        action->setText(QString::fromUtf8(row.Caption));
        if (*row.Hint != '\0') action->SetHint(QString::fromUtf8(row.Hint));
        action->setShortcut(QKeySequence(QString::fromLatin1(row.Shortcut)));
        action->SetHelpContext(HelpContextOf(row.Id));
        action->setIcon(command_icons::CommandIcon(row.Icon));
        // Menus show their own icons; a check or radio mark takes the place.
        action->setIconVisibleInMenu(!action->isCheckable());
        action->setShortcutContext(Qt::WindowShortcut);
        BindHandlers(action, row);
        actionList_->Add(action);
        form_.addAction(action);
    }
    using enum TCommand;
    for (TCommand command : {ShowStandardToolBar, ShowViewToolBar, ShowGoToolBar, ShowImageToolBar, ShowObjectToolBar,
                             ShowStatusBar, ShowVirtualFolders, ShowNetwork, ShowTrash, ShowInternet, ShowHiddenFiles,
                             LockFolder})
        Command(command)->setCheckable(true);
    MakeRadioGroup({LargeIcons, SmallIcons, ListStyle, Details});
    MakeRadioGroup({SortByName, SortBySize, SortByType, SortByDate, SortByAttributes});
    MakeRadioGroup({SortAscending, SortDescending});
    MakeRadioGroup({NormalViewMode, ExpandedViewMode});
    MakeRadioGroup({ColorPaintMode, HalftonePaintMode});
    MakeRadioGroup({PointTool, ZoomRectTool, ZoomInTool, ZoomOutTool, ScrollTool, CenteringTool});
    MakeRadioGroup({ActivateLayer, ShowLayer, HideLayer});
    // Kept for the designed layout but not offered on this window.
    for (TCommand command : {NewFile, Save}) Command(command)->setVisible(false);
    BindBarChecks();
}

void TMainCommands::MakeRadioGroup(std::initializer_list<TCommand> commands) {
    auto* group = new QActionGroup(this);
    // Optional: a command without target shows no mark at all.
    group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (TCommand command : commands) {
        Command(command)->setCheckable(true);
        Command(command)->setIconVisibleInMenu(false);
        group->addAction(Command(command));
    }
}

void TMainCommands::BindHandlers(platform::Action* action, const TCommandRow& row) {
    if (row.Handler != nullptr)
        action->OnExecute = [this, handler = row.Handler](platform::Action*) { (this->*handler)(); };
    else if (row.FormHandler != nullptr)
        action->OnExecute = [form = &form_, handler = row.FormHandler](platform::Action*) { (form->*handler)(); };
}

// The bar toggles' checks follow their bars.
void TMainCommands::BindBarChecks() {
    const std::pair<TCommand, QWidget*> bars[] = {
        {TCommand::ShowStandardToolBar, form_.StandardToolBar()}, {TCommand::ShowViewToolBar, form_.ViewToolBar()},
        {TCommand::ShowGoToolBar, form_.GoToolBar()},             {TCommand::ShowImageToolBar, form_.ImageToolBar()},
        {TCommand::ShowStatusBar, form_.StatusBar()}};
    for (const auto& [command, bar] : bars)
        static_cast<TWindowAction*>(Command(command))->Checked = [bar] { return !bar->isHidden(); };
    static_cast<TWindowAction*>(Command(TCommand::ShowObjectToolBar))->Checked = [this] { return objectToolBarChecked_; };
}
