// Windows plug-ins built from our own sources, run by the Wine helper.

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/child_process.h"
#include "plugins/plug_library.h"
#include "plugins/susie_plug.h"
#include "plugins/wine_bridge.h"
#include "raster/raster.h"
#include "support/event_wait.h"
#include "support/scripted_message_boxes.h"
#include "support/temp_folder.h"

namespace {

const std::string kWindowsPlugins = KELVANDOR_WINDOWS_PLUGIN_DIR;
const std::string kNativePlugins = KELVANDOR_PLUGIN_DIR;
const char* const kBitnesses[] = {"win32", "win64"};

// One helper per bitness stays up for the whole test program; one Wine
// prefix in the build tree serves every test program.
class WineBridgeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { setenv("XDG_CACHE_HOME", KELVANDOR_WINE_CACHE_DIR, 1); }

    void SetUp() override {
#ifndef KELVANDOR_WINDOWS_BUILDS
        GTEST_SKIP() << "mingw-w64 was not found at configure time: no Windows plug-ins to run";
#endif
        Configure(TWineBridgeSettings{});
    }
    void TearDown() override { Configure(TWineBridgeSettings{}); }

    static bool HasWine() {
        return !platform::FindExecutable(TWineBridgeSettings{}.WineCommand, platform::CurrentEnvironment()).empty();
    }

    static void Configure(TWineBridgeSettings settings) {
        if (settings.HelperFolder.empty()) settings.HelperFolder = KELVANDOR_HELPER_DIR;
        TWineBridge::Configure(settings);
    }

    static std::string Plugin(const char* bitness, const std::string& name) {
        return kWindowsPlugins + "/" + bitness + "/" + name;
    }

    // The file contents as the program hands them to a plug-in: 2048 zero
    // bytes after the end.
    static std::string Contents(const std::string& text) { return text + std::string(2048, '\0'); }

    static int Decode(TPlugLibrary& library, const std::string& words, HLOCAL& info, HLOCAL& bits,
                      SPI_PROGRESS progress = nullptr, std::intptr_t data = 0) {
        const std::string contents = Contents("KTESTSPI " + words + "\n");
        return library.GetPicture(contents.data(), static_cast<std::int32_t>(contents.size() - 2048),
                                  SPI_INPUT_MEMORY, &info, &bits, progress, data);
    }

    // Decodes a small image and checks its pixels: the helper works.
    static void ExpectDecodes(TPlugLibrary& library) {
        HLOCAL info = nullptr;
        HLOCAL bits = nullptr;
        ASSERT_EQ(Decode(library, "width=3 height=2", info, bits), SPI_SUCCESS);
        const auto* header = static_cast<const SPI_BITMAPINFOHEADER*>(info);
        EXPECT_EQ(header->biWidth, 3);
        EXPECT_EQ(header->biHeight, 2);
        EXPECT_EQ(LocalBlockSize(bits), SPI_DibStride(3, 24) * 2);
        // Bottom row first: pixel (2, 1) is blue 2, green 1, red 0x80.
        const auto* pixel = static_cast<const std::uint8_t*>(bits) + 2 * 3;
        EXPECT_EQ(pixel[0], 2);
        EXPECT_EQ(pixel[1], 1);
        EXPECT_EQ(pixel[2], 0x80);
        FreeLocalBlock(info);
        FreeLocalBlock(bits);
    }

    static std::unique_ptr<TPlugLibrary> Open(const char* bitness, const std::string& name = "ktest.spi") {
        std::string unavailable;
        std::unique_ptr<TPlugLibrary> library = OpenPlugLibrary(Plugin(bitness, name), &unavailable);
        EXPECT_NE(library, nullptr) << unavailable;
        EXPECT_EQ(unavailable, "");
        return library;
    }

    // Writes source's bytes over the file at path, keeping the file (as cp
    // does), so that a helper that has it loaded keeps a mapping of it.
    static void RewriteInPlace(const std::string& path, const std::string& source) {
        const std::vector<unsigned char> bytes = ReadFileBytes(source);
        std::ofstream file(path, std::ios::binary | std::ios::in | std::ios::out | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    // A 24-bit bottom-up BMP with a pattern that shows any swapped byte.
    static std::vector<unsigned char> Bmp(int width, int height) {
        const std::size_t stride = SPI_DibStride(width, 24);
        const std::size_t pixels = stride * static_cast<std::size_t>(height);
        std::vector<unsigned char> file(54 + pixels, 0);
        auto put32 = [&](std::size_t at, std::uint32_t value) {
            for (int i = 0; i < 4; ++i) file[at + i] = static_cast<unsigned char>(value >> (8 * i));
        };
        file[0] = 'B';
        file[1] = 'M';
        put32(2, static_cast<std::uint32_t>(file.size()));
        put32(10, 54);
        put32(14, 40);
        put32(18, static_cast<std::uint32_t>(width));
        put32(22, static_cast<std::uint32_t>(height));
        file[26] = 1;
        file[28] = 24;
        put32(38, 2835);
        put32(42, 2835);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width * 3; ++x)
                file[54 + y * stride + x] = static_cast<unsigned char>(x * 7 + y * 13);
        return file;
    }
};

TEST_F(WineBridgeTest, WindowsBmpPluginDecodesThroughTheViewLikeTheNativeOne) {
    if (!HasWine()) GTEST_SKIP() << "Wine is not installed";
    TempFolder folder;
    const std::string image = folder.Write("picture.bmp", Bmp(37, 23));
    ScriptedMessageBoxes messages;
    TRaster native;
    native.SetPluginPath(QString::fromStdString(kNativePlugins));
    ASSERT_TRUE(native.LoadFromFile(QString::fromStdString(image)));
    const std::size_t pixelBytes = SPI_DibStride(37, 24) * 23;
    for (const char* bitness : kBitnesses) {
        SCOPED_TRACE(bitness);
        const std::string plugins = folder.File(bitness);
        std::filesystem::create_directory(plugins);
        std::filesystem::copy_file(Plugin(bitness, "ifbmp.spi"), plugins + "/ifbmp.spi");
        TRaster windows;
        windows.SetPluginPath(QString::fromStdString(plugins));
        ASSERT_TRUE(windows.LoadFromFile(QString::fromStdString(image)));
        EXPECT_TRUE(messages.Texts().isEmpty());
        EXPECT_EQ(windows.Info().FormatType, QStringLiteral("BMP"));
        EXPECT_EQ(windows.Info().XDensity, 72);
        EXPECT_EQ(std::memcmp(windows.ImageHeader(), native.ImageHeader(), sizeof(SPI_BITMAPINFOHEADER)), 0);
        EXPECT_EQ(std::memcmp(windows.ImageBits(), native.ImageBits(), pixelBytes), 0);
    }
}

TEST_F(WineBridgeTest, EachPluginAnswersForItselfAndOneThatCrashesOnAskingSpoilsNoDecode) {
    if (!HasWine()) GTEST_SKIP() << "Wine is not installed";
    TempFolder folder;
    const std::string picture = folder.Write("picture.bmp", Bmp(5, 4));
    const std::string test = folder.Write("one.ktest", "KTESTSPI width=2 height=2\n");
    for (const char* bitness : kBitnesses) {
        SCOPED_TRACE(bitness);
        const std::string plugins = folder.File(bitness);
        std::filesystem::create_directory(plugins);
        std::filesystem::copy_file(Plugin(bitness, "ifbmp.spi"), plugins + "/a.spi");
        std::filesystem::copy_file(Plugin(bitness, "ktest.spi"), plugins + "/b.spi");
        std::unique_ptr<TPlugLibrary> bmp = OpenPlugLibrary(plugins + "/a.spi", nullptr);
        std::unique_ptr<TPlugLibrary> ktest = OpenPlugLibrary(plugins + "/b.spi", nullptr);
        ASSERT_TRUE(bmp && ktest);
        for (const std::string& file : {picture, test}) {
            std::vector<unsigned char> contents = ReadFileBytes(file);
            contents.resize(contents.size() + 2048, 0);
            const auto dw = reinterpret_cast<std::intptr_t>(contents.data());
            EXPECT_EQ(bmp->IsSupported(nullptr, dw) != 0, file == picture) << file;
            EXPECT_EQ(ktest->IsSupported(nullptr, dw) != 0, file == test) << file;
        }

        // Asked about a file only after the others declined, it brings the
        // helper down whenever it is asked along with them.
        std::filesystem::copy_file(Plugin(bitness, "ktest_crashing.spi"), plugins + "/c.spi");
        ScriptedMessageBoxes messages;
        TRaster raster;
        raster.SetPluginPath(QString::fromStdString(plugins));
        for (int round = 0; round < 2; ++round) {
            for (const std::string& file : {picture, test}) {
                EXPECT_TRUE(raster.LoadFromFile(QString::fromStdString(file))) << file << " round " << round;
                EXPECT_TRUE(messages.Texts().isEmpty()) << messages.Texts().join("\n").toStdString();
            }
        }
    }
}

TEST_F(WineBridgeTest, TheFourExportsAndEveryResultCodeCrossTheBoundary) {
    if (!HasWine()) GTEST_SKIP() << "Wine is not installed";
    for (const char* bitness : kBitnesses) {
        SCOPED_TRACE(bitness);
        std::unique_ptr<TPlugLibrary> library = Open(bitness);
        ASSERT_NE(library, nullptr);
        EXPECT_EQ(PlugInfoText(*library, SPI_INFO_DESCRIPTION), "Kelvandor test plug-in");
        EXPECT_EQ(PlugInfoText(*library, SPI_INFO_PATTERN), "*.ktest");
        // Numbers and buffers other than the program's own go to the plug-in.
        char small[4] = {'x', 'x', 'x', 'x'};
        EXPECT_EQ(library->GetPluginInfo(SPI_INFO_FORMAT_NAME, small, 3), 2);
        EXPECT_STREQ(small, "KT");
        char big[256] = {};
        EXPECT_EQ(library->GetPluginInfo(7, big, 255), 0);

        const std::string accepted = Contents("KTESTSPI");
        const std::string refused = Contents("GIF89a");
        EXPECT_NE(library->IsSupported(nullptr, reinterpret_cast<std::intptr_t>(accepted.data())), 0);
        EXPECT_EQ(library->IsSupported(nullptr, reinterpret_cast<std::intptr_t>(refused.data())), 0);

        const std::string described = Contents("KTESTSPI width=640 height=480 dpi=300\n");
        PictureInfo picture{};
        ASSERT_EQ(library->GetPictureInfo(described.data(), 40, SPI_INPUT_MEMORY, &picture), SPI_SUCCESS);
        EXPECT_EQ(picture.width, 640);
        EXPECT_EQ(picture.height, 480);
        EXPECT_EQ(picture.x_density, 300);
        EXPECT_EQ(library->GetPictureInfo(described.data(), 40, SPI_INPUT_FILE, &picture), SPI_NOT_IMPLEMENTED);

        for (const int code : {-1, 1, 2, 3, 4, 5, 6, 7, 8, 1234}) {
            HLOCAL info = nullptr;
            HLOCAL bits = nullptr;
            EXPECT_EQ(Decode(*library, "code=" + std::to_string(code), info, bits), code);
            EXPECT_EQ(info, nullptr);
            EXPECT_EQ(bits, nullptr);
        }
        // The second bitmap goes where the first one was freed.
        ExpectDecodes(*library);
        ExpectDecodes(*library);
    }
}

struct ProgressLog {
    int calls = 0;
    int cancelAt = -1;
    std::vector<std::pair<int, int>> reports;
};

int SPI_CALL LogProgress(int nNum, int nDenom, std::intptr_t lData) {
    auto* log = reinterpret_cast<ProgressLog*>(lData);
    log->reports.emplace_back(nNum, nDenom);
    return ++log->calls == log->cancelAt ? 1 : 0;
}

TEST_F(WineBridgeTest, ProgressReachesTheProgramAndItsAnswerCancels) {
    if (!HasWine()) GTEST_SKIP() << "Wine is not installed";
    for (const char* bitness : kBitnesses) {
        SCOPED_TRACE(bitness);
        std::unique_ptr<TPlugLibrary> library = Open(bitness);
        ASSERT_NE(library, nullptr);
        HLOCAL info = nullptr;
        HLOCAL bits = nullptr;
        ProgressLog whole;
        ASSERT_EQ(Decode(*library, "steps=5", info, bits, &LogProgress, reinterpret_cast<std::intptr_t>(&whole)),
                  SPI_SUCCESS);
        FreeLocalBlock(info);
        FreeLocalBlock(bits);
        // Reports in quick succession are thinned out; the first and the
        // last always arrive, in order.
        ASSERT_GE(whole.reports.size(), 2u);
        EXPECT_EQ(whole.reports.front(), std::make_pair(0, 5));
        EXPECT_EQ(whole.reports.back(), std::make_pair(5, 5));
        EXPECT_TRUE(std::is_sorted(whole.reports.begin(), whole.reports.end()));

        for (const int cancelAt : {1, 2}) {
            ProgressLog cancelled;
            cancelled.cancelAt = cancelAt;
            EXPECT_EQ(
                Decode(*library, "steps=5", info, bits, &LogProgress, reinterpret_cast<std::intptr_t>(&cancelled)),
                SPI_ABORT);
            EXPECT_EQ(cancelled.calls, cancelAt);
            EXPECT_EQ(info, nullptr);
        }
    }
}

TEST_F(WineBridgeTest, ACrashingOrHangingPluginTakesDownOnlyTheHelper) {
    if (!HasWine()) GTEST_SKIP() << "Wine is not installed";
    TWineBridgeSettings quick;
    quick.SilenceTimeout = std::chrono::milliseconds(1500);
    Configure(quick);
    for (const char* bitness : kBitnesses) {
        SCOPED_TRACE(bitness);
        std::unique_ptr<TPlugLibrary> library = Open(bitness);
        ASSERT_NE(library, nullptr);
        TWineBridge& bridge = TWineBridge::Of(std::string(bitness) == "win32" ? TWindowsBitness::Win32
                                                                              : TWindowsBitness::Win64);
        for (const char* fault : {"crash", "hang"}) {
            SCOPED_TRACE(fault);
            const std::uint64_t generation = bridge.Generation();
            HLOCAL info = nullptr;
            HLOCAL bits = nullptr;
            EXPECT_EQ(Decode(*library, fault, info, bits), SPI_INTERNAL_ERROR);
            EXPECT_EQ(info, nullptr);
            EXPECT_FALSE(bridge.IsRunning());
            // The same library object goes on working with a new helper.
            ExpectDecodes(*library);
            EXPECT_EQ(bridge.Generation(), generation + 1);
        }
    }
}

TEST_F(WineBridgeTest, AHelperThatTalksNonsenseIsEndedAndTheCallFails) {
    TWineBridgeSettings fake;
    fake.WineCommand = KELVANDOR_FAKE_HELPER;
    Configure(fake);
    TWineBridge& bridge = TWineBridge::Of(TWindowsBitness::Win32);
    for (const char* mode :
         {"oversized", "unknown-kind", "huge-bitmap", "short-record", "no-bitmap", "unasked-progress", "truncated"}) {
        SCOPED_TRACE(mode);
        setenv("KELVANDOR_FAKE_HELPER", mode, 1);
        std::unique_ptr<TPlugLibrary> library = Open("win32");
        ASSERT_NE(library, nullptr);
        EXPECT_TRUE(bridge.IsRunning());
        HLOCAL info = nullptr;
        HLOCAL bits = nullptr;
        EXPECT_EQ(Decode(*library, "width=3 height=2", info, bits), SPI_INTERNAL_ERROR);
        EXPECT_EQ(info, nullptr);
        EXPECT_EQ(bits, nullptr);
        EXPECT_FALSE(bridge.IsRunning());
        const std::string contents = Contents("KTESTSPI");
        PictureInfo picture{};
        EXPECT_EQ(library->GetPictureInfo(contents.data(), 8, SPI_INPUT_MEMORY, &picture), SPI_INTERNAL_ERROR);
        EXPECT_FALSE(bridge.IsRunning());
    }
    unsetenv("KELVANDOR_FAKE_HELPER");
}

TEST_F(WineBridgeTest, WithoutWineOrHelperWindowsPluginsAreUnavailableAndNativeOnesWork) {
    TempFolder folder;
    const std::string plugins = folder.File("plugins");
    std::filesystem::create_directory(plugins);
    std::filesystem::copy_file(Plugin("win32", "ktest.spi"), plugins + "/a.spi");
    std::filesystem::copy_file(std::string(KELVANDOR_TEST_PLUGIN_DIR) + "/ktest.spi", plugins + "/b.spi");
    const std::string image = folder.Write("one.ktest", "KTESTSPI width=2 height=2\n");

    TWineBridgeSettings noWine;
    noWine.WineCommand = folder.File("no-such-wine");
    TWineBridgeSettings noHelper;
    noHelper.HelperFolder = folder.File("no-such-folder");
    for (const auto& [settings, reason] : {std::pair{noWine, std::string("Wine")},
                                           std::pair{noHelper, std::string("kelvandor-spihost32.exe")}}) {
        SCOPED_TRACE(reason);
        Configure(settings);
        std::string unavailable;
        EXPECT_EQ(OpenPlugLibrary(plugins + "/a.spi", &unavailable), nullptr);
        EXPECT_NE(unavailable.find(reason), std::string::npos) << unavailable;

        TSusiePlugs registry;
        registry.SetPath(plugins);
        ASSERT_EQ(registry.Count(), 1);
        EXPECT_EQ(registry.Items(0)->FileName(), "b.spi");
        ASSERT_EQ(registry.Unavailable().size(), 1u);
        EXPECT_EQ(registry.Unavailable()[0].fileName, "a.spi");

        ScriptedMessageBoxes messages;
        TRaster raster;
        raster.SetPluginPath(QString::fromStdString(plugins));
        EXPECT_TRUE(raster.LoadFromFile(QString::fromStdString(image)));
        EXPECT_TRUE(messages.Texts().isEmpty());

        // Once the machine can run it, the next scan takes the plug-in in.
        Configure(TWineBridgeSettings{});
        registry.Refresh();
        EXPECT_EQ(registry.Count(), 2);
        EXPECT_TRUE(registry.Unavailable().empty());
    }
}

TEST_F(WineBridgeTest, APluginRewrittenInPlaceIsTakenInEvenWhenItsCheckEndsTheHelper) {
    TWineBridgeSettings fake;
    fake.WineCommand = KELVANDOR_FAKE_HELPER;
    Configure(fake);
    setenv("KELVANDOR_FAKE_HELPER", "ends-on-reopen", 1);
    TempFolder folder;
    const std::string plugins = folder.File("plugins");
    std::filesystem::create_directory(plugins);
    std::filesystem::copy_file(Plugin("win32", "ktest.spi"), plugins + "/ppm.spi");
    TSusiePlugs registry;
    registry.SetPath(plugins);
    ASSERT_EQ(registry.Count(), 1);

    RewriteInPlace(plugins + "/ppm.spi", Plugin("win32", "ifbmp.spi"));
    registry.Refresh();
    EXPECT_EQ(registry.Count(), 1);
    EXPECT_TRUE(registry.Unavailable().empty());
    unsetenv("KELVANDOR_FAKE_HELPER");
}

TEST_F(WineBridgeTest, AWindowsPluginRewrittenInPlaceDecodesAtOnce) {
    if (!HasWine()) GTEST_SKIP() << "Wine is not installed";
    TempFolder folder;
    const std::string picture = folder.Write("picture.bmp", Bmp(6, 5));
    const std::string test = folder.Write("one.ktest", "KTESTSPI width=2 height=2\n");
    for (const char* bitness : kBitnesses) {
        SCOPED_TRACE(bitness);
        const std::string plugins = folder.File(bitness);
        std::filesystem::create_directory(plugins);
        std::filesystem::copy_file(Plugin(bitness, "ktest.spi"), plugins + "/ppm.spi");
        ScriptedMessageBoxes messages;
        TRaster raster;
        raster.SetPluginPath(QString::fromStdString(plugins));
        ASSERT_TRUE(raster.LoadFromFile(QString::fromStdString(test)));

        RewriteInPlace(plugins + "/ppm.spi", Plugin(bitness, "ifbmp.spi"));
        EXPECT_TRUE(raster.LoadFromFile(QString::fromStdString(picture)));
        EXPECT_EQ(raster.Plugs().Count(), 1);
        EXPECT_TRUE(messages.Texts().isEmpty()) << messages.Texts().join("\n").toStdString();
    }
}

TEST_F(WineBridgeTest, AnOpenReplacesTheHelperOfAWindowsDecodeAheadThatHangs) {
    if (!HasWine()) GTEST_SKIP() << "Wine is not installed";
    // No silence ends the hanging plug-in: only the open that abandons it.
    TWineBridgeSettings patient;
    patient.SilenceTimeout = std::chrono::hours(1);
    Configure(patient);
    TempFolder folder;
    const std::string first = folder.Write("first.ktest", "KTESTSPI width=2 height=2\n");
    const std::string second = folder.Write("second.ktest", "KTESTSPI width=3 height=2\n");
    for (const char* bitness : kBitnesses) {
        SCOPED_TRACE(bitness);
        const std::string plugins = folder.File(bitness);
        std::filesystem::create_directory(plugins);
        std::filesystem::copy_file(Plugin(bitness, "ktest.spi"), plugins + "/ktest.spi");
        const std::string entered = folder.File(std::string(bitness) + "-entered");
        std::string windowsEntered = "Z:" + entered;
        std::replace(windowsEntered.begin(), windowsEntered.end(), '/', '\\');
        const std::string hanging =
            folder.Write(std::string(bitness) + "-hang.ktest", "KTESTSPI hang mark=" + windowsEntered + "\n");
        ScriptedMessageBoxes messages;
        TRaster raster;
        raster.SetPluginPath(QString::fromStdString(plugins));
        ASSERT_TRUE(raster.LoadFromFile(QString::fromStdString(first)));
        const TWineBridge& bridge = TWineBridge::Of(std::string(bitness) == "win32" ? TWindowsBitness::Win32
                                                                                    : TWindowsBitness::Win64);
        const std::uint64_t generation = bridge.Generation();

        raster.ReadAhead(QString::fromStdString(hanging));
        ASSERT_TRUE(ProcessEventsUntil([&] { return std::filesystem::exists(entered); }));
        ASSERT_TRUE(raster.LoadFromFile(QString::fromStdString(second)));
        EXPECT_EQ(raster.Info().Width, 3);
        EXPECT_GT(bridge.Generation(), generation);
        EXPECT_TRUE(messages.Texts().isEmpty()) << messages.Texts().join("\n").toStdString();
    }
}

}  // namespace
