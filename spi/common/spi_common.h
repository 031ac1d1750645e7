#pragma once

// Helpers shared by the bundled plug-ins: information strings, the result
// bitmap in its two movable blocks, progress reports and size limits.

#include <cstddef>
#include <cstdint>

#include "spi.h"

namespace spi {

// What a plug-in says about itself through GetPluginInfo.
struct PluginTexts {
    const char* description;  // information number 1
    const char* pattern;      // 2: "*.jpg;*.jpeg;*.jpe"
    const char* formatName;   // 3: "JPEG"
};

// GetPluginInfo for a plug-in with the given texts: copies the text, cut to
// fit, and returns its length; 0 for unknown numbers or no room.
int PluginInfo(const PluginTexts& texts, int infono, char* buf, int buflen);

// Largest pixel block a plug-in allocates. Images beyond it are refused
// with SPI_NO_MEMORY rather than attempted.
constexpr std::size_t kMaxPixelBytes = std::size_t{1} << 30;
// Largest width or height accepted from any header.
constexpr std::int64_t kMaxDimension = 1 << 18;

// Dots per inch from pixels per metre, and back; 0 stays 0.
std::uint16_t DpiFromPixelsPerMetre(double pixelsPerMetre);
std::int32_t PixelsPerMetreFromDpi(double dpi);

// The result bitmap: a block with the BITMAPINFOHEADER and its colour
// table, and a block with the rows bottom-up, padded to four bytes. Frees
// both blocks when it goes unless they were handed over with Release.
class Dib {
public:
    Dib() = default;
    ~Dib();
    Dib(const Dib&) = delete;
    Dib& operator=(const Dib&) = delete;

    // Allocates a zero-filled bitmap of 8 bits with a palette of
    // paletteSize entries (1..256) or of 24 bits (paletteSize 0).
    // Returns SPI_SUCCESS, or SPI_NO_MEMORY for sizes out of bounds or when
    // memory is short.
    int Allocate(std::int32_t width, std::int32_t height, int bitCount, int paletteSize = 0);
    // Like Allocate, with a pixel block of at least pixelBlockBytes (up to
    // twice kMaxPixelBytes): room for a decoder that writes wider pixels
    // first and packs them into the bitmap's rows in place. Release trims
    // the block to the bitmap's size.
    int AllocateWithRoom(std::int32_t width, std::int32_t height, int bitCount, int paletteSize,
                         std::size_t pixelBlockBytes);
    // The start of the pixel block: the bottom row.
    std::uint8_t* PixelBlock() { return bits_; }

    std::int32_t Width() const { return width_; }
    std::int32_t Height() const { return height_; }
    std::size_t Stride() const { return stride_; }

    // Row y counted from the top of the image.
    std::uint8_t* Row(std::int32_t y) {
        return bits_ + static_cast<std::size_t>(height_ - 1 - y) * stride_;
    }
    SPI_RGBQUAD* Palette() { return palette_; }
    void SetPaletteEntry(int index, std::uint8_t red, std::uint8_t green, std::uint8_t blue);
    // A grey ramp over the whole palette: entry i = i * 255 / (size - 1).
    void SetGreyPalette();
    void SetDensity(std::uint16_t dpiX, std::uint16_t dpiY);

    // Hands both blocks to the caller (GetPicture's out parameters).
    void Release(HLOCAL* info, HLOCAL* bits);

private:
    HLOCAL infoBlock_ = nullptr;
    HLOCAL bitsBlock_ = nullptr;
    SPI_BITMAPINFOHEADER* header_ = nullptr;
    SPI_RGBQUAD* palette_ = nullptr;
    std::uint8_t* bits_ = nullptr;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::size_t stride_ = 0;
    std::size_t blockBytes_ = 0;
};

// Reports decode progress to the host's callback when the percentage
// changes (at most about a hundred calls per image), and remembers a stop
// request.
class Progress {
public:
    Progress(SPI_PROGRESS callback, std::intptr_t data, int total)
        : callback_(callback), data_(data), total_(total > 0 ? total : 1) {}

    // Reports done units of total. True when the host asked to stop.
    bool Report(int done);
    bool Stopped() const { return stopped_; }

private:
    SPI_PROGRESS callback_;
    std::intptr_t data_;
    int total_;
    int lastPercent_ = -1;
    bool stopped_ = false;
};

// A colour channel of a pixel with alpha, composited over white.
inline std::uint8_t OverWhite(std::uint8_t channel, std::uint8_t alpha) {
    return static_cast<std::uint8_t>((channel * alpha + 255 * (255 - alpha) + 127) / 255);
}

// The input of the three decoding calls, checked: true when flag asks for
// data in memory and buf/len describe a non-empty block.
inline bool IsMemoryInput(const char* buf, std::int32_t len, std::uint32_t flag) {
    return (flag & SPI_INPUT_MASK) == SPI_INPUT_MEMORY && buf != nullptr && len > 0;
}

}  // namespace spi
