#include "dialogs/numbered_folders.h"

#include <algorithm>

#include "dialogs/name_sequence.h"
#include "platform/file_operations.h"
#include "platform/file_names.h"

std::string FolderNameOf(const TFolderSequence& sequence, int k) {
    return FileNameBytes(sequence.Header) +
           SequenceNumberText(std::max(sequence.Digits, 1), sequence.Start, sequence.Increment, k) +
           FileNameBytes(sequence.Footer);
}

QString FolderSequencePreview(const TFolderSequence& sequence) {
    return platform::DisplayName(FolderNameOf(sequence, 0)) + QStringLiteral(" ～ ") +
           platform::DisplayName(FolderNameOf(sequence, std::max(sequence.Count, 1) - 1));
}

TFolderCreationResult CreateNumberedFolders(const std::string& target, const TFolderSequence& sequence) {
    TFolderCreationResult result;
    const std::string folder = target.ends_with('/') ? target : target + '/';
    for (int k = 0; k < sequence.Count; ++k) {
        const std::string name = FolderNameOf(sequence, k);
        bool created = false;
        if (const int error = platform::CreateFolder(folder + name, created); error != 0) {
            result.Failure = QStringLiteral("フォルダの作成に失敗しました。\n「%1」: %2")
                                 .arg(platform::DisplayName(name), platform::FileErrorText(error));
            break;
        }
        if (created) ++result.Created;
    }
    return result;
}
