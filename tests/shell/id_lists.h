#pragma once

#include <string>

#include "shell/shell_id_func.h"

// Absolute item lists for the tests; the caller frees them.

inline IDList PathList(const std::string& path) {
    IDList list = nullptr;
    IDListFromNativePath(path, list);
    return list;
}

inline IDList Special(TShSpecialFolder folder) {
    IDList list = nullptr;
    GetSpecialFolderIDList(folder, list);
    return list;
}
