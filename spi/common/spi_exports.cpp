#include "spi_exports.h"

namespace spi {
namespace {

const std::uint8_t* Bytes(const char* buf) { return reinterpret_cast<const std::uint8_t*>(buf); }

}  // namespace

int ExportGetPluginInfo(const Format& format, int infono, char* buf, int buflen) {
    return PluginInfo(format.texts, infono, buf, buflen);
}

int ExportIsSupported(const Format& format, std::intptr_t dw) {
    return dw != 0 && format.HasSignature(reinterpret_cast<const std::uint8_t*>(dw));
}

int ExportGetPictureInfo(const Format& format, const char* buf, std::int32_t len, std::uint32_t flag,
                         PictureInfo* lpInfo) {
    if (lpInfo == nullptr) return SPI_INTERNAL_ERROR;
    if (!IsMemoryInput(buf, len, flag)) return SPI_NOT_IMPLEMENTED;
    return format.ReadInfo(Bytes(buf), static_cast<std::size_t>(len), *lpInfo);
}

int ExportGetPicture(const Format& format, const char* buf, std::int32_t len, std::uint32_t flag,
                     HLOCAL* pHBInfo, HLOCAL* pHBm, SPI_PROGRESS lpPrgressCallback, std::intptr_t lData) {
    if (pHBInfo == nullptr || pHBm == nullptr) return SPI_INTERNAL_ERROR;
    *pHBInfo = nullptr;
    *pHBm = nullptr;
    if (!IsMemoryInput(buf, len, flag)) return SPI_NOT_IMPLEMENTED;
    return format.Decode(Bytes(buf), static_cast<std::size_t>(len), lpPrgressCallback, lData, pHBInfo, pHBm);
}

}  // namespace spi
