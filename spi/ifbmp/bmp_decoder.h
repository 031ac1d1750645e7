#pragma once

#include <cstddef>
#include <cstdint>

#include "bmp_header.h"
#include "spi_common.h"

namespace ifbmp {

// Decodes the pixels described by header (from ParseBmpHeader) into a new
// bitmap: 8 bits with the file's palette for palette images, 24 bits for
// the others, alpha composited over white. Returns a result code; on
// SPI_SUCCESS dib holds the image.
int DecodeBmp(const std::uint8_t* data, std::size_t size, const BmpHeader& header, spi::Dib& dib,
              spi::Progress& progress);

}  // namespace ifbmp
