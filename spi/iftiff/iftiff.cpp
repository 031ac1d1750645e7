// The bundled TIFF plug-in.

#include "spi.h"
#include "spi_common.h"
#include "tiff_decoder.h"

namespace {

constexpr spi::PluginTexts kTexts{
    "TIFF image plug-in (libtiff): strips and tiles, first page",
    "*.tif;*.tiff",
    "TIFF",
};

const unsigned char* Bytes(const char* buf) { return reinterpret_cast<const unsigned char*>(buf); }

}  // namespace

extern "C" {

SPI_EXPORT int GetPluginInfo(int infono, char* buf, int buflen) {
    return spi::PluginInfo(kTexts, infono, buf, buflen);
}

SPI_EXPORT int IsSupported(const char*, intptr_t dw) {
    return dw != 0 && iftiff::HasTiffSignature(reinterpret_cast<const unsigned char*>(dw));
}

SPI_EXPORT int GetPictureInfo(const char* buf, int32_t len, uint32_t flag, PictureInfo* lpInfo) {
    if (lpInfo == nullptr) return SPI_INTERNAL_ERROR;
    if (!spi::IsMemoryInput(buf, len, flag)) return SPI_NOT_IMPLEMENTED;
    return iftiff::ReadPictureInfo(Bytes(buf), static_cast<std::size_t>(len), *lpInfo);
}

SPI_EXPORT int GetPicture(const char* buf, int32_t len, uint32_t flag, HLOCAL* pHBInfo,
                          HLOCAL* pHBm, SPI_PROGRESS lpPrgressCallback, intptr_t lData) {
    if (pHBInfo == nullptr || pHBm == nullptr) return SPI_INTERNAL_ERROR;
    *pHBInfo = nullptr;
    *pHBm = nullptr;
    if (!spi::IsMemoryInput(buf, len, flag)) return SPI_NOT_IMPLEMENTED;
    return iftiff::DecodePicture(Bytes(buf), static_cast<std::size_t>(len), lpPrgressCallback, lData,
                                 pHBInfo, pHBm);
}

}  // extern "C"
