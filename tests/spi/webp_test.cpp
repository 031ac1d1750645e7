#include <gtest/gtest.h>


#include "plugin_decode.h"
#include "support/temp_folder.h"

namespace {

struct WebpFixture : ::testing::Test {
    TempFolder folder;
    PluginUnderTest plugin{"ifwebp.spi"};

    // A photo-like PNG; with alpha, a transparency ramp from left to right.
    std::string Source(int width, int height, bool alpha) {
        const std::string path = folder.File(alpha ? "alpha.png" : "opaque.png");
        EXPECT_TRUE(MakePhotoLikeImage(path, width, height,
                                       alpha ? "-depth 8 -alpha set -channel A -fx 'i/w' +channel" : "-depth 8"));
        return path;
    }

    std::string Cwebp(const std::string& options, const std::string& source, const std::string& name = "case.webp") {
        const std::string path = folder.File(name);
        EXPECT_TRUE(RunCommand("cwebp -quiet " + options + " " + ShellQuote(source) + " -o " + ShellQuote(path)));
        return path;
    }

    // libwebp's own command-line decoder's pixels, over white.
    RgbImage Dwebp(const std::string& webp) {
        const std::string pam = folder.File("reference.pam");
        EXPECT_TRUE(RunCommand("dwebp -quiet -pam " + ShellQuote(webp) + " -o " + ShellQuote(pam)));
        return ReferencePixels(pam);
    }
};

TEST_F(WebpFixture, DescribesItselfAndRecognisesOnlyWebpData) {
    ASSERT_TRUE(plugin.Loaded());
    EXPECT_EQ(plugin.Info(SPI_INFO_PATTERN), "*.webp");
    EXPECT_EQ(plugin.Info(SPI_INFO_FORMAT_NAME), "WebP");
    EXPECT_TRUE(plugin.IsSupported(ReadFileBytes(Cwebp("", Source(16, 16, false)))));
    const std::string wave = "RIFF\x24\0\0\0WAVEfmt ";
    EXPECT_FALSE(plugin.IsSupported(std::vector<std::uint8_t>(wave.begin(), wave.end())));
    EXPECT_FALSE(plugin.IsSupported({}));
}

TEST_F(WebpFixture, DecodesLossyLosslessAndTransparentPictures) {
    const std::string opaque = Source(123, 77, false);
    const std::string alpha = Source(123, 77, true);
    struct Case {
        const char* options;
        const std::string& source;
        int depth;
    };
    for (const Case& c : {Case{"-q 80", opaque, 24}, Case{"-lossless", opaque, 24}, Case{"-q 80", alpha, 32},
                          Case{"-lossless", alpha, 32}, Case{"-q 60 -alpha_q 50 -sharp_yuv", alpha, 32}}) {
        SCOPED_TRACE(std::string(c.options) + " " + c.source);
        const std::string webp = Cwebp(c.options, c.source);
        const auto data = ReadFileBytes(webp);
        PictureInfo info{};
        ASSERT_EQ(plugin.GetPictureInfo(data, info), SPI_SUCCESS);
        EXPECT_EQ(info.width, 123);
        EXPECT_EQ(info.height, 77);
        EXPECT_EQ(info.colorDepth, c.depth);
        EXPECT_EQ(info.x_density, 0);

        const DecodeResult result = plugin.Decode(data);
        ASSERT_EQ(result.code, SPI_SUCCESS);
        EXPECT_TRUE(result.handlesConsistent);
        EXPECT_EQ(result.header.biBitCount, 24);
        // Opaque pictures match the reference exactly; transparent ones
        // may differ by rounding in the blend over white.
        EXPECT_EQ(ComparePixels(result.image, Dwebp(webp), c.depth == 32 ? 1 : 0), "");
    }
    // Lossless output is the source itself.
    EXPECT_EQ(ComparePixels(plugin.Decode(ReadFileBytes(Cwebp("-lossless -exact", alpha))).image,
                            ReferencePixels(alpha), 1), "");
    EXPECT_EQ(ComparePixels(plugin.Decode(ReadFileBytes(Cwebp("-lossless", opaque))).image,
                            ReferencePixels(opaque)), "");
}

TEST_F(WebpFixture, ReportsProgressAndStopsWhenAsked) {
    const std::string opaque = Source(300, 500, false);
    const std::string alpha = Source(300, 500, true);
    for (const auto& [options, source] : {std::pair{"-q 95", opaque}, std::pair{"-lossless", opaque},
                                          std::pair{"-lossless", alpha}}) {
        SCOPED_TRACE(options);
        const auto data = ReadFileBytes(Cwebp(options, source));
        ProgressRecorder recorder;
        ASSERT_EQ(plugin.Decode(data, ProgressRecorder::Callback, recorder.UserValue()).code, SPI_SUCCESS);
        const int calls = static_cast<int>(recorder.calls.size());
        EXPECT_GE(calls, 5);
        for (int callsBeforeStop : {1, calls / 2 + 1, calls}) {
            SCOPED_TRACE(callsBeforeStop);
            ExpectStopsAtCall(plugin, data, callsBeforeStop);
        }
    }
}

TEST_F(WebpFixture, DamagedDataGivesAResultCode) {
    const std::string source = Source(200, 150, true);
    for (const char* options : {"-q 80", "-lossless"}) {
        SCOPED_TRACE(options);
        const auto good = ReadFileBytes(Cwebp(options, source));
        for (std::size_t keep : {std::size_t{12}, std::size_t{30}, good.size() / 2, good.size() - 1}) {
            const std::vector<std::uint8_t> truncated(good.begin(), good.begin() + static_cast<long>(keep));
            const DecodeResult result = plugin.Decode(truncated);
            EXPECT_EQ(result.code, SPI_BROKEN_DATA) << keep;
            EXPECT_TRUE(result.handlesConsistent);
        }
        auto garbled = good;
        for (std::size_t i = good.size() / 3; i < good.size() / 3 + 200; ++i) garbled[i] = static_cast<std::uint8_t>(i * 41);
        EXPECT_TRUE(plugin.Decode(garbled).handlesConsistent);
    }

    auto wrongMagic = ReadFileBytes(Cwebp("", source));
    wrongMagic[8] = 'X';
    EXPECT_EQ(plugin.Decode(wrongMagic).code, SPI_UNKNOWN_FORMAT);

    const std::string animated = folder.File("animated.webp");
    ASSERT_TRUE(Convert("-size 32x32 xc:red xc:blue -loop 0 " + ShellQuote(animated)));
    EXPECT_EQ(plugin.Decode(ReadFileBytes(animated)).code, SPI_UNKNOWN_FORMAT);
}

}  // namespace
