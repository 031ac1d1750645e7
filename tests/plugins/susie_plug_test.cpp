#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "plugins/susie_plug.h"
#include "support/held_fifo.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

std::string TestPluginDir() { return KELVANDOR_TEST_PLUGIN_DIR; }

std::string Variant(const std::string& name) {
    return TestPluginDir() + "/variants/" + name + ".spi";
}

std::string GoodPlugin() { return TestPluginDir() + "/ktest.spi"; }

void CopyAs(const std::string& from, const TempFolder& folder, const std::string& name) {
    fs::copy_file(from, folder.File(name), fs::copy_options::overwrite_existing);
}

std::vector<std::string> Names(const TSusiePlugs& plugs) {
    std::vector<std::string> names;
    for (int i = 0; i < plugs.Count(); ++i) names.push_back(plugs.Items(i)->FileName());
    return names;
}

TEST(SusiePlugs, ListsOnlyLibrariesThatAreFullPlugins) {
    TempFolder folder;
    CopyAs(GoodPlugin(), folder, "good.spi");
    for (const char* variant : {"ktest_lowercase_api", "ktest_trailing_space_api", "ktest_other_api",
                                "ktest_no_getpicture", "ktest_no_issupported", "ktest_no_pluginfo"})
        CopyAs(Variant(variant), folder, std::string(variant) + ".spi");
    folder.Write("text.spi", "not a library at all");
    folder.Write("empty.spi", "");

    TSusiePlugs plugs;
    plugs.SetPath(folder.Path());
    EXPECT_EQ(Names(plugs), std::vector<std::string>{"good.spi"});
    EXPECT_FALSE(plugs.Items(0)->IsLoaded()) << "a rescan leaves no library loaded";
}

TEST(SusiePlugs, ScanFindsAnyCaseButNotHiddenFilesFoldersOrOtherExtensions) {
    TempFolder folder;
    CopyAs(GoodPlugin(), folder, "b.SPI");
    CopyAs(GoodPlugin(), folder, "A.spi");
    CopyAs(GoodPlugin(), folder, "c.Spi");
    CopyAs(GoodPlugin(), folder, ".hidden.spi");
    CopyAs(GoodPlugin(), folder, "plugin.so");
    CopyAs(GoodPlugin(), folder, "plugin.spi.bak");
    fs::create_directory(folder.File("folder.spi"));

    TSusiePlugs plugs;
    plugs.SetPath(folder.Path());
    EXPECT_EQ(Names(plugs), (std::vector<std::string>{"A.spi", "b.SPI", "c.Spi"}))
        << "entries come sorted by name, ignoring case";
}

TEST(SusiePlugs, PathRescansOnlyWhenItChanges) {
    TempFolder first, second;
    CopyAs(GoodPlugin(), first, "one.spi");
    CopyAs(GoodPlugin(), second, "one.spi");
    CopyAs(Variant("ktest_second"), second, "two.spi");

    TSusiePlugs plugs;
    plugs.SetPath(first.Path());
    ASSERT_EQ(plugs.Count(), 1);

    CopyAs(GoodPlugin(), first, "late.spi");
    plugs.SetPath(first.Path());
    EXPECT_EQ(plugs.Count(), 1) << "the same folder again does not rescan";

    plugs.SetPath(second.Path());
    EXPECT_EQ(plugs.Count(), 2);
    EXPECT_EQ(plugs.Path(), second.Path());

    plugs.SetPath(first.Path());
    EXPECT_EQ(plugs.Count(), 2) << "a different folder rescans at once";
}

TEST(SusiePlugs, MissingOrEmptyFolderGivesNoPlugins) {
    TSusiePlugs plugs;
    plugs.SetPath("/nonexistent/kelvandor/plugins");
    EXPECT_EQ(plugs.Count(), 0);

    TempFolder empty;
    plugs.SetPath(empty.Path());
    EXPECT_EQ(plugs.Count(), 0);

    TempFolder locked;
    CopyAs(GoodPlugin(), locked, "good.spi");
    chmod(locked.Path().c_str(), 0);
    plugs.SetPath(locked.Path());
    if (geteuid() != 0) {
        EXPECT_EQ(plugs.Count(), 0) << "an unreadable folder lists nothing";
    }
}

TEST(SusiePlugs, RefreshSeesPluginsAddedReplacedAndRemoved) {
    TempFolder folder;
    CopyAs(GoodPlugin(), folder, "a.spi");
    CopyAs(Variant("ktest_other_api"), folder, "b.spi");
    TSusiePlugs plugs;
    plugs.SetPath(folder.Path());
    ASSERT_EQ(Names(plugs), std::vector<std::string>{"a.spi"});

    // Replace the invalid library with a valid one of the same name and
    // the valid one with an invalid one.
    fs::remove(folder.File("b.spi"));
    CopyAs(Variant("ktest_second"), folder, "b.spi");
    fs::remove(folder.File("a.spi"));
    CopyAs(Variant("ktest_no_getpicture"), folder, "a.spi");
    plugs.Refresh();
    ASSERT_EQ(Names(plugs), std::vector<std::string>{"b.spi"});
    {
        TSusiePlugUse use(*plugs.Items(0));
        ASSERT_TRUE(use.Loaded());
        EXPECT_EQ(plugs.Items(0)->GetInfo(SPI_INFO_DESCRIPTION), "Kelvandor second test plug-in");
    }

    fs::remove(folder.File("b.spi"));
    plugs.Refresh();
    EXPECT_EQ(plugs.Count(), 0);
}

TEST(SusiePlug, LoadUnloadAndInformationStrings) {
    TempFolder folder;
    CopyAs(GoodPlugin(), folder, "good.spi");
    TSusiePlugs plugs;
    plugs.SetPath(folder.Path() + "/");  // a trailing separator is not doubled
    ASSERT_EQ(plugs.Count(), 1);
    TSusiePlug& plug = *plugs.Items(0);

    EXPECT_EQ(plug.GetInfo(SPI_INFO_API_VERSION), "") << "not loaded: no text";
    ASSERT_TRUE(plug.Load());
    EXPECT_TRUE(plug.IsLoaded());
    EXPECT_EQ(plug.GetInfo(SPI_INFO_API_VERSION), "00IN");
    EXPECT_EQ(plug.GetInfo(SPI_INFO_DESCRIPTION), "Kelvandor test plug-in");
    EXPECT_EQ(plug.GetInfo(SPI_INFO_PATTERN), "*.ktest");
    EXPECT_EQ(plug.GetInfo(SPI_INFO_FORMAT_NAME), "KTEST");
    EXPECT_EQ(plug.GetInfo(9), "") << "a zero result is the empty text";

    plug.Unload();
    EXPECT_FALSE(plug.IsLoaded());
    plug.Unload();  // a second unload does nothing

    fs::remove(folder.File("good.spi"));
    EXPECT_FALSE(plug.Load()) << "a library that vanished since the scan does not load";
}

TEST(SusiePlugs, AppendPatternsListsEachPluginsPatternInOrder) {
    TempFolder folder;
    CopyAs(GoodPlugin(), folder, "a.spi");
    CopyAs(Variant("ktest_second"), folder, "B.spi");
    TSusiePlugs plugs;
    plugs.SetPath(folder.Path());
    CopyAs(GoodPlugin(), folder, "c.spi");

    std::vector<std::string> patterns{"existing"};
    plugs.AppendPatterns(patterns);
    EXPECT_EQ(patterns, (std::vector<std::string>{"existing", "*.ktest", "*.ktest", "*.ktest"}))
        << "the listing rescans first and keeps what the list held";
    for (int i = 0; i < plugs.Count(); ++i) EXPECT_FALSE(plugs.Items(i)->IsLoaded());
}

TEST(SusiePlugs, APipeNamedLikeAPluginIsNeitherReadNorListed) {
    TempFolder folder;
    CopyAs(GoodPlugin(), folder, "good.spi");
    // The pipe holds the start of a real plug-in, as a loader would read it.
    const std::vector<unsigned char> library = ReadFileBytes(GoodPlugin());
    ASSERT_GE(library.size(), 4096u);
    const HeldFifo pipe(folder.File("pipe.spi"), std::string(library.begin(), library.begin() + 4096));
    ASSERT_TRUE(pipe.Ready());

    TSusiePlugs plugs;
    plugs.SetPath(folder.Path());
    EXPECT_EQ(Names(plugs), std::vector<std::string>{"good.spi"});
    TSusiePlug direct(&plugs, "pipe.spi");
    EXPECT_FALSE(direct.Load());
    EXPECT_EQ(pipe.Unread(), 4096) << "nothing was read from the pipe";
}

}  // namespace
