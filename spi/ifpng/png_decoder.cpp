#include "png_decoder.h"

#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "huge_pages.h"

namespace ifpng {

namespace {

// Shared with libpng's callbacks; trivially destructible, because libpng
// leaves its frames by longjmp.
struct ReadState {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at;
    bool outOfMemory;
};

void ReadData(png_structp png, png_bytep out, std::size_t length) {
    auto* state = static_cast<ReadState*>(png_get_io_ptr(png));
    if (state->size - state->at < length) png_error(png, "truncated");
    std::memcpy(out, state->data + state->at, length);
    state->at += length;
}

void OnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnWarning(png_structp, png_const_charp) {}

png_voidp Allocate(png_structp png, png_alloc_size_t size) {
    void* block = std::malloc(size);
    if (block == nullptr) static_cast<ReadState*>(png_get_mem_ptr(png))->outOfMemory = true;
    return block;
}

void Free(png_structp, png_voidp block) { std::free(block); }

// libpng's read and info structures for one decode, freed on every path.
class PngReader {
public:
    PngReader(const std::uint8_t* data, std::size_t size) : state_{data, size, 0, false} {
        png_ = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &state_, OnError, OnWarning, &state_, Allocate,
                                        Free);
        if (png_ == nullptr) return;
        info_ = png_create_info_struct(png_);
        png_set_read_fn(png_, &state_, ReadData);
    }
    ~PngReader() { png_destroy_read_struct(&png_, info_ != nullptr ? &info_ : nullptr, nullptr); }
    PngReader(const PngReader&) = delete;
    PngReader& operator=(const PngReader&) = delete;

    bool Created() const { return png_ != nullptr && info_ != nullptr; }
    int FailureCode() const { return state_.outOfMemory ? SPI_NO_MEMORY : SPI_BROKEN_DATA; }
    png_structp Png() const { return png_; }
    png_infop Info() const { return info_; }

private:
    ReadState state_;
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
};

bool IsPalette(const PngHeader& header) { return header.colorType == PNG_COLOR_TYPE_PALETTE; }
bool IsGrey(const PngHeader& header) { return (header.colorType & PNG_COLOR_MASK_COLOR) == 0; }

// Limits and chunk handling before anything is read: only the chunks that
// decide the pixels are processed (the density comes from PngHeader).
void Configure(png_structp png) {
    png_set_user_limits(png, static_cast<png_uint_32>(spi::kMaxDimension),
                        static_cast<png_uint_32>(spi::kMaxDimension));
    png_set_chunk_malloc_max(png, 8u << 20);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    // Lets mutated headers and data reach the decoder instead of failing
    // the checksum.
    png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
#endif
}

// Asks libpng for 8-bit samples: indices for palette images, grey or
// grey + alpha, BGR or BGRA. Returns the channels of the rows it delivers.
int SetUpTransforms(png_structp png, png_infop info, const PngHeader& header) {
    if (IsPalette(header)) {
        png_set_packing(png);
    } else {
        if (header.bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
        if (header.bitDepth == 16) png_set_scale_16(png);
        if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
        if (!IsGrey(header)) png_set_bgr(png);
    }
    png_read_update_info(png, info);
    return png_get_channels(png, info);
}

void SetPalette(png_structp png, png_infop info, spi::Dib& dib) {
    png_colorp colours = nullptr;
    int count = 0;
    png_get_PLTE(png, info, &colours, &count);
    png_bytep alphas = nullptr;
    int alphaCount = 0;
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_get_tRNS(png, info, &alphas, &alphaCount, nullptr);
    for (int i = 0; i < count; ++i) {
        const std::uint8_t alpha = i < alphaCount ? alphas[i] : 255;
        dib.SetPaletteEntry(i, spi::OverWhite(colours[i].red, alpha), spi::OverWhite(colours[i].green, alpha),
                            spi::OverWhite(colours[i].blue, alpha));
    }
}

int AllocateBitmap(png_structp png, png_infop info, const PngHeader& header, spi::Dib& dib) {
    if (IsPalette(header)) {
        const int code = dib.Allocate(header.width, header.height, 8, 1 << header.bitDepth);
        if (code == SPI_SUCCESS) SetPalette(png, info, dib);
        return code;
    }
    if (IsGrey(header)) {
        const int code = dib.Allocate(header.width, header.height, 8, 256);
        if (code == SPI_SUCCESS) dib.SetGreyPalette();
        return code;
    }
    return dib.Allocate(header.width, header.height, 24);
}

// Stores count pixels of a delivered row at x = first, first + step, ...
// of a bitmap row, compositing alpha over white.
void StorePixels(const std::uint8_t* in, int channels, std::uint8_t* out, std::int32_t first, std::int32_t step,
                 std::int32_t count) {
    std::size_t x = static_cast<std::size_t>(first);
    const auto stride = static_cast<std::size_t>(step);
    switch (channels) {
    case 1:
        for (std::int32_t i = 0; i < count; ++i, in += 1, x += stride) out[x] = in[0];
        break;
    case 2:
        for (std::int32_t i = 0; i < count; ++i, in += 2, x += stride) out[x] = spi::OverWhite(in[0], in[1]);
        break;
    case 3:
        for (std::int32_t i = 0; i < count; ++i, in += 3, x += stride) std::memcpy(out + x * 3, in, 3);
        break;
    default:
        for (std::int32_t i = 0; i < count; ++i, in += 4, x += stride)
            for (int c = 0; c < 3; ++c) out[x * 3 + c] = spi::OverWhite(in[c], in[3]);
        break;
    }
}

int ReadRows(png_structp png, const PngHeader& header, int channels, spi::Dib& dib, std::uint8_t* scratch,
             spi::Progress& progress) {
    const bool direct = channels == 1 || channels == 3;
    for (std::int32_t y = 0; y < header.height; ++y) {
        std::uint8_t* row = dib.Row(y);
        png_read_row(png, direct ? row : scratch, nullptr);
        if (!direct) StorePixels(scratch, channels, row, 0, 1, header.width);
        if (progress.Report(y + 1)) return SPI_ABORT;
    }
    return SPI_SUCCESS;
}

// The seven reduced images of an interlaced file, each pixel put straight
// into its place in the bitmap.
int ReadInterlacedRows(png_structp png, const PngHeader& header, int channels, spi::Dib& dib,
                       std::uint8_t* scratch, spi::Progress& progress) {
    int done = 0;
    for (int pass = 0; pass < PNG_INTERLACE_ADAM7_PASSES; ++pass) {
        const std::int32_t columns = PNG_PASS_COLS(header.width, pass);
        const std::int32_t rows = PNG_PASS_ROWS(header.height, pass);
        if (columns == 0 || rows == 0) continue;
        for (std::int32_t passRow = 0; passRow < rows; ++passRow) {
            png_read_row(png, scratch, nullptr);
            StorePixels(scratch, channels, dib.Row(PNG_ROW_FROM_PASS_ROW(passRow, pass)), PNG_PASS_START_COL(pass),
                        PNG_PASS_COL_OFFSET(pass), columns);
            if (progress.Report(++done)) return SPI_ABORT;
        }
    }
    return SPI_SUCCESS;
}

// Every libpng call happens in this frame, which has no objects with
// destructors: libpng reports errors by longjmp back to its start.
int DecodeWith(PngReader& reader, const PngHeader& header, spi::Dib& dib, std::uint8_t* scratch,
               spi::Progress& progress) {
    png_structp png = reader.Png();
    png_infop info = reader.Info();
    if (setjmp(png_jmpbuf(png))) return reader.FailureCode();
    Configure(png);
    png_read_info(png, info);
    const int channels = SetUpTransforms(png, info, header);
    if (const int code = AllocateBitmap(png, info, header, dib); code != SPI_SUCCESS) return code;
    spi::PreferHugePages(dib);
    dib.SetDensity(header.dpiX, header.dpiY);
    if (progress.Report(0)) return SPI_ABORT;
    if (png_get_interlace_type(png, info) == PNG_INTERLACE_ADAM7)
        return ReadInterlacedRows(png, header, channels, dib, scratch, progress);
    return ReadRows(png, header, channels, dib, scratch, progress);
}

// The rows libpng delivers: one per image row, or one per row of each
// non-empty pass of an interlaced image.
int RowsToRead(const PngHeader& header) {
    if (!header.interlaced) return header.height;
    int total = 0;
    for (int pass = 0; pass < PNG_INTERLACE_ADAM7_PASSES; ++pass)
        if (PNG_PASS_COLS(header.width, pass) != 0) total += static_cast<int>(PNG_PASS_ROWS(header.height, pass));
    return total;
}

}  // namespace

int DecodePng(const std::uint8_t* data, std::size_t size, const PngHeader& header, spi::Dib& dib,
              SPI_PROGRESS callback, std::intptr_t callbackData) {
    if (header.width > spi::kMaxDimension || header.height > spi::kMaxDimension) return SPI_NO_MEMORY;
    // One row of up to four 8-bit channels, for rows that need converting.
    const std::unique_ptr<std::uint8_t[]> scratch(new (std::nothrow)
                                                      std::uint8_t[static_cast<std::size_t>(header.width) * 4]);
    PngReader reader(data, size);
    if (!scratch || !reader.Created()) return SPI_NO_MEMORY;
    spi::Progress progress(callback, callbackData, RowsToRead(header));
    return DecodeWith(reader, header, dib, scratch.get(), progress);
}

}  // namespace ifpng

