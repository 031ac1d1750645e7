// The PNG plug-in: every colour type and bit depth, interlaced or not,
// transparency composited over white.

#include "png_decoder.h"
#include "png_header.h"
#include "spi_exports.h"

namespace {

int ReadInfo(const std::uint8_t* data, std::size_t size, PictureInfo& info) {
    ifpng::PngHeader header;
    if (const int code = ifpng::ReadPngHeader(data, size, header); code != SPI_SUCCESS) return code;
    info = PictureInfo{0, 0, header.width, header.height, header.dpiX, header.dpiY,
                       static_cast<std::int16_t>(header.bitsPerPixel), 0};
    return SPI_SUCCESS;
}

int Decode(const std::uint8_t* data, std::size_t size, SPI_PROGRESS callback, std::intptr_t callbackData,
           HLOCAL* info, HLOCAL* bits) {
    ifpng::PngHeader header;
    if (const int code = ifpng::ReadPngHeader(data, size, header); code != SPI_SUCCESS) return code;
    spi::Dib dib;
    const int code = ifpng::DecodePng(data, size, header, dib, callback, callbackData);
    if (code == SPI_SUCCESS) dib.Release(info, bits);
    return code;
}

const spi::Format kFormat{{"Kelvandor PNG plug-in (libpng)", "*.png", "PNG"},
                          ifpng::HasPngSignature, ReadInfo, Decode};

}  // namespace

SPI_PLUGIN_EXPORTS(kFormat)
