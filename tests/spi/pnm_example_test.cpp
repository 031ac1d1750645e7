// The SDK's example plug-in, loaded through the host from its own folder:
// what an author copies must really work.
#include <gtest/gtest.h>

#include <string>

#include "plugin_decode.h"
#include "support/temp_folder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::string_literals;

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

class PnmExample : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(plugin.Loaded()) << "the example is a valid plug-in";
        ASSERT_TRUE(MakePhotoLikeImage(photo, 31, 19));
    }

    // The photo written by ImageMagick in the given PNM flavour.
    std::string Write(const std::string& options, const std::string& name) {
        const std::string path = folder.File(name);
        EXPECT_TRUE(Convert(ShellQuote(photo) + " " + options + " " + ShellQuote(path)));
        return path;
    }

    TempFolder folder;
    std::string photo = folder.File("photo.png");
    PluginUnderTest plugin{"ifpnm.spi", KELVANDOR_SDK_EXAMPLE_DIR};
};

TEST_F(PnmExample, DescribesItselfAndRecognisesOnlyBinaryGreyAndColour) {
    EXPECT_EQ(plugin.Info(0), "00IN");
    EXPECT_EQ(plugin.Info(2), "*.pgm;*.ppm;*.pnm");
    EXPECT_EQ(plugin.Info(3), "PNM");
    EXPECT_EQ(plugin.Info(4), "") << "numbers past 3 have no text";

    EXPECT_TRUE(plugin.IsSupported(Text("P6\n1 1\n255\n\x01\x02\x03"s)));
    EXPECT_TRUE(plugin.IsSupported(Text("P5 1 1 255 x"s)));
    EXPECT_FALSE(plugin.IsSupported(Text("P3\n1 1\n255\n1 2 3\n"s))) << "plain-text PPM";
    EXPECT_FALSE(plugin.IsSupported(Text("P61"s)));
    EXPECT_FALSE(plugin.IsSupported(Bytes{'B', 'M'}));
}

TEST_F(PnmExample, DecodesGreyAndColourAtBothSampleSizesLikeTheReference) {
    struct Case {
        const char* options;
        const char* name;
        int depth;      // as GetPictureInfo reports it
        int bitmapBits; // of the returned bitmap
        int tolerance;  // ImageMagick rounds 16-bit grey down to 8 its own way
    };
    for (const Case& c : {Case{"-depth 8", "colour8.ppm", 24, 24, 0}, Case{"-depth 16", "colour16.ppm", 48, 24, 1},
                          Case{"-colorspace gray -depth 8", "grey8.pgm", 8, 8, 0},
                          Case{"-colorspace gray -depth 16", "grey16.pgm", 16, 8, 1}}) {
        SCOPED_TRACE(c.name);
        const std::string path = Write(c.options, c.name);
        const Bytes bytes = ReadFileBytes(path);
        PictureInfo info{};
        ASSERT_EQ(plugin.GetPictureInfo(bytes, info), SPI_SUCCESS);
        EXPECT_EQ(info.width, 31);
        EXPECT_EQ(info.height, 19);
        EXPECT_EQ(info.colorDepth, c.depth);
        EXPECT_EQ(info.x_density, 0) << "the format has no density";

        const DecodeResult result = plugin.Decode(bytes);
        ASSERT_EQ(result.code, SPI_SUCCESS);
        EXPECT_EQ(result.header.biBitCount, c.bitmapBits);
        EXPECT_EQ(result.header.biSize, 40u);
        EXPECT_GT(result.header.biHeight, 0) << "rows bottom-up";
        EXPECT_EQ(ComparePixels(result.image, ReferencePixels(path, ""), c.tolerance), "");
    }
}

TEST_F(PnmExample, ScalesSmallMaximumsAndReadsCommentsInTheHeader) {
    const DecodeResult result = plugin.Decode(Text("P5\n# made by hand\n3 1 # width, height\n3\n\x00\x01\x03"s));
    ASSERT_EQ(result.code, SPI_SUCCESS);
    EXPECT_EQ(result.image.Pixel(0, 0)[0], 0);
    EXPECT_EQ(result.image.Pixel(1, 0)[0], 85);
    EXPECT_EQ(result.image.Pixel(2, 0)[0], 255);
}

TEST_F(PnmExample, AnswersDamagedInputWithACodeAndNoBlocks) {
    const Bytes good = ReadFileBytes(Write("-depth 8", "good.ppm"));
    auto expectCode = [&](const Bytes& bytes, int code, const std::string& what) {
        ExpectDecodeCode(plugin, bytes, code, what);
        PictureInfo info{};
        EXPECT_EQ(plugin.GetPictureInfo(bytes, info), code) << what;
    };
    expectCode(Bytes(good.begin(), good.end() - 1), SPI_BROKEN_DATA, "one sample short");
    expectCode(Text("P6\n"s), SPI_BROKEN_DATA, "header cut off");
    expectCode(Text("P6\n0 5\n255\n"s), SPI_BROKEN_DATA, "zero width");
    expectCode(Text("P6\n999999 1\n255\n"s), SPI_BROKEN_DATA, "width beyond the limit");
    expectCode(Text("P6\n65535 65535\n255\nxyz"s), SPI_BROKEN_DATA, "huge size, few samples");
    expectCode(Text("P6\n1 1\n0\nxyz"s), SPI_BROKEN_DATA, "maximum 0");
    expectCode(Text("P3\n1 1\n255\n1 2 3\n"s), SPI_UNKNOWN_FORMAT, "plain-text PPM");
}

TEST(PnmExampleInput, AnswersFileInputAsNotImplementedWithNoBlocks) {
    TSusiePlugs plugs;
    plugs.SetPath(KELVANDOR_SDK_EXAMPLE_DIR);
    ASSERT_EQ(plugs.Count(), 1);
    TSusiePlug& plug = *plugs.Items(0);
    const TSusiePlugUse use(plug);
    ASSERT_TRUE(use.Loaded());
    HLOCAL info = nullptr;
    HLOCAL bits = nullptr;
    PictureInfo picture{};
    EXPECT_EQ(plug.GetPictureInfo("/nonexistent.ppm", 0, SPI_INPUT_FILE, &picture), SPI_NOT_IMPLEMENTED);
    EXPECT_EQ(plug.GetPicture("/nonexistent.ppm", 0, SPI_INPUT_FILE, &info, &bits, nullptr, 0),
              SPI_NOT_IMPLEMENTED);
    EXPECT_EQ(info, nullptr);
    EXPECT_EQ(bits, nullptr);
}

TEST_F(PnmExample, ReportsProgressPerRowAndStopsWhenAsked) {
    const Bytes bytes = ReadFileBytes(Write("-depth 8", "progress.ppm"));
    ProgressRecorder recorder;
    ASSERT_EQ(plugin.Decode(bytes, ProgressRecorder::Callback, recorder.UserValue()).code, SPI_SUCCESS);
    ASSERT_EQ(recorder.calls.size(), 20u) << "one report per row and one at the end";
    EXPECT_EQ(recorder.calls.back().done, 19);
    EXPECT_EQ(recorder.calls.back().total, 19);

    ExpectStopsAtCall(plugin, bytes, 5);
}

}  // namespace
