#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <QObject>
#include <QPoint>
#include <QPointer>

#include "app/main_command_table.h"
#include "platform/action.h"

class QMenu;
class QUrl;
class QMenuBar;
class QToolBar;
class TMainForm;
class TRasterLayer;
class TRasterObject;
class QTreeWidgetItem;

namespace platform {
class ActionList;
}

// A command of the window itself (not of a control): it takes the main
// window as its target, so it is enabled while the window exists. Its
// check mark comes from Checked when assigned, else it stays as set.
class TWindowAction : public platform::Action {
    Q_OBJECT

public:
    explicit TWindowAction(QWidget* window);

    bool HandlesTarget(QObject* Target) override;
    void UpdateTarget(QObject* Target) override;

    std::function<bool()> Checked;

private:
    QPointer<QWidget> window_;
};

// The main window's command set: every command of the window's command
// table in one action list, the main menu, the buttons of the four
// toolbars, the popup menus and the history drop-downs of the back and
// forward buttons, and the handlers the window supplies for the commands
// that do not act on their own.
class TMainCommands : public QObject {
    Q_OBJECT

public:
    explicit TMainCommands(TMainForm& form);
    ~TMainCommands() override;

    platform::ActionList& ActionList() const { return *actionList_; }
    platform::Action* Command(TCommand command) const;
    const std::map<TCommand, platform::Action*>& Commands() const { return commands_; }

    QMenuBar* MainMenu() const { return mainMenu_; }
    QMenu* ListPopupMenu() const { return listPopupMenu_; }
    QMenu* ImagePopupMenu() const { return imagePopupMenu_; }
    QMenu* LayerPopupMenu() const { return layerPopupMenu_; }
    QMenu* PopupUndo() const { return popupUndo_; }
    QMenu* PopupRedo() const { return popupRedo_; }

    // --- Handlers the window supplies (the command table names them) ------
    void SaveAsBitmap();
    void PrinterSetup();
    void Print();
    void ChangeTimeAttributes();
    void OpenWith();
    void Exit();
    void CopyToFolder();
    void MoveToFolder();
    void ShowStandardToolBar();
    void ShowViewToolBar();
    void ShowGoToolBar();
    void ShowImageToolBar();
    void ShowObjectToolBar();
    void ShowStatusBar();
    void UpOneLevel();
    void PreviousFolder();
    void NextFolder();
    void LockFolder();
    void EditObject();
    void PluginSettings();
    void CreateNumberedFolders();
    void CopyImage();
    void Options();
    void HelpContents();
    void HomePage();
    void SendSupportReport();
    void ShowVersion();

    // Fills a history drop-down (Popup_Undo or Popup_Redo) from the
    // folder tree's back or forward list, newest at the top.
    void Popup_Undo_Redo(QMenu* menu);
    void HistoryItemClick(QMenu* menu, QAction* entry);
    void SHPopupMenuShBeforPopup();
    void InvertSelectionEntryClick();
    // The file list asks to rename its selection: one item in place,
    // several of one kind in the batch rename window.
    void ShellListViewShListRename(int count, bool& accept);
    QAction* InvertSelectionEntry() const { return invertSelectionEntry_; }

    // Dragging in the layer tree and the object list. A drag records what
    // it carries when it starts; DragOver answers whether a drop from
    // source onto node (or onto the object list) is taken.
    void RasterTreeViewStartDrag();
    void RasterListViewStartDrag();
    bool RasterTreeViewDragOver(QObject* source, QTreeWidgetItem* node) const;
    bool RasterListViewDragOver(QObject* source) const;
    void RasterTreeViewDragDrop(QObject* source, QTreeWidgetItem* node);

    // The address HomePage opens.
    static QString HomePageAddress();
    // The file SaveAsBitmap proposes: the shown image's name with ".bmp", in
    // the folder the last one was saved to, else in the image's folder.
    QString ProposedBitmapPath() const;

    // The choosers and the browser the handlers use; tests put their own
    // answers here. An empty name or a false answer means cancelled.
    std::function<QString(const QString& proposed)> ChooseSaveFile;
    std::function<bool(const QUrl&)> OpenAddress;
    std::function<QString(const QString& title)> ChooseFolder;
    std::function<std::optional<QString>(const QString& prompt)> AskText;

protected:
    // Shows the long hints of menu entries and buttons in the status bar's
    // first panel, where the counts are, instead of over the panels.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Pushes a toolbar that overlaps the one before it in its row to the
    // right, once the buttons have their real sizes.
    void SeparateToolBars();
    void CreateCommands();
    void BindHandlers(platform::Action* action, const TCommandRow& row);
    void BindBarChecks();
    void ToggleToolBar(QToolBar* bar);
    void CreateMainMenu();
    void CreateToolButtons();
    void CreatePopupMenus();
    void BindShellControls();
    void BindLayerDragging();
    bool LayerDragEvent(QObject* watched, QEvent* event);
    void TransferToFolder(bool move);
    // The paths the copy and move commands take: the list's selection, or
    // the tree's folder when nothing is selected.
    std::vector<std::string> TransferSources() const;

    // Menu building: commands, kSeparator for a separator.
    static constexpr TCommand kSeparator{};
    void AddEntries(QWidget* menu, std::initializer_list<TCommand> commands);
    QMenu* AddMenu(QMenuBar* bar, const QString& caption, const QString& hint);
    QMenu* AddSubMenu(QMenu* menu, const QString& caption, const QString& hint);
    void MakeRadioGroup(std::initializer_list<TCommand> commands);
    QAction* AddMenuEntryAs(QMenu* menu, TCommand command, const QString& caption);

    QWidget* Owner() const;

    TMainForm& form_;
    platform::ActionList* actionList_;
    std::map<TCommand, platform::Action*> commands_;
    QMenuBar* mainMenu_ = nullptr;
    QMenu* listPopupMenu_ = nullptr;
    QMenu* imagePopupMenu_ = nullptr;
    QMenu* layerPopupMenu_ = nullptr;
    QMenu* popupUndo_ = nullptr;
    QMenu* popupRedo_ = nullptr;
    QAction* newFolderEntry_ = nullptr;
    QAction* invertSelectionEntry_ = nullptr;
    bool objectToolBarChecked_ = true;
    // Where the last BMP copy went in this run.
    QString bitmapFolder_;
    // What the running drag carries; cleared when it goes.
    TRasterLayer* draggedLayer_ = nullptr;
    TRasterObject* draggedObject_ = nullptr;
    QPoint objectPress_;
};
