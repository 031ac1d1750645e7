#include "plug_library.h"

#include <array>
#include <cstring>

#include "platform/dynamic_library.h"
#include "plugins/plug_turn.h"
#include "plugins/windows_plug_library.h"

namespace {

// A shared library of this platform, called in this process. Every call
// into its code is bracketed, so that an abandoned decode stays out and a
// call that an abandoned decode never finished keeps others out.
class TNativePlugLibrary : public TPlugLibrary {
public:
    bool Open(const std::string& path) {
        path_ = path;
        const TNativePlugCall call(path_, TNativePlugCall::TKind::Information);
        if (!call.Allowed() || !module_.Open(path)) return false;
        getPluginInfo_ = reinterpret_cast<SPI_GetPluginInfo>(module_.Symbol("GetPluginInfo"));
        isSupported_ = reinterpret_cast<SPI_IsSupported>(module_.Symbol("IsSupported"));
        getPictureInfo_ = reinterpret_cast<SPI_GetPictureInfo>(module_.Symbol("GetPictureInfo"));
        getPicture_ = reinterpret_cast<SPI_GetPicture>(module_.Symbol("GetPicture"));
        // The version is asked first: a library of another interface may
        // not even have the other names.
        return getPluginInfo_ != nullptr && PlugInfoText(*this, SPI_INFO_API_VERSION) == SPI_API_VERSION &&
               isSupported_ != nullptr && getPictureInfo_ != nullptr && getPicture_ != nullptr;
    }

    int GetPluginInfo(int infono, char* buf, int buflen) override {
        const TNativePlugCall call(path_, TNativePlugCall::TKind::Information);
        return call.Allowed() ? getPluginInfo_(infono, buf, buflen) : 0;
    }
    int IsSupported(const char* filename, std::intptr_t dw) override {
        const TNativePlugCall call(path_, TNativePlugCall::TKind::Decoding);
        return call.Allowed() ? isSupported_(filename, dw) : 0;
    }
    int GetPictureInfo(const char* buf, std::int32_t len, std::uint32_t flag, PictureInfo* info) override {
        const TNativePlugCall call(path_, TNativePlugCall::TKind::Decoding);
        return call.Allowed() ? getPictureInfo_(buf, len, flag, info) : SPI_INTERNAL_ERROR;
    }
    int GetPicture(const char* buf, std::int32_t len, std::uint32_t flag, HLOCAL* info, HLOCAL* bits,
                   SPI_PROGRESS progress, std::intptr_t data) override {
        const TNativePlugCall call(path_, TNativePlugCall::TKind::Decoding);
        return call.Allowed() ? getPicture_(buf, len, flag, info, bits, progress, data) : SPI_INTERNAL_ERROR;
    }

private:
    std::string path_;
    platform::DynamicLibrary module_;
    SPI_GetPluginInfo getPluginInfo_ = nullptr;
    SPI_IsSupported isSupported_ = nullptr;
    SPI_GetPictureInfo getPictureInfo_ = nullptr;
    SPI_GetPicture getPicture_ = nullptr;
};

}  // namespace

std::unique_ptr<TPlugLibrary> OpenPlugLibrary(const std::string& path, std::string* unavailable) {
    auto library = std::make_unique<TNativePlugLibrary>();
    if (library->Open(path)) return library;
    // A Windows DLL is no shared library here; its code runs in the Wine helper.
    if (const std::optional<TWindowsBitness> bitness = WindowsLibraryBitness(path))
        return OpenWindowsPlugLibrary(path, *bitness, unavailable);
    return nullptr;
}

std::string PlugInfoText(TPlugLibrary& library, int n) {
    // One byte more than the plug-in is told, so a plug-in that fills all
    // of it still leaves a terminated text.
    std::array<char, 256> buffer{};
    if (library.GetPluginInfo(n, buffer.data(), 255) == 0) return std::string();
    return std::string(buffer.data(), strnlen(buffer.data(), buffer.size() - 1));
}
