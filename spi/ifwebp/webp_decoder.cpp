#include "webp_decoder.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

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

void CompositeOverWhite(const std::vector<std::uint8_t>& bgra, spi::Dib& dib) {
    const std::size_t width = static_cast<std::size_t>(dib.Width());
    for (std::int32_t y = 0; y < dib.Height(); ++y) {
        // Both buffers hold the bottom row first.
        const std::uint8_t* in = bgra.data() + static_cast<std::size_t>(y) * width * 4;
        std::uint8_t* out = dib.Row(dib.Height() - 1 - y);
        for (std::size_t x = 0; x < width; ++x, in += 4, out += 3) {
            out[0] = spi::OverWhite(in[0], in[3]);
            out[1] = spi::OverWhite(in[1], in[3]);
            out[2] = spi::OverWhite(in[2], in[3]);
        }
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

    spi::Dib dib;
    const int allocated = dib.Allocate(features.width, features.height, 24);
    if (allocated != SPI_SUCCESS) return allocated;
    spi::Progress progress(callback, callbackData, features.height);

    if (!features.has_alpha) {
        const Target target{MODE_BGR, dib.Row(dib.Height() - 1), dib.Stride(),
                            dib.Stride() * static_cast<std::size_t>(dib.Height())};
        const int result = RunDecoder(data, size, config, target, progress);
        if (result != SPI_SUCCESS) return result;
    } else {
        // libwebp cannot composite, so transparent pictures pass through
        // a BGRA buffer of their own.
        const std::size_t stride = static_cast<std::size_t>(features.width) * 4;
        std::vector<std::uint8_t> bgra;
        try {
            bgra.resize(stride * static_cast<std::size_t>(features.height));
        } catch (const std::bad_alloc&) {
            return SPI_NO_MEMORY;
        }
        const int result = RunDecoder(data, size, config, Target{MODE_BGRA, bgra.data(), stride, bgra.size()},
                                      progress);
        if (result != SPI_SUCCESS) return result;
        CompositeOverWhite(bgra, dib);
    }
    dib.Release(info, bits);
    return SPI_SUCCESS;
}

}  // namespace ifwebp
