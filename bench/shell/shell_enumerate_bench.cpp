// A folder of 100,000 files listed and sorted by name as the file list does
// it (the namespace's enumerator, then column-0 order: folders first,
// natural order ignoring case) beside a bare readdir with std::sort by
// strcmp. Prints the ratio of the two medians over the repetitions, wall
// and CPU time.

#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_report.h"
#include "shell/shell_id_func.h"

namespace {

constexpr int kFiles = 100'000;
constexpr int kFolders = 200;

std::string& FolderPath() {
    static std::string path;
    return path;
}

// Names as photo folders have them: camera numbers, numbered copies,
// mixed case, some Japanese names.
std::string NameOf(int i) {
    char name[64];
    switch (i % 10) {
        case 0: std::snprintf(name, sizeof name, "IMG_%05d.JPG", i); break;
        case 1: std::snprintf(name, sizeof name, "photo %d (copy).png", i); break;
        case 2: std::snprintf(name, sizeof name, "scan-%d-page%d.tif", i / 7, i % 7); break;
        case 3: std::snprintf(name, sizeof name, "写真%d.jpg", i); break;
        default: std::snprintf(name, sizeof name, "file%d.bmp", i); break;
    }
    return name;
}

void MakeFolder() {
    char pattern[] = "/tmp/kelvandor-bench-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    FolderPath() = pattern;
    for (int i = 0; i < kFiles; ++i) {
        const std::string path = FolderPath() + "/" + NameOf(i);
        const int fd = open(path.c_str(), O_CREAT | O_WRONLY, 0644);
        if (fd >= 0) close(fd);
    }
    for (int i = 0; i < kFolders; ++i) std::filesystem::create_directory(FolderPath() + "/Folder " + std::to_string(i));
}

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

void BM_ReaddirStrcmp(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<std::string> names;
        std::unique_ptr<DIR, DirCloser> dir(opendir(FolderPath().c_str()));
        while (const dirent* entry = readdir(dir.get())) {
            if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
            names.emplace_back(entry->d_name);
        }
        std::sort(names.begin(), names.end(),
                  [](const std::string& a, const std::string& b) { return std::strcmp(a.c_str(), b.c_str()) < 0; });
        benchmark::DoNotOptimize(names.data());
    }
}

void BM_ShellEnumerateSort(benchmark::State& state) {
    IDList folderList = nullptr;
    IDListFromNativePath(FolderPath(), folderList);
    const ShellFolderPtr folder = BindToFolder(folderList);
    FreeIDList(folderList);
    for (auto _ : state) {
        std::vector<platform::UniqueIDList> items;
        auto enumerator = folder->EnumObjects(SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN);
        while (platform::UniqueIDList item = enumerator->Next()) items.push_back(std::move(item));
        std::sort(items.begin(), items.end(), [&](const auto& a, const auto& b) {
            return folder->CompareIDs(0, a.get(), b.get()).value_or(0) < 0;
        });
        benchmark::DoNotOptimize(items.data());
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    MakeFolder();
    std::vector<char*> arguments = bench_report::WithRepetitions(argc, argv, 5);
    int count = static_cast<int>(arguments.size()) - 1;
    benchmark::Initialize(&count, arguments.data());
    bench_report::Timed(benchmark::RegisterBenchmark("BM_ReaddirStrcmp", BM_ReaddirStrcmp));
    bench_report::Timed(benchmark::RegisterBenchmark("BM_ShellEnumerateSort", BM_ShellEnumerateSort));
    bench_report::RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::filesystem::remove_all(FolderPath());
    reporter.PrintMedians();
    std::printf("\n");
    reporter.PrintRatio("enumerate + column-0 sort / readdir + strcmp sort", "BM_ShellEnumerateSort",
                        "BM_ReaddirStrcmp", 5.0);
    return 0;
}
