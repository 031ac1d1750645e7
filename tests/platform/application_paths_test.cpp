#include <filesystem>

#include <gtest/gtest.h>

#include "platform/application_paths.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

TEST(ApplicationPathsTest, TheInstalledFoldersLieUnderTheExecutablesPrefix) {
    EXPECT_EQ(platform::InstalledPluginFolder("/usr/bin"), "/usr/lib/kelvandor/plugins");
    EXPECT_EQ(platform::InstalledDataFolder("/usr/bin"), "/usr/share/kelvandor");
    EXPECT_EQ(platform::InstalledPluginFolder("/opt/k/bin/"), "/opt/k/lib/kelvandor/plugins");
    EXPECT_EQ(platform::InstalledPluginFolder(""), "");
}

TEST(ApplicationPathsTest, TheDefaultPluginFolderIsTheInstalledOneOnlyWhenTheProgramsFolderHoldsNoPlugin) {
    TempFolder prefix;
    const std::string bin = prefix.File("bin");
    fs::create_directories(bin);
    // The build tree: nothing installed beside it.
    EXPECT_FALSE(platform::IsInstalledProgram(bin));
    EXPECT_EQ(platform::DefaultPluginFolder(bin), bin);

    fs::create_directories(prefix.File("lib/kelvandor/plugins"));
    EXPECT_TRUE(platform::IsInstalledProgram(bin));
    EXPECT_EQ(platform::DefaultPluginFolder(bin), prefix.File("lib/kelvandor/plugins"));

    // A folder or another file named like a plug-in does not count; a
    // plug-in in any case does.
    fs::create_directories(prefix.File("bin/old.spi.d"));
    prefix.Write("bin/kelvandor.ini", "");
    EXPECT_TRUE(platform::IsInstalledProgram(bin));
    prefix.Write("bin/IFJPEG.SPI", "");
    EXPECT_FALSE(platform::IsInstalledProgram(bin));
    EXPECT_EQ(platform::DefaultPluginFolder(bin), bin);
}

}  // namespace
