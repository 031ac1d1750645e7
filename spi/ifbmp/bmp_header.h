#pragma once

// The headers of a BMP file: the 14-byte file header followed by one of the
// information headers (OS/2 core 12 bytes, OS/2 2.x 16-64 bytes, Windows
// 40, 52, 56, 108 or 124 bytes).

#include <cstddef>
#include <cstdint>

namespace ifbmp {

// Compression values of the information header.
enum Compression : std::uint32_t {
    kRgb = 0,
    kRle8 = 1,
    kRle4 = 2,
    kBitFields = 3,
    kJpeg = 4,
    kPng = 5,
    kAlphaBitFields = 6
};

// A colour mask of 16- and 32-bit pixels: value = (pixel & mask) >> shift,
// widened to 8 bits by repeating its bits (5 bits abcde give abcdeabc), so
// that the largest value becomes 255; wider values keep their top 8 bits.
struct ChannelMask {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;

    static ChannelMask From(std::uint32_t mask);
    std::uint8_t Extract(std::uint32_t pixel) const {
        const std::uint32_t value = (pixel & mask) >> shift;
        if (bits == 0) return 0;
        if (bits >= 8) return static_cast<std::uint8_t>(value >> (bits - 8));
        std::uint32_t wide = 0;
        for (int at = 8 - bits; at > -bits; at -= bits) wide |= at >= 0 ? value << at : value >> -at;
        return static_cast<std::uint8_t>(wide);
    }
};

struct BmpHeader {
    std::int32_t width = 0;
    std::int32_t height = 0;  // always positive; see topDown
    bool topDown = false;
    int bitCount = 0;
    std::uint32_t compression = kRgb;
    ChannelMask red, green, blue, alpha;  // 16 and 32 bits only
    std::size_t paletteOffset = 0;
    int paletteEntries = 0;     // entries present in the file
    int paletteEntrySize = 4;   // 3 in the OS/2 core format
    std::size_t pixelOffset = 0;
    std::uint16_t dpiX = 0;
    std::uint16_t dpiY = 0;

    bool HasPalette() const { return bitCount <= 8; }
    bool HasAlpha() const { return alpha.mask != 0; }
};

// True when the leading bytes (at least 18 readable) start a BMP file.
bool HasBmpSignature(const std::uint8_t* data);

// Reads and checks the headers of the size bytes at data. Returns
// SPI_SUCCESS, SPI_UNKNOWN_FORMAT for something that is no BMP or a BMP
// variant not read here, SPI_BROKEN_DATA for damaged or truncated headers,
// or SPI_NO_MEMORY for dimensions beyond the plug-ins' limits.
int ParseBmpHeader(const std::uint8_t* data, std::size_t size, BmpHeader& header);

}  // namespace ifbmp
