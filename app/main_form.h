#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>

#include <QElapsedTimer>
#include <QFont>
#include <QMainWindow>
#include <QPointer>
#include <QString>

#include "app/color_value.h"

class QAction;
class QFileInfo;
class QLabel;
class QSplitter;
class QStackedWidget;
class QTabWidget;
class QToolBar;
class QWidget;
class SettingsFile;
class TControlBar;
class TFloatEdit;
class TMainCommands;
struct TOptionSettings;
class TPrgStatusBar;
class TRaster;
class TRasterListView;
class TRasterTreeView;
class TSHFileItem;
class TSHFileList;
class TSHListView;
class TSHPopupMenu;
class TSHTreeView;
struct TSHTreeShows;
class TSplashWindow;
struct TListItemCanvas;

// The look of the file list: background and font, as the settings keep it.
struct TListLook {
    std::uint32_t Color = kColorWindow;
    QString FontName;
    int FontSize = 9;
    std::uint32_t FontColor = kColorWindowText;
    int FontStyle = 0;  // bit 0 bold, 1 italic, 2 underline, 3 strike-out

    // Background, text colour and font of a control and its views.
    void ApplyTo(QWidget& control) const;
};

// The text colours of file list entries by file attribute.
struct TAttributeColors {
    std::uint32_t Archive = kColorWindowText;
    std::uint32_t Hidden = kColorWindowText;
    std::uint32_t ReadOnly = kColorWindowText;
    std::uint32_t System = kColorWindowText;
    std::uint32_t Directory = kColorWindowText;
    std::uint32_t Compressed = kColorWindowText;
    std::uint32_t Offline = kColorWindowText;
    std::uint32_t Temporary = kColorWindowText;
};

// The program's one top-level window: the control bar with its toolbars,
// the folder tree and layer tree on the left, the file list and object
// list above the raster view, and the status bar. It reads the settings
// when first shown and writes them when closed.
class TMainForm : public QMainWindow {
    Q_OBJECT

public:
    // How long the splash window stays at least; zero for tests and the
    // start-up benchmark, which measure the start itself.
    static constexpr std::chrono::milliseconds kSplashWait{1000};

    explicit TMainForm(std::unique_ptr<SettingsFile> settings,
                       std::chrono::milliseconds splashWait = kSplashWait, QWidget* parent = nullptr);
    ~TMainForm() override;

    // --- Components --------------------------------------------------------
    TControlBar* ControlBar() const { return controlBar_; }
    // The toolbars in the order the settings number them ([ToolBar1] ... [ToolBar4]).
    const std::array<QToolBar*, 4>& ToolBars() const { return toolBars_; }
    QToolBar* StandardToolBar() const { return toolBars_[0]; }
    QToolBar* ViewToolBar() const { return toolBars_[1]; }
    QToolBar* GoToolBar() const { return toolBars_[2]; }
    // The image tools and the pointer's coordinates.
    QToolBar* ImageToolBar() const { return toolBars_[3]; }
    TFloatEdit* FloatEditX() const { return floatEditX_; }
    TFloatEdit* FloatEditY() const { return floatEditY_; }
    QWidget* PanelCtrl() const { return panelCtrl_; }
    QTabWidget* SideTabs() const { return sideTabs_; }
    TRasterTreeView* RasterTreeView() const { return rasterTreeView_; }
    TSHTreeView* ShellTreeView() const { return shellTreeView_; }
    TSHListView* ShellListView() const { return shellListView_; }
    TRasterListView* RasterListView() const { return rasterListView_; }
    TSHPopupMenu* SHPopupMenu() const { return shPopupMenu_; }
    QSplitter* SideSplitter() const { return sideSplitter_; }
    QStackedWidget* ListPanel() const { return listPanel_; }
    QSplitter* ListSplitter() const { return listSplitter_; }
    TRaster* Raster() const { return raster_; }
    TPrgStatusBar* StatusBar() const { return statusBar_; }
    SettingsFile& Settings() { return *settings_; }
    // Every command of the window, its menus and toolbar buttons.
    TMainCommands& Commands() const { return *commands_; }

    // The keyboard's routes to the open/close/step handlers (the menus and
    // toolbars add their buttons for the same actions).
    QAction* OpenFileAction() const { return openFileAction_; }
    QAction* CloseFileAction() const { return closeFileAction_; }
    QAction* PreviousFileAction() const { return previousFileAction_; }
    QAction* NextFileAction() const { return nextFileAction_; }
    QAction* CancelLoadAction() const { return cancelLoadAction_; }

    // True once the start-up sequence has run to its end (splash gone,
    // first refresh done).
    bool Started() const { return started_; }
    // The file or folder named on the command line, absolute ("" for
    // none): its folder replaces the start folder and a file is opened.
    // Set before the window is first shown.
    void SetStartPath(const QString& path) { startPath_ = path; }

    // --- Settings ----------------------------------------------------------
    bool LoadSettings();
    bool SaveSettings();
    const QString& DefaultPath() const { return defaultPath_; }
    void SetDefaultPath(const QString& path) { defaultPath_ = path; }
    int Initialize() const { return initialize_; }
    void SetInitialize(int value) { initialize_ = value; }
    int MouseWheel() const { return mouseWheel_; }
    void SetMouseWheel(int value) { mouseWheel_ = value; }
    int ClickType() const { return clickType_; }
    const TListLook& ListLook(bool locked) const { return locked ? lockedLook_ : unlockedLook_; }
    const TAttributeColors& AttributeColors() const { return attributeColors_; }
    // What the options window edits; setting applies it at once.
    TOptionSettings OptionSettings() const;
    void SetOptionSettings(const TOptionSettings& options);

    // --- Handlers ----------------------------------------------------------
    // Opens the first selected file of the list in the raster view.
    void OpenFile();
    void CloseFile();
    // Previous and next entry of the list: selected, and opened when it is
    // a file.
    void PreviousFile();
    void NextFile();
    void CancelLoad();
    // The list offers folders and the files a plug-in claims; both lists
    // are read again.
    void Refresh();
    // A file entry of the list is executed (double-click, Enter): it opens
    // here instead of in the desktop's application.
    void ShellListViewShExecute(TSHFileItem* item, bool& defaultAction);
    // Tab 0 shows the file list in ListPanel, tab 1 the object list.
    void SideTabsChange();
    void ShellListViewShListChange(TSHFileList* fileList);
    void ShellTreeViewFolderUnreadable(const QString& text);
    void ShellListViewShSelChange(std::int64_t selSize);
    void ShellListViewShFolderLock(bool lock);
    // The text colour of a list entry by its file attributes.
    void ShellListViewCustomDrawItem(int item, TListItemCanvas& canvas);

    void StatusBarResize();
    void RasterLoadProgress(int position, bool& cancel);
    // Names in the progress bar the plug-in the load waits for, if any.
    void ShowAwaitedPlugin();
    void RasterMouseMove(int x, int y);
    void RasterActiveToolClick(int x, int y);
    void RasterMouseWheel(bool up);
    // Panels 1 to 4 from the last load: the image's facts, or empty.
    void ShowImageProperties(bool loaded);
    // Opens an image file with the progress shown; false when it could not
    // be shown, or when another open took over while it decoded.
    bool OpenImage(const QString& path);

    // The size of a selection as the status bar writes it: "1000バイト",
    // "1.00KB", "1,024.00KB", "1.00MB", ...
    static QString SizeText(std::int64_t bytes);

signals:
    // The start-up sequence is over.
    void StartFinished();

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void CreateControlBar();
    void CreatePanels();
    void CreateStatusBar();
    void CreateActions();
    void CreateShellControls(QWidget* treePage);
    TSHTreeShows ReadTreeShows() const;
    void ApplyShellControlSettings();
    // 0: rows are selected by pointing and opened with one click; 1: by a
    // click and a double-click. Another value leaves the controls as they
    // are.
    void ApplyClickType();
    void WriteShellControlSettings();
    void LoadColumnSettings();
    // The list offers folders and the files a plug-in claims.
    void FilterListByPlugins();
    enum class TOpenOutcome { Opened, Failed, TakenOver };
    // OpenImage; TakenOver when an open started meanwhile (the list and the
    // next-file commands stay usable while the plug-in decodes) has left
    // the window as its own image needs.
    TOpenOutcome Open(const QString& path);
    void StepFile(int step);
    void OpenItem(TSHFileItem* item);
    // Decodes the file after the shown one, in the direction of travel,
    // ahead; forgets it when the list no longer shows the image there.
    void AimReadAhead();
    // A name is being edited in the folder tree or the file list.
    bool EditingName() const;
    // The height of a control bar row: the tallest toolbar's and a margin.
    int ToolBarRowSize() const;

    void FormShow();
    void FinishShow();
    // The folder shown first: the command line's, else the start folder.
    QString StartFolder() const;
    void OpenStartPath();
    void SelectListEntry(const QFileInfo& file);
    void ShowStartNote(const QString& text);
    void ShowReadOnlyNotice();

    QString ExeFolder() const;
    QString ResolveFolder(const QString& absolute, const QString& relative, const QString& fallback) const;
    void ApplyWindowBounds();
    void PlaceWithinFrame();
    // The outer bounds the window has, or will have again when it leaves
    // the maximised state.
    QRect NormalBounds() const;
    QRect ReadWindowBounds(const QRect& workArea) const;
    void ReadToolBars();
    void ReadTreeLook();
    void ReadListLook();
    TListLook ReadLook(const QString& prefix, const TListLook& fallback) const;
    void WriteLook(const QString& prefix, const TListLook& look);
    void WriteToolBars();

    std::unique_ptr<SettingsFile> settings_;
    std::chrono::milliseconds splashWait_;
    QFont designFont_;

    TControlBar* controlBar_ = nullptr;
    std::array<QToolBar*, 4> toolBars_{};
    TFloatEdit* floatEditX_ = nullptr;
    TFloatEdit* floatEditY_ = nullptr;
    QWidget* panelTop_ = nullptr;
    QSplitter* sideSplitter_ = nullptr;
    QWidget* panelCtrl_ = nullptr;
    QTabWidget* sideTabs_ = nullptr;
    TRasterTreeView* rasterTreeView_ = nullptr;
    TSHTreeView* shellTreeView_ = nullptr;
    TSHListView* shellListView_ = nullptr;
    TRasterListView* rasterListView_ = nullptr;
    TSHPopupMenu* shPopupMenu_ = nullptr;
    QWidget* panelClient_ = nullptr;
    QSplitter* listSplitter_ = nullptr;
    QStackedWidget* listPanel_ = nullptr;
    TRaster* raster_ = nullptr;
    TPrgStatusBar* statusBar_ = nullptr;

    TMainCommands* commands_ = nullptr;
    QAction* openFileAction_ = nullptr;
    QAction* closeFileAction_ = nullptr;
    QAction* previousFileAction_ = nullptr;
    QAction* nextFileAction_ = nullptr;
    QAction* cancelLoadAction_ = nullptr;

    // The window's outer bounds as the settings placed them, and the frame
    // size known then.
    QRect outerBounds_;
    QSize placedFrame_;
    // The frame around the client area as the window last had it when
    // not maximised.
    QMargins normalFrame_;

    // When the progress bar last showed a new position.
    static constexpr std::chrono::milliseconds kProgressInterval{30};
    QElapsedTimer progressShown_;

    QPointer<TSplashWindow> splash_;
    QElapsedTimer splashShown_;
    bool showStarted_ = false;
    bool started_ = false;
    // +1 after next file and the plain opens, -1 after previous file.
    int travel_ = +1;
    // Opens begun so far: an open that finds the count moved was taken over.
    std::uint64_t opens_ = 0;

    QString startPath_;
    // What the start path's opening told the user, kept in the status bar
    // until the start folder has been read.
    QString startNote_;

    // Settings held between LoadSettings and SaveSettings.
    QString defaultPath_;
    QString cdFolderPath_;
    QString cdSusiePath_;
    int initialize_ = 0;
    int mouseWheel_ = 0;
    int clickType_ = 0;
    TListLook treeLook_;
    TListLook unlockedLook_;
    TListLook lockedLook_;
    TAttributeColors attributeColors_;
};
