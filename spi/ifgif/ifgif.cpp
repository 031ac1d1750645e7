// The GIF plug-in: the first image of a file, transparency shown as white.

#include "gif_reader.h"
#include "spi_exports.h"

namespace {

int ReadInfo(const std::uint8_t* data, std::size_t size, PictureInfo& info) {
    ifgif::GifReader reader(data, size);
    ifgif::GifLayout layout;
    if (const int code = reader.ReadLayout(layout); code != SPI_SUCCESS) return code;
    // GIF records only an aspect ratio, never a density.
    info = PictureInfo{0, 0, layout.canvasWidth, layout.canvasHeight, 0, 0,
                       static_cast<std::int16_t>(layout.colourBits), 0};
    return SPI_SUCCESS;
}

int Decode(const std::uint8_t* data, std::size_t size, SPI_PROGRESS callback, std::intptr_t callbackData,
           HLOCAL* info, HLOCAL* bits) {
    ifgif::GifReader reader(data, size);
    ifgif::GifLayout layout;
    if (const int code = reader.ReadLayout(layout); code != SPI_SUCCESS) return code;
    spi::Dib dib;
    spi::Progress progress(callback, callbackData, layout.height);
    const int code = reader.Decode(layout, dib, progress);
    if (code == SPI_SUCCESS) dib.Release(info, bits);
    return code;
}

const spi::Format kFormat{{"Kelvandor GIF plug-in (giflib, first image)", "*.gif", "GIF"},
                          ifgif::HasGifSignature, ReadInfo, Decode};

}  // namespace

SPI_PLUGIN_EXPORTS(kFormat)
