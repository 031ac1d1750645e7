#include "platform/shell_item_id.h"

#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

const std::uint8_t* Bytes(const ItemIDList* list) { return reinterpret_cast<const std::uint8_t*>(list); }

std::uint16_t CountAt(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

void WriteCount(std::uint8_t* bytes, std::size_t count) {
    bytes[0] = static_cast<std::uint8_t>(count & 0xFF);
    bytes[1] = static_cast<std::uint8_t>((count >> 8) & 0xFF);
}

UniqueIDList FromBytes(const std::uint8_t* bytes, std::size_t itemBytes) {
    UniqueIDList list(AllocItemIDList(itemBytes + 2));
    if (list && itemBytes > 0) std::memcpy(list.get(), bytes, itemBytes);
    return list;
}

}  // namespace

ItemIDList* AllocItemIDList(std::size_t size) {
    return static_cast<ItemIDList*>(std::calloc(size == 0 ? 1 : size, 1));
}

void FreeItemIDList(ItemIDList* list) { std::free(list); }

std::uint16_t ItemSize(const ItemIDList* list) { return list ? CountAt(Bytes(list)) : 0; }

std::size_t ItemIDListSize(const ItemIDList* list) {
    if (!list) return 0;
    std::size_t size = 0;
    for (const std::uint8_t* item = Bytes(list); CountAt(item) != 0; item += CountAt(item))
        size += CountAt(item);
    return size + 2;
}

std::size_t ItemCount(const ItemIDList* list) {
    std::size_t count = 0;
    for (; !IsEmptyIDList(list); list = NextItem(list)) ++count;
    return count;
}

const ItemIDList* NextItem(const ItemIDList* list) {
    if (IsEmptyIDList(list)) return list;
    return reinterpret_cast<const ItemIDList*>(Bytes(list) + ItemSize(list));
}

const ItemIDList* LastItem(const ItemIDList* list) {
    if (IsEmptyIDList(list)) return list;
    const ItemIDList* last = list;
    for (const ItemIDList* next = NextItem(list); !IsEmptyIDList(next); next = NextItem(next))
        last = next;
    return last;
}

bool IsEmptyIDList(const ItemIDList* list) { return ItemSize(list) == 0; }

bool ReadItem(const ItemIDList* list, ShellItemKind& kind, std::string_view& name) {
    const std::uint16_t size = ItemSize(list);
    if (size < 3) return false;
    kind = static_cast<ShellItemKind>(Bytes(list)[2]);
    name = std::string_view(reinterpret_cast<const char*>(Bytes(list)) + 3, size - 3u);
    return true;
}

UniqueIDList MakeItem(ShellItemKind kind, std::string_view name) {
    const std::size_t itemSize = 3 + name.size();
    if (itemSize > 0xFFFF) return nullptr;
    UniqueIDList list(AllocItemIDList(itemSize + 2));
    if (!list) return nullptr;
    auto* bytes = reinterpret_cast<std::uint8_t*>(list.get());
    WriteCount(bytes, itemSize);
    bytes[2] = static_cast<std::uint8_t>(kind);
    if (!name.empty()) std::memcpy(bytes + 3, name.data(), name.size());
    return list;
}

UniqueIDList MakeDesktopIDList() { return UniqueIDList(AllocItemIDList(2)); }

UniqueIDList CopyItemIDList(const ItemIDList* list) {
    if (!list) return nullptr;
    return FromBytes(Bytes(list), ItemIDListSize(list) - 2);
}

UniqueIDList CopyFirstItemOnly(const ItemIDList* list) {
    if (!list) return nullptr;
    return FromBytes(Bytes(list), ItemSize(list));
}

UniqueIDList CopyAllButLast(const ItemIDList* list) {
    if (!list) return nullptr;
    return FromBytes(Bytes(list), static_cast<std::size_t>(Bytes(LastItem(list)) - Bytes(list)));
}

UniqueIDList JoinIDLists(const ItemIDList* first, const ItemIDList* second) {
    if (!first || !second) return nullptr;
    const std::size_t firstBytes = ItemIDListSize(first) - 2;
    const std::size_t secondBytes = ItemIDListSize(second) - 2;
    UniqueIDList list(AllocItemIDList(firstBytes + secondBytes + 2));
    if (!list) return nullptr;
    auto* bytes = reinterpret_cast<std::uint8_t*>(list.get());
    if (firstBytes > 0) std::memcpy(bytes, first, firstBytes);
    if (secondBytes > 0) std::memcpy(bytes + firstBytes, second, secondBytes);
    return list;
}

bool SameIDList(const ItemIDList* a, const ItemIDList* b) {
    if (!a || !b) return a == b;
    const std::size_t size = ItemIDListSize(a);
    return size == ItemIDListSize(b) && std::memcmp(a, b, size) == 0;
}

const std::uint8_t* IDListBytes(const ItemIDList* list) { return Bytes(list); }

const ItemIDList* IDListAt(const std::uint8_t* bytes) { return reinterpret_cast<const ItemIDList*>(bytes); }

bool IsWellFormedIDList(const std::uint8_t* bytes, std::size_t size) {
    std::size_t offset = 0;
    while (offset + 2 <= size) {
        const std::uint16_t count = CountAt(bytes + offset);
        if (count == 0) return true;
        if (count < 3) return false;
        offset += count;
    }
    return false;
}

}  // namespace platform
