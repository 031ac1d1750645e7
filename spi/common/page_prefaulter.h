#pragma once

// Maps the pages of freshly allocated memory on a second thread, ahead of
// the code that fills it. A large block comes unmapped from the kernel,
// and the first write to each of its pages costs a fault and a page clear;
// done here, that work runs beside the decoding instead of inside it.
// Pages are populated writable without their contents being touched, so
// the owner may write the memory all the while.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "spi_common.h"

namespace spi {

class PagePrefaulter {
public:
    struct Block {
        std::uint8_t* begin = nullptr;
        std::size_t bytes = 0;
    };
    enum class FillOrder { FromStart, FromEnd };

    PagePrefaulter() = default;
    ~PagePrefaulter() { Stop(); }
    PagePrefaulter(const PagePrefaulter&) = delete;
    PagePrefaulter& operator=(const PagePrefaulter&) = delete;

    // Queues blocks that the caller fills side by side, each from the end
    // given by order, at a pace in proportion to its size. Blocks queued
    // later are mapped first: a decoder's working buffers are allocated
    // after its result and filled before it. Large blocks also get huge
    // pages where the kernel offers them; small jobs are left alone, and
    // with one core nothing is mapped ahead. The memory must stay
    // allocated until Stop.
    void Prefault(std::span<const Block> blocks, FillOrder order) noexcept;
    // Stops the worker and waits for it.
    void Stop() noexcept;

private:
    // Pages of a job handed to the worker per call: few enough that it
    // soon turns to a newer job, many enough to keep the calls cheap.
    static constexpr std::size_t kChunkBytes = 256 * 1024;

    void Run();
    void PushChunks(std::span<const Block> blocks, FillOrder order);

    std::thread worker_;
    std::mutex mutex_;
    std::condition_variable queued_;
    // Guarded by mutex_: the chunks still to map, the next one last; the
    // request to stop; whether the kernel lacks the means to populate.
    std::vector<Block> chunks_;
    bool stop_ = false;
    bool unsupported_ = false;
};

// Maps the pixel block of a freshly allocated bitmap ahead of a decoder
// that fills it from the top row down, the end of the bottom-up block.
void PrefaultTopDown(PagePrefaulter& prefaulter, Dib& dib) noexcept;

}  // namespace spi
