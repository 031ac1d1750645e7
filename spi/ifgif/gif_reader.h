#pragma once

// The first image of a GIF file, read with giflib from memory.

#include <gif_lib.h>

#include <cstddef>
#include <cstdint>

#include "spi_common.h"

namespace ifgif {

// Where the first image lies on the logical screen, and how it is coloured.
struct GifLayout {
    std::int32_t canvasWidth = 0;  // the logical screen, grown to hold the image
    std::int32_t canvasHeight = 0;
    std::int32_t left = 0;  // the first image on it
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool interlaced = false;
    int transparentIndex = -1;  // -1: none
    int colourBits = 0;         // bits per entry index of the colour table in use
};

bool HasGifSignature(const std::uint8_t* data);

// An open GIF file positioned at the pixels of its first image.
class GifReader {
public:
    GifReader(const std::uint8_t* data, std::size_t size);
    ~GifReader();
    GifReader(const GifReader&) = delete;
    GifReader& operator=(const GifReader&) = delete;

    // Reads up to the first image descriptor. Returns a result code.
    int ReadLayout(GifLayout& layout);
    // Decodes the first image into an 8-bit bitmap of the whole canvas;
    // parts of the canvas that the image leaves out are white, as are its
    // transparent pixels. Needs ReadLayout first.
    int Decode(const GifLayout& layout, spi::Dib& dib, spi::Progress& progress);

private:
    static int Read(GifFileType* gif, GifByteType* out, int length);
    int FailureCode() const;
    int ReadGraphicsControl(GifLayout& layout);
    const ColorMapObject* ColourMap() const;
    int SetPalette(const GifLayout& layout, spi::Dib& dib) const;

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
    int error_ = 0;
    GifFileType* gif_ = nullptr;
};

}  // namespace ifgif
