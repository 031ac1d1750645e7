#pragma once

// Maps the pages of a freshly allocated bitmap on a second thread, top row
// first, ahead of a decoder that fills it from the top. A large block comes
// fresh from the kernel, and the first write to each of its pages costs a
// fault and a page clear; done here, that work runs beside the decoding
// instead of inside it.

#include <condition_variable>
#include <cstdint>
#include <limits>
#include <mutex>
#include <thread>

#include "spi_common.h"

namespace ifjpeg {

class BitmapPrefaulter {
public:
    BitmapPrefaulter() = default;
    ~BitmapPrefaulter() { Stop(); }
    BitmapPrefaulter(const BitmapPrefaulter&) = delete;
    BitmapPrefaulter& operator=(const BitmapPrefaulter&) = delete;

    // Starts on dib's pixels when the block is large enough to be worth a
    // thread and a second core is there. The pixels must be zero-filled
    // and stay allocated until Stop.
    void Start(spi::Dib& dib);
    // To be called before the decoder writes the image rows above rowEnd
    // (counted from the top): takes those rows from the worker, waiting at
    // most for the few pages it is touching among them.
    void ClaimRows(std::int32_t rowEnd);
    // Stops the worker and waits for it.
    void Stop();

private:
    static constexpr std::int32_t kNotTouching = std::numeric_limits<std::int32_t>::max();

    void Run(spi::Dib& dib, std::int32_t rowsPerChunk);
    // Ends the worker's previous chunk and takes the next rows nobody has
    // claimed. False when there are none left or the worker is to stop.
    bool NextChunk(std::int32_t height, std::int32_t rowsPerChunk, std::int32_t& top, std::int32_t& end);

    std::thread worker_;
    std::mutex mutex_;
    std::condition_variable chunkDone_;
    // Guarded by mutex_: rows from the top taken by either side, the first
    // row of the chunk the worker is touching, the request to stop.
    std::int32_t claimed_ = 0;
    std::int32_t touchingFrom_ = kNotTouching;
    bool stop_ = false;
};

}  // namespace ifjpeg
