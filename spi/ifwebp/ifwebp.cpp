// The bundled WebP plug-in.

#include "spi_exports.h"
#include "webp_decoder.h"

namespace {

const spi::Format kFormat{
    {"WebP image plug-in (libwebp): lossy, lossless, transparency", "*.webp", "WebP"},
    ifwebp::HasWebpSignature, ifwebp::ReadPictureInfo, ifwebp::DecodePicture};

}  // namespace

SPI_PLUGIN_EXPORTS(kFormat)
