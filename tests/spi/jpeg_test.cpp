#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>

#include "plugin_decode.h"
#include "support/temp_folder.h"

namespace {

struct JpegFixture : ::testing::Test {
    TempFolder folder;
    PluginUnderTest plugin{"ifjpeg.spi"};

    // A 8-bit photo-like source picture as PPM, for cjpeg and convert.
    std::string Source(int width = 173, int height = 97) {
        const std::string path = folder.File("source.ppm");
        EXPECT_TRUE(MakePhotoLikeImage(path, width, height, "-depth 8"));
        return path;
    }

    std::string Cjpeg(const std::string& options, const std::string& source, const std::string& name) {
        const std::string path = folder.File(name);
        EXPECT_TRUE(RunCommand("cjpeg " + options + " -outfile " + ShellQuote(path) + " " + ShellQuote(source)));
        return path;
    }

    // libjpeg-turbo's own command-line decoder's pixels, as RGB.
    RgbImage Djpeg(const std::string& jpeg) {
        const std::string pnm = folder.File("reference.pnm");
        EXPECT_TRUE(RunCommand("djpeg -pnm -outfile " + ShellQuote(pnm) + " " + ShellQuote(jpeg)));
        return ReferencePixels(pnm, "");
    }
};

// Offset of the baseline frame header marker (FF C0).
std::size_t FrameHeaderOffset(const std::vector<std::uint8_t>& jpeg) {
    for (std::size_t i = 2; i + 9 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) return i;
    return 0;
}

TEST_F(JpegFixture, DescribesItselfAndRecognisesOnlyJpegData) {
    ASSERT_TRUE(plugin.Loaded());
    EXPECT_EQ(plugin.Info(SPI_INFO_API_VERSION), "00IN");
    EXPECT_EQ(plugin.Info(SPI_INFO_PATTERN), "*.jpg;*.jpeg;*.jpe;*.jfif");
    EXPECT_EQ(plugin.Info(SPI_INFO_FORMAT_NAME), "JPEG");
    EXPECT_FALSE(plugin.Info(SPI_INFO_DESCRIPTION).empty());

    EXPECT_TRUE(plugin.IsSupported(ReadFileBytes(Cjpeg("", Source(), "a.jpg"))));
    EXPECT_FALSE(plugin.IsSupported({}));
    EXPECT_FALSE(plugin.IsSupported({0xFF, 0xD8}));
    EXPECT_FALSE(plugin.IsSupported({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}));
}

TEST_F(JpegFixture, DecodesLikeTheReferenceDecoder) {
    const std::string source = Source();
    struct Case {
        const char* options;
        int bitCount;
        int depth;
    };
    for (const Case& c : {Case{"", 24, 24}, Case{"-progressive", 24, 24}, Case{"-sample 1x1", 24, 24},
                          Case{"-sample 2x1 -optimize -restart 1", 24, 24}, Case{"-arithmetic", 24, 24},
                          Case{"-grayscale", 8, 8}, Case{"-grayscale -progressive", 8, 8},
                          Case{"-rgb", 24, 24}}) {
        SCOPED_TRACE(c.options);
        const std::string jpeg = Cjpeg(c.options, source, "case.jpg");
        const auto data = ReadFileBytes(jpeg);
        PictureInfo info{};
        ASSERT_EQ(plugin.GetPictureInfo(data, info), SPI_SUCCESS);
        EXPECT_EQ(info.width, 173);
        EXPECT_EQ(info.height, 97);
        EXPECT_EQ(info.colorDepth, c.depth);

        const DecodeResult result = plugin.Decode(data);
        ASSERT_EQ(result.code, SPI_SUCCESS);
        EXPECT_TRUE(result.handlesConsistent);
        EXPECT_EQ(result.header.biBitCount, c.bitCount);
        if (c.bitCount == 8) {
            EXPECT_EQ(result.palette.size(), 256u);
        }
        EXPECT_EQ(ComparePixels(result.image, Djpeg(jpeg)), "");
    }
}

// Bitmaps of a megabyte and more, and the whole-image coefficient arrays
// of multi-scan files, are mapped by a second thread while the decoder
// fills them; rows must come out as the reference decoder's all the same,
// whatever the sampling, the coding, the order of the scans or the odd
// sizes.
TEST_F(JpegFixture, LargePicturesDecodeLikeTheReferenceDecoder) {
    const std::string source = Source(1001, 1103);
    // One scan per component, one after the other: sequential, yet the
    // whole image is buffered as for progressive files.
    const std::string scanPerComponent = folder.File("scans.txt");
    std::ofstream(scanPerComponent) << "0;\n1;\n2;\n";
    const std::string scansOption = "-scans " + ShellQuote(scanPerComponent);
    for (const std::string& options :
         {std::string(), std::string("-sample 2x1"), std::string("-sample 1x1"), std::string("-progressive"),
          std::string("-progressive -sample 1x1"), std::string("-progressive -arithmetic"), scansOption,
          std::string("-sample 2x1 -restart 1"), std::string("-grayscale"), std::string("-grayscale -progressive")}) {
        SCOPED_TRACE(options);
        const std::string jpeg = Cjpeg(options, source, "large.jpg");
        const DecodeResult result = plugin.Decode(ReadFileBytes(jpeg));
        ASSERT_EQ(result.code, SPI_SUCCESS);
        EXPECT_EQ(ComparePixels(result.image, Djpeg(jpeg)), "");
    }
}

TEST_F(JpegFixture, CmykComesOutAsRgb) {
    const std::string jpeg = folder.File("cmyk.jpg");
    ASSERT_TRUE(Convert(ShellQuote(Source(700, 600)) + " -colorspace CMYK " + ShellQuote(jpeg)));
    const auto data = ReadFileBytes(jpeg);
    PictureInfo info{};
    ASSERT_EQ(plugin.GetPictureInfo(data, info), SPI_SUCCESS);
    EXPECT_EQ(info.colorDepth, 32);
    const DecodeResult result = plugin.Decode(data);
    ASSERT_EQ(result.code, SPI_SUCCESS);
    EXPECT_EQ(result.header.biBitCount, 24);
    EXPECT_EQ(ComparePixels(result.image, ReferencePixels(jpeg, "-colorspace sRGB"), 1), "");
}

TEST_F(JpegFixture, ReportsDensityInDotsPerInch) {
    const std::string source = Source(16, 16);
    struct Case {
        const char* options;
        int dpiX;
        int dpiY;
    };
    for (const Case& c : {Case{"-units PixelsPerInch -density 300x150", 300, 150},
                          Case{"-units PixelsPerCentimeter -density 40", 102, 102},
                          Case{"-units Undefined -density 2", 0, 0}}) {
        SCOPED_TRACE(c.options);
        const std::string jpeg = folder.File("density.jpg");
        ASSERT_TRUE(Convert(ShellQuote(source) + " " + c.options + " " + ShellQuote(jpeg)));
        const auto data = ReadFileBytes(jpeg);
        PictureInfo info{};
        ASSERT_EQ(plugin.GetPictureInfo(data, info), SPI_SUCCESS);
        EXPECT_EQ(info.x_density, c.dpiX);
        EXPECT_EQ(info.y_density, c.dpiY);
        EXPECT_EQ(plugin.Decode(data).header.biYPelsPerMeter, c.dpiY ? std::lround(c.dpiY / 0.0254) : 0);
    }
}

TEST_F(JpegFixture, ReportsRisingProgressAndStopsWhenAsked) {
    // Large enough for the bitmap to be mapped by a second thread, which
    // must be stopped on every way out.
    const std::string source = Source(640, 1200);
    for (const char* options : {"", "-progressive"}) {
        SCOPED_TRACE(options);
        const auto data = ReadFileBytes(Cjpeg(options, source, "tall.jpg"));
        ProgressRecorder recorder;
        ASSERT_EQ(plugin.Decode(data, ProgressRecorder::Callback, recorder.UserValue()).code, SPI_SUCCESS);
        const std::vector<ProgressRecorder::Call>& calls = recorder.calls;
        ASSERT_GE(calls.size(), 20u);
        for (std::size_t i = 1; i < calls.size(); ++i) EXPECT_GT(calls[i].done, calls[i - 1].done);
        EXPECT_EQ(calls.back().done, calls.back().total);

        for (int callsBeforeStop : {1, 10, static_cast<int>(calls.size())}) {
            SCOPED_TRACE(callsBeforeStop);
            ExpectStopsAtCall(plugin, data, callsBeforeStop);
        }
    }
}

// Damaged files must give a result code, never a crash or a read past the
// data (the helper passes an exact-size copy, so a sanitiser sees any).
TEST_F(JpegFixture, DamagedDataGivesAResultCode) {
    const auto good = ReadFileBytes(Cjpeg("", Source(), "good.jpg"));
    const auto progressive = ReadFileBytes(Cjpeg("-progressive", Source(), "progressive.jpg"));
    const auto large = ReadFileBytes(Cjpeg("", Source(800, 700), "large.jpg"));
    // Large enough for its coefficient arrays to be mapped by a second
    // thread, which must be stopped before they are freed.
    const auto largeProgressive = ReadFileBytes(Cjpeg("-progressive", Source(800, 700), "large-progressive.jpg"));

    for (const auto* whole : {&good, &progressive, &large, &largeProgressive}) {
        for (std::size_t keep : {std::size_t{3}, std::size_t{20}, std::size_t{200}, whole->size() / 2, whole->size() - 2}) {
            SCOPED_TRACE(keep);
            const std::vector<std::uint8_t> truncated(whole->begin(), whole->begin() + static_cast<long>(keep));
            EXPECT_EQ(plugin.Decode(truncated).code, SPI_BROKEN_DATA);
        }
    }

    auto wrongMagic = good;
    wrongMagic[1] = 0xD9;
    EXPECT_EQ(plugin.Decode(wrongMagic).code, SPI_UNKNOWN_FORMAT);
    PictureInfo info{};
    EXPECT_EQ(plugin.GetPictureInfo(wrongMagic, info), SPI_UNKNOWN_FORMAT);

    // Scan data cut short by an end-of-image marker.
    auto cut = std::vector<std::uint8_t>(good.begin(), good.begin() + static_cast<long>(good.size() / 2));
    cut.insert(cut.end(), {0xFF, 0xD9});
    EXPECT_EQ(plugin.Decode(cut).code, SPI_BROKEN_DATA);

    const std::size_t frame = FrameHeaderOffset(good);
    ASSERT_NE(frame, 0u);
    // Codings this decoder does not read are unsupported, not damaged.
    auto twelveBit = good;
    twelveBit[frame + 4] = 12;
    EXPECT_EQ(plugin.Decode(twelveBit).code, SPI_UNKNOWN_FORMAT);
    auto lossless = good;
    lossless[frame + 1] = 0xC3;
    EXPECT_EQ(plugin.Decode(lossless).code, SPI_UNKNOWN_FORMAT);

    // A frame header claiming 65500 x 65500 pixels over a few bytes of data.
    auto huge = good;
    huge[frame + 5] = huge[frame + 7] = 0xFF;
    huge[frame + 6] = huge[frame + 8] = 0xDC;
    EXPECT_EQ(plugin.GetPictureInfo(huge, info), SPI_SUCCESS);
    EXPECT_EQ(info.width, 65500);
    const int hugeCode = plugin.Decode(huge).code;
    EXPECT_TRUE(hugeCode == SPI_BROKEN_DATA || hugeCode == SPI_NO_MEMORY) << hugeCode;

    // Garbage in the scan: any outcome but a crash, and never half a result.
    auto garbled = good;
    for (std::size_t i = good.size() / 3; i < good.size() / 3 + 64; ++i) garbled[i] = static_cast<std::uint8_t>(i * 37);
    const DecodeResult garbledResult = plugin.Decode(garbled);
    EXPECT_TRUE(garbledResult.handlesConsistent);
}

}  // namespace
