#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "spi.h"

// Read access to the pixels of a decoded device-independent bitmap as the
// plug-ins return it: the rows stay where the plug-in put them and every
// pixel is converted only when it is read. Pixels come out as 0xFFRRGGBB.
class TDibView {
public:
    enum class TPixelFormat { Index1, Index4, Index8, Masked16, Bgr24, Bgrx32, Masked32 };

    // Null when the header describes a layout this view cannot read
    // (compressed rows, an unusual bit count, an empty size). The blocks
    // must hold what the header claims (BlocksHoldBitmap).
    static std::unique_ptr<TDibView> Create(const SPI_BITMAPINFOHEADER* header,
                                            const std::uint8_t* bits);

    // Whether blocks of these sizes hold the bitmap that the information
    // block describes, so that reading it stays inside them: a header
    // size of the BITMAPINFOHEADER family (40 to 124 bytes) inside the
    // block, a colour table of at most 2^bits entries and the bit-field
    // masks inside the block, all rows inside the pixel block. A plug-in
    // that gets this wrong would otherwise make the view read past its
    // blocks.
    static bool BlocksHoldBitmap(const std::uint8_t* info, std::size_t infoBytes, std::size_t bitsBytes);

    int Width() const { return width_; }
    int Height() const { return height_; }
    TPixelFormat Format() const { return format_; }
    std::size_t Stride() const { return stride_; }
    // Bytes of all pixel rows.
    std::size_t ImageBytes() const { return stride_ * static_cast<std::size_t>(height_); }

    // Row y of the image, counted from the top whatever the storage order.
    const std::uint8_t* Row(int y) const {
        const int stored = bottomUp_ ? height_ - 1 - y : y;
        return bits_ + static_cast<std::size_t>(stored) * stride_;
    }

    // Colour of an entry of the colour table (black past its end).
    std::uint32_t PaletteColor(unsigned index) const { return palette_[index & 0xFF]; }
    // Colour of a 16-bit pixel value.
    std::uint32_t Color16(unsigned value) const { return colors16_[value & 0xFFFF]; }
    std::uint32_t Color32(std::uint32_t value) const;

    // Decodes count pixels of row y from column x on.
    void ReadRow(int y, int x, int count, std::uint32_t* out) const;

private:
    struct TChannel {
        std::uint32_t mask = 0;
        int shift = 0;
        std::uint32_t maximum = 0;  // mask >> shift
        std::uint32_t Extract(std::uint32_t value) const;
    };

    TDibView() = default;
    bool ReadLayout(const SPI_BITMAPINFOHEADER* header);
    void ReadPalette(const SPI_BITMAPINFOHEADER* header);
    void ReadMasks(const SPI_BITMAPINFOHEADER* header);

    const std::uint8_t* bits_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    bool bottomUp_ = true;
    std::size_t stride_ = 0;
    TPixelFormat format_ = TPixelFormat::Bgr24;
    std::array<std::uint32_t, 256> palette_{};
    std::array<TChannel, 3> channels_{};  // red, green, blue
    std::vector<std::uint32_t> colors16_;
};

// Per-format pixel readers for the inner loops of the stretchers: one
// dispatch per drawing, not per pixel.
namespace dib_pixel {

struct TIndex1 {
    static std::uint32_t Get(const TDibView& dib, const std::uint8_t* row, int x) {
        return dib.PaletteColor((row[x >> 3] >> (7 - (x & 7))) & 1u);
    }
};
struct TIndex4 {
    static std::uint32_t Get(const TDibView& dib, const std::uint8_t* row, int x) {
        return dib.PaletteColor((x & 1) ? row[x >> 1] & 0x0Fu : row[x >> 1] >> 4);
    }
};
struct TIndex8 {
    static std::uint32_t Get(const TDibView& dib, const std::uint8_t* row, int x) {
        return dib.PaletteColor(row[x]);
    }
};
struct TMasked16 {
    static std::uint32_t Get(const TDibView& dib, const std::uint8_t* row, int x) {
        const std::uint8_t* p = row + 2 * static_cast<std::size_t>(x);
        return dib.Color16(p[0] | (p[1] << 8));
    }
};
struct TBgr24 {
    static std::uint32_t Get(const TDibView&, const std::uint8_t* row, int x) {
        const std::uint8_t* p = row + 3 * static_cast<std::size_t>(x);
        return 0xFF000000u | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[1]) << 8) | p[0];
    }
};
struct TBgrx32 {
    static std::uint32_t Get(const TDibView&, const std::uint8_t* row, int x) {
        const std::uint8_t* p = row + 4 * static_cast<std::size_t>(x);
        return 0xFF000000u | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[1]) << 8) | p[0];
    }
};
struct TMasked32 {
    static std::uint32_t Get(const TDibView& dib, const std::uint8_t* row, int x) {
        const std::uint8_t* p = row + 4 * static_cast<std::size_t>(x);
        return dib.Color32(p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24));
    }
};

// Calls visit(reader) with the reader type of the view's format.
template <class Visit>
decltype(auto) VisitFormat(const TDibView& dib, Visit&& visit) {
    using F = TDibView::TPixelFormat;
    switch (dib.Format()) {
    case F::Index1: return visit(TIndex1{});
    case F::Index4: return visit(TIndex4{});
    case F::Index8: return visit(TIndex8{});
    case F::Masked16: return visit(TMasked16{});
    case F::Bgr24: return visit(TBgr24{});
    case F::Bgrx32: return visit(TBgrx32{});
    case F::Masked32: break;
    }
    return visit(TMasked32{});
}

}  // namespace dib_pixel
