// The bundled TIFF plug-in.

#include "spi_exports.h"
#include "tiff_decoder.h"

namespace {

const spi::Format kFormat{
    {"TIFF image plug-in (libtiff): strips and tiles, first page", "*.tif;*.tiff", "TIFF"},
    iftiff::HasTiffSignature, iftiff::ReadPictureInfo, iftiff::DecodePicture};

}  // namespace

SPI_PLUGIN_EXPORTS(kFormat)
