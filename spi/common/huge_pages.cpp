#include "huge_pages.h"

#ifdef __linux__
#include <sys/mman.h>
#endif

#include <cstdint>

namespace spi {

void PreferHugePages(void* begin, std::size_t bytes) noexcept {
#ifdef __linux__
    constexpr std::uintptr_t kHugePageBytes = std::uintptr_t{2} << 20;
    const auto start = reinterpret_cast<std::uintptr_t>(begin);
    const std::uintptr_t first = (start + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
    const std::uintptr_t end = (start + bytes) & ~(kHugePageBytes - 1);
    if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#else
    (void)begin;
    (void)bytes;
#endif
}

void PreferHugePages(Dib& dib) noexcept {
    PreferHugePages(dib.PixelBlock(), dib.Stride() * static_cast<std::size_t>(dib.Height()));
}

}  // namespace spi
