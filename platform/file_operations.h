#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <QString>

class QFileDevice;
class QWidget;

// Copying and moving files and folders for the shell verbs.
//
// Paths are std::string holding the file system's raw bytes, so names that
// are not valid UTF-8 survive unchanged; texts for the user are QString.
namespace platform {

// Trash: moving items to the trash (trash.h), which reports its progress
// the same way.
enum class TransferMode { Copy, Move, Trash };

// Receives the progress of a transfer and may stop it. The program uses
// the dialog below; tests supply their own.
class TransferProgress {
public:
    virtual ~TransferProgress() = default;
    // Once, before any work: the bytes of all regular files and the number
    // of files, folders and links to transfer.
    virtual void Begin(TransferMode mode, std::int64_t totalBytes, std::int64_t totalItems) = 0;
    // Often during the work; false asks to stop as soon as possible.
    virtual bool Advance(const std::string& currentPath, std::int64_t bytesDone,
                         std::int64_t itemsDone) = 0;
    // Once, when the work has stopped for whatever reason.
    virtual void End() = 0;
};

// A QProgressDialog that appears only when the transfer takes longer than
// a moment, with a cancel button.
std::unique_ptr<TransferProgress> MakeTransferProgressDialog(QWidget* owner);

struct TransferFailure {
    std::string path;  // the source item, or the target folder
    QString reason;
};

struct TransferResult {
    // Final paths of the items that reached the target folder.
    std::vector<std::string> transferred;
    // Sources left alone: the user declined to overwrite, or a move into
    // the folder the item is already in.
    std::vector<std::string> skipped;
    std::vector<TransferFailure> failed;
    // The user cancelled at a prompt or in the progress dialog.
    bool cancelled = false;

    bool Succeeded() const { return !cancelled && failed.empty(); }
};

// Copies or moves each source (file, folder with all its contents,
// symbolic link as a link, FIFO) into targetFolder.
//
// - Before any work, every name that already exists in the target is
//   confirmed: one question for all when there are several (No asks item
//   by item), Cancel stops without changing anything. A folder onto a
//   folder merges the two. A file never replaces a folder nor the reverse.
// - Copying an item into the folder it is in makes a copy named
//   "コピー ～ name", then "コピー (2) ～ name", ...; moving it there does nothing.
// - Each new item is built under a hidden temporary name in the target
//   folder and renamed into place when complete, so no half-written file
//   ever carries the final name; a failed or cancelled item leaves no
//   trace in the target. Sources are never changed by a copy; a move
//   deletes a source only after its copy was completed and flushed (moves
//   across file systems) or renames it at once (same file system).
// - Permission bits (without set-user/group-ID) and modification and
//   access times are kept.
// - Failures are listed in one error message at the end (unless cancelled)
//   and in the result. progress null: the dialog of MakeTransferProgressDialog.
// - A move of a protected place (protected_places.h) is refused as a
//   whole, with a message, before anything is asked or moved.
TransferResult TransferFiles(TransferMode mode, const std::vector<std::string>& sources,
                             const std::string& targetFolder, QWidget* owner,
                             TransferProgress* progress = nullptr);

// Pastes the files on the clipboard (file_clipboard.h) into targetFolder:
// a copy, or a move when they were cut; after a complete move the
// clipboard is cleared, as the cut files are gone from where it points.
TransferResult PasteFiles(const std::string& targetFolder, QWidget* owner,
                          TransferProgress* progress = nullptr);

// Moves one item to target without asking anything: a rename on the same
// file system, else a complete, flushed copy followed by deleting the
// source. target must not exist. False with *error set on failure; the
// source is then intact and target absent. Protected places are refused.
bool MoveItem(const std::string& source, const std::string& target, QString* error);

// Deletes a file, link or whole folder tree without following links.
// False (with *error) when something could not be removed, and at once
// for a protected place (protected_places.h).
bool RemoveTree(const std::string& path, QString* error);

// A short Japanese description of an errno value for messages.
QString FileErrorText(int errorNumber);
// The same for the failure of a file device: its system reason in
// Japanese, else what kind of operation failed.
QString FileDeviceErrorText(const QFileDevice& file);

// The last component of a path ("" for "/"), ignoring trailing slashes.
std::string BaseName(const std::string& path);
// Everything before the last component, "/" for items in the root.
std::string ParentPath(const std::string& path);

// The name as text for messages (invalid bytes become replacement characters).
QString DisplayName(const std::string& path);

}  // namespace platform
