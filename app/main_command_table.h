#pragma once

#include <span>
#include <string_view>

class QWidget;
class TMainCommands;
class TMainForm;

namespace platform {
class Action;
}

// The main window's commands by name. Each keeps its number: the manual's
// topics and anchors and the help contexts know a command by it, so a
// renamed command keeps its number and a number never changes its meaning.
enum class TCommand : int {
    // File menu
    NewFile = 1010,
    OpenFile = 1020,
    CloseFile = 1030,
    Save = 1040,
    SaveAsBitmap = 1050,
    PrinterSetup = 1060,
    Print = 1070,
    ChangeTimeAttributes = 1080,
    Rename = 1090,
    OpenWith = 1100,
    Properties = 1110,
    Exit = 1120,

    // Edit menu
    Undo = 2010,
    Cut = 2020,
    Copy = 2030,
    Paste = 2040,
    Delete = 2050,
    CopyToFolder = 2060,
    MoveToFolder = 2070,
    SelectAll = 2080,
    SelectFolders = 2090,
    SelectFiles = 2100,
    InvertSelection = 2110,

    // View menu
    ShowStandardToolBar = 3011,
    ShowViewToolBar = 3012,
    ShowGoToolBar = 3013,
    ShowImageToolBar = 3014,
    ShowObjectToolBar = 3015,
    ShowStatusBar = 3020,
    LargeIcons = 3031,
    SmallIcons = 3032,
    ListStyle = 3033,
    Details = 3034,
    SortByName = 3041,
    SortBySize = 3042,
    SortByType = 3043,
    SortByDate = 3044,
    SortByAttributes = 3045,
    SortAscending = 3046,
    SortDescending = 3047,
    ShowVirtualFolders = 3051,
    ShowNetwork = 3052,
    ShowTrash = 3053,
    ShowInternet = 3054,
    ShowHiddenFiles = 3060,
    NormalViewMode = 3071,
    ExpandedViewMode = 3072,
    ColorPaintMode = 3081,
    HalftonePaintMode = 3082,
    Refresh = 3090,

    // Go menu
    Back = 4010,
    Forward = 4020,
    UpOneLevel = 4030,
    PreviousFolder = 4040,
    NextFolder = 4050,
    LockFolder = 4060,
    PreviousFile = 4070,
    NextFile = 4080,
    CancelLoad = 4090,

    // Image menu
    PointTool = 5010,
    ZoomRectTool = 5020,
    ZoomInTool = 5030,
    ZoomOutTool = 5040,
    ScrollTool = 5050,
    CenteringTool = 5060,
    WholeImage = 5070,
    Redraw = 5080,

    // Layer menu
    NewLayer = 6010,
    DeleteLayer = 6020,
    RenameLayer = 6030,
    ActivateLayer = 6041,
    ShowLayer = 6042,
    HideLayer = 6043,
    LayerUp = 6051,
    LayerDown = 6052,

    // Object menu
    NewObjectTool = 7010,
    MoveObjectTool = 7020,
    EditObject = 7030,
    DeleteObject = 7040,

    // Tools menu
    PluginSettings = 8010,
    CreateNumberedFolders = 8020,
    CopyImage = 8030,
    MeasureDistance = 8041,
    MeasureArea = 8042,
    Options = 8050,

    // Help menu
    HelpContents = 9010,
    HomePage = 9020,
    SendSupportReport = 9030,
    ShowVersion = 9040,
};

constexpr int NumberOf(TCommand command) { return static_cast<int>(command); }

// One row of the window's command table: the number leads to the name, the
// texts, the image, the class of the command and the handler, and back.
struct TCommandRow {
    TCommand Id;
    // The command's name as the code spells it; also its object name.
    const char* Name;
    const char* Caption;
    // "short|long"; empty: the one the class gives itself.
    const char* Hint;
    const char* Shortcut;
    // A freedesktop icon name; empty: the command has no image.
    const char* Icon;
    // Makes the command; its class decides when it is enabled and, unless
    // a handler is given, what it does.
    platform::Action* (*Make)(QWidget* owner);
    // What the window does when the command runs (at most one of the two).
    void (TMainCommands::*Handler)() = nullptr;
    void (TMainForm::*FormHandler)() = nullptr;
};

// Every command of the main window, in the order of the numbers.
std::span<const TCommandRow> MainCommandTable();

// The row of a number or a name; null when no command has it.
const TCommandRow* FindCommand(int number);
const TCommandRow* FindCommand(std::string_view name);
const TCommandRow& CommandRow(TCommand command);

// The help context of a command: its number, but one number for each
// family of toggles and modes.
int HelpContextOf(TCommand command);
