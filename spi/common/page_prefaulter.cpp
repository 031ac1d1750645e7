#include "page_prefaulter.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <exception>

namespace spi {
namespace {

// Below this a thread costs about as much as the faults it would take over.
constexpr std::size_t kMinJobBytes = std::size_t{1} << 20;

std::uintptr_t PageBytes() {
    static const auto bytes = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    return bytes;
}

std::uintptr_t RoundUpToPage(std::uintptr_t value) { return (value + PageBytes() - 1) & ~(PageBytes() - 1); }

// The whole pages inside block: a page it shares with other data is left
// to whoever writes there first.
PagePrefaulter::Block WholePages(const PagePrefaulter::Block& block) {
    const auto start = reinterpret_cast<std::uintptr_t>(block.begin);
    const std::uintptr_t begin = RoundUpToPage(start);
    const std::uintptr_t end = (start + block.bytes) & ~(PageBytes() - 1);
    if (end <= begin) return {};
    return {reinterpret_cast<std::uint8_t*>(begin), end - begin};
}

// Piece `step` of block cut into pieces of pieceBytes, counted from the
// end the block is filled from; empty past the block.
PagePrefaulter::Block Piece(const PagePrefaulter::Block& block, std::size_t pieceBytes, std::size_t step,
                            PagePrefaulter::FillOrder order) {
    const std::size_t from = std::min(block.bytes, step * pieceBytes);
    const std::size_t to = std::min(block.bytes, from + pieceBytes);
    if (order == PagePrefaulter::FillOrder::FromStart) return {block.begin + from, to - from};
    return {block.begin + block.bytes - to, to - from};
}

// Asks for huge pages where block covers whole ones (2 MiB, the common
// size): the block is to be filled entirely, so they cost no memory, and a
// fault per 2 MiB instead of one per page takes a good part of the work of
// mapping it away. Where the kernel has none, small pages it is.
void PreferHugePages(const PagePrefaulter::Block& block) {
    constexpr std::uintptr_t kHugePageBytes = std::uintptr_t{2} << 20;
    const auto start = reinterpret_cast<std::uintptr_t>(block.begin);
    const std::uintptr_t begin = (start + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
    const std::uintptr_t end = (start + block.bytes) & ~(kHugePageBytes - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

// Maps chunk's pages writable. False when the kernel has no way to do so
// (before Linux 5.14); other failures, such as memory running short, are
// left to the faults of the writer.
bool Populate(const PagePrefaulter::Block& chunk) {
    if (madvise(chunk.begin, chunk.bytes, MADV_POPULATE_WRITE) == 0) return true;
    return errno != EINVAL;
}

}  // namespace

void PagePrefaulter::Prefault(std::span<const Block> blocks, FillOrder order) noexcept {
    std::size_t totalBytes = 0;
    for (const Block& block : blocks) totalBytes += block.bytes;
    if (totalBytes < kMinJobBytes) return;
    for (const Block& block : blocks) PreferHugePages(block);
    if (std::thread::hardware_concurrency() < 2) return;
    try {
        {
            std::lock_guard lock(mutex_);
            if (stop_ || unsupported_) return;
            PushChunks(blocks, order);
        }
        if (!worker_.joinable()) worker_ = std::thread(&PagePrefaulter::Run, this);
        queued_.notify_one();
    } catch (const std::exception&) {
        // No room for the queue or no thread to be had: the writer takes
        // the faults itself.
    }
}

void PagePrefaulter::Stop() noexcept {
    if (!worker_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    queued_.notify_one();
    worker_.join();
}

// Cuts every block into as many pieces as the largest takes chunks, so
// that the k-th pieces of all blocks are needed at about the same time,
// and stacks them with the first needed on top.
void PagePrefaulter::PushChunks(std::span<const Block> blocks, FillOrder order) {
    std::vector<Block> pages;
    std::size_t largest = 0;
    for (const Block& block : blocks) {
        pages.push_back(WholePages(block));
        largest = std::max(largest, pages.back().bytes);
    }
    const std::size_t steps = (largest + kChunkBytes - 1) / kChunkBytes;
    std::vector<Block> needed;
    for (std::size_t step = 0; step < steps; ++step) {
        for (const Block& block : pages) {
            const std::size_t pieceBytes = RoundUpToPage((block.bytes + steps - 1) / steps);
            const Block piece = Piece(block, pieceBytes, step, order);
            if (piece.bytes != 0) needed.push_back(piece);
        }
    }
    chunks_.insert(chunks_.end(), needed.rbegin(), needed.rend());
}

void PagePrefaulter::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        queued_.wait(lock, [this] { return stop_ || !chunks_.empty(); });
        if (stop_) return;
        const Block chunk = chunks_.back();
        chunks_.pop_back();
        lock.unlock();
        const bool supported = Populate(chunk);
        lock.lock();
        if (!supported) {
            unsupported_ = true;
            chunks_.clear();
        }
    }
}

void PrefaultTopDown(PagePrefaulter& prefaulter, Dib& dib) noexcept {
    const PagePrefaulter::Block pixels{dib.PixelBlock(), dib.Stride() * static_cast<std::size_t>(dib.Height())};
    prefaulter.Prefault(std::span(&pixels, 1), PagePrefaulter::FillOrder::FromEnd);
}

}  // namespace spi
