#include "bmp_decoder.h"

#include <algorithm>
#include <cstring>

namespace ifbmp {

namespace {

// The image row that the file's row r holds: files are bottom-up unless
// the header's height was negative.
std::int32_t ImageRow(const BmpHeader& header, std::int32_t fileRow) {
    return header.topDown ? fileRow : header.height - 1 - fileRow;
}

void CopyPalette(const std::uint8_t* data, const BmpHeader& header, spi::Dib& dib) {
    const std::uint8_t* entry = data + header.paletteOffset;
    for (int i = 0; i < header.paletteEntries; ++i, entry += header.paletteEntrySize)
        dib.SetPaletteEntry(i, entry[2], entry[1], entry[0]);
}

// Spreads 1-, 2- or 4-bit indices (most significant first) to one byte each.
void UnpackIndices(const std::uint8_t* in, int bitCount, std::int32_t width, std::uint8_t* out) {
    const int perByte = 8 / bitCount;
    const std::uint8_t mask = static_cast<std::uint8_t>((1u << bitCount) - 1);
    for (std::int32_t x = 0; x < width; ++x) {
        const int shift = 8 - bitCount * (x % perByte + 1);
        out[x] = static_cast<std::uint8_t>((in[x / perByte] >> shift) & mask);
    }
}

std::uint32_t ReadPixel(const std::uint8_t* in, int bitCount) {
    if (bitCount == 16) return static_cast<std::uint32_t>(in[0] | in[1] << 8);
    return static_cast<std::uint32_t>(in[0]) | static_cast<std::uint32_t>(in[1]) << 8 |
           static_cast<std::uint32_t>(in[2]) << 16 | static_cast<std::uint32_t>(in[3]) << 24;
}

// 16- and 32-bit pixels through their colour masks to BGR.
void ConvertMaskedRow(const std::uint8_t* in, const BmpHeader& header, std::uint8_t* out) {
    const int bytesPerPixel = header.bitCount / 8;
    for (std::int32_t x = 0; x < header.width; ++x, in += bytesPerPixel, out += 3) {
        const std::uint32_t pixel = ReadPixel(in, header.bitCount);
        const std::uint8_t red = header.red.Extract(pixel);
        const std::uint8_t green = header.green.Extract(pixel);
        const std::uint8_t blue = header.blue.Extract(pixel);
        if (header.HasAlpha()) {
            const std::uint8_t alpha = header.alpha.Extract(pixel);
            out[0] = spi::OverWhite(blue, alpha);
            out[1] = spi::OverWhite(green, alpha);
            out[2] = spi::OverWhite(red, alpha);
        } else {
            out[0] = blue;
            out[1] = green;
            out[2] = red;
        }
    }
}

void ConvertRow(const std::uint8_t* in, const BmpHeader& header, std::uint8_t* out) {
    switch (header.bitCount) {
    case 8: std::memcpy(out, in, static_cast<std::size_t>(header.width)); break;
    case 24: std::memcpy(out, in, static_cast<std::size_t>(header.width) * 3); break;
    case 16:
    case 32: ConvertMaskedRow(in, header, out); break;
    default: UnpackIndices(in, header.bitCount, header.width, out); break;
    }
}

int DecodeUncompressed(const std::uint8_t* data, std::size_t size, const BmpHeader& header, spi::Dib& dib,
                       spi::Progress& progress) {
    const std::size_t stride = SPI_DibStride(header.width, header.bitCount);
    // The last row may lack its padding: some writers stop at the last pixel.
    const std::size_t lastRowBytes = (static_cast<std::size_t>(header.width) * header.bitCount + 7) / 8;
    const std::size_t available = size - header.pixelOffset;
    if (available < lastRowBytes || (available - lastRowBytes) / stride < static_cast<std::size_t>(header.height - 1))
        return SPI_BROKEN_DATA;
    const std::uint8_t* in = data + header.pixelOffset;
    for (std::int32_t row = 0; row < header.height; ++row, in += stride) {
        ConvertRow(in, header, dib.Row(ImageRow(header, row)));
        if (progress.Report(row + 1)) return SPI_ABORT;
    }
    return SPI_SUCCESS;
}

// Run-length encoded 4- and 8-bit images. Pixels that the stream skips
// (deltas, early line ends) keep index 0; runs past the right edge are cut.
class RleDecoder {
public:
    RleDecoder(const std::uint8_t* data, std::size_t size, const BmpHeader& header, spi::Dib& dib,
               spi::Progress& progress)
        : in_(data + header.pixelOffset), end_(data + size), header_(header), dib_(dib), progress_(progress),
          nibbles_(header.compression == kRle4) {}

    int Decode() {
        while (row_ < header_.height) {
            if (end_ - in_ < 2) return SPI_BROKEN_DATA;
            const std::uint8_t count = in_[0];
            const std::uint8_t value = in_[1];
            in_ += 2;
            if (count > 0) {
                Run(count, value);
                continue;
            }
            switch (value) {
            case 0:
                if (NextRow()) return SPI_ABORT;
                break;
            case 1: return SPI_SUCCESS;
            case 2:
                if (end_ - in_ < 2) return SPI_BROKEN_DATA;
                if (Delta(in_[0], in_[1])) return SPI_ABORT;
                in_ += 2;
                break;
            default:
                if (!Literal(value)) return SPI_BROKEN_DATA;
                break;
            }
        }
        return SPI_SUCCESS;
    }

private:
    void Put(std::uint8_t index) {
        if (x_ < header_.width) dib_.Row(ImageRow(header_, row_))[x_] = index;
        ++x_;
    }

    // count pixels of one index, or of two alternating 4-bit indices.
    void Run(int count, std::uint8_t value) {
        const int pixels = std::min<std::int64_t>(count, std::max<std::int64_t>(header_.width - x_, 0));
        for (int i = 0; i < pixels; ++i)
            Put(nibbles_ ? static_cast<std::uint8_t>(i % 2 == 0 ? value >> 4 : value & 0x0F) : value);
        x_ += count - pixels;
    }

    // count pixels stored as they are, padded to an even number of bytes.
    bool Literal(int count) {
        const std::size_t bytes = nibbles_ ? (static_cast<std::size_t>(count) + 1) / 2 : static_cast<std::size_t>(count);
        const std::size_t padded = bytes + (bytes & 1);
        if (static_cast<std::size_t>(end_ - in_) < bytes) return false;
        for (int i = 0; i < count; ++i)
            Put(nibbles_ ? static_cast<std::uint8_t>(i % 2 == 0 ? in_[i / 2] >> 4 : in_[i / 2] & 0x0F) : in_[i]);
        in_ += std::min(padded, static_cast<std::size_t>(end_ - in_));
        return true;
    }

    // True when the host asked to stop.
    bool NextRow() {
        ++row_;
        x_ = 0;
        return progress_.Report(std::min(row_, header_.height));
    }

    bool Delta(int right, int down) {
        x_ += right;
        for (int i = 0; i < down; ++i)
            if (NextRow()) return true;
        return false;
    }

    const std::uint8_t* in_;
    const std::uint8_t* end_;
    const BmpHeader& header_;
    spi::Dib& dib_;
    spi::Progress& progress_;
    bool nibbles_;
    std::int32_t row_ = 0;
    std::int64_t x_ = 0;
};

}  // namespace

int DecodeBmp(const std::uint8_t* data, std::size_t size, const BmpHeader& header, spi::Dib& dib,
              spi::Progress& progress) {
    const int paletteSize = header.HasPalette() ? 1 << header.bitCount : 0;
    if (const int code = dib.Allocate(header.width, header.height, paletteSize ? 8 : 24, paletteSize);
        code != SPI_SUCCESS)
        return code;
    if (header.HasPalette()) CopyPalette(data, header, dib);
    dib.SetDensity(header.dpiX, header.dpiY);
    if (progress.Report(0)) return SPI_ABORT;
    if (header.compression == kRle8 || header.compression == kRle4)
        return RleDecoder(data, size, header, dib, progress).Decode();
    return DecodeUncompressed(data, size, header, dib, progress);
}

}  // namespace ifbmp
