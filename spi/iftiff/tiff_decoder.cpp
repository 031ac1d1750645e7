#include "tiff_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "tiff_file.h"

namespace iftiff {
namespace {

// Row and tile buffers this plug-in allocates besides the bitmap.
constexpr std::uint64_t kMaxBufferBytes = std::uint64_t{256} << 20;
// Samples per pixel read by this plug-in's own row converters.
constexpr std::uint16_t kMaxOwnSamples = 8;

// How the pixels of a page reach the bitmap.
enum class Kind {
    Palette,     // indices into the file's colour map
    Grey,        // grey levels, maybe with alpha
    Rgb,         // red, green, blue, maybe alpha and more samples
    RgbaImage,   // anything else libtiff can turn into RGBA
    Unsupported,
};

struct Layout {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint16_t bitsPerSample = 1;
    std::uint16_t samplesPerPixel = 1;
    std::uint16_t photometric = PHOTOMETRIC_MINISBLACK;
    std::uint16_t planar = PLANARCONFIG_CONTIG;
    std::uint16_t sampleFormat = SAMPLEFORMAT_UINT;
    std::uint16_t compression = COMPRESSION_NONE;
    bool hasAlpha = false;
    bool associatedAlpha = false;
    bool tiled = false;
    std::uint32_t tileWidth = 0;
    std::uint32_t tileHeight = 0;
    std::uint32_t rowsPerStrip = 0;
};

bool ReadLayout(TIFF* tiff, Layout& layout) {
    if (!TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &layout.width) ||
        !TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &layout.height) || layout.width == 0 || layout.height == 0)
        return false;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &layout.bitsPerSample);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &layout.samplesPerPixel);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &layout.planar);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &layout.sampleFormat);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &layout.compression);
    if (!TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &layout.photometric))
        layout.photometric = layout.samplesPerPixel >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    std::uint16_t extraCount = 0;
    std::uint16_t* extraKinds = nullptr;
    if (TIFFGetFieldDefaulted(tiff, TIFFTAG_EXTRASAMPLES, &extraCount, &extraKinds) && extraCount > 0) {
        layout.hasAlpha = extraKinds[0] == EXTRASAMPLE_ASSOCALPHA || extraKinds[0] == EXTRASAMPLE_UNASSALPHA;
        layout.associatedAlpha = extraKinds[0] == EXTRASAMPLE_ASSOCALPHA;
    }
    layout.tiled = TIFFIsTiled(tiff) != 0;
    if (layout.tiled) {
        if (!TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &layout.tileWidth) ||
            !TIFFGetField(tiff, TIFFTAG_TILELENGTH, &layout.tileHeight) || layout.tileWidth == 0 ||
            layout.tileHeight == 0)
            return false;
    } else {
        TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &layout.rowsPerStrip);
        layout.rowsPerStrip = std::clamp<std::uint32_t>(layout.rowsPerStrip, 1, layout.height);
    }
    return true;
}

bool IsOneOf(std::uint16_t value, std::initializer_list<std::uint16_t> choices) {
    return std::find(choices.begin(), choices.end(), value) != choices.end();
}

// Picks the path for the page. JPEG-compressed YCbCr is read as RGB:
// libjpeg converts it while decoding.
Kind ChooseKind(TIFF* tiff, Layout& layout) {
    // Tiles are pasted side by side a byte at a time, so each must start
    // on a byte; real files use widths of a multiple of 16.
    const bool byteAlignedTiles =
        !layout.tiled || (static_cast<std::uint64_t>(layout.tileWidth) * layout.samplesPerPixel * layout.bitsPerSample) % 8 == 0;
    const bool ownSamples = layout.sampleFormat == SAMPLEFORMAT_UINT && layout.samplesPerPixel <= kMaxOwnSamples &&
                            (layout.planar == PLANARCONFIG_CONTIG || layout.samplesPerPixel == 1) && byteAlignedTiles;
    if (ownSamples && layout.photometric == PHOTOMETRIC_YCBCR && layout.compression == COMPRESSION_JPEG &&
        TIFFSetField(tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB))
        layout.photometric = PHOTOMETRIC_RGB;
    if (ownSamples) {
        const std::uint16_t bits = layout.bitsPerSample;
        const std::uint16_t samples = layout.samplesPerPixel;
        switch (layout.photometric) {
        case PHOTOMETRIC_PALETTE:
            if (samples == 1 && IsOneOf(bits, {1, 2, 4, 8})) return Kind::Palette;
            break;
        case PHOTOMETRIC_MINISBLACK:
        case PHOTOMETRIC_MINISWHITE:
            if (samples == 1 && IsOneOf(bits, {1, 2, 4, 8, 16})) return Kind::Grey;
            if (samples == 2 && layout.hasAlpha && IsOneOf(bits, {8, 16})) return Kind::Grey;
            break;
        case PHOTOMETRIC_RGB:
            if (samples >= 3 + (layout.hasAlpha ? 1 : 0) && IsOneOf(bits, {8, 16})) return Kind::Rgb;
            break;
        default:
            break;
        }
    }
    char message[1024];
    return TIFFRGBAImageOK(tiff, message) ? Kind::RgbaImage : Kind::Unsupported;
}

std::uint16_t DotsPerInch(float resolution, std::uint16_t unit) {
    const double perInch = unit == RESUNIT_CENTIMETER ? resolution * 2.54 : resolution;
    if (unit == RESUNIT_NONE || !(perInch > 0)) return 0;
    return static_cast<std::uint16_t>(std::min(65535.0, std::round(perInch)));
}

void ReadDensity(TIFF* tiff, std::uint16_t& x, std::uint16_t& y) {
    std::uint16_t unit = RESUNIT_INCH;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_RESOLUTIONUNIT, &unit);
    float resolution = 0;
    x = TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &resolution) ? DotsPerInch(resolution, unit) : 0;
    y = TIFFGetField(tiff, TIFFTAG_YRESOLUTION, &resolution) ? DotsPerInch(resolution, unit) : 0;
}

std::uint8_t FromSixteenBits(std::uint16_t value) { return static_cast<std::uint8_t>((value + 128u) / 257u); }

// Premultiplied colour over white.
std::uint8_t PremultipliedOverWhite(unsigned channel, unsigned alpha) {
    return static_cast<std::uint8_t>(std::min(255u, channel + 255u - std::min(alpha, 255u)));
}

// Reads the page's rows in order as packed samples, from strips one
// scan line at a time or from tiles one row of tiles at a time.
class RowReader {
public:
    RowReader(TIFF* tiff, const Layout& layout)
        : tiff_(tiff),
          layout_(layout),
          rowBytes_(PackedBytes(layout.width, layout)),
          tileRowBytes_(PackedBytes(layout.tileWidth, layout)) {}

    // Allocates the buffers. Returns a result code.
    int Prepare() {
        if (layout_.tiled) {
            const std::uint64_t tileBytes = static_cast<std::uint64_t>(TIFFTileSize64(tiff_));
            const std::uint64_t bandBytes = rowBytes_ * layout_.tileHeight;
            if (tileBytes < tileRowBytes_ * layout_.tileHeight) return SPI_BROKEN_DATA;
            if (tileBytes > kMaxBufferBytes || bandBytes > kMaxBufferBytes) return SPI_NO_MEMORY;
            tile_.resize(tileBytes);
            band_.resize(bandBytes);
        } else {
            const std::uint64_t lineBytes = static_cast<std::uint64_t>(TIFFScanlineSize64(tiff_));
            if (lineBytes < rowBytes_) return SPI_BROKEN_DATA;
            if (lineBytes > kMaxBufferBytes) return SPI_NO_MEMORY;
            band_.resize(lineBytes);
        }
        return SPI_SUCCESS;
    }

    // Row y of the page; rows must be asked for top to bottom. Null when
    // the data is damaged.
    const std::uint8_t* Row(std::uint32_t y) {
        if (!layout_.tiled) return TIFFReadScanline(tiff_, band_.data(), y, 0) < 0 ? nullptr : band_.data();
        const std::uint32_t bandTop = y - y % layout_.tileHeight;
        if (y == bandTop && !ReadTileRow(bandTop)) return nullptr;
        return band_.data() + (y - bandTop) * rowBytes_;
    }

private:
    static std::uint64_t PackedBytes(std::uint32_t pixels, const Layout& layout) {
        return (static_cast<std::uint64_t>(pixels) * layout.samplesPerPixel * layout.bitsPerSample + 7) / 8;
    }

    bool ReadTileRow(std::uint32_t top) {
        const std::uint32_t rows = std::min(layout_.tileHeight, layout_.height - top);
        for (std::uint32_t left = 0; left < layout_.width; left += layout_.tileWidth) {
            if (TIFFReadTile(tiff_, tile_.data(), left, top, 0, 0) < 0) return false;
            const std::uint64_t offset = PackedBytes(left, layout_);
            const std::uint64_t bytes = std::min(tileRowBytes_, rowBytes_ - offset);
            for (std::uint32_t row = 0; row < rows; ++row)
                std::memcpy(band_.data() + row * rowBytes_ + offset, tile_.data() + row * tileRowBytes_, bytes);
        }
        return true;
    }

    TIFF* tiff_;
    const Layout& layout_;
    std::uint64_t rowBytes_;
    std::uint64_t tileRowBytes_;
    std::vector<std::uint8_t> tile_;
    std::vector<std::uint8_t> band_;
};

// Sample i of a row of 1, 2, 4 or 8-bit samples.
unsigned PackedSample(const std::uint8_t* row, std::uint32_t i, unsigned bits) {
    const std::uint32_t bit = i * bits;
    return (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
}

// Sample i of a row as an 8-bit value, for 8 and 16-bit samples.
std::uint8_t Sample8(const std::uint8_t* row, std::uint32_t i, unsigned bits) {
    if (bits == 8) return row[i];
    std::uint16_t value;
    std::memcpy(&value, row + 2 * static_cast<std::size_t>(i), sizeof value);
    return FromSixteenBits(value);
}

// Unpacks 1, 2 or 4-bit samples a byte at a time; 8-bit samples are
// copied as they are.
void ConvertIndexRow(const std::uint8_t* row, const Layout& layout, std::uint8_t* out) {
    const unsigned bits = layout.bitsPerSample;
    if (bits == 8) {
        std::memcpy(out, row, layout.width);
        return;
    }
    const unsigned perByte = 8 / bits;
    const unsigned mask = (1u << bits) - 1;
    const std::uint32_t whole = layout.width / perByte;
    for (std::uint32_t i = 0; i < whole; ++i, out += perByte) {
        const unsigned byte = row[i];
        for (unsigned k = 0; k < perByte; ++k) out[k] = static_cast<std::uint8_t>((byte >> (8 - bits * (k + 1))) & mask);
    }
    for (std::uint32_t x = whole * perByte; x < layout.width; ++x)
        *out++ = static_cast<std::uint8_t>(PackedSample(row, x, bits));
}

void ConvertGreyRow(const std::uint8_t* row, const Layout& layout, std::uint8_t* out) {
    const bool inverted = layout.photometric == PHOTOMETRIC_MINISWHITE;
    for (std::uint32_t x = 0; x < layout.width; ++x) {
        std::uint8_t level = Sample8(row, x * layout.samplesPerPixel, layout.bitsPerSample);
        if (inverted) level = static_cast<std::uint8_t>(255 - level);
        if (layout.hasAlpha) {
            const std::uint8_t alpha = Sample8(row, x * layout.samplesPerPixel + 1, layout.bitsPerSample);
            level = layout.associatedAlpha ? PremultipliedOverWhite(level, alpha) : spi::OverWhite(level, alpha);
        }
        out[x] = level;
    }
}

void ConvertRgbRow(const std::uint8_t* row, const Layout& layout, std::uint8_t* out) {
    const std::uint32_t samples = layout.samplesPerPixel;
    const unsigned bits = layout.bitsPerSample;
    for (std::uint32_t x = 0; x < layout.width; ++x, out += 3) {
        const std::uint32_t first = x * samples;
        std::uint8_t red = Sample8(row, first, bits);
        std::uint8_t green = Sample8(row, first + 1, bits);
        std::uint8_t blue = Sample8(row, first + 2, bits);
        if (layout.hasAlpha) {
            const std::uint8_t alpha = Sample8(row, first + 3, bits);
            if (layout.associatedAlpha) {
                red = PremultipliedOverWhite(red, alpha);
                green = PremultipliedOverWhite(green, alpha);
                blue = PremultipliedOverWhite(blue, alpha);
            } else {
                red = spi::OverWhite(red, alpha);
                green = spi::OverWhite(green, alpha);
                blue = spi::OverWhite(blue, alpha);
            }
        }
        out[0] = blue;
        out[1] = green;
        out[2] = red;
    }
}

int DecodeRows(TIFF* tiff, const Layout& layout, Kind kind, spi::Dib& dib, spi::Progress& progress) {
    RowReader reader(tiff, layout);
    const int prepared = reader.Prepare();
    if (prepared != SPI_SUCCESS) return prepared;
    const bool wholeByteGrey = kind == Kind::Grey && layout.bitsPerSample >= 8;
    for (std::uint32_t y = 0; y < layout.height; ++y) {
        const std::uint8_t* row = reader.Row(y);
        if (row == nullptr) return SPI_BROKEN_DATA;
        std::uint8_t* out = dib.Row(static_cast<std::int32_t>(y));
        if (kind == Kind::Rgb)
            ConvertRgbRow(row, layout, out);
        else if (wholeByteGrey)
            ConvertGreyRow(row, layout, out);
        else
            ConvertIndexRow(row, layout, out);
        if (progress.Report(static_cast<int>(y + 1))) return SPI_ABORT;
    }
    return SPI_SUCCESS;
}

struct RgbaImage {
    TIFFRGBAImage image{};
    bool begun = false;
    ~RgbaImage() {
        if (begun) TIFFRGBAImageEnd(&image);
    }
};

// The general path: libtiff's RGBA reader, one strip or tile row at a time.
int DecodeRgbaImage(TIFF* tiff, const Layout& layout, spi::Dib& dib, spi::Progress& progress) {
    RgbaImage rgba;
    char message[1024];
    if (!TIFFRGBAImageBegin(&rgba.image, tiff, 1, message)) return SPI_UNKNOWN_FORMAT;
    rgba.begun = true;
    // Rows come top to bottom as stored; the orientation tag is not applied
    // by the other paths either.
    rgba.image.req_orientation = ORIENTATION_TOPLEFT;
    rgba.image.orientation = ORIENTATION_TOPLEFT;

    const std::uint32_t bandRows = layout.tiled ? std::min(layout.tileHeight, layout.height) : layout.rowsPerStrip;
    const std::uint64_t bandPixels = static_cast<std::uint64_t>(layout.width) * bandRows;
    if (bandPixels * 4 > spi::kMaxPixelBytes) return SPI_NO_MEMORY;
    std::vector<std::uint32_t> band(bandPixels);
    for (std::uint32_t top = 0; top < layout.height; top += bandRows) {
        const std::uint32_t rows = std::min(bandRows, layout.height - top);
        rgba.image.row_offset = static_cast<int>(top);
        if (!TIFFRGBAImageGet(&rgba.image, band.data(), layout.width, rows)) return SPI_BROKEN_DATA;
        for (std::uint32_t row = 0; row < rows; ++row) {
            const std::uint32_t* in = band.data() + static_cast<std::size_t>(row) * layout.width;
            std::uint8_t* out = dib.Row(static_cast<std::int32_t>(top + row));
            for (std::uint32_t x = 0; x < layout.width; ++x, out += 3) {
                const std::uint32_t pixel = in[x];
                const unsigned alpha = TIFFGetA(pixel);
                out[0] = PremultipliedOverWhite(TIFFGetB(pixel), alpha);
                out[1] = PremultipliedOverWhite(TIFFGetG(pixel), alpha);
                out[2] = PremultipliedOverWhite(TIFFGetR(pixel), alpha);
            }
        }
        if (progress.Report(static_cast<int>(top + rows))) return SPI_ABORT;
    }
    return SPI_SUCCESS;
}

bool SetPalette(TIFF* tiff, const Layout& layout, Kind kind, spi::Dib& dib) {
    if (kind == Kind::Grey) {
        dib.SetGreyPalette();
        if (layout.photometric == PHOTOMETRIC_MINISWHITE && layout.bitsPerSample < 8)
            std::reverse(dib.Palette(), dib.Palette() + (1 << layout.bitsPerSample));
        return true;
    }
    std::uint16_t* red = nullptr;
    std::uint16_t* green = nullptr;
    std::uint16_t* blue = nullptr;
    if (!TIFFGetField(tiff, TIFFTAG_COLORMAP, &red, &green, &blue)) return false;
    for (int i = 0; i < (1 << layout.bitsPerSample); ++i)
        dib.SetPaletteEntry(i, FromSixteenBits(red[i]), FromSixteenBits(green[i]), FromSixteenBits(blue[i]));
    return true;
}

// Colours in the bitmap: a palette of 2^bits entries for palette and
// packed grey images, 256 grey levels for wider grey, none for 24 bits.
int PaletteSize(const Layout& layout, Kind kind) {
    switch (kind) {
    case Kind::Palette: return 1 << layout.bitsPerSample;
    case Kind::Grey: return layout.bitsPerSample < 8 ? 1 << layout.bitsPerSample : 256;
    default: return 0;
    }
}

}  // namespace

bool HasTiffSignature(const unsigned char* data) {
    const bool little = data[0] == 'I' && data[1] == 'I' && (data[2] == 42 || data[2] == 43) && data[3] == 0;
    const bool big = data[0] == 'M' && data[1] == 'M' && data[2] == 0 && (data[3] == 42 || data[3] == 43);
    return little || big;
}

int ReadPictureInfo(const unsigned char* data, std::size_t size, PictureInfo& info) {
    if (size < 8 || !HasTiffSignature(data)) return SPI_UNKNOWN_FORMAT;
    const QuietTiffMessages quiet;
    const TiffFile file(data, size);
    Layout layout;
    if (file.Handle() == nullptr || !ReadLayout(file.Handle(), layout)) return SPI_BROKEN_DATA;
    info = PictureInfo{};
    info.width = static_cast<std::int32_t>(std::min<std::uint32_t>(layout.width, INT32_MAX));
    info.height = static_cast<std::int32_t>(std::min<std::uint32_t>(layout.height, INT32_MAX));
    ReadDensity(file.Handle(), info.x_density, info.y_density);
    const std::int64_t depth = std::int64_t{layout.bitsPerSample} * layout.samplesPerPixel;
    info.colorDepth = static_cast<std::int16_t>(std::min<std::int64_t>(INT16_MAX, depth));
    return SPI_SUCCESS;
}

int DecodePicture(const unsigned char* data, std::size_t size, SPI_PROGRESS callback, intptr_t callbackData,
                  HLOCAL* info, HLOCAL* bits) {
    if (size < 8 || !HasTiffSignature(data)) return SPI_UNKNOWN_FORMAT;
    const QuietTiffMessages quiet;
    const TiffFile file(data, size);
    TIFF* tiff = file.Handle();
    Layout layout;
    if (tiff == nullptr || !ReadLayout(tiff, layout)) return SPI_BROKEN_DATA;
    if (layout.width > spi::kMaxDimension || layout.height > spi::kMaxDimension) return SPI_NO_MEMORY;
    const Kind kind = ChooseKind(tiff, layout);
    if (kind == Kind::Unsupported) return SPI_UNKNOWN_FORMAT;

    spi::Dib dib;
    const int paletteSize = PaletteSize(layout, kind);
    const int allocated = dib.Allocate(static_cast<std::int32_t>(layout.width),
                                       static_cast<std::int32_t>(layout.height), paletteSize > 0 ? 8 : 24,
                                       paletteSize);
    if (allocated != SPI_SUCCESS) return allocated;
    if (paletteSize > 0 && !SetPalette(tiff, layout, kind, dib)) return SPI_BROKEN_DATA;
    std::uint16_t dpiX = 0;
    std::uint16_t dpiY = 0;
    ReadDensity(tiff, dpiX, dpiY);
    dib.SetDensity(dpiX, dpiY);

    spi::Progress progress(callback, callbackData, static_cast<int>(layout.height));
    const int result = kind == Kind::RgbaImage ? DecodeRgbaImage(tiff, layout, dib, progress)
                                               : DecodeRows(tiff, layout, kind, dib, progress);
    if (result != SPI_SUCCESS) return result;
    dib.Release(info, bits);
    return SPI_SUCCESS;
}

}  // namespace iftiff
