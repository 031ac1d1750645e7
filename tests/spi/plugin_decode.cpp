#include "plugin_decode.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>

#include <gtest/gtest.h>

namespace {

constexpr std::size_t kHostPadding = 2048;

struct PipeCloser {
    void operator()(FILE* pipe) const { pclose(pipe); }
};

std::vector<std::uint8_t> CommandOutput(const std::string& commandLine) {
    std::unique_ptr<FILE, PipeCloser> pipe(popen(commandLine.c_str(), "r"));
    std::vector<std::uint8_t> output;
    if (!pipe) return output;
    std::uint8_t chunk[65536];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe.get())) > 0)
        output.insert(output.end(), chunk, chunk + got);
    return output;
}

// Reads one whitespace-separated decimal field of a PPM header.
bool ReadPpmNumber(const std::vector<std::uint8_t>& data, std::size_t& at, int& value) {
    while (at < data.size() && (std::isspace(data[at]) || data[at] == '#')) {
        if (data[at] == '#')
            while (at < data.size() && data[at] != '\n') ++at;
        else
            ++at;
    }
    if (at >= data.size() || !std::isdigit(data[at])) return false;
    value = 0;
    while (at < data.size() && std::isdigit(data[at])) value = value * 10 + (data[at++] - '0');
    return true;
}

RgbImage ParsePpm(const std::vector<std::uint8_t>& data) {
    RgbImage image;
    if (data.size() < 2 || data[0] != 'P' || data[1] != '6') return image;
    std::size_t at = 2;
    int width, height, maxValue;
    if (!ReadPpmNumber(data, at, width) || !ReadPpmNumber(data, at, height) ||
        !ReadPpmNumber(data, at, maxValue) || maxValue != 255)
        return image;
    ++at;  // the single whitespace after the header
    const std::size_t bytes = static_cast<std::size_t>(width) * height * 3;
    if (data.size() < at + bytes) return image;
    image.width = width;
    image.height = height;
    image.rgb.assign(data.begin() + static_cast<std::ptrdiff_t>(at),
                     data.begin() + static_cast<std::ptrdiff_t>(at + bytes));
    return image;
}

}  // namespace

PluginUnderTest::PluginUnderTest(const std::string& fileName, const std::string& folder) {
    plugs_.SetPath(folder);
    for (int i = 0; i < plugs_.Count(); ++i)
        if (plugs_.Items(i)->FileName() == fileName) plug_ = plugs_.Items(i);
    if (plug_ != nullptr) use_ = std::make_unique<TSusiePlugUse>(*plug_);
}

PluginUnderTest::~PluginUnderTest() = default;

std::string PluginUnderTest::Info(int number) const { return plug_->GetInfo(number); }

bool PluginUnderTest::IsSupported(const std::vector<std::uint8_t>& data) const {
    std::vector<std::uint8_t> padded(data);
    if (padded.size() < kHostPadding) padded.resize(kHostPadding, 0);
    return plug_->IsSupported(nullptr, reinterpret_cast<std::intptr_t>(padded.data())) != 0;
}

int PluginUnderTest::GetPictureInfo(const std::vector<std::uint8_t>& data, PictureInfo& info) const {
    const std::unique_ptr<char[]> exact(new char[data.size()]);
    std::memcpy(exact.get(), data.data(), data.size());
    return plug_->GetPictureInfo(exact.get(), static_cast<std::int32_t>(data.size()), SPI_INPUT_MEMORY,
                                 &info);
}

DecodeResult PluginUnderTest::Decode(const std::vector<std::uint8_t>& data, SPI_PROGRESS progress,
                                     std::intptr_t userData) const {
    const std::unique_ptr<char[]> exact(new char[data.size()]);
    std::memcpy(exact.get(), data.data(), data.size());
    HLOCAL infoBlock = nullptr;
    HLOCAL bitsBlock = nullptr;
    DecodeResult result;
    result.code = plug_->GetPicture(exact.get(), static_cast<std::int32_t>(data.size()), SPI_INPUT_MEMORY,
                                    &infoBlock, &bitsBlock, progress, userData);
    result.handlesConsistent = result.code == SPI_SUCCESS ? (infoBlock != nullptr && bitsBlock != nullptr)
                                                          : (infoBlock == nullptr && bitsBlock == nullptr);
    if (result.code == SPI_SUCCESS && infoBlock != nullptr && bitsBlock != nullptr) {
        const auto* header = static_cast<const SPI_BITMAPINFOHEADER*>(LocalLock(infoBlock));
        const auto* palette = reinterpret_cast<const SPI_RGBQUAD*>(header + 1);
        result.header = *header;
        if (header->biBitCount <= 8) {
            const std::size_t entries = header->biClrUsed ? header->biClrUsed : (1u << header->biBitCount);
            result.palette.assign(palette, palette + entries);
        }
        result.image = DibToRgb(*header, palette, static_cast<const std::uint8_t*>(LocalLock(bitsBlock)));
        LocalUnlock(infoBlock);
        LocalUnlock(bitsBlock);
    }
    LocalFree(infoBlock);
    LocalFree(bitsBlock);
    return result;
}

int ProgressRecorder::Callback(int done, int total, std::intptr_t self) {
    auto* recorder = reinterpret_cast<ProgressRecorder*>(self);
    recorder->calls.push_back({done, total});
    return recorder->stopAtCall != 0 && static_cast<int>(recorder->calls.size()) >= recorder->stopAtCall;
}

void ExpectDecodeCode(const PluginUnderTest& plugin, const std::vector<std::uint8_t>& data, int code,
                      const std::string& what) {
    const DecodeResult result = plugin.Decode(data);
    EXPECT_EQ(result.code, code) << what;
    EXPECT_TRUE(result.handlesConsistent) << what;
}

void ExpectCutsRefused(const PluginUnderTest& plugin, const std::vector<std::uint8_t>& data,
                       std::initializer_list<std::size_t> lengths, std::size_t signatureSize) {
    for (const std::size_t length : lengths) {
        const std::vector<std::uint8_t> cut(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(length));
        ExpectDecodeCode(plugin, cut, length < signatureSize ? SPI_UNKNOWN_FORMAT : SPI_BROKEN_DATA,
                         "cut to " + std::to_string(length));
    }
}

void ExpectStopsAtCall(const PluginUnderTest& plugin, const std::vector<std::uint8_t>& data, int stopAtCall) {
    ProgressRecorder stopper;
    stopper.stopAtCall = stopAtCall;
    const DecodeResult stopped = plugin.Decode(data, ProgressRecorder::Callback, stopper.UserValue());
    EXPECT_EQ(stopped.code, SPI_ABORT);
    EXPECT_TRUE(stopped.handlesConsistent) << "no blocks handed out after a stop";
    EXPECT_EQ(stopper.calls.size(), static_cast<std::size_t>(stopAtCall)) << "decoding ends at the stop request";
}

RgbImage DibToRgb(const SPI_BITMAPINFOHEADER& header, const SPI_RGBQUAD* palette, const std::uint8_t* bits) {
    RgbImage image;
    if (header.biWidth <= 0 || header.biHeight <= 0 ||
        (header.biBitCount != 8 && header.biBitCount != 24))
        return image;
    image.width = header.biWidth;
    image.height = header.biHeight;
    image.rgb.resize(static_cast<std::size_t>(image.width) * image.height * 3);
    const std::size_t stride = SPI_DibStride(header.biWidth, header.biBitCount);
    std::uint8_t* out = image.rgb.data();
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* row = bits + static_cast<std::size_t>(image.height - 1 - y) * stride;
        for (int x = 0; x < image.width; ++x) {
            if (header.biBitCount == 8) {
                const SPI_RGBQUAD& entry = palette[row[x]];
                *out++ = entry.rgbRed;
                *out++ = entry.rgbGreen;
                *out++ = entry.rgbBlue;
            } else {
                *out++ = row[x * 3 + 2];
                *out++ = row[x * 3 + 1];
                *out++ = row[x * 3];
            }
        }
    }
    return image;
}

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

RgbImage ReferencePixels(const std::string& input, const std::string& options) {
    return ParsePpm(CommandOutput("convert " + ShellQuote(input) + " " + options + " -depth 8 ppm:- 2>/dev/null"));
}

bool Convert(const std::string& arguments) {
    return std::system(("convert " + arguments + " 2>/dev/null").c_str()) == 0;
}

std::string ComparePixels(const RgbImage& actual, const RgbImage& expected, int tolerance) {
    std::ostringstream text;
    if (actual.width != expected.width || actual.height != expected.height) {
        text << "size " << actual.width << "x" << actual.height << ", expected " << expected.width << "x"
             << expected.height;
        return text.str();
    }
    for (int y = 0; y < actual.height; ++y)
        for (int x = 0; x < actual.width; ++x) {
            const std::uint8_t* a = actual.Pixel(x, y);
            const std::uint8_t* e = expected.Pixel(x, y);
            for (int c = 0; c < 3; ++c)
                if (std::abs(a[c] - e[c]) > tolerance) {
                    text << "pixel (" << x << "," << y << ") is " << int(a[0]) << "," << int(a[1]) << ","
                         << int(a[2]) << ", expected " << int(e[0]) << "," << int(e[1]) << "," << int(e[2]);
                    return text.str();
                }
        }
    return {};
}

bool MakePhotoLikeImage(const std::string& path, int width, int height, const std::string& extraOptions) {
    std::ostringstream arguments;
    arguments << "-seed 7 -size " << width << "x" << height << " plasma:fractal -blur 0x1 -depth 8 " << extraOptions
              << " " << ShellQuote(path);
    return Convert(arguments.str());
}
