#pragma once

#include <cstdint>

#include "platform/shell_collation.h"

// Where a file-system entry goes in the file list: folders first, then by
// the sort column's value, then by name. The name key views the entry's
// item, which must outlive it.
struct TEntryOrderKey {
    platform::NaturalSortKey name;
    std::int64_t value = 0;  // size or write time; 0 when sorted by name
    bool folder = false;
};

// Whether a goes before b when the list is sorted by name (byName) or by a
// value, in direction +1 or -1 (which also puts folders last).
inline bool EntryGoesBefore(const TEntryOrderKey& a, const TEntryOrderKey& b, bool byName, int direction) {
    int order = 0;
    if (a.folder != b.folder)
        order = a.folder ? -1 : 1;
    else if (!byName && a.value != b.value)
        order = a.value < b.value ? -1 : 1;
    if (order == 0) order = platform::NaturalCompare(a.name, b.name);
    return order * direction < 0;
}
