// Drives one plug-in's four exports with arbitrary data, as the host does:
// IsSupported on a copy padded to 2048 bytes, the decoding calls on an
// exact-size copy so that any read past the end is caught. Every outcome
// other than success, a stop that was asked for, or codes 2-4 is a fault.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "spi.h"

namespace {

struct StopRequest {
    int callsLeft;
};

int Progress(int, int, intptr_t data) {
    auto* request = reinterpret_cast<StopRequest*>(data);
    return request->callsLeft >= 0 && request->callsLeft-- == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<char> padded(std::max<std::size_t>(size, 2048), 0);
    std::copy(data, data + size, padded.begin());
    IsSupported(nullptr, reinterpret_cast<intptr_t>(padded.data()));
    if (size == 0 || size > INT32_MAX) return 0;

    std::vector<char> exact(data, data + size);
    const auto length = static_cast<int32_t>(size);
    PictureInfo info;
    GetPictureInfo(exact.data(), length, SPI_INPUT_MEMORY, &info);

    // The last byte, when 0xF0 or more, asks to stop at one of the first
    // progress calls, so that the clean-up after a stop is fuzzed too.
    const bool stopAsked = data[size - 1] >= 0xF0;
    StopRequest stop{stopAsked ? data[size - 1] - 0xF0 : -1};
    HLOCAL infoBlock = nullptr;
    HLOCAL bitsBlock = nullptr;
    const int code = GetPicture(exact.data(), length, SPI_INPUT_MEMORY, &infoBlock, &bitsBlock, Progress,
                                reinterpret_cast<intptr_t>(&stop));
    const bool handedOver = infoBlock != nullptr && bitsBlock != nullptr;
    const bool nothingHandedOver = infoBlock == nullptr && bitsBlock == nullptr;
    const bool expected = (code == SPI_SUCCESS && handedOver) ||
                          (((code == SPI_ABORT && stopAsked) || code == SPI_UNKNOWN_FORMAT || code == SPI_BROKEN_DATA ||
                            code == SPI_NO_MEMORY) && nothingHandedOver);
    LocalFree(infoBlock);
    LocalFree(bitsBlock);
    if (!expected) std::abort();
    return 0;
}
