#include "tiff_file.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

namespace iftiff {
namespace {

// Single allocations libtiff may make for one file: strip and tile
// buffers of any real image stay far below this.
constexpr tmsize_t kMaxLibraryAllocation = tmsize_t{256} << 20;

int Ignore(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct OptionsDeleter {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

}  // namespace

TiffFile::TiffFile(const unsigned char* data, std::size_t size) : stream_{data, size, 0} {
    const std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(TIFFOpenOptionsAlloc());
    if (!options) return;
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxLibraryAllocation);
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), &Ignore, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), &Ignore, nullptr);
    tiff_ = TIFFClientOpenExt("memory", "r", &stream_, &Read, &Write, &Seek, &Close, &Size, &Map, &Unmap,
                              options.get());
}

TiffFile::~TiffFile() {
    if (tiff_ != nullptr) TIFFClose(tiff_);
}

tmsize_t TiffFile::Read(thandle_t handle, void* buffer, tmsize_t bytes) {
    auto& stream = *static_cast<Stream*>(handle);
    if (bytes <= 0 || stream.position >= stream.size) return 0;
    const std::size_t count = std::min(static_cast<std::size_t>(bytes), stream.size - stream.position);
    std::memcpy(buffer, stream.data + stream.position, count);
    stream.position += count;
    return static_cast<tmsize_t>(count);
}

tmsize_t TiffFile::Write(thandle_t, void*, tmsize_t) { return -1; }

toff_t TiffFile::Seek(thandle_t handle, toff_t offset, int whence) {
    auto& stream = *static_cast<Stream*>(handle);
    toff_t base = 0;
    switch (whence) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = stream.position; break;
    case SEEK_END: base = stream.size; break;
    default: return static_cast<toff_t>(-1);
    }
    // Offsets are unsigned; a sum that wraps means a seek before the start.
    const toff_t target = base + offset;
    if (target < base && whence != SEEK_SET) return static_cast<toff_t>(-1);
    stream.position = static_cast<std::size_t>(target);
    return target;
}

int TiffFile::Close(thandle_t) { return 0; }

toff_t TiffFile::Size(thandle_t handle) { return static_cast<Stream*>(handle)->size; }

int TiffFile::Map(thandle_t handle, void** base, toff_t* size) {
    auto& stream = *static_cast<Stream*>(handle);
    *base = const_cast<unsigned char*>(stream.data);
    *size = stream.size;
    return 1;
}

void TiffFile::Unmap(thandle_t, void*, toff_t) {}

QuietTiffMessages::QuietTiffMessages()
    : errorHandler_(TIFFSetErrorHandler(nullptr)),
      warningHandler_(TIFFSetWarningHandler(nullptr)),
      errorHandlerExt_(TIFFSetErrorHandlerExt(nullptr)),
      warningHandlerExt_(TIFFSetWarningHandlerExt(nullptr)) {}

QuietTiffMessages::~QuietTiffMessages() {
    TIFFSetErrorHandler(errorHandler_);
    TIFFSetWarningHandler(warningHandler_);
    TIFFSetErrorHandlerExt(errorHandlerExt_);
    TIFFSetWarningHandlerExt(warningHandlerExt_);
}

}  // namespace iftiff
