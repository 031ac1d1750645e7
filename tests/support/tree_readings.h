#pragma once

#include "shell/shell_tree_view.h"
#include "support/event_wait.h"

// The tree reads its folders off the main thread and places the answers
// there: runs the main thread's events until no reading is under way.
inline bool ReadingsDone(const TSHTreeView& tree) {
    return ProcessEventsUntil([&tree] { return !tree.IsReading(); });
}

// Expands node and waits until its children are read.
inline TSHTreeNode* ExpandRead(TSHTreeView& tree, TSHTreeNode* node) {
    if (!node) return nullptr;
    node->setExpanded(true);
    return ReadingsDone(tree) ? node : nullptr;
}
