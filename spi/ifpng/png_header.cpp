#include "png_header.h"

#include <cstring>

#include "spi_common.h"

namespace ifpng {

namespace {

constexpr std::uint8_t kSignature[kSignatureSize] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::size_t kChunkOverhead = 12;  // length, type, CRC
constexpr std::uint32_t kHeaderLength = 13;
constexpr std::uint32_t kPhysLength = 9;
constexpr std::uint8_t kUnitMetre = 1;

std::uint32_t BigEndian32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

int Channels(int colorType) {
    switch (colorType) {
    case 0: return 1;  // grey
    case 2: return 3;  // RGB
    case 3: return 1;  // palette
    case 4: return 2;  // grey and alpha
    case 6: return 4;  // RGBA
    default: return 0;
    }
}

bool IsValidDepth(int colorType, int depth) {
    switch (colorType) {
    case 0: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    default: return depth == 8 || depth == 16;
    }
}

// Looks through the chunks between IHDR and the first IDAT for pHYs. A
// density in unknown units only gives the aspect ratio: no density.
void ReadDensity(const std::uint8_t* data, std::size_t size, std::size_t at, PngHeader& header) {
    while (size - at >= kChunkOverhead) {
        const std::uint32_t length = BigEndian32(data + at);
        const std::uint8_t* type = data + at + 4;
        if (std::memcmp(type, "IDAT", 4) == 0 || length > size - at - kChunkOverhead) return;
        if (std::memcmp(type, "pHYs", 4) == 0 && length == kPhysLength) {
            const std::uint8_t* body = type + 4;
            if (body[8] == kUnitMetre) {
                header.dpiX = spi::DpiFromPixelsPerMetre(BigEndian32(body));
                header.dpiY = spi::DpiFromPixelsPerMetre(BigEndian32(body + 4));
            }
            return;
        }
        at += kChunkOverhead + length;
    }
}

}  // namespace

bool HasPngSignature(const std::uint8_t* data) { return std::memcmp(data, kSignature, kSignatureSize) == 0; }

int ReadPngHeader(const std::uint8_t* data, std::size_t size, PngHeader& header) {
    if (size < kSignatureSize || !HasPngSignature(data)) return SPI_UNKNOWN_FORMAT;
    const std::size_t headerEnd = kSignatureSize + kChunkOverhead + kHeaderLength;
    if (size < headerEnd) return SPI_BROKEN_DATA;
    const std::uint8_t* chunk = data + kSignatureSize;
    if (BigEndian32(chunk) != kHeaderLength || std::memcmp(chunk + 4, "IHDR", 4) != 0) return SPI_BROKEN_DATA;
    const std::uint8_t* body = chunk + 8;
    const std::uint32_t width = BigEndian32(body);
    const std::uint32_t height = BigEndian32(body + 4);
    header = PngHeader{};
    header.bitDepth = body[8];
    header.colorType = body[9];
    header.interlaced = body[12] != 0;
    if (width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX ||
        Channels(header.colorType) == 0 || !IsValidDepth(header.colorType, header.bitDepth))
        return SPI_BROKEN_DATA;
    header.width = static_cast<std::int32_t>(width);
    header.height = static_cast<std::int32_t>(height);
    header.bitsPerPixel = header.bitDepth * Channels(header.colorType);
    ReadDensity(data, size, headerEnd, header);
    return SPI_SUCCESS;
}

}  // namespace ifpng
