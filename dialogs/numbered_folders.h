#pragma once

#include <cstdint>
#include <string>

#include <QString>

// A run of numbered folders: header + zero-padded number + footer.
struct TFolderSequence {
    int Count = 1;
    QString Header;
    int Digits = 1;
    std::int64_t Start = 1;
    std::int64_t Increment = 1;
    QString Footer;
};

// The name of folder k (0-based) as file-name bytes.
std::string FolderNameOf(const TFolderSequence& sequence, int k);
// The first and the last name: "first ～ last".
QString FolderSequencePreview(const TFolderSequence& sequence);

struct TFolderCreationResult {
    int Created = 0;  // folders made; those that existed already do not count
    QString Failure;  // "" when every folder is there now
};

// Creates the folders in target in order; a folder that exists already
// counts as done. Stops at the first one that cannot be made; the folders
// made before it stay.
TFolderCreationResult CreateNumberedFolders(const std::string& target, const TFolderSequence& sequence);
