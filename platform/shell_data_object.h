#pragma once

#include <memory>
#include <span>
#include <string>
#include <vector>

#include <QString>

#include "platform/file_clipboard.h"
#include "platform/shell_item_id.h"

class QMimeData;

// The data the namespace exchanges by drag-and-drop and the clipboard.
namespace platform {

// This program's own formats, as MIME types.
QString ShellIDListArrayMime();    // the parent list and the item lists
QString ShellObjectOffsetsMime();  // item positions of a drag (not filled by this program)
QString FileNameMapMime();         // names under which items are to arrive
QString FileNameMapWMime();
QString PerformedDropEffectMime(); // the effect a drop target carried out
// The formats shared with other programs.
QString UriListMime();             // "text/uri-list": the dropped files
QString GnomeCopiedFilesMime();    // "x-special/gnome-copied-files"
QString KdeCutSelectionMime();     // "application/x-kde-cutselection"

// The item-list array: a 32-bit count n, n + 1 32-bit offsets, then the
// parent's absolute list followed by the n relative lists.
QByteArray EncodeIDListArray(const ItemIDList* parent, std::span<const ItemIDList* const> items);
// False for a malformed array.
bool DecodeIDListArray(const QByteArray& bytes, UniqueIDList& parent, std::vector<UniqueIDList>& items);

// The data object of items of one folder: the item-list array plus, for
// those with a file-system path, text/uri-list and the file managers'
// formats (as a copy).
std::unique_ptr<QMimeData> MakeShellDataObject(const ItemIDList* parent, std::span<const ItemIDList* const> items);

// The local files a data object offers to a paste or a drop: those the
// item-list array names when it names any, failing that those of the
// dropped-files forms (file_clipboard.h); cut when the data marks them
// so. Empty for anything else.
ClipboardFiles FilesOfShellData(const QMimeData* data);
std::vector<std::string> PathsOfShellData(const QMimeData* data);
// Whether FilesOfShellData(data) names any file, found from the first
// item that has a path rather than from every item: the clipboard's watch
// asks it of every new clipboard, which may name 100,000 files.
bool OffersFiles(const QMimeData* data);

// Offers the item-list array, or failing that the dropped-files list.
bool OffersShellData(const QMimeData* data);

}  // namespace platform
