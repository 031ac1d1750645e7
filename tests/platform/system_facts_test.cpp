#include <gtest/gtest.h>

#include "platform/system_facts.h"

namespace {

using namespace platform;

TEST(SystemFactsTest, ReadsOsReleaseFields) {
    const OsRelease release = ParseOsRelease(
        "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"
        "NAME='Debian GNU/Linux'\n"
        "VERSION_ID=\"12\"\n"
        "VERSION=\"12 (bookworm) \\\"quoted\\\"\"\n"
        "ID=debian\n"
        "# comment\n"
        "broken line\n");
    EXPECT_EQ(release.Id, "debian");
    EXPECT_EQ(release.Name, "Debian GNU/Linux");
    EXPECT_EQ(release.VersionId, "12");
    EXPECT_EQ(release.Version, "12 (bookworm) \"quoted\"");
    EXPECT_EQ(release.PrettyName, "Debian GNU/Linux 12 (bookworm)");
    EXPECT_TRUE(ParseOsRelease("").Name.isEmpty());
}

TEST(SystemFactsTest, ReadsMemoryInBytes) {
    const auto facts = ParseMemInfo(
        "MemTotal:         130544 kB\n"
        "MemFree:           1000 kB\n"
        "MemAvailable:     65272 kB\n"
        "SwapTotal:        2048 kB\n"
        "SwapFree:         1024 kB\n");
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->Total, 130544u * 1024);
    EXPECT_EQ(facts->Available, 65272u * 1024);
    EXPECT_EQ(facts->SwapTotal, 2048u * 1024);
    EXPECT_EQ(facts->SwapFree, 1024u * 1024);
    // Old kernels give no estimate of available memory: the free memory.
    EXPECT_EQ(ParseMemInfo("MemTotal: 10 kB\nMemFree: 4 kB\n")->Available, 4u * 1024);
    EXPECT_FALSE(ParseMemInfo("garbage"));

    const auto live = ReadMemoryFacts();
    ASSERT_TRUE(live);
    EXPECT_GT(live->Total, 0u);
    EXPECT_LE(live->Available, live->Total);
}

TEST(SystemFactsTest, FindsTheProcessorAndTheLoadedLibraries) {
    EXPECT_EQ(ParseProcessorName("processor\t: 0\nmodel name\t: Example CPU @ 2.00GHz\nmodel name\t: other\n"),
              "Example CPU @ 2.00GHz");
    EXPECT_EQ(ParseProcessorName("processor : 0\n"), "");

    const std::string maps =
        "7f00-7f01 r--p 00000000 08:01 1 /usr/lib/x86_64-linux-gnu/libQt6CoreExtra.so.6.4.2\n"
        "7f01-7f02 r-xp 00000000 08:01 2 /usr/lib/x86_64-linux-gnu/libQt6Core.so.6.4.2\n"
        "7f02-7f03 rw-p 00000000 00:00 0 [heap]\n";
    EXPECT_EQ(LibraryPathInMaps(maps, "libQt6Core"), "/usr/lib/x86_64-linux-gnu/libQt6Core.so.6.4.2");
    EXPECT_EQ(LibraryPathInMaps(maps, "libQt6Gui"), "");
    EXPECT_TRUE(LoadedLibraryPath("libQt6Core").contains("libQt6Core.so"));
    EXPECT_FALSE(HostName().isEmpty());
}

}  // namespace
