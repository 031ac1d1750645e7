#include <gtest/gtest.h>

#include <cstring>
#include <cmath>

#include "plugin_decode.h"
#include "support/temp_folder.h"

namespace {

struct TiffFixture : ::testing::Test {
    TempFolder folder;
    PluginUnderTest plugin{"iftiff.spi"};

    std::string Source(int width = 101, int height = 67) {
        const std::string path = folder.File("source.ppm");
        EXPECT_TRUE(MakePhotoLikeImage(path, width, height, "-depth 8"));
        return path;
    }

    std::string MakeTiff(const std::string& source, const std::string& options, const std::string& name = "case.tif") {
        const std::string path = folder.File(name);
        EXPECT_TRUE(Convert(ShellQuote(source) + " " + options + " " + ShellQuote(path)));
        return path;
    }
};

// A little-endian TIFF header with one directory of SHORT/LONG entries.
std::vector<std::uint8_t> HandMadeTiff(const std::vector<std::pair<std::uint16_t, std::uint32_t>>& tags) {
    std::vector<std::uint8_t> file = {'I', 'I', 42, 0, 8, 0, 0, 0};
    auto put16 = [&](std::uint16_t v) { file.insert(file.end(), {std::uint8_t(v), std::uint8_t(v >> 8)}); };
    auto put32 = [&](std::uint32_t v) { put16(std::uint16_t(v)); put16(std::uint16_t(v >> 16)); };
    put16(static_cast<std::uint16_t>(tags.size()));
    for (const auto& [tag, value] : tags) {
        put16(tag);
        put16(4);  // LONG
        put32(1);
        put32(value);
    }
    put32(0);
    file.resize(file.size() + 64, 0x55);
    return file;
}

TEST_F(TiffFixture, DescribesItselfAndRecognisesBothByteOrders) {
    ASSERT_TRUE(plugin.Loaded());
    EXPECT_EQ(plugin.Info(SPI_INFO_PATTERN), "*.tif;*.tiff");
    EXPECT_EQ(plugin.Info(SPI_INFO_FORMAT_NAME), "TIFF");
    EXPECT_TRUE(plugin.IsSupported({'I', 'I', 42, 0}));
    EXPECT_TRUE(plugin.IsSupported({'M', 'M', 0, 42}));
    EXPECT_FALSE(plugin.IsSupported({'I', 'I', 0, 42}));
    EXPECT_FALSE(plugin.IsSupported({0xFF, 0xD8, 0xFF}));
}

TEST_F(TiffFixture, DecodesCompressionsLayoutsAndColourKindsLikeTheReference) {
    const std::string source = Source();
    // Sixteen-bit samples and colour maps are rounded to 8 bits here, where
    // the reference truncates: one step of difference is allowed there.
    struct Case {
        const char* options;
        int bitCount;
        int tolerance;
    };
    const Case cases[] = {
        {"-compress none", 24, 0},
        {"-compress lzw", 24, 0},
        {"-compress zip -define tiff:rows-per-strip=1", 24, 0},
        {"-compress rle", 24, 0},
        {"-compress jpeg -quality 95", 24, 1},
        {"-compress lzw -define tiff:tile-geometry=32x48", 24, 0},
        {"-compress jpeg -define tiff:tile-geometry=32x32", 24, 1},
        {"-depth 16 -compress zip", 24, 0},
        {"-interlace plane -compress lzw", 24, 0},
        {"-colorspace CMYK -compress lzw", 24, 1},
        {"-alpha set -channel A -fx 'i/w' +channel -compress zip", 24, 1},
        {"-alpha set -channel A -fx 'j/h' +channel -define tiff:alpha=associated", 24, 1},
        {"-colorspace Gray -compress lzw", 8, 0},
        {"-colorspace Gray -depth 16", 8, 1},
        {"-colorspace Gray -define quantum:polarity=min-is-white", 8, 0},
        {"-colorspace Gray -alpha set -channel A -fx 'i/w' +channel", 8, 1},
        {"-monochrome -compress group4", 8, 0},
        {"-monochrome -define quantum:polarity=min-is-white -define tiff:tile-geometry=32x32", 8, 0},
        {"-colorspace Gray -depth 4", 8, 0},
        {"-colors 200 -type Palette -compress lzw", 8, 1},
        {"-colors 12 -type Palette -depth 4 -define tiff:tile-geometry=16x16", 8, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        const std::string tiff = MakeTiff(source, c.options);
        const auto data = ReadFileBytes(tiff);
        PictureInfo info{};
        ASSERT_EQ(plugin.GetPictureInfo(data, info), SPI_SUCCESS);
        EXPECT_EQ(info.width, 101);
        EXPECT_EQ(info.height, 67);

        const DecodeResult result = plugin.Decode(data);
        ASSERT_EQ(result.code, SPI_SUCCESS);
        EXPECT_TRUE(result.handlesConsistent);
        EXPECT_EQ(result.header.biBitCount, c.bitCount);
        EXPECT_EQ(ComparePixels(result.image, ReferencePixels(tiff), c.tolerance), "");
    }
}

TEST_F(TiffFixture, DecodesJpegCompressedYCbCrInStripsAndTiles) {
    const std::string plain = MakeTiff(Source(), "-compress none", "plain.tif");
    for (const char* layout : {"-r 16", "-t -w 32 -l 32"}) {
        SCOPED_TRACE(layout);
        const std::string tiff = folder.File("ycbcr.tif");
        ASSERT_TRUE(RunCommand(std::string("tiffcp -c jpeg ") + layout + " " + ShellQuote(plain) + " " + ShellQuote(tiff)));
        const DecodeResult result = plugin.Decode(ReadFileBytes(tiff));
        ASSERT_EQ(result.code, SPI_SUCCESS);
        EXPECT_EQ(ComparePixels(result.image, ReferencePixels(tiff), 1), "");
    }
}

TEST_F(TiffFixture, DecodesTheFirstPageOnly) {
    const std::string first = Source(40, 30);
    const std::string second = folder.File("second.ppm");
    ASSERT_TRUE(Convert("-size 50x20 xc:orange " + ShellQuote(second)));
    const std::string tiff = folder.File("pages.tif");
    ASSERT_TRUE(Convert(ShellQuote(first) + " " + ShellQuote(second) + " -compress lzw " + ShellQuote(tiff)));
    const DecodeResult result = plugin.Decode(ReadFileBytes(tiff));
    ASSERT_EQ(result.code, SPI_SUCCESS);
    EXPECT_EQ(ComparePixels(result.image, ReferencePixels(first, "")), "");
}

TEST_F(TiffFixture, ReportsResolutionInDotsPerInch) {
    const std::string source = Source(8, 8);
    struct Case {
        const char* options;
        int dpiX;
        int dpiY;
    };
    for (const Case& c : {Case{"-units PixelsPerInch -density 300x150", 300, 150},
                          Case{"-units PixelsPerCentimeter -density 118.11", 300, 300},
                          Case{"-units Undefined -density 72", 0, 0}}) {
        SCOPED_TRACE(c.options);
        const auto data = ReadFileBytes(MakeTiff(source, c.options));
        PictureInfo info{};
        ASSERT_EQ(plugin.GetPictureInfo(data, info), SPI_SUCCESS);
        EXPECT_EQ(info.x_density, c.dpiX);
        EXPECT_EQ(info.y_density, c.dpiY);
        EXPECT_EQ(plugin.Decode(data).header.biYPelsPerMeter, c.dpiY ? std::lround(c.dpiY / 0.0254) : 0);
    }
    // No resolution tags at all.
    auto bare = HandMadeTiff({{256, 2}, {257, 2}, {258, 8}, {262, 1}, {273, 8}, {279, 4}});
    PictureInfo info{};
    ASSERT_EQ(plugin.GetPictureInfo(bare, info), SPI_SUCCESS);
    EXPECT_EQ(info.x_density, 0);
}

TEST_F(TiffFixture, ReportsProgressAndStopsWhenAsked) {
    const std::string source = Source(30, 500);
    for (const char* options : {"-compress lzw", "-define tiff:tile-geometry=16x16", "-colorspace CMYK"}) {
        SCOPED_TRACE(options);
        const auto data = ReadFileBytes(MakeTiff(source, options));
        ProgressRecorder recorder;
        ASSERT_EQ(plugin.Decode(data, ProgressRecorder::Callback, recorder.UserValue()).code, SPI_SUCCESS);
        const int calls = static_cast<int>(recorder.calls.size());
        EXPECT_GE(calls, 5);
        for (int callsBeforeStop : {1, 5, calls}) {
            SCOPED_TRACE(callsBeforeStop);
            ExpectStopsAtCall(plugin, data, callsBeforeStop);
        }
    }
}

TEST_F(TiffFixture, DamagedDataGivesAResultCode) {
    const std::string source = Source();
    for (const char* options : {"-compress none", "-compress lzw", "-compress jpeg",
                                "-define tiff:tile-geometry=32x32 -compress zip"}) {
        SCOPED_TRACE(options);
        const auto good = ReadFileBytes(MakeTiff(source, options));
        // The directory follows the pixels in these files: any cut loses it.
        for (std::size_t keep : {std::size_t{8}, std::size_t{100}, good.size() / 2}) {
            const std::vector<std::uint8_t> truncated(good.begin(), good.begin() + static_cast<long>(keep));
            const DecodeResult result = plugin.Decode(truncated);
            EXPECT_TRUE(result.code == SPI_BROKEN_DATA || result.code == SPI_UNKNOWN_FORMAT) << keep << ": " << result.code;
            EXPECT_TRUE(result.handlesConsistent);
        }
    }
    EXPECT_EQ(plugin.Decode({'I', 'I', 0, 42, 8, 0, 0, 0}).code, SPI_UNKNOWN_FORMAT);

    // Absurd sizes over a few bytes of data: refused, not attempted.
    for (std::uint32_t side : {100000u, 0x40000001u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(side);
        const auto huge = HandMadeTiff({{256, side}, {257, side}, {258, 8}, {262, 1}, {273, 8}, {279, 64}});
        const int code = plugin.Decode(huge).code;
        EXPECT_TRUE(code == SPI_NO_MEMORY || code == SPI_BROKEN_DATA) << code;
    }
    // A strip whose byte count points past the end of the file.
    const auto pastEnd = HandMadeTiff({{256, 64}, {257, 64}, {258, 8}, {262, 1}, {273, 8}, {279, 4096}});
    EXPECT_EQ(plugin.Decode(pastEnd).code, SPI_BROKEN_DATA);
}

}  // namespace
