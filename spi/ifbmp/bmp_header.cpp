#include "bmp_header.h"

#include <bit>
#include <limits>

#include "spi_common.h"

namespace ifbmp {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kV2HeaderSize = 52;  // adds the three colour masks
constexpr std::uint32_t kV3HeaderSize = 56;  // adds the alpha mask
constexpr std::uint32_t kV4HeaderSize = 108;
constexpr std::uint32_t kV5HeaderSize = 124;
constexpr std::uint32_t kOs2MinHeaderSize = 16;
constexpr std::uint32_t kOs2MaxHeaderSize = 64;

// Little-endian fields of a byte block whose size is known.
class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Has(std::size_t offset, std::size_t count) const {
        return offset <= size_ && count <= size_ - offset;
    }
    std::uint16_t U16(std::size_t offset) const {
        return static_cast<std::uint16_t>(data_[offset] | data_[offset + 1] << 8);
    }
    std::uint32_t U32(std::size_t offset) const {
        return static_cast<std::uint32_t>(data_[offset]) | static_cast<std::uint32_t>(data_[offset + 1]) << 8 |
               static_cast<std::uint32_t>(data_[offset + 2]) << 16 |
               static_cast<std::uint32_t>(data_[offset + 3]) << 24;
    }
    std::int32_t I32(std::size_t offset) const { return static_cast<std::int32_t>(U32(offset)); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

bool IsKnownHeaderSize(std::uint32_t size) {
    return size == kCoreHeaderSize || (size >= kOs2MinHeaderSize && size <= kOs2MaxHeaderSize) ||
           size == kV4HeaderSize || size == kV5HeaderSize;
}

// OS/2 2.x headers share the Windows layout for the first 40 bytes but give
// compression values 3 and 4 other meanings (Huffman, RLE24).
bool IsOs2Header(std::uint32_t size) {
    return size != kCoreHeaderSize && size != kInfoHeaderSize && size != kV2HeaderSize &&
           size != kV3HeaderSize && size != kV4HeaderSize && size != kV5HeaderSize;
}

bool IsSupportedBitCount(int bitCount) {
    switch (bitCount) {
    case 1: case 2: case 4: case 8: case 16: case 24: case 32: return true;
    default: return false;
    }
}

int CheckCompression(const BmpHeader& header, std::uint32_t infoSize) {
    switch (header.compression) {
    case kRgb: return SPI_SUCCESS;
    case kRle8: return header.bitCount == 8 ? SPI_SUCCESS : SPI_BROKEN_DATA;
    case kRle4: return header.bitCount == 4 ? SPI_SUCCESS : SPI_BROKEN_DATA;
    case kBitFields:
        if (IsOs2Header(infoSize)) return SPI_UNKNOWN_FORMAT;
        [[fallthrough]];
    case kAlphaBitFields:
        return header.bitCount == 16 || header.bitCount == 32 ? SPI_SUCCESS : SPI_BROKEN_DATA;
    default: return SPI_UNKNOWN_FORMAT;  // embedded JPEG/PNG, OS/2 RLE24, CMYK...
    }
}

// Reads the colour masks of bit-field images: inside headers of 52 bytes
// and more, otherwise right after the 40-byte header. Returns the offset
// just past any masks stored after the header, or 0 when they are cut off.
std::size_t ReadMasks(const Bytes& bytes, std::uint32_t infoSize, BmpHeader& header) {
    const std::size_t headerEnd = kFileHeaderSize + infoSize;
    if (header.compression != kBitFields && header.compression != kAlphaBitFields) {
        if (header.bitCount == 16) {
            header.red = ChannelMask::From(0x7C00);
            header.green = ChannelMask::From(0x03E0);
            header.blue = ChannelMask::From(0x001F);
        } else if (header.bitCount == 32) {
            header.red = ChannelMask::From(0x00FF0000);
            header.green = ChannelMask::From(0x0000FF00);
            header.blue = ChannelMask::From(0x000000FF);
        }
        return headerEnd;
    }
    const bool masksInHeader = infoSize >= kV2HeaderSize;
    const std::size_t maskCount = header.compression == kAlphaBitFields || infoSize >= kV3HeaderSize ? 4 : 3;
    const std::size_t at = masksInHeader ? kFileHeaderSize + kInfoHeaderSize : headerEnd;
    if (!bytes.Has(at, maskCount * 4)) return 0;
    header.red = ChannelMask::From(bytes.U32(at));
    header.green = ChannelMask::From(bytes.U32(at + 4));
    header.blue = ChannelMask::From(bytes.U32(at + 8));
    if (maskCount == 4) header.alpha = ChannelMask::From(bytes.U32(at + 12));
    return masksInHeader ? headerEnd : headerEnd + maskCount * 4;
}

int ReadCoreHeader(const Bytes& bytes, BmpHeader& header) {
    header.width = bytes.U16(18);
    header.height = bytes.U16(20);
    header.bitCount = bytes.U16(24);
    header.paletteEntrySize = 3;
    return SPI_SUCCESS;
}

int ReadInfoHeader(const Bytes& bytes, std::uint32_t infoSize, BmpHeader& header, std::uint32_t& colorsUsed) {
    // OS/2 2.x headers may stop after any field; absent fields are zero.
    auto field = [&](std::size_t offset, std::size_t size) -> std::uint32_t {
        if (offset + size > kFileHeaderSize + infoSize) return 0;
        return size == 2 ? bytes.U16(offset) : bytes.U32(offset);
    };
    const std::int32_t height = static_cast<std::int32_t>(field(22, 4));
    if (height == std::numeric_limits<std::int32_t>::min()) return SPI_BROKEN_DATA;
    header.width = static_cast<std::int32_t>(field(18, 4));
    header.height = height < 0 ? -height : height;
    header.topDown = height < 0;
    header.bitCount = static_cast<int>(field(28, 2));
    header.compression = field(30, 4);
    header.dpiX = spi::DpiFromPixelsPerMetre(static_cast<std::int32_t>(field(38, 4)));
    header.dpiY = spi::DpiFromPixelsPerMetre(static_cast<std::int32_t>(field(42, 4)));
    colorsUsed = field(46, 4);
    return SPI_SUCCESS;
}

// Places the colour table and the pixels. The file header's pixel offset
// wins when it is plausible; some writers leave it 0.
int LocatePaletteAndPixels(const Bytes& bytes, std::size_t size, std::size_t paletteOffset,
                           std::uint32_t colorsUsed, std::uint32_t pixelOffsetField, BmpHeader& header) {
    header.paletteOffset = paletteOffset;
    if (header.HasPalette()) {
        const std::uint32_t maximum = 1u << header.bitCount;
        std::uint32_t entries = colorsUsed == 0 || colorsUsed > maximum ? maximum : colorsUsed;
        // A colour count that overlaps the pixels is a writer's mistake: keep
        // the entries that fit before them.
        if (pixelOffsetField > paletteOffset) {
            const std::uint32_t room = static_cast<std::uint32_t>(
                (pixelOffsetField - paletteOffset) / static_cast<std::uint32_t>(header.paletteEntrySize));
            if (room > 0 && room < entries) entries = room;
        }
        if (!bytes.Has(paletteOffset, static_cast<std::size_t>(entries) * header.paletteEntrySize))
            return SPI_BROKEN_DATA;
        header.paletteEntries = static_cast<int>(entries);
    }
    const std::size_t paletteEnd = paletteOffset + static_cast<std::size_t>(header.paletteEntries) *
                                                       static_cast<std::size_t>(header.paletteEntrySize);
    header.pixelOffset = pixelOffsetField >= kFileHeaderSize + kCoreHeaderSize ? pixelOffsetField : paletteEnd;
    return header.pixelOffset < size ? SPI_SUCCESS : SPI_BROKEN_DATA;
}

}  // namespace

ChannelMask ChannelMask::From(std::uint32_t mask) {
    ChannelMask channel;
    if (mask == 0) return channel;
    channel.mask = mask;
    channel.shift = std::countr_zero(mask);
    channel.bits = std::bit_width(mask >> channel.shift);
    return channel;
}

bool HasBmpSignature(const std::uint8_t* data) {
    return data[0] == 'B' && data[1] == 'M' && IsKnownHeaderSize(Bytes(data, 18).U32(kFileHeaderSize));
}

int ParseBmpHeader(const std::uint8_t* data, std::size_t size, BmpHeader& header) {
    const Bytes bytes(data, size);
    if (!bytes.Has(0, 2) || data[0] != 'B' || data[1] != 'M') return SPI_UNKNOWN_FORMAT;
    if (!bytes.Has(0, kFileHeaderSize + 4)) return SPI_BROKEN_DATA;
    const std::uint32_t infoSize = bytes.U32(kFileHeaderSize);
    if (!IsKnownHeaderSize(infoSize)) return SPI_UNKNOWN_FORMAT;
    if (!bytes.Has(0, kFileHeaderSize + infoSize)) return SPI_BROKEN_DATA;

    header = BmpHeader{};
    std::uint32_t colorsUsed = 0;
    const int read = infoSize == kCoreHeaderSize ? ReadCoreHeader(bytes, header)
                                                 : ReadInfoHeader(bytes, infoSize, header, colorsUsed);
    if (read != SPI_SUCCESS) return read;
    if (header.width <= 0 || header.height <= 0 || !IsSupportedBitCount(header.bitCount))
        return SPI_BROKEN_DATA;
    if (header.width > spi::kMaxDimension || header.height > spi::kMaxDimension) return SPI_NO_MEMORY;
    if (const int compression = CheckCompression(header, infoSize); compression != SPI_SUCCESS)
        return compression;

    const std::size_t paletteOffset = ReadMasks(bytes, infoSize, header);
    if (paletteOffset == 0) return SPI_BROKEN_DATA;
    return LocatePaletteAndPixels(bytes, size, paletteOffset, colorsUsed, bytes.U32(10), header);
}

}  // namespace ifbmp
