#include "raster/dib_view.h"

#include <bit>
#include <cstring>

namespace {

std::uint32_t Rgb(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
    return 0xFF000000u | (red << 16) | (green << 8) | blue;
}

std::uint32_t ReadLittle32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24);
}

}  // namespace

namespace {

// BITMAPINFOHEADER and its later, longer forms up to BITMAPV5HEADER.
constexpr std::uint32_t kSmallestHeader = sizeof(SPI_BITMAPINFOHEADER);
constexpr std::uint32_t kLargestHeader = 124;
// The three masks of a bit-field bitmap follow the 40-byte header (and
// sit at the same place inside the longer headers).
constexpr std::size_t kMasksEnd = sizeof(SPI_BITMAPINFOHEADER) + 3 * 4;

// Entries the colour table holds; 0 in the header means all 2^bits.
std::uint64_t PaletteEntries(const SPI_BITMAPINFOHEADER& header) {
    if (header.biBitCount > 8) return 0;
    return header.biClrUsed != 0 ? header.biClrUsed : std::uint64_t(1) << header.biBitCount;
}

}  // namespace

bool TDibView::BlocksHoldBitmap(const std::uint8_t* info, std::size_t infoBytes, std::size_t bitsBytes) {
    if (info == nullptr || infoBytes < kSmallestHeader) return false;
    SPI_BITMAPINFOHEADER header;
    std::memcpy(&header, info, sizeof header);
    if (header.biSize < kSmallestHeader || header.biSize > kLargestHeader || header.biSize > infoBytes)
        return false;
    if (header.biWidth <= 0 || header.biHeight == 0 || header.biHeight == INT32_MIN) return false;
    if (header.biBitCount <= 8 && header.biClrUsed > (1u << header.biBitCount)) return false;
    if (header.biSize + 4 * PaletteEntries(header) > infoBytes) return false;
    if (header.biCompression == SPI_BI_BITFIELDS && kMasksEnd > infoBytes) return false;
    const std::uint64_t stride = SPI_DibStride(header.biWidth, header.biBitCount);
    const std::uint64_t rows = header.biHeight > 0 ? header.biHeight : -std::int64_t(header.biHeight);
    return stride == 0 || rows <= bitsBytes / stride;
}

std::uint32_t TDibView::TChannel::Extract(std::uint32_t value) const {
    if (maximum == 0) return 0;
    const std::uint32_t level = (value & mask) >> shift;
    if (maximum == 255) return level;
    return static_cast<std::uint32_t>((std::uint64_t(level) * 255 + maximum / 2) / maximum);
}

std::unique_ptr<TDibView> TDibView::Create(const SPI_BITMAPINFOHEADER* header,
                                           const std::uint8_t* bits) {
    if (header == nullptr || bits == nullptr) return nullptr;
    std::unique_ptr<TDibView> view(new TDibView());
    view->bits_ = bits;
    if (!view->ReadLayout(header)) return nullptr;
    return view;
}

bool TDibView::ReadLayout(const SPI_BITMAPINFOHEADER* header) {
    if (header->biSize < sizeof(SPI_BITMAPINFOHEADER)) return false;
    if (header->biWidth <= 0 || header->biHeight == 0 || header->biHeight == INT32_MIN) return false;
    width_ = header->biWidth;
    bottomUp_ = header->biHeight > 0;
    height_ = bottomUp_ ? header->biHeight : -header->biHeight;
    stride_ = SPI_DibStride(width_, header->biBitCount);

    const std::uint32_t compression = header->biCompression;
    const bool masked = compression == SPI_BI_BITFIELDS;
    if (compression != SPI_BI_RGB && !masked) return false;
    switch (header->biBitCount) {
    case 1: format_ = TPixelFormat::Index1; break;
    case 4: format_ = TPixelFormat::Index4; break;
    case 8: format_ = TPixelFormat::Index8; break;
    case 16: format_ = TPixelFormat::Masked16; break;
    case 24: format_ = TPixelFormat::Bgr24; break;
    case 32: format_ = masked ? TPixelFormat::Masked32 : TPixelFormat::Bgrx32; break;
    default: return false;
    }
    if (masked && header->biBitCount != 16 && header->biBitCount != 32) return false;

    if (header->biBitCount <= 8) ReadPalette(header);
    if (header->biBitCount == 16 || format_ == TPixelFormat::Masked32) ReadMasks(header);
    if (format_ == TPixelFormat::Masked32 && channels_[0].mask == 0x00FF0000u &&
        channels_[1].mask == 0x0000FF00u && channels_[2].mask == 0x000000FFu)
        format_ = TPixelFormat::Bgrx32;
    if (format_ == TPixelFormat::Masked16) {
        colors16_.resize(65536);
        for (std::uint32_t value = 0; value < 65536; ++value)
            colors16_[value] = Color32(value);
    }
    return true;
}

void TDibView::ReadPalette(const SPI_BITMAPINFOHEADER* header) {
    const std::uint32_t full = 1u << header->biBitCount;
    const std::uint32_t used = header->biClrUsed != 0 && header->biClrUsed < full ? header->biClrUsed : full;
    const auto* table = reinterpret_cast<const std::uint8_t*>(header) + header->biSize;
    for (std::uint32_t i = 0; i < used; ++i) {
        const std::uint8_t* entry = table + 4 * i;
        palette_[i] = Rgb(entry[2], entry[1], entry[0]);
    }
    for (std::uint32_t i = used; i < palette_.size(); ++i) palette_[i] = Rgb(0, 0, 0);
}

void TDibView::ReadMasks(const SPI_BITMAPINFOHEADER* header) {
    std::array<std::uint32_t, 3> masks{};
    if (header->biCompression == SPI_BI_BITFIELDS) {
        // The masks follow a 40-byte header; larger headers hold them at the
        // same offset inside.
        const auto* at = reinterpret_cast<const std::uint8_t*>(header) + sizeof(SPI_BITMAPINFOHEADER);
        for (int i = 0; i < 3; ++i) masks[i] = ReadLittle32(at + 4 * i);
    } else {
        masks = {0x7C00u, 0x03E0u, 0x001Fu};  // 16-bit rows without masks are 5-5-5
    }
    for (int i = 0; i < 3; ++i) {
        TChannel& channel = channels_[i];
        channel.mask = masks[i];
        channel.shift = masks[i] != 0 ? std::countr_zero(masks[i]) : 0;
        channel.maximum = masks[i] >> channel.shift;
    }
}

std::uint32_t TDibView::Color32(std::uint32_t value) const {
    return Rgb(channels_[0].Extract(value), channels_[1].Extract(value), channels_[2].Extract(value));
}

void TDibView::ReadRow(int y, int x, int count, std::uint32_t* out) const {
    const std::uint8_t* row = Row(y);
    dib_pixel::VisitFormat(*this, [&](auto reader) {
        using Reader = decltype(reader);
        for (int i = 0; i < count; ++i) out[i] = Reader::Get(*this, row, x + i);
    });
}
