#pragma once

#include "shell/shell_list_view.h"
#include "support/event_wait.h"

// Runs the events until the file list has read its folder to the end (a
// generous deadline against hangs, not a measurement).
inline bool WaitUntilListed(TSHFileList& list) {
    return ProcessEventsUntil([&list] { return !list.Listing(); });
}
inline bool WaitUntilListed(TSHListView& view) { return WaitUntilListed(view.FileList()); }
