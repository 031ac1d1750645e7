#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <QString>

#include "dialogs/name_sequence.h"

// The name pattern of a batch rename: header, optionally the old name
// without its extension, a zero-padded number, footer, extension.
struct TRenamePattern {
    QString Header;
    bool QuoteOldName = false;
    int Digits = 1;  // 0: no number
    std::int64_t Start = 1;
    std::int64_t Increment = 1;
    QString Footer;
    bool UnifyExtension = false;
    QString Extension;  // without the dot
};

// One row of the rename list: an item, or a skip row that only uses up a
// number of the sequence. Names are raw file-name bytes.
struct TRenameRow {
    std::string OldName;
    bool Skip = false;
    std::string NewName;
};

// The new name of an item at position (skip rows count): numbers are
// start + position × increment in 64 bits, so they never wrap.
std::string NewNameOf(const TRenamePattern& pattern, const std::string& oldName, int position);
// Recomputes the new name of every item row.
void ComputeNewNames(std::vector<TRenameRow>& rows, const TRenamePattern& pattern);

// Why the new names cannot be used ("" when they can): an empty name, a
// slash, a name longer than the file system allows, or one name twice.
QString NewNamesProblem(const std::vector<TRenameRow>& rows);

// The three passes of a batch rename, and the undoing of them.
enum class TRenamePass { Temporary, Clearing, Final, Undo };

// Renames from to to without replacing anything; 0 or the errno. Tests
// pass one that fails where they want.
using TRenameFunction = std::function<int(TRenamePass pass, const std::string& from, const std::string& to)>;
int RenameInFolder(TRenamePass pass, const std::string& from, const std::string& to);

struct TBatchRenameResult {
    bool Renamed = false;
    QString Message;  // what failed and what became of the items; "" on success
};

// Renames the item rows of folder to their new names through temporary
// names, so names can be exchanged or shifted among the items; a file
// outside the batch holding a new name is renamed to "変更前_" + that name
// first. Nothing is ever replaced. When any rename fails, every rename done
// so far is undone in reverse order, so each item keeps its old name, and
// the message names what failed.
TBatchRenameResult BatchRename(const std::string& folder, const std::vector<TRenameRow>& rows,
                               const TRenameFunction& rename = RenameInFolder);
