#include "gif_reader.h"

#include <algorithm>
#include <utility>
#include <cstring>

namespace ifgif {

namespace {

constexpr int kPaletteSize = 256;

// Rows of an interlaced image in the order they are stored: every 8th row
// from 0, every 8th from 4, every 4th from 2, every 2nd from 1.
constexpr int kPassStart[] = {0, 4, 2, 1};
constexpr int kPassStep[] = {8, 8, 4, 2};

void SwapIndices(GifPixelType* line, std::int32_t count, GifPixelType a, GifPixelType b) {
    for (std::int32_t x = 0; x < count; ++x) {
        if (line[x] == a)
            line[x] = b;
        else if (line[x] == b)
            line[x] = a;
    }
}

int WhiteDistance(const GifColorType& colour) { return 3 * 255 - colour.Red - colour.Green - colour.Blue; }

}  // namespace

bool HasGifSignature(const std::uint8_t* data) {
    return std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0;
}

GifReader::GifReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

GifReader::~GifReader() {
    if (gif_ != nullptr) DGifCloseFile(gif_, nullptr);
}

int GifReader::Read(GifFileType* gif, GifByteType* out, int length) {
    auto* reader = static_cast<GifReader*>(gif->UserData);
    const std::size_t count = std::min(static_cast<std::size_t>(std::max(length, 0)), reader->size_ - reader->at_);
    std::memcpy(out, reader->data_ + reader->at_, count);
    reader->at_ += count;
    return static_cast<int>(count);
}

int GifReader::FailureCode() const {
    const int error = gif_ != nullptr ? gif_->Error : error_;
    switch (error) {
    case D_GIF_ERR_NOT_GIF_FILE: return SPI_UNKNOWN_FORMAT;
    case D_GIF_ERR_NOT_ENOUGH_MEM: return SPI_NO_MEMORY;
    default: return SPI_BROKEN_DATA;
    }
}

// Takes the transparent index from a graphic control extension; skips any
// other extension.
int GifReader::ReadGraphicsControl(GifLayout& layout) {
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif_, &code, &block) == GIF_ERROR) return FailureCode();
    if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr) {
        GraphicsControlBlock control;
        if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK)
            layout.transparentIndex = control.TransparentColor;
    }
    while (block != nullptr)
        if (DGifGetExtensionNext(gif_, &block) == GIF_ERROR) return FailureCode();
    return SPI_SUCCESS;
}

int GifReader::ReadLayout(GifLayout& layout) {
    if (size_ < 6 || !HasGifSignature(data_)) return SPI_UNKNOWN_FORMAT;
    gif_ = DGifOpen(this, Read, &error_);
    if (gif_ == nullptr) return FailureCode();
    layout = GifLayout{};
    for (;;) {
        GifRecordType type;
        if (DGifGetRecordType(gif_, &type) == GIF_ERROR) return FailureCode();
        if (type == TERMINATE_RECORD_TYPE) return SPI_BROKEN_DATA;  // no image at all
        if (type == EXTENSION_RECORD_TYPE) {
            if (const int code = ReadGraphicsControl(layout); code != SPI_SUCCESS) return code;
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE) return SPI_BROKEN_DATA;
        if (DGifGetImageDesc(gif_) == GIF_ERROR) return FailureCode();
        break;
    }
    const GifImageDesc& image = gif_->Image;
    if (image.Width <= 0 || image.Height <= 0 || image.Left < 0 || image.Top < 0) return SPI_BROKEN_DATA;
    layout.left = image.Left;
    layout.top = image.Top;
    layout.width = image.Width;
    layout.height = image.Height;
    layout.interlaced = image.Interlace;
    layout.canvasWidth = std::max(gif_->SWidth, image.Left + image.Width);
    layout.canvasHeight = std::max(gif_->SHeight, image.Top + image.Height);
    const ColorMapObject* map = ColourMap();
    layout.colourBits = map != nullptr ? map->BitsPerPixel : 8;
    return SPI_SUCCESS;
}

const ColorMapObject* GifReader::ColourMap() const {
    return gif_->Image.ColorMap != nullptr ? gif_->Image.ColorMap : gif_->SColorMap;
}

// Copies the colour table (a grey ramp when the file has none), turns the
// transparent entry white and returns the entry that paints the canvas
// outside the image: the transparent one, a spare one made white, or the
// entry closest to white.
int GifReader::SetPalette(const GifLayout& layout, spi::Dib& dib) const {
    const ColorMapObject* map = ColourMap();
    const int count = map != nullptr ? std::min(map->ColorCount, kPaletteSize) : 0;
    if (map == nullptr) dib.SetGreyPalette();
    for (int i = 0; i < count; ++i)
        dib.SetPaletteEntry(i, map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue);
    if (layout.transparentIndex >= 0 && layout.transparentIndex < kPaletteSize) {
        dib.SetPaletteEntry(layout.transparentIndex, 255, 255, 255);
        return layout.transparentIndex;
    }
    if (map == nullptr) return kPaletteSize - 1;
    if (count < kPaletteSize) {
        dib.SetPaletteEntry(count, 255, 255, 255);
        return count;
    }
    int whitest = 0;
    for (int i = 1; i < count; ++i)
        if (WhiteDistance(map->Colors[i]) < WhiteDistance(map->Colors[whitest])) whitest = i;
    return whitest;
}

int GifReader::Decode(const GifLayout& layout, spi::Dib& dib, spi::Progress& progress) {
    if (const int code = dib.Allocate(layout.canvasWidth, layout.canvasHeight, 8, kPaletteSize);
        code != SPI_SUCCESS)
        return code;
    const int background = SetPalette(layout, dib);
    // The bitmap starts zero-filled: with the background colour moved to
    // entry 0 the uncovered canvas needs no writing, however large it is.
    const bool coversCanvas = layout.width == layout.canvasWidth && layout.height == layout.canvasHeight;
    const bool swapped = !coversCanvas && background != 0;
    if (swapped) std::swap(dib.Palette()[0], dib.Palette()[background]);
    if (progress.Report(0)) return SPI_ABORT;

    int done = 0;
    const int passes = layout.interlaced ? 4 : 1;
    for (int pass = 0; pass < passes; ++pass) {
        const int start = layout.interlaced ? kPassStart[pass] : 0;
        const int step = layout.interlaced ? kPassStep[pass] : 1;
        for (std::int32_t row = start; row < layout.height; row += step) {
            GifPixelType* line = dib.Row(layout.top + row) + layout.left;
            if (DGifGetLine(gif_, line, layout.width) == GIF_ERROR) return FailureCode();
            if (swapped) SwapIndices(line, layout.width, 0, static_cast<GifPixelType>(background));
            if (progress.Report(++done)) return SPI_ABORT;
        }
    }
    return SPI_SUCCESS;
}

}  // namespace ifgif
