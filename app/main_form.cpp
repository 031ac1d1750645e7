#include "main_form.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include "app/control_bar.h"
#include "app/main_commands.h"
#include "app/settings_file.h"
#include "components/float_edit.h"
#include "components/prg_status_bar.h"
#include "dialogs/splash_window.h"
#include "platform/message_box.h"
#include "raster/raster.h"
#include "raster/raster_list_view.h"
#include "raster/raster_tree_view.h"
#include "shell/shell_list_view.h"
#include "shell/shell_popup_menu.h"
#include "shell/shell_tree_view.h"

namespace {

constexpr int kInitialClientWidth = 818;
constexpr int kInitialClientHeight = 464;
constexpr int kPanelCtrlWidth = 203;
constexpr int kListPanelHeight = 88;
constexpr int kCoordinateWidth = 77;
constexpr int kCoordinateDecimals = 3;

QWidget* NamedPanel(const QString& name, QWidget* parent) {
    auto* panel = new QWidget(parent);
    panel->setObjectName(name);
    return panel;
}

QVBoxLayout* TightColumn(QWidget* panel) {
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return layout;
}

}  // namespace

TMainForm::TMainForm(std::unique_ptr<SettingsFile> settings, std::chrono::milliseconds splashWait, QWidget* parent)
    : QMainWindow(parent), settings_(std::move(settings)), splashWait_(splashWait) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Kelvandor"));
    designFont_ = QApplication::font();
    resize(kInitialClientWidth, kInitialClientHeight);
    CreateControlBar();
    CreatePanels();
    CreateStatusBar();
    // Bound once the status bar can take the list's first reports.
    shellTreeView_->SetShellListView(shellListView_);
    CreateActions();
}

// The commands watch the events of the window's children; they go first,
// while the window is still whole, so that no event sent while a child is
// destroyed reaches a window that is half gone.
TMainForm::~TMainForm() {
    delete commands_;
    commands_ = nullptr;
}

void TMainForm::CreateControlBar() {
    controlBar_ = new TControlBar(this);
    controlBar_->setObjectName(QStringLiteral("ControlBar"));
    const char* const names[] = {"StandardToolBar", "ViewToolBar", "GoToolBar", "ImageToolBar"};
    for (std::size_t i = 0; i < toolBars_.size(); ++i) {
        auto* toolBar = new QToolBar(controlBar_);
        toolBar->setObjectName(QString::fromLatin1(names[i]));
        toolBars_[i] = toolBar;
    }
    auto addCoordinate = [this](const QString& label, const QString& name) {
        ImageToolBar()->addWidget(new QLabel(label, ImageToolBar()));
        auto* edit = new TFloatEdit(ImageToolBar());
        edit->setObjectName(name);
        edit->setReadOnly(true);
        edit->setFixedWidth(kCoordinateWidth);
        edit->SetSeparate(true);
        edit->SetDecimal(kCoordinateDecimals);
        ImageToolBar()->addWidget(edit);
        return edit;
    };
    floatEditX_ = addCoordinate(QStringLiteral(" X : "), QStringLiteral("FloatEditX"));
    floatEditY_ = addCoordinate(QStringLiteral(" Y : "), QStringLiteral("FloatEditY"));
    // Designed places: standard and history toolbars on the left, view and
    // tool toolbars beside them.
    controlBar_->AddToolBar(StandardToolBar(), 11, 0);
    controlBar_->AddToolBar(ViewToolBar(), 272, 0);
    controlBar_->AddToolBar(GoToolBar(), 11, 1);
    controlBar_->AddToolBar(ImageToolBar(), 272, 1);
    controlBar_->SetRowSize(ToolBarRowSize());
}

int TMainForm::ToolBarRowSize() const {
    int height = 0;
    for (const QToolBar* toolBar : toolBars_) height = std::max(height, toolBar->sizeHint().height());
    return height + 4;
}

void TMainForm::CreatePanels() {
    auto* central = NamedPanel(QStringLiteral("PanelMain"), this);
    QVBoxLayout* column = TightColumn(central);
    column->addWidget(controlBar_);
    panelTop_ = NamedPanel(QStringLiteral("PanelTop"), central);
    panelTop_->setFixedHeight(1);
    column->addWidget(panelTop_);

    sideSplitter_ = new QSplitter(Qt::Horizontal, central);
    sideSplitter_->setObjectName(QStringLiteral("SideSplitter"));
    sideSplitter_->setChildrenCollapsible(false);
    column->addWidget(sideSplitter_, 1);

    panelCtrl_ = NamedPanel(QStringLiteral("PanelCtrl"), sideSplitter_);
    panelCtrl_->setMinimumWidth(100);
    sideTabs_ = new QTabWidget(panelCtrl_);
    sideTabs_->setObjectName(QStringLiteral("SideTabs"));
    TightColumn(panelCtrl_)->addWidget(sideTabs_);
    auto* fileTab = NamedPanel(QStringLiteral("FileTab"), sideTabs_);
    auto* layerTab = NamedPanel(QStringLiteral("LayerTab"), sideTabs_);
    CreateShellControls(fileTab);
    rasterTreeView_ = new TRasterTreeView(layerTab);
    rasterTreeView_->setObjectName(QStringLiteral("RasterTreeView"));
    TightColumn(layerTab)->addWidget(rasterTreeView_);
    sideTabs_->addTab(fileTab, QStringLiteral("ファイル"));
    sideTabs_->addTab(layerTab, QStringLiteral("レイヤ"));
    // The layer tab is kept but not offered.
    sideTabs_->setTabVisible(1, false);

    panelClient_ = NamedPanel(QStringLiteral("PanelClient"), sideSplitter_);
    listSplitter_ = new QSplitter(Qt::Vertical, panelClient_);
    listSplitter_->setObjectName(QStringLiteral("ListSplitter"));
    listSplitter_->setChildrenCollapsible(false);
    TightColumn(panelClient_)->addWidget(listSplitter_);
    listPanel_ = new QStackedWidget(listSplitter_);
    listPanel_->setObjectName(QStringLiteral("ListPanel"));
    listPanel_->addWidget(shellListView_);
    rasterListView_ = new TRasterListView(listPanel_);
    rasterListView_->setObjectName(QStringLiteral("RasterListView"));
    listPanel_->addWidget(rasterListView_);
    raster_ = new TRaster(listSplitter_);
    raster_->setObjectName(QStringLiteral("Raster"));
    raster_->SetScrollUnit(100);
    raster_->SetZoomSize(0.1);
    raster_->SetViewMode(vmNormal);
    raster_->SetPaintMode(pmColorOn);
    raster_->installEventFilter(this);
    rasterTreeView_->SetRaster(raster_);
    rasterTreeView_->SetRasterListView(rasterListView_);
    listSplitter_->setStretchFactor(0, 0);
    listSplitter_->setStretchFactor(1, 1);
    listSplitter_->setSizes({kListPanelHeight, kInitialClientHeight - kListPanelHeight});
    sideSplitter_->setStretchFactor(0, 0);
    sideSplitter_->setStretchFactor(1, 1);
    sideSplitter_->setSizes({kPanelCtrlWidth, kInitialClientWidth - kPanelCtrlWidth});
    setCentralWidget(central);

    connect(sideTabs_, &QTabWidget::currentChanged, this, &TMainForm::SideTabsChange);
    raster_->OnLoadProgress = [this](TRaster*, int position, bool& cancel) { RasterLoadProgress(position, cancel); };
    raster_->OnActiveToolClick = [this](TRasterTool*, int x, int y) { RasterActiveToolClick(x, y); };
}

void TMainForm::CreateShellControls(QWidget* treePage) {
    shPopupMenu_ = new TSHPopupMenu(this);
    shPopupMenu_->setObjectName(QStringLiteral("SHPopupMenu"));
    // The folders are read once, with hidden ones and virtual places as
    // the settings ask.
    shellTreeView_ = new TSHTreeView(treePage, ReadTreeShows());
    shellTreeView_->setObjectName(QStringLiteral("ShellTreeView"));
    TightColumn(treePage)->addWidget(shellTreeView_);
    connect(shellTreeView_, &TSHTreeView::FolderUnreadable, this, &TMainForm::ShellTreeViewFolderUnreadable);
    shellListView_ = new TSHListView(this);
    shellListView_->setObjectName(QStringLiteral("ShellListView"));
    shellListView_->SetShellPopupMenu(shPopupMenu_);
    shellListView_->OnShExecute = [this](TSHListView*, TSHFileItem* item, Qt::KeyboardModifiers, int, int, int,
                                         bool& defaultAction) { ShellListViewShExecute(item, defaultAction); };
    shellListView_->OnShListChange = [this](TSHListView*, TSHFileList* list) { ShellListViewShListChange(list); };
    // A new folder, a refresh or a new sort order moves the next file;
    // queued, so that the list has put its selection back first.
    connect(shellListView_, &TSHListView::FileListChanged, this, [this] { AimReadAhead(); }, Qt::QueuedConnection);
    connect(shellListView_->Model(), &QAbstractItemModel::layoutChanged, this, [this] { AimReadAhead(); },
            Qt::QueuedConnection);
    shellListView_->OnShSelChange = [this](TSHListView*, std::int64_t size) { ShellListViewShSelChange(size); };
    shellListView_->OnShFolderLock = [this](TSHListView*, bool lock) { ShellListViewShFolderLock(lock); };
    shellListView_->OnCustomDrawItem = [this](TSHListView*, int item, QStyle::State, TListItemCanvas& canvas, bool&,
                                              bool&) { ShellListViewCustomDrawItem(item, canvas); };
}

void TMainForm::CreateStatusBar() {
    statusBar_ = new TPrgStatusBar(this);
    statusBar_->setObjectName(QStringLiteral("StatusBar"));
    statusBar_->SetPanels({TStatusPanel{QString(), 80, pbNone, Qt::AlignLeft},
                           TStatusPanel{QString(), 150, pbLowered, Qt::AlignHCenter},
                           TStatusPanel{QString(), 120, pbLowered, Qt::AlignHCenter},
                           TStatusPanel{QString(), 50, pbLowered, Qt::AlignHCenter},
                           TStatusPanel{QString(), 120, pbLowered, Qt::AlignHCenter},
                           TStatusPanel{QString(), 80, pbLowered, Qt::AlignLeft}});
    statusBar_->OnResize = [this](TPrgStatusBar*) { StatusBarResize(); };
    setStatusBar(statusBar_);
}

void TMainForm::CreateActions() {
    commands_ = new TMainCommands(*this);
    openFileAction_ = commands_->Command(TCommand::OpenFile);
    closeFileAction_ = commands_->Command(TCommand::CloseFile);
    previousFileAction_ = commands_->Command(TCommand::PreviousFile);
    nextFileAction_ = commands_->Command(TCommand::NextFile);
    cancelLoadAction_ = commands_->Command(TCommand::CancelLoad);
    controlBar_->SetRowSize(ToolBarRowSize());
}

// --- Start and end -----------------------------------------------------------

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (showStarted_) return;
    showStarted_ = true;
    // The window is on screen before its settings are read, as the splash
    // covers it meanwhile.
    QTimer::singleShot(0, this, &TMainForm::FormShow);
}

void TMainForm::FormShow() {
    splash_ = new TSplashWindow(this);
    splash_->setAttribute(Qt::WA_DeleteOnClose);
    splash_->show();
    splashShown_.start();
    // Only the splash is drawn now: the window is drawn once its settings
    // have placed and filled it.
    setUpdatesEnabled(false);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (LoadSettings()) {
        controlBar_->SetRowSize(ToolBarRowSize());
        sideTabs_->setCurrentIndex(0);
        SideTabsChange();
    }
    setUpdatesEnabled(true);
    // The splash stays for its time in all, then the window opens up.
    const auto waited = std::chrono::milliseconds(splashShown_.elapsed());
    QTimer::singleShot(std::max(std::chrono::milliseconds(0), splashWait_ - waited), this, &TMainForm::FinishShow);
}

void TMainForm::FinishShow() {
    if (splash_) splash_->close();
    activateWindow();
    shellTreeView_->setFocus();
    OpenStartPath();
    if (settings_->ReadOnly()) ShowReadOnlyNotice();
    started_ = true;
    emit StartFinished();
}

void TMainForm::ShowReadOnlyNotice() {
    platform::ShowMessage(this,
                          QStringLiteral("設定ファイル \"%1\" に書き込めないため、設定は保存されません。")
                              .arg(settings_->Path()),
                          platform::MessageIcon::Warning);
}

bool TMainForm::EditingName() const {
    const QWidget* focus = QApplication::focusWidget();
    const auto editsIn = [focus](const QAbstractItemView* view) {
        return focus != view && focus != view->viewport() && view->isAncestorOf(focus);
    };
    return focus != nullptr && (editsIn(shellTreeView_) || editsIn(shellListView_->CurrentView()));
}

bool TMainForm::event(QEvent* event) {
    // While a name is edited, its keys go to the editor, not to the
    // window's shortcuts.
    if (event->type() == QEvent::ShortcutOverride && EditingName()) {
        event->accept();
        return true;
    }
    return QMainWindow::event(event);
}

void TMainForm::SideTabsChange() {
    listPanel_->setCurrentWidget(sideTabs_->currentIndex() == 1 ? static_cast<QWidget*>(rasterListView_)
                                                                  : static_cast<QWidget*>(shellListView_));
}

void TMainForm::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) return;
    const QRect frame = frameGeometry();
    const QRect client = geometry();
    normalFrame_ = QMargins(client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
                            frame.bottom() - client.bottom());
    // The frame arrived after the settings placed the window.
    if (outerBounds_.isValid() && frame.size() - client.size() != placedFrame_) PlaceWithinFrame();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    // A load under way would keep the program running behind a closed
    // window, for good when it waits for a plug-in that never returns.
    raster_->AbandonLoad();
    // The image's annotations are written (or the user asked) before the
    // window goes.
    raster_->CloseImage();
    SaveSettings();
    event->accept();
}
