#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <QDateTime>
#include <QString>

#include "platform/shell_file_info.h"
#include "platform/shell_item_id.h"
#include "platform/shell_namespace.h"

class QIcon;
class QMimeData;
class QWidget;

// Item identifier lists and the shell facts the shell controls rely on:
// memory rules and list arithmetic, item kinds, special folders, shell
// attributes, display names and paths, icon indices, clipboard formats,
// path and time helpers. Free functions without state of their own.

// An item identifier list handed out by these functions: the receiver owns
// it and frees it with FreeIDList. Functions that only read a list take a
// pointer to const.
using IDList = platform::ItemIDList*;
using ConstIDList = const platform::ItemIDList*;

// A folder of the namespace, shared by whoever holds it.
using ShellFolderPtr = std::shared_ptr<platform::ShellFolder>;

// The kind of an item (ordinal values 0..9).
enum TShItemIDType {
    itDeskTop,
    itMyComputer,
    itRootDrive,
    itFolder,
    itFile,
    itInterNet,
    itBitBucket,
    itNetWork,
    itVirtual,
    itUnknown,
};

// The set of virtual places (itInterNet..itVirtual) that a shell control
// shows, stored as a 16-bit set in which element n is bit n.
class TShVirtuaItems {
public:
    constexpr TShVirtuaItems() = default;
    constexpr explicit TShVirtuaItems(std::uint16_t bits) : bits_(bits) {}
    static constexpr TShVirtuaItems Default() { return TShVirtuaItems(0xE0); }

    constexpr bool Contains(TShItemIDType kind) const {
        return kind >= itInterNet && kind <= itVirtual && (bits_ & (1u << kind)) != 0;
    }
    constexpr TShVirtuaItems With(TShItemIDType kind) const {
        return (kind >= itInterNet && kind <= itVirtual) ? TShVirtuaItems(static_cast<std::uint16_t>(bits_ | (1u << kind)))
                                                         : *this;
    }
    constexpr TShVirtuaItems Without(TShItemIDType kind) const {
        return TShVirtuaItems(static_cast<std::uint16_t>(bits_ & ~(1u << kind)));
    }
    constexpr std::uint16_t Bits() const { return bits_; }
    constexpr bool operator==(const TShVirtuaItems&) const = default;

private:
    std::uint16_t bits_ = 0;
};

// Index into the special-folder table; each entry is a classic folder
// number (see SpecialFolderCsidl).
enum TShSpecialFolder {
    sfDesktop, sfInternet, sfPrograms, sfControls, sfPrinters, sfPersonal, sfFavorites, sfStartup,
    sfRecent, sfSendTo, sfBitBucket, sfStartMenu, sfDesktopDirectory, sfDrives, sfNetwork, sfNetHood,
    sfFonts, sfTemplates, sfCommonStartMenu, sfCommonPrograms, sfCommonStartup,
    sfCommonDesktopDirectory, sfAppData, sfPrintHood, sfAltStartup, sfCommonAltStartup,
    sfCommonFavorites, sfInternetCache, sfCookies, sfHistory,
};
int SpecialFolderCsidl(TShSpecialFolder folder);

// Index into the shell-attribute table; each entry is an attribute mask.
// An attribute holds when (attributes AND mask) = mask.
enum TShAttribute {
    saCanCopy, saCanMove, saCanLink, saCanRename, saCanDelete, saHasPropSheet, saDropTarget,
    saCapabilityMask, saLink, saShare, saReadOnly, saGhosted, saHidden, saDisplayAttrMask,
    saFileSysAncestor, saFolder, saFileSystem, saHasSubFolder, saContentsMask, saValidate,
    saRemovable, saCompressed, saBrowsable, saNonEnumerated, saNewContent,
};
std::uint32_t ShAttributeMask(TShAttribute attribute);

// Enumeration and display-name flags of the folder interface.
constexpr unsigned SHCONTF_FOLDERS = platform::kEnumFolders;
constexpr unsigned SHCONTF_NONFOLDERS = platform::kEnumNonFolders;
constexpr unsigned SHCONTF_INCLUDEHIDDEN = platform::kEnumIncludeHidden;
constexpr unsigned SHGDN_NORMAL = platform::kNameNormal;
constexpr unsigned SHGDN_INFOLDER = platform::kNameInFolder;
constexpr unsigned SHGDN_FOREDITING = platform::kNameForEditing;
constexpr unsigned SHGDN_FORPARSING = platform::kNameForParsing;

// ---- Memory and list arithmetic --------------------------------------------

IDList AllocIDList(std::uint16_t size);  // zero-filled; none on failure
void FreeIDList(IDList& list);           // frees (nothing for none) and sets none

// Owns a list handed out by these functions for one scope.
struct IDListFree {
    void operator()(platform::ItemIDList* list) const { FreeIDList(list); }
};
using TIDListHolder = std::unique_ptr<platform::ItemIDList, IDListFree>;

std::uint16_t IDListItemSize(ConstIDList list);  // first item's count + 2; 0 for none or the desktop
std::size_t IDListSize(ConstIDList list);         // all counts + 2; 0 for none
ConstIDList IDListNext(ConstIDList list);         // none when there is no further item
IDList CopyFirstItem(ConstIDList list);           // none when empty
IDList CopyIDList(ConstIDList list);
IDList ConcatIDList(ConstIDList a, ConstIDList b);  // none if either is none
// Concatenates and frees both; with one of them none, the other is handed
// back as it is. Builds lists item by item.
IDList ConcatIDListFree(IDList a, IDList b);
IDList ParentIDList(ConstIDList list);   // all but the last item; none for one item or none
IDList LastItemIDList(ConstIDList list); // the last item alone; none when empty
int IDListLevel(ConstIDList absolute);   // -1 for none, 0 for the desktop, else the item count

// ---- Folders, comparison and kinds ----------------------------------------

// The root folder; never none on this system.
ShellFolderPtr GetDesktopFolder();

// 0 same item, 1 a after b, 2 a before b, 3 not comparable (or any
// argument none), by the folder's column-0 order.
int CompareIDList(const ShellFolderPtr& folder, ConstIDList a, ConstIDList b);
bool IsDesktopIDList(const ShellFolderPtr& folder, ConstIDList list);

// The kind of the item named by an absolute list.
TShItemIDType GetItemType(ConstIDList absolute);

// Whether an attribute holds for the item named by an absolute list.
bool AbsoluteHasAttribute(ConstIDList absolute, TShAttribute attribute);

// The folder of an absolute list: the desktop for the desktop, else bound
// through the desktop; none when it is not a folder.
ShellFolderPtr BindToFolder(ConstIDList absolute);

// Opens the item with the desktop's default application (folders in the
// file manager); false for an item without file-system path, and false
// after a message when nothing could be started.
bool ShellExecuteIDList(QWidget* owner, ConstIDList absolute);

// ---- Special folders, paths and names -------------------------------------

bool GetSpecialFolderIDList(TShSpecialFolder folder, IDList& list);
bool GetSpecialFolderPath(TShSpecialFolder folder, QString& path);  // path unchanged on failure

// The file-system path of an absolute list; empty and false for none or a
// place outside the file system. The text form decodes the path for
// display; the native form keeps its raw bytes.
bool PathFromIDList(ConstIDList absolute, QString& path);
bool NativePathFromIDList(ConstIDList absolute, std::string& path);

// The absolute list of a path (text, or raw bytes); false when it does not
// exist.
bool IDListFromPath(const QString& path, IDList& list);
bool IDListFromNativePath(const std::string& path, IDList& list);

// The folder's display name of an item; true with an empty text when
// folder or item is none, false when the folder cannot name it.
bool StrRetToString(const ShellFolderPtr& folder, ConstIDList item, unsigned flags, QString& text);

// ---- Icons and type names --------------------------------------------------

// Index of the item's icon in the system image list; 0 (the generic
// document) for none or when nothing better is known.
int GetSysIconIndex(ConstIDList absolute, bool large, bool open);

// The system image list: every index handed out above, drawn at the small
// (16) or large (32) size.
class TSysImageList {
public:
    explicit TSysImageList(bool large) : large_(large) {}
    bool Large() const { return large_; }
    int IconSize() const { return large_ ? 32 : 16; }
    int Count() const;
    QIcon Icon(int index) const;

private:
    bool large_;
};
TSysImageList GetSysImageList(bool large);

// The type text of an item ("ファイル フォルダ", "PNG image", ...).
QString GetTypeName(ConstIDList absolute);

// The file-find record of an item; false when it has no file-system facts.
bool GetFindData(const ShellFolderPtr& folder, ConstIDList item, platform::FindData& data);

// ---- Volumes, paths and times ----------------------------------------------

// The label of the file system at a drive path, lower-cased with its first
// character capitalised when that is an ASCII letter (DATA gives Data);
// empty when it has none or cannot be read.
QString GetVolumeLabel(const QString& drivePath);
// The same rule on a label text.
QString VolumeLabelText(const QString& rawLabel);

// folder + name with a path separator between them unless folder ends in one.
QString JoinPath(const QString& folder, const QString& name);
// path with a trailing path separator ('/' on this system).
QString IncludeBackslash(const QString& path);

// File times (UTC) to local date-times and back. A zero file time is the
// null date-time and the other way round. Date-times go through the
// two-second resolution of DOS date and time within its years 1980..2107.
QDateTime FileTimeToDateTime(platform::FileTime time);
platform::FileTime DateTimeToFileTime(const QDateTime& dateTime);

// ---- Clipboard and drag-and-drop formats -----------------------------------

// A clipboard format: its MIME type, with the content aspect, index -1 and
// global memory as medium.
struct TFormatEtc {
    QString MimeType;
    int Aspect = 1;
    int Index = -1;
    int Medium = 1;
};

struct TShellClipboardFormats {
    TFormatEtc ShellIDListArray;
    TFormatEtc ShellObjectOffsets;
    TFormatEtc FileNameMap;
    TFormatEtc FileNameMapW;
    TFormatEtc PerformedDropEffect;
    TFormatEtc HDrop;  // the dropped-files format: text/uri-list
};
const TShellClipboardFormats& ShellClipboardFormats();

// MIME types file managers use for cut and copy.
QString GnomeCopiedFilesMimeType();
QString KdeCutSelectionMimeType();

// Shell data: offers the item-list array or, failing that, dropped files.
bool IsShellData(const QMimeData* data);
bool OffersShellIDListArray(const QMimeData* data);
// The same test on the system clipboard.
bool ClipboardHasShellData();
