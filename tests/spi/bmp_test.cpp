#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "plugin_decode.h"
#include "support/temp_folder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& bytes, std::size_t at, std::uint32_t value) {
    bytes[at] = static_cast<std::uint8_t>(value);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    Put16(bytes, at, value & 0xFFFF);
    Put16(bytes, at + 2, value >> 16);
}

std::uint32_t Get32(const Bytes& bytes, std::size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

// A BMP file with a 40-byte header; extra (masks, palette) follows the
// header, then the pixel bytes.
Bytes MakeBmp(std::int32_t width, std::int32_t height, int bitCount, std::uint32_t compression,
              const Bytes& extra, const Bytes& pixels) {
    const auto pixelOffset = static_cast<std::uint32_t>(54 + extra.size());
    // Sized once and filled in place: growing it by insert trips a false
    // -Warray-bounds of GCC 12 at -O3.
    Bytes bytes(pixelOffset + pixels.size());
    bytes[0] = 'B';
    bytes[1] = 'M';
    Put32(bytes, 2, static_cast<std::uint32_t>(pixelOffset + pixels.size()));
    Put32(bytes, 10, pixelOffset);
    Put32(bytes, 14, 40);
    Put32(bytes, 18, static_cast<std::uint32_t>(width));
    Put32(bytes, 22, static_cast<std::uint32_t>(height));
    Put16(bytes, 26, 1);
    Put16(bytes, 28, static_cast<std::uint32_t>(bitCount));
    Put32(bytes, 30, compression);
    Put32(bytes, 34, static_cast<std::uint32_t>(pixels.size()));
    std::copy(extra.begin(), extra.end(), bytes.begin() + 54);
    std::copy(pixels.begin(), pixels.end(), bytes.begin() + pixelOffset);
    return bytes;
}

// Sixteen distinct palette colours: entry i is (16i, 255 - 16i, i).
Bytes SixteenColours() {
    Bytes palette;
    for (int i = 0; i < 16; ++i)
        palette.insert(palette.end(), {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - 16 * i),
                                       static_cast<std::uint8_t>(16 * i), 0});
    return palette;
}

// The same image stored top-down: rows reversed, height negated.
Bytes TopDown(const Bytes& bottomUp) {
    Bytes bytes(bottomUp);
    const std::size_t pixelOffset = Get32(bytes, 10);
    const auto width = static_cast<std::int32_t>(Get32(bytes, 18));
    const auto height = static_cast<std::int32_t>(Get32(bytes, 22));
    const int bitCount = bytes[28];
    const std::size_t stride = SPI_DibStride(width, bitCount);
    for (std::int32_t row = 0; row < height; ++row)
        std::memcpy(&bytes[pixelOffset + row * stride], &bottomUp[pixelOffset + (height - 1 - row) * stride], stride);
    Put32(bytes, 22, static_cast<std::uint32_t>(-height));
    return bytes;
}

class BmpPlugin : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(plugin.Loaded());
        ASSERT_TRUE(MakePhotoLikeImage(photo, 37, 23));
    }

    // Writes the photo with convert and returns the file's bytes.
    Bytes ConvertPhoto(const std::string& options, const std::string& target) {
        const std::string path = folder.File(target.substr(target.find(':') + 1));
        EXPECT_TRUE(Convert(ShellQuote(photo) + " " + options + " " + target.substr(0, target.find(':') + 1) +
                            ShellQuote(path)));
        return ReadFileBytes(path);
    }

    void ExpectSameAsReference(const Bytes& bytes, const std::string& name, int expectedBitCount) {
        SCOPED_TRACE(name);
        const std::string path = folder.Write(name, bytes);
        const DecodeResult result = plugin.Decode(bytes);
        ASSERT_EQ(result.code, SPI_SUCCESS);
        EXPECT_EQ(result.header.biBitCount, expectedBitCount);
        EXPECT_GT(result.header.biHeight, 0) << "bitmaps are bottom-up";
        EXPECT_EQ(ComparePixels(result.image, ReferencePixels(path)), "");
    }

    TempFolder folder;
    std::string photo = folder.File("photo.png");
    PluginUnderTest plugin{"ifbmp.spi"};
};

TEST_F(BmpPlugin, DescribesItselfAndRecognisesOnlyBmpHeaders) {
    EXPECT_EQ(plugin.Info(0), "00IN");
    EXPECT_EQ(plugin.Info(2), "*.bmp;*.dib;*.rle");
    EXPECT_EQ(plugin.Info(3), "BMP");
    EXPECT_FALSE(plugin.Info(1).empty());

    const Bytes bmp = MakeBmp(1, 1, 24, 0, {}, {1, 2, 3, 0});
    EXPECT_TRUE(plugin.IsSupported(bmp));
    Bytes unknownHeader(bmp);
    Put32(unknownHeader, 14, 200);
    EXPECT_FALSE(plugin.IsSupported(unknownHeader));
    EXPECT_FALSE(plugin.IsSupported(Bytes{'B', 'M'}));
    EXPECT_FALSE(plugin.IsSupported(Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}));
}

TEST_F(BmpPlugin, DecodesEveryDepthThatImageMagickWritesExactly) {
    ExpectSameAsReference(ConvertPhoto("-type TrueColor", "BMP3:true24.bmp"), "true24.bmp", 24);
    ExpectSameAsReference(ConvertPhoto("-colors 200 -compress None", "BMP3:palette8.bmp"), "palette8.bmp", 8);
    ExpectSameAsReference(ConvertPhoto("-colors 200 -compress RLE", "BMP3:rle8.bmp"), "rle8.bmp", 8);
    ExpectSameAsReference(ConvertPhoto("-colors 16", "BMP3:palette4.bmp"), "palette4.bmp", 8);
    ExpectSameAsReference(ConvertPhoto("-monochrome", "BMP3:mono.bmp"), "mono.bmp", 8);
    ExpectSameAsReference(ConvertPhoto("-define bmp:subtype=RGB555", "BMP:rgb555.bmp"), "rgb555.bmp", 24);
    ExpectSameAsReference(ConvertPhoto("-define bmp:subtype=RGB565", "BMP:rgb565.bmp"), "rgb565.bmp", 24);
    ExpectSameAsReference(ConvertPhoto("-colors 16", "BMP2:os2_palette.bmp"), "os2_palette.bmp", 8);
    ExpectSameAsReference(ConvertPhoto("", "BMP2:os2_true.bmp"), "os2_true.bmp", 24);

    const Bytes true24 = ConvertPhoto("-type TrueColor", "BMP3:source.bmp");
    const DecodeResult bottomUp = plugin.Decode(true24);
    const DecodeResult topDown = plugin.Decode(TopDown(true24));
    ASSERT_EQ(topDown.code, SPI_SUCCESS);
    EXPECT_EQ(ComparePixels(topDown.image, bottomUp.image), "") << "top-down rows";
    EXPECT_GT(topDown.header.biHeight, 0);
}

TEST_F(BmpPlugin, CompositesAlphaOverWhite) {
    const std::string rgba = folder.File("rgba.png");
    ASSERT_TRUE(Convert(ShellQuote(photo) + " \\( +clone -fx i/w \\) -alpha off -compose copy_opacity -composite " +
                        ShellQuote(rgba)));
    const std::string path = folder.File("alpha.bmp");
    ASSERT_TRUE(Convert(ShellQuote(rgba) + " BMP:" + ShellQuote(path)));
    const DecodeResult result = plugin.Decode(ReadFileBytes(path));
    ASSERT_EQ(result.code, SPI_SUCCESS);
    EXPECT_EQ(result.header.biBitCount, 24);
    // ImageMagick composites at 16 bits per channel: one level of rounding.
    EXPECT_EQ(ComparePixels(result.image, ReferencePixels(path), 1), "");
    EXPECT_EQ(result.image.Pixel(0, 0)[0], 255) << "the left column is fully transparent";
}

TEST_F(BmpPlugin, DecodesRunLengthFourBitStreams) {
    // Bottom row: a run of five alternating indices 1 and 2, then end of
    // line. Top row: three literal indices, a delta of one pixel, a run of
    // two 7s, end of bitmap.
    const Bytes stream{0x05, 0x12, 0x00, 0x00, 0x00, 0x03, 0x34, 0x50, 0x00, 0x02, 0x01, 0x00, 0x02, 0x77, 0x00, 0x01};
    const DecodeResult result = plugin.Decode(MakeBmp(6, 2, 4, 2, SixteenColours(), stream));
    ASSERT_EQ(result.code, SPI_SUCCESS);
    ASSERT_EQ(result.header.biBitCount, 8);
    const int expected[2][6] = {{3, 4, 5, 0, 7, 7}, {1, 2, 1, 2, 1, 0}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 6; ++x) {
            const std::uint8_t* pixel = result.image.Pixel(x, y);
            EXPECT_EQ(pixel[0], 16 * expected[y][x]) << x << "," << y;
            EXPECT_EQ(pixel[2], expected[y][x]) << x << "," << y;
        }
}

TEST_F(BmpPlugin, ScalesBitFieldMasksToFullRange) {
    // 5-6-5 masks after the 40-byte header; one row of four pixels.
    Bytes masks(12);
    Put32(masks, 0, 0xF800);
    Put32(masks, 4, 0x07E0);
    Put32(masks, 8, 0x001F);
    const Bytes pixels{0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0xFF, 0xFF};
    const DecodeResult result = plugin.Decode(MakeBmp(4, 1, 16, 3, masks, pixels));
    ASSERT_EQ(result.code, SPI_SUCCESS);
    const RgbImage& image = result.image;
    EXPECT_EQ(Bytes(image.Pixel(0, 0), image.Pixel(0, 0) + 3), (Bytes{255, 0, 0}));
    EXPECT_EQ(Bytes(image.Pixel(1, 0), image.Pixel(1, 0) + 3), (Bytes{0, 255, 0}));
    EXPECT_EQ(Bytes(image.Pixel(2, 0), image.Pixel(2, 0) + 3), (Bytes{0, 0, 255}));
    EXPECT_EQ(Bytes(image.Pixel(3, 0), image.Pixel(3, 0) + 3), (Bytes{255, 255, 255}));
}

TEST_F(BmpPlugin, ReportsSizeDepthAndDensity) {
    const Bytes dense = ConvertPhoto("-colors 16 -units PixelsPerInch -density 300", "BMP3:dense.bmp");
    PictureInfo info{};
    ASSERT_EQ(plugin.GetPictureInfo(dense, info), SPI_SUCCESS);
    EXPECT_EQ(info.width, 37);
    EXPECT_EQ(info.height, 23);
    EXPECT_EQ(info.colorDepth, 4);
    EXPECT_EQ(info.x_density, 300);
    EXPECT_EQ(info.y_density, 300);
    EXPECT_EQ(plugin.Decode(dense).header.biXPelsPerMeter, 11811);

    Bytes plain = MakeBmp(1, 1, 24, 0, {}, {1, 2, 3, 0});
    ASSERT_EQ(plugin.GetPictureInfo(plain, info), SPI_SUCCESS);
    EXPECT_EQ(info.x_density, 0);
    EXPECT_EQ(info.colorDepth, 24);
}

TEST_F(BmpPlugin, ReportsProgressAndStopsWhenAsked) {
    for (const std::string options : {"-compress None", "-compress RLE"}) {
        SCOPED_TRACE(options);
        const Bytes bytes = ConvertPhoto("-colors 200 " + options, "BMP3:progress.bmp");
        ProgressRecorder recorder;
        ASSERT_EQ(plugin.Decode(bytes, ProgressRecorder::Callback, recorder.UserValue()).code, SPI_SUCCESS);
        ASSERT_GE(recorder.calls.size(), 23u) << "at least one report per row of a small image";
        EXPECT_EQ(recorder.calls.back().done, recorder.calls.back().total);

        ExpectStopsAtCall(plugin, bytes, 3);
    }
}

TEST_F(BmpPlugin, RefusesDamagedFilesWithACode) {
    const Bytes good = ConvertPhoto("-colors 200 -compress None", "BMP3:good.bmp");
    const Bytes rle = ConvertPhoto("-colors 200 -compress RLE", "BMP3:good_rle.bmp");
    ExpectCutsRefused(plugin, good, {1, 10, 30, 100, good.size() - 40}, 2);
    ExpectDecodeCode(plugin, Bytes(rle.begin(), rle.begin() + static_cast<std::ptrdiff_t>(rle.size() / 2)),
                     SPI_BROKEN_DATA, "RLE stream cut in half");

    Bytes wrongMagic(good);
    wrongMagic[0] = 'X';
    ExpectDecodeCode(plugin, wrongMagic, SPI_UNKNOWN_FORMAT, "wrong magic");

    Bytes huge(good);
    Put32(huge, 18, 100000);
    Put32(huge, 22, 100000);
    ExpectDecodeCode(plugin, huge, SPI_NO_MEMORY, "100000 x 100000");
    Put32(huge, 18, 0x7FFFFFFF);
    Put32(huge, 22, 0x80000001);
    ExpectDecodeCode(plugin, huge, SPI_NO_MEMORY, "byte count beyond any size");
    Bytes hugeRle(rle);
    Put32(hugeRle, 18, 200000);
    Put32(hugeRle, 22, 200000);
    ExpectDecodeCode(plugin, hugeRle, SPI_NO_MEMORY, "RLE claiming 200000 x 200000");

    Bytes zeroWidth(good);
    Put32(zeroWidth, 18, 0);
    ExpectDecodeCode(plugin, zeroWidth, SPI_BROKEN_DATA, "zero width");
    Bytes oddDepth(good);
    Put16(oddDepth, 28, 7);
    ExpectDecodeCode(plugin, oddDepth, SPI_BROKEN_DATA, "7 bits per pixel");
    Bytes embeddedJpeg(good);
    Put32(embeddedJpeg, 30, 4);
    ExpectDecodeCode(plugin, embeddedJpeg, SPI_UNKNOWN_FORMAT, "embedded JPEG");
    Bytes pixelsPastEnd(good);
    Put32(pixelsPastEnd, 10, static_cast<std::uint32_t>(good.size() + 10));
    ExpectDecodeCode(plugin, pixelsPastEnd, SPI_BROKEN_DATA, "pixel offset past the end");
    ExpectDecodeCode(plugin, MakeBmp(4, 1, 16, 3, {0, 0}, {}), SPI_BROKEN_DATA, "masks cut off");
}

TEST_F(BmpPlugin, KeepsPixelsOfOversizedRunsInsideTheImage) {
    // Runs and deltas that reach past the right edge and the last row.
    const Bytes stream{0xFF, 0x05, 0x00, 0x02, 0xFF, 0xFF, 0xFF, 0x06, 0x00, 0x00, 0xFF, 0x07};
    const DecodeResult result = plugin.Decode(MakeBmp(3, 2, 8, 1, SixteenColours(), stream));
    ASSERT_EQ(result.code, SPI_SUCCESS);
    EXPECT_EQ(result.image.Pixel(2, 1)[2], 5) << "bottom row filled by the first run";
    EXPECT_EQ(result.image.Pixel(0, 0)[2], 0) << "the delta left the top row untouched";
}

}  // namespace
