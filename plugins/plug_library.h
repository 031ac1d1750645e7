#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "spi.h"

// The four exports of one opened, valid plug-in library, wherever its
// code runs.
class TPlugLibrary {
public:
    virtual ~TPlugLibrary() = default;

    virtual int GetPluginInfo(int infono, char* buf, int buflen) = 0;
    // dw is the address of the whole file, with at least 2048 readable bytes.
    virtual int IsSupported(const char* filename, std::intptr_t dw) = 0;
    virtual int GetPictureInfo(const char* buf, std::int32_t len, std::uint32_t flag, PictureInfo* info) = 0;
    virtual int GetPicture(const char* buf, std::int32_t len, std::uint32_t flag, HLOCAL* info, HLOCAL* bits,
                           SPI_PROGRESS progress, std::intptr_t data) = 0;
};

// Opens the library at path and checks that it is a plug-in: information
// string 0 exactly "00IN" and all four exports. Null when it is not. When
// the file may well be a plug-in but cannot be used on this machine,
// *unavailable (when given) gets the reason for the user.
std::unique_ptr<TPlugLibrary> OpenPlugLibrary(const std::string& path, std::string* unavailable);

// Information string n of a library; empty when it has none.
std::string PlugInfoText(TPlugLibrary& library, int n);
