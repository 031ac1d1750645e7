#pragma once

// Helpers for the tests of the bundled image plug-ins: a plug-in loaded
// through the host as the view uses it, its bitmap turned into plain RGB,
// and reference pixels from ImageMagick for comparison.

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "plugins/susie_plug.h"
#include "spi.h"

// An image as plain 8-bit RGB, rows top-down, no padding.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;

    const std::uint8_t* Pixel(int x, int y) const {
        return rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3;
    }
};

// What GetPicture gave back.
struct DecodeResult {
    int code = SPI_INTERNAL_ERROR;
    // The bitmap information header as returned (zero when code != 0).
    SPI_BITMAPINFOHEADER header{};
    // The colour table, when the bitmap has one.
    std::vector<SPI_RGBQUAD> palette;
    // The bitmap's pixels as RGB (empty when code != 0).
    RgbImage image;
    // Both blocks were non-null (code 0) or both null (otherwise).
    bool handlesConsistent = false;
};

// One bundled plug-in, found by its file name in the default plug-in folder
// and kept loaded for the object's lifetime.
class PluginUnderTest {
public:
    explicit PluginUnderTest(const std::string& fileName,
                             const std::string& folder = KELVANDOR_PLUGIN_DIR);
    ~PluginUnderTest();
    PluginUnderTest(const PluginUnderTest&) = delete;
    PluginUnderTest& operator=(const PluginUnderTest&) = delete;

    // Whether the registry listed the plug-in and it loaded.
    bool Loaded() const { return use_ != nullptr && use_->Loaded(); }

    std::string Info(int number) const;
    // IsSupported on the data, zero-padded to 2048 bytes as the host does.
    bool IsSupported(const std::vector<std::uint8_t>& data) const;
    int GetPictureInfo(const std::vector<std::uint8_t>& data, PictureInfo& info) const;
    // GetPicture on an exact-size copy of the data (no padding, so a read
    // past the end is a read past the block).
    DecodeResult Decode(const std::vector<std::uint8_t>& data, SPI_PROGRESS progress = nullptr,
                        std::intptr_t userData = 0) const;

private:
    TSusiePlugs plugs_;
    TSusiePlug* plug_ = nullptr;
    std::unique_ptr<TSusiePlugUse> use_;
};

// A progress callback that records its calls and asks to stop at the
// call numbered stopAtCall (1-based; 0: never). Pass Callback and the
// recorder's address as user value.
struct ProgressRecorder {
    struct Call {
        int done;
        int total;
    };
    std::vector<Call> calls;
    int stopAtCall = 0;

    static int Callback(int done, int total, std::intptr_t self);
    std::intptr_t UserValue() { return reinterpret_cast<std::intptr_t>(this); }
};

// Decodes data expecting the result code, and no blocks handed out when
// it fails; what names the case in a failure.
void ExpectDecodeCode(const PluginUnderTest& plugin, const std::vector<std::uint8_t>& data, int code,
                      const std::string& what);

// Decodes data cut to each of the lengths: cut inside its first
// signatureSize bytes it is no known format, cut later broken data.
void ExpectCutsRefused(const PluginUnderTest& plugin, const std::vector<std::uint8_t>& data,
                       std::initializer_list<std::size_t> lengths, std::size_t signatureSize);

// Decodes data with a callback that asks to stop at call stopAtCall: the
// decode must end at that call with SPI_ABORT and hand out no blocks.
void ExpectStopsAtCall(const PluginUnderTest& plugin, const std::vector<std::uint8_t>& data, int stopAtCall);

// The pixels of a DIB (8-bit with palette or 24-bit, bottom-up) as RGB.
RgbImage DibToRgb(const SPI_BITMAPINFOHEADER& header, const SPI_RGBQUAD* palette,
                  const std::uint8_t* bits);

// Reference pixels decoded by ImageMagick: `convert <input> <options>
// -depth 8 ppm:-`. The default options composite transparency over white.
// An empty image when convert fails.
RgbImage ReferencePixels(const std::string& input,
                         const std::string& options = "-background white -flatten");

// Runs `convert <arguments>`; true when it succeeded.
bool Convert(const std::string& arguments);

// Empty when both images have the same size and every channel differs by
// at most tolerance; otherwise a description of the first difference.
std::string ComparePixels(const RgbImage& actual, const RgbImage& expected, int tolerance = 0);

// A small photo-like test picture made by ImageMagick (gradients and
// noise): `convert -size WxH <pattern> ...` written to path.
bool MakePhotoLikeImage(const std::string& path, int width, int height,
                        const std::string& extraOptions = "");

// Quotes a string for the shell.
std::string ShellQuote(const std::string& text);
