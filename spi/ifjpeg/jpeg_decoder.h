#pragma once

// JPEG decoding for the plug-in through the libjpeg API: rows are written
// straight into the result bitmap, progress and stop requests are served
// from libjpeg's progress monitor.

#include <cstdint>

#include "spi_common.h"

namespace ifjpeg {

// True when data starts with a JPEG start-of-image marker.
bool HasJpegSignature(const unsigned char* data);

// Reads the header of the JPEG in data. Returns a result code.
int ReadPictureInfo(const unsigned char* data, std::size_t size, PictureInfo& info);

// Decodes the JPEG in data into a bottom-up bitmap: 8 bits with a grey
// palette for greyscale images, 24 bits otherwise. Returns a result code;
// on success both handles are set.
int DecodePicture(const unsigned char* data, std::size_t size, spi::Progress& progress,
                  HLOCAL* info, HLOCAL* bits);

}  // namespace ifjpeg
