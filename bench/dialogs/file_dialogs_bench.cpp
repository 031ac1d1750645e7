// The file work of the dialogs beside the same work done with the bare
// system calls, on the same 10,000 files:
// - a batch rename of one folder (three passes, nothing replaced) beside
//   rename(2) twice per file;
// - times and attributes set through a folder tree (creation time and
//   attribute bits kept in the Samba attribute too) beside a readdir walk
//   with utimensat and chmod per entry.
// Each iteration flips the state (names there and back, one of two time
// and attribute sets), so both sides do real work every time. Prints the
// ratio of the medians, wall and CPU time.

#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench_report.h"
#include "dialogs/batch_rename.h"
#include "dialogs/time_attribute_change.h"

namespace {

constexpr int kFiles = 10'000;
constexpr int kFolders = 100;

std::string MakeTemporaryFolder() {
    char pattern[] = "/tmp/kelvandor-bench-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    return pattern;
}

void CreateFile(const std::string& path) {
    const int fd = open(path.c_str(), O_CREAT | O_WRONLY, 0644);
    if (fd < 0) std::abort();
    close(fd);
}

std::string OldName(int i) { return "IMG_" + std::to_string(10000 + i) + ".JPG"; }
std::string NewName(int i) { return "写真 (" + std::to_string(i + 1) + ").JPG"; }

// A folder of kFiles camera names for one side of the rename comparison.
std::string MakeRenameFolder() {
    const std::string folder = MakeTemporaryFolder();
    for (int i = 0; i < kFiles; ++i) CreateFile(folder + "/" + OldName(i));
    return folder;
}

// Old to new names, or back.
std::vector<TRenameRow> Rows(bool forward) {
    std::vector<TRenameRow> rows;
    for (int i = 0; i < kFiles; ++i)
        rows.push_back(forward ? TRenameRow{OldName(i), false, NewName(i)} : TRenameRow{NewName(i), false, OldName(i)});
    return rows;
}

void BM_RenameTwiceDirect(benchmark::State& state) {
    const std::string folder = MakeRenameFolder();
    bool forward = true;
    for (auto _ : state) {
        for (int i = 0; i < kFiles; ++i) {
            const std::string from = folder + "/" + (forward ? OldName(i) : NewName(i));
            if (std::rename(from.c_str(), (folder + "/tmp" + std::to_string(i)).c_str()) != 0) std::abort();
        }
        for (int i = 0; i < kFiles; ++i) {
            const std::string to = folder + "/" + (forward ? NewName(i) : OldName(i));
            if (std::rename((folder + "/tmp" + std::to_string(i)).c_str(), to.c_str()) != 0) std::abort();
        }
        forward = !forward;
    }
    std::filesystem::remove_all(folder);
}

void BM_BatchRename(benchmark::State& state) {
    const std::string folder = MakeRenameFolder();
    const std::vector<TRenameRow> rows[2] = {Rows(true), Rows(false)};
    int direction = 0;
    for (auto _ : state) {
        if (!BatchRename(folder, rows[direction]).Renamed) std::abort();
        direction = 1 - direction;
    }
    std::filesystem::remove_all(folder);
}

// kFolders folders of kFiles / kFolders files each.
std::string MakeTree() {
    const std::string root = MakeTemporaryFolder();
    for (int f = 0; f < kFolders; ++f) {
        const std::string folder = root + "/folder " + std::to_string(f);
        std::filesystem::create_directory(folder);
        for (int i = 0; i < kFiles / kFolders; ++i) CreateFile(folder + "/IMG_" + std::to_string(i) + ".JPG");
    }
    return root;
}

TTimeAttributeChange Change(int round) {
    TTimeAttributeChange change;
    change.ChangeTimes = true;
    change.ChangeAttributes = true;
    change.Recursive = true;
    const std::int64_t base = 1'100'000'000LL + round * 86400;
    change.Times = {platform::FileTimeFromUnixNs(base * 1'000'000'000), platform::FileTimeFromUnixNs((base + 2) * 1'000'000'000),
                    platform::FileTimeFromUnixNs((base + 4) * 1'000'000'000)};
    change.Attributes = round == 0 ? platform::kAttrArchive : platform::kAttrArchive | platform::kAttrHidden;
    return change;
}

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

void DirectWalk(const std::string& folder, const timespec* times, mode_t fileMode) {
    std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
    while (const dirent* entry = readdir(dir.get())) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        const std::string path = folder + "/" + entry->d_name;
        const bool isFolder = entry->d_type == DT_DIR;
        if (isFolder) DirectWalk(path, times, fileMode);
        if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) std::abort();
        if (chmod(path.c_str(), isFolder ? 0755 : fileMode) != 0) std::abort();
    }
}

void BM_TimesAttributesDirect(benchmark::State& state) {
    const std::string root = MakeTree();
    int round = 0;
    for (auto _ : state) {
        const TTimeAttributeChange change = Change(round);
        const timespec times[2] = {{static_cast<time_t>(platform::UnixNsFromFileTime(change.Times.LastAccess) / 1'000'000'000), 0},
                                   {static_cast<time_t>(platform::UnixNsFromFileTime(change.Times.LastWrite) / 1'000'000'000), 0}};
        DirectWalk(root, times, round == 0 ? 0644 : 0640);
        round = 1 - round;
    }
    std::filesystem::remove_all(root);
}

void BM_TimesAttributes(benchmark::State& state) {
    const std::string root = MakeTree();
    int round = 0;
    for (auto _ : state) {
        if (!ApplyTimeAttributeChange({root}, Change(round)).empty()) std::abort();
        round = 1 - round;
    }
    std::filesystem::remove_all(root);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    bench_report::Initialize(argc, argv, 5);
    using Function = void (*)(benchmark::State&);
    const std::pair<const char*, Function> benchmarks[] = {{"BM_RenameTwiceDirect", BM_RenameTwiceDirect},
                                                           {"BM_BatchRename", BM_BatchRename},
                                                           {"BM_TimesAttributesDirect", BM_TimesAttributesDirect},
                                                           {"BM_TimesAttributes", BM_TimesAttributes}};
    // An even number of iterations leaves every folder as it was made.
    for (const auto& [name, function] : benchmarks)
        bench_report::Timed(benchmark::RegisterBenchmark(name, function))->Iterations(4);
    bench_report::RecordingReporter reporter;
    bench_report::Run(&reporter);
    reporter.PrintMedians();
    std::printf("\n");
    reporter.PrintRatio("batch rename / rename(2) twice", "BM_BatchRename", "BM_RenameTwiceDirect", 3.0);
    reporter.PrintRatio("times + attributes / utimensat + chmod", "BM_TimesAttributes", "BM_TimesAttributesDirect", 2.0);
    return 0;
}
