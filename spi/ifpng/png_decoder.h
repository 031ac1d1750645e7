#pragma once

#include <cstddef>
#include <cstdint>

#include "png_header.h"
#include "spi_common.h"

namespace ifpng {

// Decodes the PNG file in data into dib: palette images keep their palette
// (8 bits, transparent entries composited over white), grey images become
// 8 bits with a grey palette and colour images 24 bits, alpha composited
// over white. Returns a result code.
int DecodePng(const std::uint8_t* data, std::size_t size, const PngHeader& header, spi::Dib& dib,
              SPI_PROGRESS callback, std::intptr_t callbackData);

}  // namespace ifpng
