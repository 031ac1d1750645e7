#pragma once

// The four exports of a bundled plug-in, written once: the argument
// checks, the in-memory input rule and the clearing of the result handles.
// Each plug-in supplies its texts and three functions of its format and
// expands SPI_PLUGIN_EXPORTS once.

#include <cstddef>
#include <cstdint>

#include "spi.h"
#include "spi_common.h"

namespace spi {

struct Format {
    PluginTexts texts;
    // True when the leading bytes carry the format's signature; the host
    // guarantees 2048 readable bytes.
    bool (*HasSignature)(const std::uint8_t* head);
    int (*ReadInfo)(const std::uint8_t* data, std::size_t size, PictureInfo& info);
    // Stores both blocks and returns SPI_SUCCESS, or returns another code
    // with nothing allocated.
    int (*Decode)(const std::uint8_t* data, std::size_t size, SPI_PROGRESS callback,
                  std::intptr_t callbackData, HLOCAL* info, HLOCAL* bits);
};

int ExportGetPluginInfo(const Format& format, int infono, char* buf, int buflen);
int ExportIsSupported(const Format& format, std::intptr_t dw);
int ExportGetPictureInfo(const Format& format, const char* buf, std::int32_t len, std::uint32_t flag,
                         PictureInfo* lpInfo);
int ExportGetPicture(const Format& format, const char* buf, std::int32_t len, std::uint32_t flag,
                     HLOCAL* pHBInfo, HLOCAL* pHBm, SPI_PROGRESS lpPrgressCallback, std::intptr_t lData);

}  // namespace spi

#define SPI_PLUGIN_EXPORTS(format)                                                                    \
    extern "C" {                                                                                      \
    SPI_EXPORT int SPI_CALL GetPluginInfo(int infono, char* buf, int buflen) {                                 \
        return spi::ExportGetPluginInfo(format, infono, buf, buflen);                                 \
    }                                                                                                 \
    SPI_EXPORT int SPI_CALL IsSupported(const char*, intptr_t dw) { return spi::ExportIsSupported(format, dw); } \
    SPI_EXPORT int SPI_CALL GetPictureInfo(const char* buf, int32_t len, uint32_t flag, PictureInfo* lpInfo) { \
        return spi::ExportGetPictureInfo(format, buf, len, flag, lpInfo);                             \
    }                                                                                                 \
    SPI_EXPORT int SPI_CALL GetPicture(const char* buf, int32_t len, uint32_t flag, HLOCAL* pHBInfo,           \
                              HLOCAL* pHBm, SPI_PROGRESS lpPrgressCallback, intptr_t lData) {         \
        return spi::ExportGetPicture(format, buf, len, flag, pHBInfo, pHBm, lpPrgressCallback,        \
                                     lData);                                                          \
    }                                                                                                 \
    }
