#pragma once

// What the chunks before the image data say: size, colour type, depth and
// density, read without decoding anything.

#include <cstddef>
#include <cstdint>

namespace ifpng {

struct PngHeader {
    std::int32_t width = 0;
    std::int32_t height = 0;
    int bitDepth = 0;
    int colorType = 0;
    int bitsPerPixel = 0;  // bit depth times the channels of the colour type
    bool interlaced = false;
    std::uint16_t dpiX = 0;
    std::uint16_t dpiY = 0;
};

constexpr std::size_t kSignatureSize = 8;

bool HasPngSignature(const std::uint8_t* data);

// Reads the signature, IHDR and, when it comes before the image data, pHYs.
// Returns SPI_SUCCESS, SPI_UNKNOWN_FORMAT (no PNG) or SPI_BROKEN_DATA.
int ReadPngHeader(const std::uint8_t* data, std::size_t size, PngHeader& header);

}  // namespace ifpng
