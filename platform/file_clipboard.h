#pragma once

#include <memory>
#include <string>
#include <vector>

class QMimeData;

// Files on the clipboard for cut, copy and paste, in the formats the
// common file managers read and write, so that files move both ways:
// text/uri-list, x-special/gnome-copied-files ("copy" or "cut", then one
// URI a line), application/x-kde-cutselection ("1" when cut) and
// text/plain (the paths, one a line, for pasting into text fields).
// Paths are raw file-name bytes.
namespace platform {

struct ClipboardFiles {
    std::vector<std::string> paths;  // absolute local paths, in order
    bool cut = false;                // the files are to be moved
};

// The clipboard data for paths; the caller may add further formats.
// Each format is built when first read.
std::unique_ptr<QMimeData> MakeFileMimeData(std::vector<std::string> paths, bool cut);

// Puts paths on the clipboard (replacing what was there).
void PutFilesOnClipboard(const std::vector<std::string>& paths, bool cut);

// The local files in data: from x-special/gnome-copied-files, else
// text/uri-list (cut when application/x-kde-cutselection says "1"), else a
// text/plain that starts with "x-special/nautilus-clipboard". Plain text
// never counts as files. Empty when there are none (or data is null).
ClipboardFiles ReadFilesFromMimeData(const QMimeData* data);

// The files on the clipboard to paste, read as a drop reads its data
// (FilesOfShellData of shell_data_object.h): the namespace's item-list
// array first, the forms above failing that.
ClipboardFiles ReadFilesFromClipboard();

// True when the clipboard holds at least one local file to paste; the one
// test for enabling paste and for carrying it out.
bool CanPasteFiles();

}  // namespace platform
