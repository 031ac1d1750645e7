// The BMP plug-in: Windows and OS/2 bitmaps, uncompressed, run-length
// encoded or with colour masks.

#include "bmp_decoder.h"
#include "bmp_header.h"
#include "spi_common.h"

namespace {

const spi::PluginTexts kTexts{"Kelvandor BMP plug-in (Windows/OS/2 bitmap, RLE, bit fields)", "*.bmp;*.dib;*.rle",
                              "BMP"};

const std::uint8_t* Bytes(const char* buf) { return reinterpret_cast<const std::uint8_t*>(buf); }

}  // namespace

extern "C" {

SPI_EXPORT int GetPluginInfo(int infono, char* buf, int buflen) {
    return spi::PluginInfo(kTexts, infono, buf, buflen);
}

SPI_EXPORT int IsSupported(const char* /*filename*/, intptr_t dw) {
    return dw != 0 && ifbmp::HasBmpSignature(reinterpret_cast<const std::uint8_t*>(dw));
}

SPI_EXPORT int GetPictureInfo(const char* buf, int32_t len, uint32_t flag, PictureInfo* lpInfo) {
    if (!spi::IsMemoryInput(buf, len, flag) || lpInfo == nullptr) return SPI_NOT_IMPLEMENTED;
    ifbmp::BmpHeader header;
    const int code = ifbmp::ParseBmpHeader(Bytes(buf), static_cast<std::size_t>(len), header);
    if (code != SPI_SUCCESS && code != SPI_NO_MEMORY) return code;
    *lpInfo = PictureInfo{0, 0, header.width, header.height, header.dpiX, header.dpiY,
                          static_cast<std::int16_t>(header.bitCount), 0};
    return code;
}

SPI_EXPORT int GetPicture(const char* buf, int32_t len, uint32_t flag, HLOCAL* pHBInfo, HLOCAL* pHBm,
                          SPI_PROGRESS lpPrgressCallback, intptr_t lData) {
    if (pHBInfo == nullptr || pHBm == nullptr) return SPI_NOT_IMPLEMENTED;
    *pHBInfo = nullptr;
    *pHBm = nullptr;
    if (!spi::IsMemoryInput(buf, len, flag)) return SPI_NOT_IMPLEMENTED;
    ifbmp::BmpHeader header;
    if (const int code = ifbmp::ParseBmpHeader(Bytes(buf), static_cast<std::size_t>(len), header);
        code != SPI_SUCCESS)
        return code;
    spi::Dib dib;
    spi::Progress progress(lpPrgressCallback, lData, header.height);
    const int code = ifbmp::DecodeBmp(Bytes(buf), static_cast<std::size_t>(len), header, dib, progress);
    if (code == SPI_SUCCESS) dib.Release(pHBInfo, pHBm);
    return code;
}

}  // extern "C"
