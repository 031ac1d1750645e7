#include "bitmap_prefaulter.h"

#include <algorithm>
#include <exception>

namespace ifjpeg {
namespace {

// Touching every 4 KiB reaches each page at the smallest page size in use;
// with larger pages some touches are merely redundant.
constexpr std::size_t kPageBytes = 4096;
// Below this a thread costs about as much as the faults it would take over.
constexpr std::size_t kMinBlockBytes = std::size_t{1} << 20;
// Rows taken by the worker at a time: a few pages, so that the decoder
// seldom has to wait for it.
constexpr std::size_t kChunkBytes = 64 * 1024;

// One write per page. The block is zero-filled, so writing zero keeps its
// content; a read would only map the shared zero page.
void TouchPages(std::uint8_t* begin, std::uint8_t* end) {
    for (std::uint8_t* p = begin; p < end; p += kPageBytes) *reinterpret_cast<volatile std::uint8_t*>(p) = 0;
    *reinterpret_cast<volatile std::uint8_t*>(end - 1) = 0;
}

}  // namespace

void BitmapPrefaulter::Start(spi::Dib& dib) {
    const std::size_t blockBytes = dib.Stride() * static_cast<std::size_t>(dib.Height());
    if (blockBytes < kMinBlockBytes || std::thread::hardware_concurrency() < 2) return;
    const auto rowsPerChunk = static_cast<std::int32_t>(std::max<std::size_t>(1, kChunkBytes / dib.Stride()));
    try {
        worker_ = std::thread(&BitmapPrefaulter::Run, this, std::ref(dib), rowsPerChunk);
    } catch (const std::exception&) {
        // No thread to be had: the decoder takes the faults itself.
    }
}

void BitmapPrefaulter::ClaimRows(std::int32_t rowEnd) {
    if (!worker_.joinable()) return;
    std::unique_lock lock(mutex_);
    claimed_ = std::max(claimed_, rowEnd);
    chunkDone_.wait(lock, [&] { return touchingFrom_ >= rowEnd; });
}

void BitmapPrefaulter::Stop() {
    if (!worker_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    worker_.join();
}

// The bitmap is bottom-up, so the rows from the top lie at falling
// addresses: rows [top, end) span from the start of row end - 1 to the end
// of row top.
void BitmapPrefaulter::Run(spi::Dib& dib, std::int32_t rowsPerChunk) {
    std::int32_t top = 0;
    std::int32_t end = 0;
    while (NextChunk(dib.Height(), rowsPerChunk, top, end))
        TouchPages(dib.Row(end - 1), dib.Row(top) + dib.Stride());
}

bool BitmapPrefaulter::NextChunk(std::int32_t height, std::int32_t rowsPerChunk, std::int32_t& top,
                                 std::int32_t& end) {
    bool more = false;
    {
        std::lock_guard lock(mutex_);
        touchingFrom_ = kNotTouching;
        if (!stop_ && claimed_ < height) {
            top = claimed_;
            end = std::min(top + rowsPerChunk, height);
            claimed_ = end;
            touchingFrom_ = top;
            more = true;
        }
    }
    chunkDone_.notify_one();
    return more;
}

}  // namespace ifjpeg
