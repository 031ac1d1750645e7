// The BMP plug-in: Windows and OS/2 bitmaps, uncompressed, run-length
// encoded or with colour masks.

#include "bmp_decoder.h"
#include "bmp_header.h"
#include "spi_exports.h"

namespace {

int ReadInfo(const std::uint8_t* data, std::size_t size, PictureInfo& info) {
    ifbmp::BmpHeader header;
    const int code = ifbmp::ParseBmpHeader(data, size, header);
    // An image too large to decode still has a size worth reporting.
    if (code != SPI_SUCCESS && code != SPI_NO_MEMORY) return code;
    info = PictureInfo{0, 0, header.width, header.height, header.dpiX, header.dpiY,
                       static_cast<std::int16_t>(header.bitCount), 0};
    return code;
}

int Decode(const std::uint8_t* data, std::size_t size, SPI_PROGRESS callback, std::intptr_t callbackData,
           HLOCAL* info, HLOCAL* bits) {
    ifbmp::BmpHeader header;
    if (const int code = ifbmp::ParseBmpHeader(data, size, header); code != SPI_SUCCESS) return code;
    spi::Dib dib;
    spi::Progress progress(callback, callbackData, header.height);
    const int code = ifbmp::DecodeBmp(data, size, header, dib, progress);
    if (code == SPI_SUCCESS) dib.Release(info, bits);
    return code;
}

const spi::Format kFormat{
    {"Kelvandor BMP plug-in (Windows/OS/2 bitmap, RLE, bit fields)", "*.bmp;*.dib;*.rle", "BMP"},
    ifbmp::HasBmpSignature, ReadInfo, Decode};

}  // namespace

SPI_PLUGIN_EXPORTS(kFormat)
