#pragma once

#include <memory>
#include <string>

#include "plugins/plug_library.h"
#include "plugins/wine_bridge.h"

// A Windows plug-in (a 32- or 64-bit DLL named .spi), whose code runs in
// the Wine helper of its bitness. Null when the helper finds no plug-in in
// it; *unavailable says why when the reason is this machine.
std::unique_ptr<TPlugLibrary> OpenWindowsPlugLibrary(const std::string& path, TWindowsBitness bitness,
                                                     std::string* unavailable);
