#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

// An item identifier list: a run of items, each a 16-bit little-endian
// byte count (including the count itself) followed by opaque bytes, ended
// by a zero count. The terminator alone denotes the desktop. The type is
// never complete: lists are handled only through the functions below.
struct ItemIDList;

// What an item of this namespace names. The tag is the first byte after
// the count; the rest of the item is the raw name (file name bytes, or the
// mount point of a drive).
enum class ShellItemKind : std::uint8_t {
    Home = 'H',
    Drives = 'C',
    Trash = 'T',
    Network = 'N',
    Internet = 'I',
    Drive = 'V',
    Folder = 'D',
    File = 'F',
    TrashEntry = 'R',
};

// Memory of every list comes from here and goes back here.
ItemIDList* AllocItemIDList(std::size_t size);  // zero-filled; null on failure
void FreeItemIDList(ItemIDList* list);

struct ItemIDListDeleter {
    void operator()(ItemIDList* list) const { FreeItemIDList(list); }
};
using UniqueIDList = std::unique_ptr<ItemIDList, ItemIDListDeleter>;

// Reading lists. All accept null and treat it as an empty list.
std::uint16_t ItemSize(const ItemIDList* list);    // count of the first item (0 at the end)
std::size_t ItemIDListSize(const ItemIDList* list);  // all items + terminator; 0 for null
std::size_t ItemCount(const ItemIDList* list);
const ItemIDList* NextItem(const ItemIDList* list);  // the rest after the first item
const ItemIDList* LastItem(const ItemIDList* list);  // the last item (the terminator when empty)
bool IsEmptyIDList(const ItemIDList* list);          // null or terminator only

// The first item's kind and name; false for an empty list or an item too
// short to carry a kind.
bool ReadItem(const ItemIDList* list, ShellItemKind& kind, std::string_view& name);

// Building lists.
UniqueIDList MakeItem(ShellItemKind kind, std::string_view name = {});  // null when too long
UniqueIDList MakeDesktopIDList();
UniqueIDList CopyItemIDList(const ItemIDList* list);
UniqueIDList CopyFirstItemOnly(const ItemIDList* list);
UniqueIDList CopyAllButLast(const ItemIDList* list);  // the terminator for one item
UniqueIDList JoinIDLists(const ItemIDList* first, const ItemIDList* second);

// Byte equality of two lists.
bool SameIDList(const ItemIDList* a, const ItemIDList* b);

// Raw bytes (for the clipboard's list array).
const std::uint8_t* IDListBytes(const ItemIDList* list);
const ItemIDList* IDListAt(const std::uint8_t* bytes);

// Checks that size bytes at bytes hold one well-formed list.
bool IsWellFormedIDList(const std::uint8_t* bytes, std::size_t size);

}  // namespace platform
