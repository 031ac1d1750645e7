#include "windows_plug_library.h"

namespace {

class TWindowsPlugLibrary : public TPlugLibrary {
public:
    TWindowsPlugLibrary(TWineBridge& bridge, std::string path, const TWindowsPluginHandle& handle)
        : bridge_(bridge), path_(std::move(path)), handle_(handle) {}

    int GetPluginInfo(int infono, char* buf, int buflen) override {
        return bridge_.GetPluginInfo(handle_, path_, infono, buf, buflen);
    }
    int IsSupported(const char* filename, std::intptr_t dw) override {
        return bridge_.IsSupported(handle_, path_, filename, dw);
    }
    int GetPictureInfo(const char* buf, std::int32_t len, std::uint32_t flag, PictureInfo* info) override {
        return bridge_.GetPictureInfo(handle_, path_, buf, len, flag, info);
    }
    int GetPicture(const char* buf, std::int32_t len, std::uint32_t flag, HLOCAL* info, HLOCAL* bits,
                   SPI_PROGRESS progress, std::intptr_t data) override {
        return bridge_.GetPicture(handle_, path_, buf, len, flag, info, bits, progress, data);
    }

private:
    TWineBridge& bridge_;
    std::string path_;
    TWindowsPluginHandle handle_;
};

}  // namespace

std::unique_ptr<TPlugLibrary> OpenWindowsPlugLibrary(const std::string& path, TWindowsBitness bitness,
                                                     std::string* unavailable) {
    TWineBridge& bridge = TWineBridge::Of(bitness);
    std::optional<TWindowsPluginHandle> handle = bridge.Open(path, unavailable);
    if (!handle) return nullptr;
    return std::make_unique<TWindowsPlugLibrary>(bridge, path, *handle);
}
