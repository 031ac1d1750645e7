#pragma once

// WebP decoding for the plug-in: lossy and lossless, transparency over
// white, fed to libwebp's incremental decoder in slices so that progress
// is reported and a stop request is honoured while it runs.

#include <cstddef>

#include "spi_common.h"

namespace ifwebp {

// True for a RIFF container holding WebP.
bool HasWebpSignature(const unsigned char* data);

int ReadPictureInfo(const unsigned char* data, std::size_t size, PictureInfo& info);

int DecodePicture(const unsigned char* data, std::size_t size, SPI_PROGRESS callback, intptr_t callbackData,
                  HLOCAL* info, HLOCAL* bits);

}  // namespace ifwebp
