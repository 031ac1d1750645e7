#include "spi_common.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace spi {

int PluginInfo(const PluginTexts& texts, int infono, char* buf, int buflen) {
    const char* text = nullptr;
    switch (infono) {
    case SPI_INFO_API_VERSION: text = SPI_API_VERSION; break;
    case SPI_INFO_DESCRIPTION: text = texts.description; break;
    case SPI_INFO_PATTERN: text = texts.pattern; break;
    case SPI_INFO_FORMAT_NAME: text = texts.formatName; break;
    default: return 0;
    }
    if (buf == nullptr || buflen <= 0 || text == nullptr) return 0;
    const std::size_t length = std::min(std::strlen(text), static_cast<std::size_t>(buflen - 1));
    std::memcpy(buf, text, length);
    buf[length] = '\0';
    return static_cast<int>(length);
}

std::uint16_t DpiFromPixelsPerMetre(double pixelsPerMetre) {
    if (!(pixelsPerMetre > 0)) return 0;
    const double dpi = std::round(pixelsPerMetre * 0.0254);
    return dpi > 65535 ? 65535 : static_cast<std::uint16_t>(dpi);
}

std::int32_t PixelsPerMetreFromDpi(double dpi) {
    return dpi > 0 ? static_cast<std::int32_t>(std::lround(dpi / 0.0254)) : 0;
}

Dib::~Dib() {
    LocalFree(infoBlock_);
    LocalFree(bitsBlock_);
}

int Dib::Allocate(std::int32_t width, std::int32_t height, int bitCount, int paletteSize) {
    return AllocateWithRoom(width, height, bitCount, paletteSize, 0);
}

int Dib::AllocateWithRoom(std::int32_t width, std::int32_t height, int bitCount, int paletteSize,
                          std::size_t pixelBlockBytes) {
    if (width <= 0 || height <= 0 || width > kMaxDimension || height > kMaxDimension)
        return SPI_NO_MEMORY;
    if ((bitCount != 8 && bitCount != 24) || paletteSize < 0 || paletteSize > 256 ||
        (bitCount == 8 && paletteSize == 0))
        return SPI_INTERNAL_ERROR;
    const std::size_t stride = SPI_DibStride(width, bitCount);
    if (stride > kMaxPixelBytes / static_cast<std::size_t>(height)) return SPI_NO_MEMORY;
    if (pixelBlockBytes > 2 * kMaxPixelBytes) return SPI_NO_MEMORY;
    const std::size_t blockBytes = std::max(stride * static_cast<std::size_t>(height), pixelBlockBytes);

    infoBlock_ = LocalAlloc(LHND, sizeof(SPI_BITMAPINFOHEADER) + paletteSize * sizeof(SPI_RGBQUAD));
    bitsBlock_ = LocalAlloc(LHND, blockBytes);
    if (infoBlock_ == nullptr || bitsBlock_ == nullptr) {
        infoBlock_ = LocalFree(infoBlock_);
        bitsBlock_ = LocalFree(bitsBlock_);
        return SPI_NO_MEMORY;
    }
    header_ = static_cast<SPI_BITMAPINFOHEADER*>(LocalLock(infoBlock_));
    palette_ = reinterpret_cast<SPI_RGBQUAD*>(header_ + 1);
    bits_ = static_cast<std::uint8_t*>(LocalLock(bitsBlock_));
    width_ = width;
    height_ = height;
    stride_ = stride;
    blockBytes_ = blockBytes;

    header_->biSize = sizeof(SPI_BITMAPINFOHEADER);
    header_->biWidth = width;
    header_->biHeight = height;
    header_->biPlanes = 1;
    header_->biBitCount = static_cast<std::uint16_t>(bitCount);
    header_->biCompression = SPI_BI_RGB;
    header_->biSizeImage = static_cast<std::uint32_t>(stride * static_cast<std::size_t>(height));
    header_->biClrUsed = static_cast<std::uint32_t>(paletteSize);
    return SPI_SUCCESS;
}

void Dib::SetPaletteEntry(int index, std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    palette_[index] = SPI_RGBQUAD{blue, green, red, 0};
}

void Dib::SetGreyPalette() {
    const int size = static_cast<int>(header_->biClrUsed);
    for (int i = 0; i < size; ++i) {
        const auto level = static_cast<std::uint8_t>(size > 1 ? i * 255 / (size - 1) : 0);
        SetPaletteEntry(i, level, level, level);
    }
}

void Dib::SetDensity(std::uint16_t dpiX, std::uint16_t dpiY) {
    header_->biXPelsPerMeter = PixelsPerMetreFromDpi(dpiX);
    header_->biYPelsPerMeter = PixelsPerMetreFromDpi(dpiY);
}

void Dib::Release(HLOCAL* info, HLOCAL* bits) {
    // Blocks live on the C heap (spi.h), so room asked for with
    // AllocateWithRoom can be given back with realloc.
    const std::size_t imageBytes = stride_ * static_cast<std::size_t>(height_);
    if (blockBytes_ > imageBytes) {
        if (void* trimmed = std::realloc(bitsBlock_, imageBytes)) bitsBlock_ = trimmed;
        blockBytes_ = imageBytes;
    }
    LocalUnlock(infoBlock_);
    LocalUnlock(bitsBlock_);
    *info = infoBlock_;
    *bits = bitsBlock_;
    infoBlock_ = nullptr;
    bitsBlock_ = nullptr;
    header_ = nullptr;
    palette_ = nullptr;
    bits_ = nullptr;
}

bool Progress::Report(int done) {
    if (stopped_) return true;
    if (callback_ == nullptr) return false;
    const int percent = static_cast<int>(static_cast<std::int64_t>(done) * 100 / total_);
    if (percent == lastPercent_) return false;
    lastPercent_ = percent;
    stopped_ = callback_(done, total_, data_) != 0;
    return stopped_;
}

}  // namespace spi
