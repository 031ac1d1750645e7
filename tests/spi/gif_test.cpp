#include <gtest/gtest.h>

#include "plugin_decode.h"
#include "support/temp_folder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& bytes, std::size_t at, std::uint32_t value) {
    bytes[at] = static_cast<std::uint8_t>(value);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

// Offset of the first image descriptor: after the header, the global colour
// table and any extension blocks.
std::size_t FirstImageDescriptor(const Bytes& gif) {
    std::size_t at = 13 + ((gif[10] & 0x80) ? 3u << ((gif[10] & 7) + 1) : 0u);
    while (at < gif.size() && gif[at] == '!') {
        at += 2;
        while (at < gif.size() && gif[at] != 0) at += gif[at] + 1u;
        ++at;
    }
    return at;
}

Bytes PixelOf(const RgbImage& image, int x, int y) { return Bytes(image.Pixel(x, y), image.Pixel(x, y) + 3); }

class GifPlugin : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(plugin.Loaded());
        ASSERT_TRUE(MakePhotoLikeImage(photo, 43, 31));
    }

    std::string MakeGif(const std::string& arguments, const std::string& name) {
        const std::string path = folder.File(name);
        EXPECT_TRUE(Convert(arguments + " " + ShellQuote(path)));
        return path;
    }

    DecodeResult DecodeFile(const std::string& path) {
        const DecodeResult result = plugin.Decode(ReadFileBytes(path));
        EXPECT_EQ(result.code, SPI_SUCCESS) << path;
        EXPECT_EQ(result.header.biBitCount, 8) << path;
        return result;
    }

    TempFolder folder;
    std::string photo = folder.File("photo.png");
    PluginUnderTest plugin{"ifgif.spi"};
};

TEST_F(GifPlugin, DescribesItselfAndRecognisesBothVersions) {
    EXPECT_EQ(plugin.Info(0), "00IN");
    EXPECT_EQ(plugin.Info(2), "*.gif");
    EXPECT_EQ(plugin.Info(3), "GIF");
    EXPECT_TRUE(plugin.IsSupported(Bytes{'G', 'I', 'F', '8', '7', 'a'}));
    EXPECT_TRUE(plugin.IsSupported(Bytes{'G', 'I', 'F', '8', '9', 'a'}));
    EXPECT_FALSE(plugin.IsSupported(Bytes{'G', 'I', 'F', '8', '8', 'a'}));
}

TEST_F(GifPlugin, DecodesPlainAndInterlacedImagesLikeTheReference) {
    struct Case {
        const char* name;
        const char* options;
        int colourBits;
    } cases[] = {{"256.gif", "-colors 256", 8},
                 {"interlaced.gif", "-colors 256 -interlace GIF", 8},
                 {"16.gif", "-colors 16", 4},
                 {"2.gif", "-monochrome", 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = MakeGif(ShellQuote(photo) + " " + c.options, c.name);
        PictureInfo info{};
        ASSERT_EQ(plugin.GetPictureInfo(ReadFileBytes(path), info), SPI_SUCCESS);
        EXPECT_EQ(info.width, 43);
        EXPECT_EQ(info.height, 31);
        EXPECT_EQ(info.colorDepth, c.colourBits);
        EXPECT_EQ(info.x_density, 0) << "GIF has no density";
        EXPECT_EQ(ComparePixels(DecodeFile(path).image, ReferencePixels(path + "[0]")), "");
    }
}

TEST_F(GifPlugin, ShowsOnlyTheFirstImageOnItsLogicalScreen) {
    const std::string animation = MakeGif(
        "-size 20x10 xc:red \\( -size 8x4 xc:blue -set page +5+3 \\) -set dispose none -loop 0", "anim.gif");
    const DecodeResult first = DecodeFile(animation);
    EXPECT_EQ(PixelOf(first.image, 6, 4), (Bytes{255, 0, 0})) << "the second image is not drawn";

    // A first image smaller than the screen: the rest of the screen is white.
    const std::string offset = MakeGif("-size 8x4 xc:blue -set page 20x10+5+3", "offset.gif");
    const DecodeResult placed = DecodeFile(offset);
    EXPECT_EQ(placed.image.width, 20);
    EXPECT_EQ(placed.image.height, 10);
    EXPECT_EQ(PixelOf(placed.image, 5, 3), (Bytes{0, 0, 255}));
    EXPECT_EQ(PixelOf(placed.image, 4, 3), (Bytes{255, 255, 255}));
    EXPECT_EQ(ComparePixels(placed.image, ReferencePixels(offset + "[0]")), "");
}

TEST_F(GifPlugin, ShowsTransparentPixelsWhiteAndKeepsThePalette) {
    const std::string path = MakeGif(ShellQuote(photo) +
                                         " -colors 16 -fill black -draw 'rectangle 0,0 9,9' -transparent black",
                                     "transparent.gif");
    const DecodeResult result = DecodeFile(path);
    EXPECT_EQ(PixelOf(result.image, 5, 5), (Bytes{255, 255, 255}));
    EXPECT_EQ(ComparePixels(result.image, ReferencePixels(path + "[0]")), "");
}

TEST_F(GifPlugin, ReportsProgressAndStopsWhenAsked) {
    for (const char* interlace : {"-interlace none", "-interlace GIF"}) {
        SCOPED_TRACE(interlace);
        const Bytes bytes = ReadFileBytes(MakeGif(ShellQuote(photo) + " " + interlace, "progress.gif"));
        ProgressRecorder recorder;
        ASSERT_EQ(plugin.Decode(bytes, ProgressRecorder::Callback, recorder.UserValue()).code, SPI_SUCCESS);
        ASSERT_GE(recorder.calls.size(), 31u);
        EXPECT_EQ(recorder.calls.back().done, recorder.calls.back().total);

        ExpectStopsAtCall(plugin, bytes, 2);
    }
}

TEST_F(GifPlugin, RefusesDamagedFilesWithACode) {
    const Bytes good = ReadFileBytes(MakeGif(ShellQuote(photo) + " -colors 64", "good.gif"));
    ExpectCutsRefused(plugin, good, {3, 10, 100, good.size() / 2, good.size() - 2}, 6);

    Bytes wrongMagic(good);
    wrongMagic[4] = '8';
    ExpectDecodeCode(plugin, wrongMagic, SPI_UNKNOWN_FORMAT, "wrong magic");

    // The logical screen's size sits at offset 6; the first image stays
    // small and lies in its top-left corner.
    Bytes hugeScreen(good);
    Put16(hugeScreen, 6, 65535);
    Put16(hugeScreen, 8, 65535);
    ExpectDecodeCode(plugin, hugeScreen, SPI_NO_MEMORY, "65535 x 65535 screen");

    const std::size_t descriptor = FirstImageDescriptor(good);
    ASSERT_EQ(good[descriptor], ',');
    Bytes corruptCodes(good);
    corruptCodes[descriptor + 10] = 12;  // LZW minimum code size beyond the format's 8
    ExpectDecodeCode(plugin, corruptCodes, SPI_BROKEN_DATA, "impossible code size");

    Bytes noImage(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(descriptor));
    noImage.push_back(';');
    ExpectDecodeCode(plugin, noImage, SPI_BROKEN_DATA, "only a trailer");
}

}  // namespace
