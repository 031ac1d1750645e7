// The PNG plug-in: every colour type and bit depth, interlaced or not,
// transparency composited over white.

#include "png_decoder.h"
#include "png_header.h"
#include "spi_common.h"

namespace {

const spi::PluginTexts kTexts{"Kelvandor PNG plug-in (libpng)", "*.png", "PNG"};

const std::uint8_t* Bytes(const char* buf) { return reinterpret_cast<const std::uint8_t*>(buf); }

}  // namespace

extern "C" {

SPI_EXPORT int GetPluginInfo(int infono, char* buf, int buflen) {
    return spi::PluginInfo(kTexts, infono, buf, buflen);
}

SPI_EXPORT int IsSupported(const char* /*filename*/, intptr_t dw) {
    return dw != 0 && ifpng::HasPngSignature(reinterpret_cast<const std::uint8_t*>(dw));
}

SPI_EXPORT int GetPictureInfo(const char* buf, int32_t len, uint32_t flag, PictureInfo* lpInfo) {
    if (!spi::IsMemoryInput(buf, len, flag) || lpInfo == nullptr) return SPI_NOT_IMPLEMENTED;
    ifpng::PngHeader header;
    const int code = ifpng::ReadPngHeader(Bytes(buf), static_cast<std::size_t>(len), header);
    if (code != SPI_SUCCESS) return code;
    *lpInfo = PictureInfo{0, 0, header.width, header.height, header.dpiX, header.dpiY,
                          static_cast<std::int16_t>(header.bitsPerPixel), 0};
    return SPI_SUCCESS;
}

SPI_EXPORT int GetPicture(const char* buf, int32_t len, uint32_t flag, HLOCAL* pHBInfo, HLOCAL* pHBm,
                          SPI_PROGRESS lpPrgressCallback, intptr_t lData) {
    if (pHBInfo == nullptr || pHBm == nullptr) return SPI_NOT_IMPLEMENTED;
    *pHBInfo = nullptr;
    *pHBm = nullptr;
    if (!spi::IsMemoryInput(buf, len, flag)) return SPI_NOT_IMPLEMENTED;
    ifpng::PngHeader header;
    if (const int code = ifpng::ReadPngHeader(Bytes(buf), static_cast<std::size_t>(len), header);
        code != SPI_SUCCESS)
        return code;
    spi::Dib dib;
    const int code =
        ifpng::DecodePng(Bytes(buf), static_cast<std::size_t>(len), header, dib, lpPrgressCallback, lData);
    if (code == SPI_SUCCESS) dib.Release(pHBInfo, pHBm);
    return code;
}

}  // extern "C"
