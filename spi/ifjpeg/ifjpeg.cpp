// The bundled JPEG plug-in.

#include "jpeg_decoder.h"
#include "spi_exports.h"

namespace {

int Decode(const std::uint8_t* data, std::size_t size, SPI_PROGRESS callback, std::intptr_t callbackData,
           HLOCAL* info, HLOCAL* bits) {
    spi::Progress progress(callback, callbackData, 1000);
    return ifjpeg::DecodePicture(data, size, progress, info, bits);
}

const spi::Format kFormat{
    {"JPEG image plug-in (libjpeg-turbo): baseline, progressive, greyscale, CMYK",
     "*.jpg;*.jpeg;*.jpe;*.jfif", "JPEG"},
    ifjpeg::HasJpegSignature, ifjpeg::ReadPictureInfo, Decode};

}  // namespace

SPI_PLUGIN_EXPORTS(kFormat)
