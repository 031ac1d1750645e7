#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "main_thread_wait.h"
#include "shell/shell_notify.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;
using std::chrono::milliseconds;

namespace {

// Long enough after a report for a second one to have come if the burst
// had not been folded.
const milliseconds kAfterDirQuiet(kDirQuietMs + 700);
const milliseconds kAfterFolderQuiet(kFolderQuietMs + 700);

void Touch(const std::string& path) { std::ofstream(path) << "x"; }

std::unique_ptr<TDeviceChangeData> Record(const QString& text) {
    auto record = std::make_unique<TDeviceChangeData>();
    record->Text = text;
    record->Event = kDeviceArrival;
    record->Kind = kDeviceKindMedia;
    return record;
}

}  // namespace

TEST(TShDirWatcher, FoldsABurstOfFolderChangesIntoOneReport) {
    TempFolder folder;
    int reports = 0;
    platform::FolderChanges report;
    TShDirWatcher watcher({folder.Path()}, platform::kChangeDirName, {},
                          [&](TShDirWatcher* sender, const platform::FolderChanges& changes) {
                              EXPECT_EQ(sender, &watcher);
                              ++reports;
                              report = changes;
                          });
    for (int i = 0; i < 20; ++i) fs::create_directories(folder.File("burst", i) + "/inner");
    for (int i = 0; i < 20; i += 2) fs::remove_all(folder.File("burst", i));

    ASSERT_TRUE(ProcessEventsUntil([&] { return reports == 1; }));
    // The report names every folder touched, made or gone alike.
    EXPECT_FALSE(report.whole);
    ASSERT_TRUE(report.names.contains(folder.Path()));
    EXPECT_EQ(report.names.at(folder.Path()).size(), 20u);
    EXPECT_TRUE(report.names.at(folder.Path()).contains("burst7"));
    // Files do not concern a folder-name watcher.
    Touch(folder.File("a file"));
    ProcessEventsFor(kAfterDirQuiet);
    EXPECT_EQ(reports, 1);
}

TEST(TShDirWatcher, RestartsOnlyForADifferentDirectoryList) {
    TempFolder a;
    TempFolder b;
    int reports = 0;
    TShDirWatcher watcher({a.Path(), b.Path()}, platform::kChangeDirName, {},
                          [&](TShDirWatcher*, const platform::FolderChanges&) { ++reports; });
    const std::vector<std::string> expected = a.Path() < b.Path()
                                                  ? std::vector{a.Path() + "/", b.Path() + "/"}
                                                  : std::vector{b.Path() + "/", a.Path() + "/"};
    EXPECT_EQ(watcher.Directories(), expected);

    // The same list, written differently, while a change is collected:
    // watching goes on and the report comes.
    fs::create_directory(a.File("one"));
    watcher.SetDirectories({"", b.Path() + "/", a.Path()});
    ASSERT_TRUE(ProcessEventsUntil([&] { return reports == 1; }));

    // Cleared: nothing is watched until a list is set again.
    watcher.ClearDirectories();
    EXPECT_TRUE(watcher.Directories().empty());
    fs::create_directory(a.File("two"));
    ProcessEventsFor(kAfterDirQuiet);
    EXPECT_EQ(reports, 1);

    // A directory that cannot be watched is dropped from the list.
    watcher.SetDirectories({a.Path(), a.File("missing")});
    ASSERT_TRUE(ProcessEventsUntil(
        [&] { return watcher.Directories() == std::vector{a.Path() + "/"}; }));
    fs::create_directory(a.File("three"));
    ASSERT_TRUE(ProcessEventsUntil([&] { return reports == 2; }));
}

// Expanding or collapsing a folder sets a new list; a burst being
// collected meanwhile is still reported, with what the new list saw.
TEST(TShDirWatcher, ANewListCarriesABurstOnAndPausingDropsIt) {
    TempFolder a;
    TempFolder b;
    std::vector<platform::FolderChanges> reports;
    TShDirWatcher watcher({a.Path()}, platform::kChangeDirName, {},
                          [&](TShDirWatcher*, const platform::FolderChanges& changes) { reports.push_back(changes); });
    fs::create_directory(a.File("first"));
    watcher.SetDirectories({a.Path(), b.Path()});
    fs::create_directory(b.File("second"));
    ASSERT_TRUE(ProcessEventsUntil([&] { return !reports.empty(); }));
    using Names = std::set<std::string>;
    EXPECT_EQ(reports[0].names,
              (std::map<std::string, Names>{{a.Path(), Names{"first"}}, {b.Path(), Names{"second"}}}));

    fs::create_directory(a.File("third"));
    watcher.ClearDirectories();
    ProcessEventsFor(kAfterDirQuiet);
    EXPECT_EQ(reports.size(), 1u);
}

// Device records are folded on their own (see the registry's tests); a
// folder change collected meanwhile must still be reported.
TEST(TShDirWatcher, ADeviceChangeDoesNotSwallowAFolderReport) {
    TempFolder folder;
    std::vector<QString> texts;
    int folderReports = 0;
    TShDirWatcher watcher(
        {folder.Path()}, platform::kChangeDirName,
        [&](TShDirWatcher*, const TDeviceChangeData& data) { texts.push_back(data.Text); },
        [&](TShDirWatcher*, const platform::FolderChanges&) { ++folderReports; });
    fs::create_directory(folder.File("new"));
    watcher.PostDeviceChange(Record(QStringLiteral("Data (/media/usb)")));
    ASSERT_TRUE(ProcessEventsUntil([&] { return !texts.empty() && folderReports == 1; }));
    EXPECT_EQ(texts, std::vector{QStringLiteral("Data (/media/usb)")});
}

TEST(TShFilesWatcher, ReportsItsFolderAndMovesWithItsPath) {
    TempFolder a;
    TempFolder b;
    std::vector<std::string> reported;
    TShFilesWatcher watcher("", platform::kChangeFileName | platform::kChangeDirName,
                            [&](TShFilesWatcher*, const std::string& path) { reported.push_back(path); });

    // Parked with an empty path; watching starts when a path is set.
    Touch(a.File("before"));
    watcher.SetPath(a.Path());
    EXPECT_EQ(watcher.GetPath(), a.Path());
    Touch(a.File("first"));
    // Setting the same path while the change settles does not restart.
    watcher.SetPath(a.Path());
    ASSERT_TRUE(ProcessEventsUntil([&] { return reported.size() == 1; }));
    EXPECT_EQ(reported[0], a.Path());

    // Moved: the old folder is no longer reported.
    watcher.SetPath(b.Path());
    Touch(a.File("second"));
    Touch(b.File("second"));
    fs::create_directory(b.File("folder"));
    ASSERT_TRUE(ProcessEventsUntil([&] { return reported.size() == 2; }));
    EXPECT_EQ(reported[1], b.Path());
}

TEST(TShFilesWatcher, AnEmptyPathParksIt) {
    TempFolder folder;
    int reports = 0;
    TShFilesWatcher watcher(folder.Path(), platform::kChangeFileName,
                            [&](TShFilesWatcher*, const std::string&) { ++reports; });
    watcher.SetPath("");
    Touch(folder.File("unseen"));
    ProcessEventsFor(kAfterFolderQuiet);
    EXPECT_EQ(reports, 0);
    // What happened during the pause was the owner's own doing.
    watcher.SetPath(folder.Path());
    ProcessEventsFor(kAfterFolderQuiet);
    EXPECT_EQ(reports, 0);
}

TEST(TShFilesWatcher, AChangeNotYetReportedSurvivesAPause) {
    TempFolder folder;
    TempFolder other;
    int reports = 0;
    TShFilesWatcher watcher(folder.Path(), platform::kChangeFileName,
                            [&](TShFilesWatcher*, const std::string&) { ++reports; });
    Touch(folder.File("gone"));
    watcher.SetPath("");
    watcher.SetPath(folder.Path());
    ASSERT_TRUE(ProcessEventsUntil([&] { return reports == 1; }));

    // Moved elsewhere after the pause: the old folder's change is not told.
    Touch(folder.File("again"));
    watcher.SetPath("");
    watcher.SetPath(other.Path());
    ProcessEventsFor(kAfterFolderQuiet);
    EXPECT_EQ(reports, 1);
}

// The worker is made to wait in a delivery while the main thread does not
// run queued calls, then the main thread stops the watcher.
TEST(WatcherStop, NeverWaitsForADeliveryTheMainThreadCannotRun) {
    HangGuard guard(std::chrono::seconds(30));
    TempFolder folder;
    int calls = 0;
    auto dirWatcher = std::make_unique<TShDirWatcher>(
        std::vector{folder.Path()}, platform::kChangeDirName,
        [&](TShDirWatcher*, const TDeviceChangeData&) { ++calls; },
        [&](TShDirWatcher*, const platform::FolderChanges&) { ++calls; });
    auto filesWatcher = std::make_unique<TShFilesWatcher>(
        folder.Path(), platform::kChangeDirName, [&](TShFilesWatcher*, const std::string&) { ++calls; });

    fs::create_directory(folder.File("changed"));
    dirWatcher->PostDeviceChange(Record(QStringLiteral("device")));
    std::this_thread::sleep_for(kAfterFolderQuiet);  // the main thread is busy

    dirWatcher.reset();
    filesWatcher.reset();
    ProcessEventsFor(milliseconds(300));  // the abandoned deliveries run now, if at all
    EXPECT_EQ(calls, 0);
}

TEST(WatcherStop, AHandlerMayEndItsOwnWatcher) {
    HangGuard guard(std::chrono::seconds(30));
    TempFolder folder;
    std::unique_ptr<TShFilesWatcher> watcher;
    int calls = 0;
    watcher = std::make_unique<TShFilesWatcher>(folder.Path(), platform::kChangeFileName,
                                                [&](TShFilesWatcher*, const std::string&) {
                                                    ++calls;
                                                    watcher.reset();
                                                });
    Touch(folder.File("file"));
    ASSERT_TRUE(ProcessEventsUntil([&] { return watcher == nullptr; }));
    EXPECT_EQ(calls, 1);
}
