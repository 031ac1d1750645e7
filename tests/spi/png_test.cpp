#include <gtest/gtest.h>

#include <algorithm>

#include "plugin_decode.h"
#include "support/temp_folder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void PutBigEndian32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

class PngPlugin : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(plugin.Loaded());
        ASSERT_TRUE(MakePhotoLikeImage(photo, 41, 29));
        // The same picture with alpha rising from 0 at the left edge.
        ASSERT_TRUE(Convert(ShellQuote(photo) + " \\( +clone -fx i/w \\) -alpha off -compose copy_opacity -composite " +
                            ShellQuote(photoWithAlpha)));
    }

    std::string MakePng(const std::string& source, const std::string& options, const std::string& name) {
        const std::string path = folder.File(name);
        EXPECT_TRUE(Convert(ShellQuote(source) + " " + options + " " + ShellQuote(path)));
        return path;
    }

    TempFolder folder;
    std::string photo = folder.File("photo.png");
    std::string photoWithAlpha = folder.File("alpha.png");
    PluginUnderTest plugin{"ifpng.spi"};
};

struct Variant {
    const char* name;
    const char* options;
    bool fromAlpha;
    int bitsPerPixel;  // of the file, as GetPictureInfo reports it
    int bitmapBits;    // of the decoded bitmap
    int tolerance;     // ImageMagick composites at 16 bits per channel
};

TEST_F(PngPlugin, DescribesItselfAndRecognisesTheSignature) {
    EXPECT_EQ(plugin.Info(0), "00IN");
    EXPECT_EQ(plugin.Info(2), "*.png");
    EXPECT_EQ(plugin.Info(3), "PNG");
    EXPECT_TRUE(plugin.IsSupported(ReadFileBytes(photo)));
    EXPECT_FALSE(plugin.IsSupported(Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, 'x'}));
    EXPECT_FALSE(plugin.IsSupported(Bytes{'B', 'M'}));
}

TEST_F(PngPlugin, DecodesEveryColourTypeAndDepthLikeTheReference) {
    const Variant variants[] = {
        {"grey1", "-colorspace gray -depth 1 -define png:color-type=0 -define png:bit-depth=1", false, 1, 8, 0},
        {"grey2", "-colorspace gray -define png:color-type=0 -define png:bit-depth=2", false, 2, 8, 0},
        {"grey4", "-colorspace gray -define png:color-type=0 -define png:bit-depth=4", false, 4, 8, 0},
        {"grey8", "-colorspace gray -define png:color-type=0 -define png:bit-depth=8", false, 8, 8, 0},
        {"grey16", "-colorspace gray -define png:color-type=0 -define png:bit-depth=16", false, 16, 8, 0},
        {"palette1", "-strip -colors 2 -define png:color-type=3", false, 1, 8, 0},
        {"palette2", "-strip -colors 4 -define png:color-type=3", false, 2, 8, 0},
        {"palette4", "-strip -colors 16 -define png:color-type=3", false, 4, 8, 0},
        {"palette8", "-strip -colors 200 -define png:color-type=3", false, 8, 8, 0},
        {"rgb8", "-define png:color-type=2 -define png:bit-depth=8", false, 24, 24, 0},
        {"rgb16", "-define png:color-type=2 -define png:bit-depth=16", false, 48, 24, 0},
        {"grey_alpha8", "-colorspace gray -define png:color-type=4 -define png:bit-depth=8", true, 16, 8, 1},
        {"grey_alpha16", "-colorspace gray -define png:color-type=4 -define png:bit-depth=16", true, 32, 8, 1},
        {"rgba8", "-define png:color-type=6 -define png:bit-depth=8", true, 32, 24, 1},
        {"rgba16", "-define png:color-type=6 -define png:bit-depth=16", true, 64, 24, 1},
    };
    for (const Variant& variant : variants)
        for (const char* interlace : {"-interlace none", "-interlace PNG"}) {
            const std::string name = std::string(variant.name) + (interlace[11] == 'P' ? "_adam7" : "") + ".png";
            SCOPED_TRACE(name);
            const std::string path = MakePng(variant.fromAlpha ? photoWithAlpha : photo,
                                             std::string(interlace) + " " + variant.options, name);
            const Bytes bytes = ReadFileBytes(path);
            ASSERT_TRUE(plugin.IsSupported(bytes));
            PictureInfo info{};
            ASSERT_EQ(plugin.GetPictureInfo(bytes, info), SPI_SUCCESS);
            EXPECT_EQ(info.width, 41);
            EXPECT_EQ(info.height, 29);
            EXPECT_EQ(info.colorDepth, variant.bitsPerPixel);
            const DecodeResult result = plugin.Decode(bytes);
            ASSERT_EQ(result.code, SPI_SUCCESS);
            EXPECT_EQ(result.header.biBitCount, variant.bitmapBits);
            EXPECT_EQ(ComparePixels(result.image, ReferencePixels(path), variant.tolerance), "");
        }
}

TEST_F(PngPlugin, CompositesTransparentEntriesOverWhite) {
    // A palette with one fully transparent entry keeps its palette; a grey
    // and a colour image with a tRNS colour key turn that colour white.
    const std::string keyed = folder.File("palette_trns.png");
    ASSERT_TRUE(Convert(ShellQuote(photo) + " -colors 8 -fill black -draw 'rectangle 0,0 9,9' -transparent black " +
                        ShellQuote(keyed)));
    const std::string& palette = keyed;
    const std::string grey = MakePng(keyed, "-colorspace gray -define png:color-type=0 -define png:bit-depth=8", "grey_trns.png");
    const std::string rgb = MakePng(keyed, "-define png:color-type=2", "rgb_trns.png");
    for (const std::string& path : {palette, grey, rgb}) {
        SCOPED_TRACE(path);
        const DecodeResult result = plugin.Decode(ReadFileBytes(path));
        ASSERT_EQ(result.code, SPI_SUCCESS);
        EXPECT_EQ(result.header.biBitCount, path == rgb ? 24 : 8);
        EXPECT_EQ(Bytes(result.image.Pixel(5, 5), result.image.Pixel(5, 5) + 3), (Bytes{255, 255, 255}));
        EXPECT_EQ(ComparePixels(result.image, ReferencePixels(path)), "");
    }
}

TEST_F(PngPlugin, ReportsDensityInDotsPerInchOnlyForMetricUnits) {
    PictureInfo info{};
    const std::string dense = MakePng(photo, "-units PixelsPerInch -density 144x72", "dense.png");
    ASSERT_EQ(plugin.GetPictureInfo(ReadFileBytes(dense), info), SPI_SUCCESS);
    EXPECT_EQ(info.x_density, 144);
    EXPECT_EQ(info.y_density, 72);
    EXPECT_EQ(plugin.Decode(ReadFileBytes(dense)).header.biYPelsPerMeter, 2835);

    const std::string plain = MakePng(photo, "-strip", "plain.png");
    ASSERT_EQ(plugin.GetPictureInfo(ReadFileBytes(plain), info), SPI_SUCCESS);
    EXPECT_EQ(info.x_density, 0);

    // The same pHYs chunk with the unit byte 0 gives only an aspect ratio.
    Bytes aspectOnly = ReadFileBytes(dense);
    const std::string needle = "pHYs";
    const auto at = std::search(aspectOnly.begin(), aspectOnly.end(), needle.begin(), needle.end());
    ASSERT_NE(at, aspectOnly.end());
    at[12] = 0;
    ASSERT_EQ(plugin.GetPictureInfo(aspectOnly, info), SPI_SUCCESS);
    EXPECT_EQ(info.x_density, 0);
    EXPECT_EQ(info.y_density, 0);
}

TEST_F(PngPlugin, ReportsProgressAndStopsWhenAsked) {
    for (const char* interlace : {"-interlace none", "-interlace PNG"}) {
        SCOPED_TRACE(interlace);
        const Bytes bytes = ReadFileBytes(MakePng(photoWithAlpha, interlace, "progress.png"));
        ProgressRecorder recorder;
        ASSERT_EQ(plugin.Decode(bytes, ProgressRecorder::Callback, recorder.UserValue()).code, SPI_SUCCESS);
        ASSERT_GE(recorder.calls.size(), 29u);
        EXPECT_EQ(recorder.calls.back().done, recorder.calls.back().total);

        ExpectStopsAtCall(plugin, bytes, 4);
    }
}

TEST_F(PngPlugin, RefusesDamagedFilesWithACode) {
    const Bytes good = ReadFileBytes(photo);
    ExpectCutsRefused(plugin, good, {4, 8, 20, 40, good.size() / 2}, 8);

    Bytes wrongMagic(good);
    wrongMagic[1] = 'Q';
    ExpectDecodeCode(plugin, wrongMagic, SPI_UNKNOWN_FORMAT, "wrong magic");

    // IHDR sits at offset 8: length, type, width at 16, height at 20. The
    // CRC no longer matches after the change, so both the size check and
    // the CRC check refuse the file.
    Bytes huge(good);
    PutBigEndian32(huge, 16, 100000);
    PutBigEndian32(huge, 20, 100000);
    const DecodeResult hugeResult = plugin.Decode(huge);
    EXPECT_TRUE(hugeResult.code == SPI_BROKEN_DATA || hugeResult.code == SPI_NO_MEMORY) << hugeResult.code;
    PutBigEndian32(huge, 16, 0x7FFFFFFF);
    PutBigEndian32(huge, 20, 0x7FFFFFFF);
    EXPECT_EQ(plugin.Decode(huge).code, SPI_NO_MEMORY) << "byte count beyond any size";
    PutBigEndian32(huge, 16, 0x80000000);
    EXPECT_EQ(plugin.Decode(huge).code, SPI_BROKEN_DATA) << "width beyond the format's range";

    Bytes corruptData(good);
    const std::string idat = "IDAT";
    const auto data = std::search(corruptData.begin(), corruptData.end(), idat.begin(), idat.end());
    ASSERT_NE(data, corruptData.end());
    for (auto byte = data + 6; byte < data + 60; ++byte) *byte ^= 0x5A;
    ExpectDecodeCode(plugin, corruptData, SPI_BROKEN_DATA, "scrambled compressed data");
}

}  // namespace
