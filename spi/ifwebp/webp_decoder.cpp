#include "webp_decoder.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include <webp/decode.h>

namespace ifwebp {
namespace {

// The data is handed to the decoder in about this many slices; each ends
// with a progress report.
constexpr std::size_t kSlices = 100;
constexpr std::size_t kMinSliceBytes = 4096;

int CodeForStatus(VP8StatusCode status) {
    switch (status) {
    case VP8_STATUS_OK: return SPI_SUCCESS;
    case VP8_STATUS_OUT_OF_MEMORY: return SPI_NO_MEMORY;
    case VP8_STATUS_UNSUPPORTED_FEATURE: return SPI_UNKNOWN_FORMAT;
    default: return SPI_BROKEN_DATA;
    }
}

struct DecoderDeleter {
    void operator()(WebPIDecoder* decoder) const { WebPIDelete(decoder); }
};
using Decoder = std::unique_ptr<WebPIDecoder, DecoderDeleter>;

// Where libwebp writes: straight into the bitmap for opaque pictures,
// into a BGRA buffer for transparent ones, bottom row first either way.
struct Target {
    WEBP_CSP_MODE mode;
    std::uint8_t* pixels;
    std::size_t stride;
    std::size_t bytes;
};

// Feeds ever longer prefixes of the data to the incremental decoder (it
// reads them in place, without a copy) and reports the rows done.
int RunDecoder(const unsigned char* data, std::size_t size, WebPDecoderConfig& config, const Target& target,
               spi::Progress& progress) {
    config.options.flip = 1;
    config.output.colorspace = target.mode;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = target.pixels;
    config.output.u.RGBA.stride = static_cast<int>(target.stride);
    config.output.u.RGBA.size = target.bytes;
    const Decoder decoder(WebPIDecode(nullptr, 0, &config));
    if (!decoder) return SPI_NO_MEMORY;

    const std::size_t slice = std::max(kMinSliceBytes, size / kSlices);
    for (std::size_t fed = std::min(slice, size);; fed = std::min(fed + slice, size)) {
        const VP8StatusCode status = WebPIUpdate(decoder.get(), data, fed);
        if (status != VP8_STATUS_OK && status != VP8_STATUS_SUSPENDED) return CodeForStatus(status);
        int rowsDone = 0;
        WebPIDecGetRGB(decoder.get(), &rowsDone, nullptr, nullptr, nullptr);
        if (progress.Report(rowsDone)) return SPI_ABORT;
        if (status == VP8_STATUS_OK) return SPI_SUCCESS;
        if (fed == size) return SPI_BROKEN_DATA;  // the data ends before the picture does
    }
}

// Turns the BGRA rows that libwebp wrote at the start of the pixel block
// into the bitmap's BGR rows over white, in place: both run bottom row
// first, and a BGR row never reaches past the BGRA bytes already read.
void PackOverWhite(spi::Dib& dib) {
    const std::size_t width = static_cast<std::size_t>(dib.Width());
    std::uint8_t* block = dib.PixelBlock();
    for (std::size_t row = 0; row < static_cast<std::size_t>(dib.Height()); ++row) {
        const std::uint8_t* in = block + row * width * 4;
        std::uint8_t* out = block + row * dib.Stride();
        for (std::size_t x = 0; x < width; ++x, in += 4, out += 3) {
            const std::uint8_t blue = in[0], green = in[1], red = in[2], alpha = in[3];
            out[0] = spi::OverWhite(blue, alpha);
            out[1] = spi::OverWhite(green, alpha);
            out[2] = spi::OverWhite(red, alpha);
        }
        std::memset(out, 0, dib.Stride() - width * 3);
    }
}

int ReadFeatures(const unsigned char* data, std::size_t size, WebPBitstreamFeatures& features) {
    if (size < 12 || !HasWebpSignature(data)) return SPI_UNKNOWN_FORMAT;
    const int code = CodeForStatus(WebPGetFeatures(data, size, &features));
    if (code != SPI_SUCCESS) return code;
    return features.has_animation ? SPI_UNKNOWN_FORMAT : SPI_SUCCESS;
}

// The container states its length; libwebp's incremental decoder would
// finish a picture whose last bytes are missing.
bool IsComplete(const unsigned char* data, std::size_t size) {
    const std::uint64_t riffSize = data[4] | data[5] << 8 | data[6] << 16 | static_cast<std::uint64_t>(data[7]) << 24;
    return riffSize + 8 <= size;
}

}  // namespace

bool HasWebpSignature(const unsigned char* data) {
    return std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WEBP", 4) == 0;
}

int ReadPictureInfo(const unsigned char* data, std::size_t size, PictureInfo& info) {
    WebPBitstreamFeatures features;
    const int code = ReadFeatures(data, size, features);
    if (code != SPI_SUCCESS) return code;
    info = PictureInfo{};
    info.width = features.width;
    info.height = features.height;
    info.colorDepth = static_cast<std::int16_t>(features.has_alpha ? 32 : 24);
    return SPI_SUCCESS;
}

int DecodePicture(const unsigned char* data, std::size_t size, SPI_PROGRESS callback, intptr_t callbackData,
                  HLOCAL* info, HLOCAL* bits) {
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) return SPI_INTERNAL_ERROR;
    const int code = ReadFeatures(data, size, config.input);
    if (code != SPI_SUCCESS) return code;
    if (!IsComplete(data, size)) return SPI_BROKEN_DATA;
    const WebPBitstreamFeatures& features = config.input;

    // libwebp cannot blend, so transparent pictures are written as BGRA
    // into a pixel block with room for it, then packed in place.
    const std::size_t bgraStride = static_cast<std::size_t>(features.width) * 4;
    const std::size_t bgraBytes = features.has_alpha ? bgraStride * static_cast<std::size_t>(features.height) : 0;
    spi::Dib dib;
    const int allocated = dib.AllocateWithRoom(features.width, features.height, 24, 0, bgraBytes);
    if (allocated != SPI_SUCCESS) return allocated;
    spi::Progress progress(callback, callbackData, features.height);

    const Target target = features.has_alpha
                              ? Target{MODE_BGRA, dib.PixelBlock(), bgraStride, bgraBytes}
                              : Target{MODE_BGR, dib.PixelBlock(), dib.Stride(),
                                       dib.Stride() * static_cast<std::size_t>(dib.Height())};
    const int result = RunDecoder(data, size, config, target, progress);
    if (result != SPI_SUCCESS) return result;
    if (features.has_alpha) PackOverWhite(dib);
    dib.Release(info, bits);
    return SPI_SUCCESS;
}

}  // namespace ifwebp
