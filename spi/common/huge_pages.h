#pragma once

// Huge pages for the large blocks a decoder fills. A large block comes
// unmapped from the kernel, and the first write to each 4 KiB page costs a
// fault and a page clear; where the kernel hands out transparent huge
// pages only on request, asking for them takes one fault per 2 MiB
// instead. The block is to be filled entirely, so they cost no memory.

#include <cstddef>

#include "spi_common.h"

namespace spi {

// Asks for huge pages over the whole ones inside the block; must come
// before the block is first written. Where the kernel has none, nothing
// changes.
void PreferHugePages(void* begin, std::size_t bytes) noexcept;

// The pixel block of a freshly allocated bitmap.
void PreferHugePages(Dib& dib) noexcept;

}  // namespace spi
