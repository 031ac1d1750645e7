#include "dialogs/batch_rename.h"

#include <unistd.h>

#include <set>


#include "platform/file_operations.h"
#include "platform/file_names.h"

namespace {

constexpr std::size_t kLongestName = 255;
constexpr int kTemporaryAttempts = 100;
constexpr int kFailuresNamed = 5;

std::string Join(const std::string& folder, const std::string& name) {
    return folder.ends_with('/') ? folder + name : folder + '/' + name;
}

// The extension is the part from the last dot; a leading dot starts a
// hidden name, not an extension.
std::size_t ExtensionStart(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name.size() : dot;
}

QString Text(const std::string& name) { return platform::DisplayName(name); }

// One rename done, to be undone in reverse order when a later one fails.
struct DoneRename {
    std::string From;
    std::string To;
};

class BatchRenamer {
public:
    BatchRenamer(const std::string& folder, const std::vector<TRenameRow>& rows, const TRenameFunction& rename)
        : folder_(folder), rename_(rename) {
        for (const TRenameRow& row : rows) {
            if (row.Skip) continue;
            items_.push_back(&row);
            newNames_.insert(row.NewName);
        }
    }

    TBatchRenameResult Run() {
        if (!TemporaryPass() || !ClearingPass() || !FinalPass()) return Undo();
        return {true, {}};
    }

private:
    bool TemporaryPass() {
        for (const TRenameRow* item : items_) {
            std::string temporary;
            int error = 0;
            for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
                temporary = TemporaryName(item->OldName, attempt);
                if (newNames_.contains(temporary) || temporaries_.contains(temporary)) continue;
                error = Rename(TRenamePass::Temporary, item->OldName, temporary);
                if (error != EEXIST) break;
            }
            if (error != 0) return Failed(item->OldName, item->NewName, error);
            temporaries_.insert(temporary);
            temporaryOf_.push_back(temporary);
        }
        return true;
    }

    // Files outside the batch that hold a new name are moved aside.
    bool ClearingPass() {
        for (const TRenameRow* item : items_) {
            if (!platform::ItemExists(Join(folder_, item->NewName), false)) continue;
            const std::string aside = FileNameBytes(QStringLiteral("変更前_")) + item->NewName;
            if (const int error = Rename(TRenamePass::Clearing, item->NewName, aside); error != 0)
                return Failed(item->NewName, aside, error);
        }
        return true;
    }

    bool FinalPass() {
        for (std::size_t i = 0; i < items_.size(); ++i) {
            if (const int error = Rename(TRenamePass::Final, temporaryOf_[i], items_[i]->NewName); error != 0)
                return Failed(items_[i]->OldName, items_[i]->NewName, error);
        }
        return true;
    }

    // "tmp" + old name; when that is taken or too long, a numbered one.
    std::string TemporaryName(const std::string& oldName, int attempt) const {
        std::string name = attempt == 0 ? "tmp" + oldName : "tmp" + std::to_string(attempt) + "_" + oldName;
        if (name.size() > kLongestName)
            name = ".tmp-rename-" + std::to_string(getpid()) + "-" + std::to_string(temporaryOf_.size()) + "-" +
                   std::to_string(attempt);
        return name;
    }

    int Rename(TRenamePass pass, const std::string& from, const std::string& to) {
        const int error = rename_(pass, Join(folder_, from), Join(folder_, to));
        if (error == 0) done_.push_back({from, to});
        return error;
    }

    bool Failed(const std::string& from, const std::string& to, int error) {
        failure_ = QStringLiteral("「%1」を「%2」に変更できませんでした: %3")
                       .arg(Text(from), Text(to), platform::FileErrorText(error));
        return false;
    }

    TBatchRenameResult Undo() {
        std::vector<std::string> stranded;
        for (auto done = done_.rbegin(); done != done_.rend(); ++done) {
            if (rename_(TRenamePass::Undo, Join(folder_, done->To), Join(folder_, done->From)) != 0)
                stranded.push_back(done->To);
        }
        QString message = failure_;
        if (stranded.empty()) {
            message += QStringLiteral("\nどの項目も名前を変更していません。");
        } else {
            message += QStringLiteral("\n次の項目は元の名前に戻せませんでした:");
            for (std::size_t i = 0; i < stranded.size() && i < kFailuresNamed; ++i)
                message += QStringLiteral("\n「%1」").arg(Text(stranded[i]));
        }
        return {false, message};
    }

    const std::string& folder_;
    const TRenameFunction& rename_;
    std::vector<const TRenameRow*> items_;
    std::set<std::string> newNames_;
    std::set<std::string> temporaries_;
    std::vector<std::string> temporaryOf_;
    std::vector<DoneRename> done_;
    QString failure_;
};

}  // namespace

std::string NewNameOf(const TRenamePattern& pattern, const std::string& oldName, int position) {
    const std::size_t extension = ExtensionStart(oldName);
    std::string name = FileNameBytes(pattern.Header);
    if (pattern.QuoteOldName) name += oldName.substr(0, extension);
    name += SequenceNumberText(pattern.Digits, pattern.Start, pattern.Increment, position);
    name += FileNameBytes(pattern.Footer);
    // Appended piece by piece: GCC 12 at -O3 sees a false overlap in
    // "." + temporary and fails the build with -Wrestrict.
    if (pattern.UnifyExtension) {
        name += '.';
        name += FileNameBytes(pattern.Extension);
    } else {
        name += oldName.substr(extension);
    }
    return name;
}

void ComputeNewNames(std::vector<TRenameRow>& rows, const TRenamePattern& pattern) {
    for (std::size_t position = 0; position < rows.size(); ++position) {
        if (!rows[position].Skip) rows[position].NewName = NewNameOf(pattern, rows[position].OldName, static_cast<int>(position));
    }
}

QString NewNamesProblem(const std::vector<TRenameRow>& rows) {
    std::set<std::string> seen;
    for (const TRenameRow& row : rows) {
        if (row.Skip) continue;
        const std::string& name = row.NewName;
        if (name.empty() || name == "." || name == "..")
            return QStringLiteral("「%1」の新しい名前が空です。").arg(Text(row.OldName));
        if (name.find('/') != std::string::npos || name.find('\0') != std::string::npos)
            return QStringLiteral("「%1」の新しい名前に使えない文字があります。").arg(Text(name));
        if (name.size() > kLongestName)
            return QStringLiteral("「%1」の新しい名前が長すぎます (%2 バイト、最大 %3 バイト)。")
                .arg(Text(row.OldName)).arg(name.size()).arg(kLongestName);
        if (!seen.insert(name).second)
            return QStringLiteral("新しい名前「%1」が重複しています。").arg(Text(name));
    }
    return {};
}

int RenameInFolder(TRenamePass, const std::string& from, const std::string& to) {
    return platform::RenameWithoutReplacing(from, to);
}

TBatchRenameResult BatchRename(const std::string& folder, const std::vector<TRenameRow>& rows,
                               const TRenameFunction& rename) {
    if (const QString problem = NewNamesProblem(rows); !problem.isEmpty()) return {false, problem};
    return BatchRenamer(folder, rows, rename).Run();
}
