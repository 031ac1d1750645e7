#include <unistd.h>

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QStandardPaths>

#include "components/program_version.h"
#include "components/sys_info.h"
#include "platform/application_paths.h"
#include "platform/system_facts.h"
#include "platform/user_account.h"
#include "support/event_wait.h"
#include "support/temp_folder.h"

namespace {

TEST(SysInfoTest, DescribesThisSystemWithPlaceholdersForWhatIsMissing) {
    TSysInfo info;
    const platform::OsRelease release = platform::ReadOsRelease();
    EXPECT_EQ(info.PlatForm(), release.Name.isEmpty() ? QStringLiteral("Linux") : release.Name);
    EXPECT_EQ(info.BuildNo(), platform::ReadKernelFacts()->Release);
    EXPECT_FALSE(info.Version().isEmpty());
    EXPECT_EQ(info.ComputerName(), platform::HostName());
    EXPECT_EQ(info.LogOnUserName(), platform::LogOnUserName());
    const QString fullName = platform::UserFullName();
    EXPECT_EQ(info.Owner(), fullName.isEmpty() ? QStringLiteral("UnKnownUserName") : fullName);
    EXPECT_EQ(info.Organization(), "UnKnownCompany");
    EXPECT_EQ(info.NtProductType(), ntNone);
    EXPECT_FALSE(info.ProcessorType().isEmpty());
    EXPECT_TRUE(info.WindowsSystemDir().startsWith('/'));
    EXPECT_TRUE(info.Drives().contains("/"));
    EXPECT_EQ(info.MemoryAutoRefreshInterval(), 1000);
    EXPECT_EQ(info.MemoryStatusKind(), mkB);
}

TEST(SysInfoTest, LongPathNamesResolveLinksAndDropTheTrailingSeparator) {
    TempFolder temp;
    ASSERT_TRUE(RunCommand("mkdir " + temp.File("real") + " && ln -s real " + temp.File("link")));
    EXPECT_EQ(TSysInfo::LongPathName(QString::fromStdString(temp.File("link/"))),
              QString::fromStdString(temp.File("real")));
    EXPECT_EQ(TSysInfo::LongPathName(QStringLiteral("/no/such/folder/")), "/no/such/folder");
    EXPECT_EQ(TSysInfo::LongPathName(QStringLiteral("/")), "/");
}

TEST(SysInfoTest, MemoryInTheChosenUnit) {
    TSysInfo info;
    const std::int64_t bytes = info.MemoryTotal();
    info.SetMemoryStatusKind(mkKB);
    EXPECT_EQ(info.MemoryTotal(), bytes / 1024);
    info.SetMemoryStatusKind(mkMB);
    EXPECT_EQ(info.MemoryTotal(), bytes / 1048576);
    info.SetMemoryStatusKind(static_cast<TMemoryStatusKind>(7));
    EXPECT_EQ(info.MemoryStatusKind(), mkMB);
    EXPECT_LE(info.MemoryFree(), info.MemoryTotal());
    EXPECT_LE(info.PageFree(), info.PageTotal());
    EXPECT_GE(info.MemoryLoad(), 0);
    EXPECT_LE(info.MemoryLoad(), 100);
}

TEST(SysInfoTest, TimedRefreshReportsTheMemoryStatus) {
    TSysInfo info;
    info.SetMemoryStatusKind(mkKB);
    std::vector<TMemStatus> reports;
    info.OnMemoryRefresh = [&reports](TSysInfo*, const TMemStatus& status) { reports.push_back(status); };
    info.SetMemoryAutoRefreshInterval(10);
    info.SetMemoryAutoRefresh(true);
    ASSERT_TRUE(ProcessEventsUntil([&reports] { return reports.size() >= 2; }));
    info.SetMemoryAutoRefresh(false);
    EXPECT_GT(reports[0].TotalPhys, 0);
    EXPECT_LE(reports[0].AvailPhys, reports[0].TotalPhys);
    const std::size_t count = reports.size();
    ProcessEventsFor(std::chrono::milliseconds(50));
    EXPECT_EQ(reports.size(), count);
}

TEST(FileInfoTest, TheProgramItselfCarriesItsVersion) {
    TFileInfo info;
    info.SetFileName(QString::fromStdString(platform::ExecutablePath()));
    EXPECT_EQ(info.FileVersion(), ProgramVersion());
    EXPECT_EQ(info.ProductName(), "Kelvandor");
    EXPECT_EQ(info.CompanyName(), "UnKnown");
    EXPECT_EQ(info.FixedFileInfo().dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(info.FixedFileInfo().dwFileType, 1u);
    EXPECT_EQ(info.SmallIcon().size(), QSize(16, 16));
    EXPECT_EQ(info.LargeIcon().size(), QSize(32, 32));
}

TEST(FileInfoTest, LibrariesGiveTheVersionOfTheirFileName) {
    const QString core = platform::LoadedLibraryPath(QStringLiteral("libQt6Core"));
    TFileInfo info;
    info.SetFileName(core);
    const QString realName = QFileInfo(QFileInfo(core).canonicalFilePath()).fileName();
    EXPECT_EQ("libQt6Core.so." + info.FileVersion(), realName);
    EXPECT_EQ(info.OriginalFilename(), realName);
    EXPECT_EQ(info.InternalName(), "libQt6Core");
    EXPECT_TRUE(info.FileDescription().startsWith("ELF 64-bit 共有ライブラリ"));
    EXPECT_EQ(info.FixedFileInfo().dwFileType, 2u);
    const QStringList numbers = info.FileVersion().split('.');
    EXPECT_EQ(info.FixedFileInfo().dwFileVersionMS, numbers[0].toUInt() << 16 | numbers[1].toUInt());
}

TEST(FileInfoTest, OtherFilesHaveNoVersionFacts) {
    TempFolder temp;
    TFileInfo info;
    info.SetFileName(QString::fromStdString(temp.Write("notes.txt", "plain text")));
    EXPECT_TRUE(info.FileVersion().isEmpty());
    EXPECT_TRUE(info.CompanyName().isEmpty());
    EXPECT_EQ(info.FixedFileInfo().dwSignature, 0u);
    EXPECT_FALSE(info.SmallIcon().isNull());

    // Setting the same name again keeps what was read; a missing file
    // clears everything.
    info.SetFileName(QString::fromStdString(temp.File("notes.txt")));
    EXPECT_TRUE(info.FileVersion().isEmpty());
    info.SetFileName(QString::fromStdString(platform::ExecutablePath()));
    info.SetFileName(QString::fromStdString(temp.File("gone")));
    EXPECT_TRUE(info.FileVersion().isEmpty());
    EXPECT_TRUE(info.LargeIcon().isNull());
}

TEST(DisplayInfoTest, ListsTheModeOfEveryScreen) {
    const TDisplayInfo display;
    ASSERT_GE(display.Count(), 1);
    EXPECT_GT(display.Modes()[0].Width, 0);
    EXPECT_GT(display.Modes()[0].Height, 0);
    EXPECT_GT(display.Modes()[0].BitsPerPel, 0);
}

}  // namespace
