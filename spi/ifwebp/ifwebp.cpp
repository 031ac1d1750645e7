// The bundled WebP plug-in.

#include "spi.h"
#include "spi_common.h"
#include "webp_decoder.h"

namespace {

constexpr spi::PluginTexts kTexts{
    "WebP image plug-in (libwebp): lossy, lossless, transparency",
    "*.webp",
    "WebP",
};

const unsigned char* Bytes(const char* buf) { return reinterpret_cast<const unsigned char*>(buf); }

}  // namespace

extern "C" {

SPI_EXPORT int GetPluginInfo(int infono, char* buf, int buflen) {
    return spi::PluginInfo(kTexts, infono, buf, buflen);
}

SPI_EXPORT int IsSupported(const char*, intptr_t dw) {
    return dw != 0 && ifwebp::HasWebpSignature(reinterpret_cast<const unsigned char*>(dw));
}

SPI_EXPORT int GetPictureInfo(const char* buf, int32_t len, uint32_t flag, PictureInfo* lpInfo) {
    if (lpInfo == nullptr) return SPI_INTERNAL_ERROR;
    if (!spi::IsMemoryInput(buf, len, flag)) return SPI_NOT_IMPLEMENTED;
    return ifwebp::ReadPictureInfo(Bytes(buf), static_cast<std::size_t>(len), *lpInfo);
}

SPI_EXPORT int GetPicture(const char* buf, int32_t len, uint32_t flag, HLOCAL* pHBInfo,
                          HLOCAL* pHBm, SPI_PROGRESS lpPrgressCallback, intptr_t lData) {
    if (pHBInfo == nullptr || pHBm == nullptr) return SPI_INTERNAL_ERROR;
    *pHBInfo = nullptr;
    *pHBm = nullptr;
    if (!spi::IsMemoryInput(buf, len, flag)) return SPI_NOT_IMPLEMENTED;
    return ifwebp::DecodePicture(Bytes(buf), static_cast<std::size_t>(len), lpPrgressCallback, lData,
                                 pHBInfo, pHBm);
}

}  // extern "C"
