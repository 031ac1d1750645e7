#pragma once

// TIFF decoding for the plug-in: the first page, stripped or tiled, into a
// bottom-up bitmap. Palette and grey images become 8-bit bitmaps with a
// palette, everything else 24-bit BGR with transparency over white.

#include <cstddef>

#include "spi_common.h"

namespace iftiff {

// True for the byte-order mark and version of classic and big TIFF.
bool HasTiffSignature(const unsigned char* data);

int ReadPictureInfo(const unsigned char* data, std::size_t size, PictureInfo& info);

int DecodePicture(const unsigned char* data, std::size_t size, SPI_PROGRESS callback, intptr_t callbackData,
                  HLOCAL* info, HLOCAL* bits);

}  // namespace iftiff
