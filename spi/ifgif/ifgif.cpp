// The GIF plug-in: the first image of a file, transparency shown as white.

#include "gif_reader.h"
#include "spi_common.h"

namespace {

const spi::PluginTexts kTexts{"Kelvandor GIF plug-in (giflib, first image)", "*.gif", "GIF"};

const std::uint8_t* Bytes(const char* buf) { return reinterpret_cast<const std::uint8_t*>(buf); }

}  // namespace

extern "C" {

SPI_EXPORT int GetPluginInfo(int infono, char* buf, int buflen) {
    return spi::PluginInfo(kTexts, infono, buf, buflen);
}

SPI_EXPORT int IsSupported(const char* /*filename*/, intptr_t dw) {
    return dw != 0 && ifgif::HasGifSignature(reinterpret_cast<const std::uint8_t*>(dw));
}

SPI_EXPORT int GetPictureInfo(const char* buf, int32_t len, uint32_t flag, PictureInfo* lpInfo) {
    if (!spi::IsMemoryInput(buf, len, flag) || lpInfo == nullptr) return SPI_NOT_IMPLEMENTED;
    ifgif::GifReader reader(Bytes(buf), static_cast<std::size_t>(len));
    ifgif::GifLayout layout;
    if (const int code = reader.ReadLayout(layout); code != SPI_SUCCESS) return code;
    // GIF records only an aspect ratio, never a density.
    *lpInfo = PictureInfo{0, 0, layout.canvasWidth, layout.canvasHeight, 0, 0,
                          static_cast<std::int16_t>(layout.colourBits), 0};
    return SPI_SUCCESS;
}

SPI_EXPORT int GetPicture(const char* buf, int32_t len, uint32_t flag, HLOCAL* pHBInfo, HLOCAL* pHBm,
                          SPI_PROGRESS lpPrgressCallback, intptr_t lData) {
    if (pHBInfo == nullptr || pHBm == nullptr) return SPI_NOT_IMPLEMENTED;
    *pHBInfo = nullptr;
    *pHBm = nullptr;
    if (!spi::IsMemoryInput(buf, len, flag)) return SPI_NOT_IMPLEMENTED;
    ifgif::GifReader reader(Bytes(buf), static_cast<std::size_t>(len));
    ifgif::GifLayout layout;
    if (const int code = reader.ReadLayout(layout); code != SPI_SUCCESS) return code;
    spi::Dib dib;
    spi::Progress progress(lpPrgressCallback, lData, layout.height);
    const int code = reader.Decode(layout, dib, progress);
    if (code == SPI_SUCCESS) dib.Release(pHBInfo, pHBm);
    return code;
}

}  // extern "C"
