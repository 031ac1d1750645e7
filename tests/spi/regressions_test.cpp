#include <gtest/gtest.h>

#include <filesystem>

#include "plugin_decode.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

// Inputs that once crashed, hung or over-read a plug-in, kept in a folder
// named after the plug-in (regressions/ifbmp/ for ifbmp.spi). Each must now
// give success or one of the codes for data that cannot be shown.
TEST(PluginRegressions, DamagedInputsGiveAResultCode) {
    const fs::path root = KELVANDOR_SPI_REGRESSIONS_DIR;
    ASSERT_TRUE(fs::is_directory(root));
    int decoded = 0;
    for (const fs::directory_entry& folder : fs::directory_iterator(root)) {
        if (!folder.is_directory()) continue;
        const PluginUnderTest plugin(folder.path().filename().string() + ".spi");
        ASSERT_TRUE(plugin.Loaded()) << folder.path();
        for (const fs::directory_entry& file : fs::directory_iterator(folder.path())) {
            SCOPED_TRACE(file.path().string());
            const std::vector<std::uint8_t> bytes = ReadFileBytes(file.path().string());
            plugin.IsSupported(bytes);
            PictureInfo info{};
            plugin.GetPictureInfo(bytes, info);
            const DecodeResult result = plugin.Decode(bytes);
            EXPECT_TRUE(result.code == SPI_SUCCESS || result.code == SPI_UNKNOWN_FORMAT ||
                        result.code == SPI_BROKEN_DATA || result.code == SPI_NO_MEMORY)
                << "code " << result.code;
            EXPECT_TRUE(result.handlesConsistent);
            ++decoded;
        }
    }
    EXPECT_GT(decoded, 0);
}

}  // namespace
